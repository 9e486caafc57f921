#include "base/os/debug_output.h"

#include <string>

#include "base/os/win/windows_types.h"

namespace base::os {

void WriteDebugOutput(std::string_view text) {
  std::string line(text);
  line += '\n';
  OutputDebugStringA(line.c_str());
}

}  // namespace base::os
