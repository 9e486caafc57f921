#pragma once
// The text of a log file written without encryption: what lies between the segment header
// and the segment trailer.
#include <filesystem>
#include <string>
#include <vector>

#include "base/log/log_crypt.h"
#include "tests/support/temp_dir.h"

namespace corvane::testing {

inline std::string DecodedText(const std::filesystem::path& path, bool /*memory_log*/) {
  const std::string bytes = ReadFileBytes(path);
  constexpr size_t kFrames =
      base::log_crypt::kSegmentHeaderSize + base::log_crypt::kSegmentTrailerSize;
  if (bytes.size() < kFrames) return {};
  return bytes.substr(base::log_crypt::kSegmentHeaderSize, bytes.size() - kFrames);
}

// The text logs "app.corvane.<creation time>.log" in `dir`.
inline std::vector<std::filesystem::path> TextLogs(const std::filesystem::path& dir) {
  std::vector<std::filesystem::path> logs;
  for (const auto& item : std::filesystem::directory_iterator(dir)) {
    const std::string name = item.path().filename().string();
    if (name.starts_with("app.corvane.2")) logs.push_back(item.path());
  }
  return logs;
}

}  // namespace corvane::testing
