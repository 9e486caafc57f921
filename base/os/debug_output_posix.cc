#include "base/os/debug_output.h"

#include <cstdio>

namespace base::os {

void WriteDebugOutput(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fputc('\n', stderr);
}

}  // namespace base::os
