#pragma once
// The text log's state through writes that fail (a full disk, a quota, a drive gone): whether
// the file fails, how many record lines did not reach it, the platform's error, and when the
// file is tried again. The rules live here; the sink asks and reports.
#include <cstdint>
#include <string>
#include <string_view>

namespace g3 {

// The words of a loss record's message between its count and the error; readers find the
// record by them.
inline constexpr std::string_view kLossRecordWords =
    " record lines could not be written to this log and are lost: ";

class WriteFailure {
 public:
  // After a failed write, the file is tried again no sooner than this.
  static constexpr int64_t kRetryIntervalMs = 100;

  // True from a failed write until a loss record has reached the file whole.
  bool failing() const { return failing_; }
  uint64_t lost_lines() const { return lost_lines_; }

  // A write at `now_ns` stored less than it was given, with the platform's `error`, and
  // `lost` record lines did not reach the file. True when this begins a spell of failures
  // (the one worth reporting).
  bool WriteFailed(uint32_t error, uint64_t lost, int64_t now_ns);
  // Record lines dropped while the file fails.
  void CountLost(uint64_t lines) { lost_lines_ += lines; }

  // Whether a write at `now_ns` may try the file again.
  bool RetryDue(int64_t now_ns) const;
  // A try of the file begins at `now_ns`; the next one is due an interval later.
  void Retrying(int64_t now_ns) { last_attempt_ns_ = now_ns; }

  // The message of the loss record: the count, the error in the platform's words, and, when
  // known, which program wrote the log (the lost lines may be the ones that said so).
  std::string LossMessage(std::string_view error_text, std::string_view writer) const;
  uint32_t error() const { return error_; }

  // The loss record is in the file whole: the file works again and the next spell counts from
  // zero.
  void Recovered();

 private:
  bool failing_ = false;
  uint64_t lost_lines_ = 0;      // since the last loss record reached the file
  uint32_t error_ = 0;           // of the last failed write
  int64_t last_attempt_ns_ = 0;  // monotonic time of the last failed write or try
};

}  // namespace g3
