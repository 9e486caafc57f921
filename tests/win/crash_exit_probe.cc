// Test helper: sets up crash handling as Corvane's start-up does, then crashes.
//   crash_exit_probe (fault | abort | throw) [--bare | --dumps DIR]
// "fault" writes through a null pointer, "abort" calls abort, "throw" lets a C++ exception
// leave the program. --bare skips the set-up, to see what happens without it; --dumps also
// has the crash leave its minidump in DIR.
#include <cstdlib>
#include <cwchar>
#include <stdexcept>
#include <string>

#include "base/os/win/windows_types.h"
#include "src/main/crash_report_helper.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR command_line, int) {
  const std::wstring line = command_line != nullptr ? command_line : L"";
  if (line.find(L"--bare") == std::wstring::npos) corvane::EndProcessOnUnhandledException();
  if (const size_t dumps = line.find(L"--dumps "); dumps != std::wstring::npos) {
    corvane::WriteCrashDumpsInto(line.substr(dumps + 8));
  }
  if (line.starts_with(L"abort")) std::abort();
  if (line.starts_with(L"throw")) throw std::runtime_error("nobody catches this");
  volatile int* nowhere = nullptr;
  *nowhere = 1;
  return 0;
}
