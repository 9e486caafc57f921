#include "base/log/write_failure.h"

#include <fmt/format.h>

namespace g3 {

bool WriteFailure::WriteFailed(uint32_t error, uint64_t lost, int64_t now_ns) {
  const bool begins = !failing_;
  failing_ = true;
  lost_lines_ += lost;
  error_ = error;
  last_attempt_ns_ = now_ns;
  return begins;
}

bool WriteFailure::RetryDue(int64_t now_ns) const {
  return now_ns - last_attempt_ns_ >= kRetryIntervalMs * 1000000;
}

std::string WriteFailure::LossMessage(std::string_view error_text, std::string_view writer) const {
  std::string message =
      fmt::format("{}{}{} (error {})", lost_lines_, kLossRecordWords, error_text, error_);
  if (!writer.empty()) fmt::format_to(std::back_inserter(message), "; the log of {}", writer);
  return message;
}

void WriteFailure::Recovered() {
  failing_ = false;
  lost_lines_ = 0;
}

}  // namespace g3
