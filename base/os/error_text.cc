#include <string>

#include "base/os/output_file.h"
#include "base/strings/utf.h"

namespace base::os {

std::string ErrorTextFromSystemMessage(std::u16string_view message, uint32_t code) {
  while (!message.empty() && (message.back() == u'\r' || message.back() == u'\n' ||
                              message.back() == u' ' || message.back() == u'.')) {
    message.remove_suffix(1);
  }
  if (message.empty()) return "error " + std::to_string(code);
  return WideToUtf8(Utf16ToWide(message));
}

}  // namespace base::os
