// test_block_probe: a stand-in for the other processes around the performance block, for the
// tests of the lock word. Not shipped.
//
//   test_block_probe hold [NAME]      takes the lock word as the overlay does (from 0 to 1, one
//                                     compare-and-exchange per attempt), prints "held", and keeps
//                                     it until the program is killed
//   test_block_probe watch MS [NAME]  for MS milliseconds, takes the word as the overlay does
//                                     every 2 ms; when a writer has published since the last
//                                     look (the length word is not 0), prints "published AT" (ms
//                                     since the start) and sets the length word to 0
//
// Exit code 0, 1 when the block cannot be opened, 2 for bad arguments.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "src/data/perf_block.h"
#include "src/data/shared_memory_mapping.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

int Hold(void* view) {
  // A writer may hold the word for a moment: try again, one attempt at a time.
  while (!corvane::BlockLockWord(view).TryAcquire(corvane::kReaderLockValue)) {
    std::this_thread::sleep_for(milliseconds(1));
  }
  std::printf("held\n");
  std::fflush(stdout);
  for (;;) std::this_thread::sleep_for(milliseconds(60000));
}

int Watch(void* view, long span_ms) {
  const auto start = Clock::now();
  const auto end = start + milliseconds(span_ms);
  while (Clock::now() < end) {
    corvane::BlockLockWord word(view);
    if (word.TryAcquire(corvane::kReaderLockValue)) {
      if (corvane::LoadHeaderWord(view, corvane::kLengthOffset) != 0) {
        const auto at = std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
        std::printf("published %lld\n", static_cast<long long>(at));
        std::fflush(stdout);
        corvane::StoreHeaderWord(view, corvane::kLengthOffset, 0);
      }
      word.Release(corvane::kReaderLockValue);
    }
    std::this_thread::sleep_for(milliseconds(2));
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  const int name_index = command == "watch" ? 3 : 2;
  if ((command != "hold" && command != "watch") || argc < name_index || argc > name_index + 1) {
    std::fprintf(stderr, "usage: test_block_probe hold [NAME] | watch MS [NAME]\n");
    return 2;
  }
  const std::string name = argc > name_index ? argv[name_index] : corvane::kPerfBlockName;
  corvane::SharedMemoryMapping mapping;
  if (!mapping.OpenExisting(name, nullptr) || mapping.size() < corvane::kHeaderSize) {
    std::fprintf(stderr, "test_block_probe: cannot open the block \"%s\"\n", name.c_str());
    return 1;
  }
  if (command == "hold") return Hold(mapping.data());
  return Watch(mapping.data(), std::strtol(argv[2], nullptr, 10));
}
