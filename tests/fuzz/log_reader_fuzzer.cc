// libFuzzer target: any file through the log reader, with the development reader key, and its
// records through the text output. Checks the bounds the reader promises for hostile files.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "base/log/log_reader.h"

namespace {

const base::log_crypt::Scalar* DevReaderKey() {
  static const std::optional<base::log_crypt::Scalar> key = [] {
    std::ifstream in(CORVANE_DEV_READER_KEY_FILE, std::ios::binary);
    return base::log_reader::ParsePrivateKey(
        std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
  }();
  if (!key) __builtin_trap();  // the fuzzer would test nothing enciphered
  return &*key;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using base::log_reader::kMaxRecordBytes;
  const auto log = base::log_reader::DecodeLog({data, size}, DevReaderKey());
  if (log.stopped_at > size) __builtin_trap();
  if (log.status != base::log_reader::DecodeStatus::kComplete && log.problem.empty()) {
    __builtin_trap();
  }
  for (const auto& record : log.records) {
    if (record.message.size() > kMaxRecordBytes) __builtin_trap();
    // The text output holds no control character but the tab between head and message.
    for (const char c :
         base::log_reader::EscapeForTerminal(base::log_reader::FormatRecord(record))) {
      const auto byte = static_cast<uint8_t>(c);
      if ((byte < 0x20 && c != '\t') || byte == 0x7F) __builtin_trap();
    }
  }
  // The same bytes as plain text.
  base::log_reader::ParseRecords({reinterpret_cast<const char*>(data), size});
  return 0;
}
