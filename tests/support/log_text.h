#pragma once
// What a test reads back from the logger's files: the decoded text of a text log, a memory
// log or a dump, through the log reader with the development reader key.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/log/log_reader.h"
#include "tests/support/temp_dir.h"

namespace corvane::testing {

inline const base::log_crypt::Scalar* DevReaderKey() {
  static const std::optional<base::log_crypt::Scalar> key = [] {
    std::ifstream in(CORVANE_DEV_READER_KEY_FILE, std::ios::binary);
    return base::log_reader::ParsePrivateKey(
        std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
  }();
  return key ? &*key : nullptr;
}

inline base::log_reader::DecodedLog DecodeFile(const std::filesystem::path& path) {
  const std::string bytes = ReadFileBytes(path);
  return base::log_reader::DecodeLog({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()},
                                     DevReaderKey());
}

// The file's records as lines ("\n" + line each), oldest first; empty when it cannot be read.
inline std::string DecodedText(const std::filesystem::path& path) {
  const auto log = DecodeFile(path);
  std::string text;
  for (const auto& record : log.records) text += "\n" + base::log_reader::FormatRecord(record);
  return text;
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
