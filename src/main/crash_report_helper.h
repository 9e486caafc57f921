#pragma once
// The optional crash-report library, "crash_report_helper.dll" in "crash_x64" beside the
// executable's directory. Every failure to find, load or initialise it is logged as a warning
// and otherwise ignored: the overlay works without it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#ifdef _WIN32
struct _EXCEPTION_POINTERS;  // <windows.h>
#endif

namespace corvane {

// The record handed to InitCrashReportHelper: 248 bytes, 64-bit pointers, every byte not named
// here zero. The numbers' meaning is the library's; this program only fills them in.
struct CrashHelperConfig {
  uint16_t size = sizeof(CrashHelperConfig);
  uint8_t reserved_2[6] = {};
  const char16_t* app_name = nullptr;
  const char16_t* version = nullptr;
  uint8_t reserved_24[52] = {};
  uint32_t value_76 = 0x1FFF;
  uint8_t reserved_80[16] = {};
  uint32_t value_96 = 0;
  uint8_t reserved_100[100] = {};
  uint32_t value_200 = 11;
  uint32_t value_204 = 4;
  uint64_t value_208 = 10000001;
  uint32_t value_216 = 0;
  uint8_t reserved_220[4] = {};
  uint64_t value_224 = 0;
  uint64_t value_232 = 4;
  const char16_t* value_240 = nullptr;
};

static_assert(sizeof(void*) == 8, "the record is laid out for 64-bit pointers");
static_assert(sizeof(CrashHelperConfig) == 248);
static_assert(offsetof(CrashHelperConfig, app_name) == 8);
static_assert(offsetof(CrashHelperConfig, version) == 16);
static_assert(offsetof(CrashHelperConfig, value_76) == 76);
static_assert(offsetof(CrashHelperConfig, value_96) == 96);
static_assert(offsetof(CrashHelperConfig, value_200) == 200);
static_assert(offsetof(CrashHelperConfig, value_204) == 204);
static_assert(offsetof(CrashHelperConfig, value_208) == 208);
static_assert(offsetof(CrashHelperConfig, value_216) == 216);
static_assert(offsetof(CrashHelperConfig, value_224) == 224);
static_assert(offsetof(CrashHelperConfig, value_232) == 232);
static_assert(offsetof(CrashHelperConfig, value_240) == 240);

using InitCrashReportHelperFn = int32_t (*)(CrashHelperConfig*);
using UninitCrashReportHelperFn = void (*)();

inline constexpr char16_t kCrashHelperAppName[] = u"corvane";
inline constexpr char16_t kCrashHelperValue240[] = u"1";

// The config for `version`, which must outlive the call it is handed to.
CrashHelperConfig MakeCrashHelperConfig(const char16_t* version);

// <directory of executable_path>\..\crash_x64\crash_report_helper.dll, not normalised; empty
// when the path has no separator.
std::wstring CrashDllPathFor(std::wstring_view executable_path);

// The operations the loader needs from the platform, replaceable in tests.
class CrashLibraryOps {
 public:
  virtual ~CrashLibraryOps() = default;
  virtual std::wstring ExecutablePath() = 0;
  // The module, or null with the platform's error code in `error`.
  virtual void* LoadLibraryAt(const std::wstring& path, uint32_t* error) = 0;
  virtual void* FindExport(void* module, const char* name) = 0;
  virtual void FreeLibraryModule(void* module) = 0;
};

// Unloaded -> Load succeeds -> Active -> Unload -> Unloaded. A failing step returns to Unloaded
// at once, so Unload never uninitialises a library that was not initialised.
class CrashReportHelper {
 public:
  explicit CrashReportHelper(CrashLibraryOps& ops) : ops_(ops) {}
  CrashReportHelper(const CrashReportHelper&) = delete;
  CrashReportHelper& operator=(const CrashReportHelper&) = delete;

  std::wstring ResolveDllPath() { return CrashDllPathFor(ops_.ExecutablePath()); }
  void Load(std::wstring_view version);
  void Unload();
  bool active() const { return module_ != nullptr; }

 private:
  void Reset();

  CrashLibraryOps& ops_;
  void* module_ = nullptr;
  UninitCrashReportHelperFn uninit_ = nullptr;
  std::u16string version_;  // the config points at it until Unload has returned
};

#ifdef _WIN32
// The process-wide helper, on the real library calls.
std::wstring ResolveCrashDllPath();
void LoadCrashReportHelper(const std::wstring& version);
void UnloadCrashReportHelper();
// Until a crash-report library takes over: an unhandled exception, or an abort, ends the
// process at once with the exception's code (3 for an abort), never with a dialog or a
// debugger over the player's game. What the memory log holds stays in its file.
void EndProcessOnUnhandledException();
// From here on a crash that reaches that handler first leaves a minidump in `log_dir`, keeps
// the newest few (crash_dump.h) and records the dump's name in the memory log. Once, when the
// logger runs; a second call does nothing.
void WriteCrashDumpsInto(const std::wstring& log_dir);
// The crash handler's part: writes the dump of `exception` (null for an abort) and returns when
// it is written, or at once when dumps were never set up.
void WriteCrashDump(::_EXCEPTION_POINTERS* exception);
#endif

}  // namespace corvane
