#pragma once
// Where the logger reports its own failures: the debugger output on Windows, standard error
// elsewhere. Never the log itself.
#include <string_view>

namespace base::os {

void WriteDebugOutput(std::string_view text);

}  // namespace base::os
