// A stand-in for the crash-report library, for tests. It exports InitCrashReportHelper and
// (unless built as the init-only variant) UninitCrashReportHelper, and appends one line per
// call to the file named by CORVANE_TEST_CRASH_LOG. Init returns CORVANE_TEST_CRASH_RC
// (default 0). The config is read at raw byte offsets, so a test sees the layout as the
// library does, independent of the program's own struct. With CORVANE_TEST_CRASH_FILTER=1, Init
// also puts a crash handler of its own in place, as a real crash-report library does: it
// appends "crash 0x<code>" and passes the crash on to the handler it replaced.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

template <typename T>
T ReadAt(const unsigned char* record, size_t offset) {
  T value;
  std::memcpy(&value, record + offset, sizeof(T));
  return value;
}

std::string Utf16ToAscii(const char16_t* text) {
  if (text == nullptr) return "(null)";
  std::string out;
  for (; *text != 0; ++text) out += *text < 0x80 ? static_cast<char>(*text) : '?';
  return out;
}

// Read from the process environment itself, not the C runtime's copy of it, so that a test
// can change it between loads.
std::string Environment(const char* name) {
  char value[1024] = {};
  const DWORD size = GetEnvironmentVariableA(name, value, sizeof value);
  return size > 0 && size < sizeof value ? std::string(value, size) : std::string();
}

void AppendLine(const std::string& line) {
  const std::string path = Environment("CORVANE_TEST_CRASH_LOG");
  if (path.empty()) return;
  if (FILE* file = std::fopen(path.c_str(), "ab")) {
    std::fprintf(file, "%s\n", line.c_str());
    std::fclose(file);
  }
}

// True when every byte outside the named fields is zero.
bool ReservedBytesAreZero(const unsigned char* record) {
  struct Range {
    size_t begin, end;
  };
  constexpr Range kReserved[] = {{2, 8}, {24, 76}, {80, 96}, {100, 200}, {220, 224}};
  for (const Range& range : kReserved) {
    for (size_t i = range.begin; i < range.end; ++i) {
      if (record[i] != 0) return false;
    }
  }
  return true;
}

LPTOP_LEVEL_EXCEPTION_FILTER g_previous_filter = nullptr;

LONG WINAPI RecordCrash(EXCEPTION_POINTERS* exception) {
  char line[64];
  std::snprintf(line, sizeof line, "crash 0x%08lX", exception->ExceptionRecord->ExceptionCode);
  AppendLine(line);
  return g_previous_filter != nullptr ? g_previous_filter(exception) : EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

extern "C" __declspec(dllexport) int32_t InitCrashReportHelper(const void* config) {
  const auto* record = static_cast<const unsigned char*>(config);
  char line[512];
  std::snprintf(
      line, sizeof line,
      "init size=%u app=%s version=%s v76=%u v96=%u v200=%u v204=%u v208=%llu v216=%u "
      "v224=%llu v232=%llu v240=%s reserved_zero=%d",
      ReadAt<uint16_t>(record, 0), Utf16ToAscii(ReadAt<const char16_t*>(record, 8)).c_str(),
      Utf16ToAscii(ReadAt<const char16_t*>(record, 16)).c_str(), ReadAt<uint32_t>(record, 76),
      ReadAt<uint32_t>(record, 96), ReadAt<uint32_t>(record, 200), ReadAt<uint32_t>(record, 204),
      static_cast<unsigned long long>(ReadAt<uint64_t>(record, 208)), ReadAt<uint32_t>(record, 216),
      static_cast<unsigned long long>(ReadAt<uint64_t>(record, 224)),
      static_cast<unsigned long long>(ReadAt<uint64_t>(record, 232)),
      Utf16ToAscii(ReadAt<const char16_t*>(record, 240)).c_str(),
      ReservedBytesAreZero(record) ? 1 : 0);
  AppendLine(line);
  if (Environment("CORVANE_TEST_CRASH_FILTER") == "1") {
    g_previous_filter = SetUnhandledExceptionFilter(RecordCrash);
  }
  return static_cast<int32_t>(std::atoi(Environment("CORVANE_TEST_CRASH_RC").c_str()));
}

#ifndef CRASH_HELPER_INIT_ONLY
extern "C" __declspec(dllexport) void UninitCrashReportHelper() {
  if (g_previous_filter != nullptr) SetUnhandledExceptionFilter(g_previous_filter);
  AppendLine("uninit");
}
#endif
