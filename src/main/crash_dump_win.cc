// The minidump of a crash. A thread of its own, started once the log folder is known, waits for
// the crash: it writes the dump with dbghelp's MiniDumpWriteDump while the crashed thread waits,
// because the crashed thread's own stack may be what broke. The dump is small (thread stacks,
// modules, and the exception with the faulting thread's context).
#include "base/os/win/windows_types.h"
// After <windows.h>, which it needs.
#include <dbghelp.h>

#include <array>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "base/log/log_record.h"
#include "base/os/win/scoped_resource.h"
#include "base/strings/utf.h"
#include "src/main/crash_dump.h"
#include "src/main/crash_report_helper.h"

namespace corvane {
namespace {

constexpr char kLogSource[] = "src/main";
// How long the crashed thread waits for its dump before the process ends without one.
constexpr DWORD kDumpWaitMs = 30000;

using MiniDumpWriteDumpFunction = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE,
                                                PMINIDUMP_EXCEPTION_INFORMATION,
                                                PMINIDUMP_USER_STREAM_INFORMATION,
                                                PMINIDUMP_CALLBACK_INFORMATION);

// Everything the crash needs, made before it: the crash path allocates nothing itself.
struct DumpWriter {
  std::wstring folder;  // ends with a separator
  std::wstring path;    // room for the folder and a dump's name, reserved beforehand
  base::win::ScopedModule dbghelp;
  MiniDumpWriteDumpFunction write_dump = nullptr;
  base::win::ScopedHandle requested;  // set by the crashed thread
  base::win::ScopedHandle written;    // set by the writer when it is done
  base::win::ScopedHandle thread;
  // The crash, filled in by the crashed thread before it sets `requested`.
  DWORD crashed_thread = 0;
  EXCEPTION_POINTERS* exception = nullptr;
  std::array<wchar_t, 96> name{};
  std::atomic<bool> taken{false};
};

std::atomic<DumpWriter*> g_writer{nullptr};

CrashMoment Now() {
  SYSTEMTIME time;
  GetLocalTime(&time);
  return {time.wYear,   time.wMonth,  time.wDay,         time.wHour,
          time.wMinute, time.wSecond, time.wMilliseconds};
}

// The dump file; false with nothing left behind when it could not be written whole.
bool WriteDumpFile(const DumpWriter& writer, const std::wstring& path) {
  base::win::ScopedFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr,
                                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  MINIDUMP_EXCEPTION_INFORMATION exception{writer.crashed_thread, writer.exception, FALSE};
  const bool written =
      writer.write_dump(GetCurrentProcess(), GetCurrentProcessId(), file.get(), MiniDumpNormal,
                        writer.exception != nullptr ? &exception : nullptr, nullptr,
                        nullptr) != FALSE;
  file.reset();
  if (!written) {
    const DWORD error = GetLastError();
    DeleteFileW(path.c_str());
    SetLastError(error);
  }
  return written;
}

void DeleteOldDumps(const DumpWriter& writer, const std::wstring& newest) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  base::win::ScopedFindHandle find(
      FindFirstFileW((writer.folder + kCrashDumpPattern).c_str(), &found));
  if (!find) return;
  do {
    names.emplace_back(found.cFileName);
  } while (FindNextFileW(find.get(), &found));
  for (const std::wstring& name : CrashDumpsToDelete(std::move(names), newest, kCrashDumpsKept)) {
    DeleteFileW((writer.folder + name).c_str());
  }
}

DWORD WINAPI WriteDumpOnRequest(void* parameter) {
  DumpWriter& writer = *static_cast<DumpWriter*>(parameter);
  WaitForSingleObject(writer.requested.get(), INFINITE);

  if (!FormatCrashDumpName(Now(), GetCurrentProcessId(), writer.name.data(), writer.name.size())) {
    SetEvent(writer.written.get());
    return 0;
  }
  // Written first, before anything that takes a lock the crashed thread may hold (the heap, the
  // logger): if one of those hangs, the dump is there all the same.
  writer.path.assign(writer.folder);
  writer.path.append(writer.name.data());
  const bool dump_written = WriteDumpFile(writer, writer.path);
  const DWORD error = GetLastError();
  // What crashed: an exception, or an abort (no exception record).
  const EXCEPTION_RECORD* record =
      writer.exception != nullptr ? writer.exception->ExceptionRecord : nullptr;
  const std::string what = record != nullptr
                               ? fmt::format("exception 0x{:08X} at 0x{:x}", record->ExceptionCode,
                                             reinterpret_cast<uintptr_t>(record->ExceptionAddress))
                               : std::string("abort");
  if (dump_written) {
    const std::wstring name(writer.name.data());
    DeleteOldDumps(writer, name);
    // The memory log keeps this record, whatever happens to the text log's queue.
    LOG_FATAL("[crash] {} in thread {}, minidump {}", what, writer.crashed_thread,
              base::WideToUtf8(name));
  } else {
    LOG_FATAL("[crash] {} in thread {}, no minidump (gle={})", what, writer.crashed_thread, error);
  }
  // The memory log's newest record may lack its last few bytes (the encoder's unfinished
  // block): this one, so that the one above is whole.
  LOG_FATAL("[crash] the process ends");
  SetEvent(writer.written.get());
  return 0;
}

}  // namespace

void WriteCrashDumpsInto(const std::wstring& log_dir) {
  if (g_writer.load() != nullptr || log_dir.empty()) return;
  auto writer = std::make_unique<DumpWriter>();
  writer->folder = log_dir;
  if (writer->folder.back() != L'\\' && writer->folder.back() != L'/') writer->folder += L'\\';
  writer->path.reserve(writer->folder.size() + writer->name.size());
  // From the system's folder only, never one a file beside the program could take.
  writer->dbghelp.reset(LoadLibraryExW(L"dbghelp.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
  if (writer->dbghelp) {
    writer->write_dump = base::win::ProcedureAs<MiniDumpWriteDumpFunction>(
        GetProcAddress(writer->dbghelp.get(), "MiniDumpWriteDump"));
  }
  if (writer->write_dump == nullptr) {
    LOG_WARNING("[crash] MiniDumpWriteDump not available, gle={}: a crash leaves no minidump",
                GetLastError());
    return;
  }
  writer->requested.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  writer->written.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!writer->requested || !writer->written) return;
  writer->thread.reset(CreateThread(nullptr, 256 * 1024, WriteDumpOnRequest, writer.get(),
                                    STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
  if (!writer->thread) {
    LOG_WARNING("[crash] no minidump writer thread, gle={}", GetLastError());
    return;
  }
  // Lives until the process ends: the thread waits on it.
  g_writer.store(writer.release());
}

void WriteCrashDump(EXCEPTION_POINTERS* exception) {
  DumpWriter* writer = g_writer.load();
  if (writer == nullptr) return;
  if (writer->taken.exchange(true)) {
    // Another thread crashed first; the process ends when its dump is written.
    Sleep(INFINITE);
  }
  writer->crashed_thread = GetCurrentThreadId();
  writer->exception = exception;
  SetEvent(writer->requested.get());
  WaitForSingleObject(writer->written.get(), kDumpWaitMs);
}

}  // namespace corvane
