// libFuzzer target: the reader's protocol over a view whose every byte the fuzzer chooses:
// lock word, flags, length and payload. The view is exactly as large as the input, so the
// address sanitizer catches any read past it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "src/data/perf_block.h"
#include "src/data/shared_memory_reader.h"
#include "tests/support/test_logger.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static corvane::testing::TestLogger logger;
  static corvane::testing::ScopedLoggerReplacement replace(&logger);
  logger.records.clear();

  std::vector<unsigned char> view(data, data + size);  // heap memory is aligned for the lock
  uint64_t lock_before = 0;
  if (size >= sizeof(lock_before)) std::memcpy(&lock_before, view.data(), sizeof(lock_before));

  corvane::PerfSnapshot snapshot;
  corvane::UiStyle style;
  corvane::BlockHeaderValues header;
  const corvane::BlockRead result =
      corvane::ReadPerfBlock(view.data(), view.size(), 12345, "C:", snapshot, style, header);
  if (size < corvane::kHeaderSize) {
    // An empty input makes no view at all (a null pointer): there is nothing to read.
    const corvane::BlockRead expected =
        view.data() == nullptr ? corvane::BlockRead::kNotOpen : corvane::BlockRead::kBadLength;
    if (result != expected || (size > 0 && std::memcmp(view.data(), data, size) != 0))
      __builtin_trap();
    return 0;
  }
  const uint64_t lock_after = corvane::BlockLockWord(view.data()).Peek();
  if (lock_before != 0 && (result != corvane::BlockRead::kLockHeld || lock_after != lock_before)) {
    __builtin_trap();  // untouched
  }
  if (lock_before == 0 && lock_after != 0) __builtin_trap();  // always freed
  // Nothing but the lock word is ever written.
  if (std::memcmp(view.data() + 8, data + 8, size - 8) != 0) __builtin_trap();
  return 0;
}
