// The host's writer: what it puts in the block, what it refuses, how it treats a held lock and
// an abandoned one, and a writer in another process racing the overlay's reader.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <set>
#include <string>
#include <thread>

#include "src/data/perf_block.h"
#include "src/data/perf_feed_writer.h"
#include "src/data/shared_memory_reader.h"
#include "tests/support/test_logger.h"

namespace {

using corvane::PerfFeedWriter;
using corvane::SharedMemoryMapping;

std::string UniqueName() {
  static int counter = 0;
  return "corvane-writer-test-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
}

class PerfFeedWriterTest : public ::testing::Test {
 protected:
  ~PerfFeedWriterTest() override { PerfFeedWriter::Remove(name, nullptr); }

  std::string name = UniqueName();
  PerfFeedWriter writer{name};
  std::string error;
};

TEST_F(PerfFeedWriterTest, WritesHeaderAndDocumentAndFreesTheLock) {
  ASSERT_TRUE(writer.Create(&error)) << error;
  ASSERT_TRUE(writer.Publish(R"({"cpu": 1})", true, 0xCAFE, &error)) << error;

  SharedMemoryMapping view;
  ASSERT_TRUE(view.OpenExisting(name, nullptr));
  EXPECT_GE(view.size(), corvane::kPerfBlockSize);
  EXPECT_EQ(corvane::BlockLockWord(view.data()).Peek(), 0u);
  EXPECT_EQ(corvane::LoadHeaderWord(view.data(), corvane::kEnabledOffset), 1u);
  EXPECT_EQ(corvane::LoadHeaderWord(view.data(), corvane::kLengthOffset), 10u);
  EXPECT_EQ(corvane::LoadHeaderWord(view.data(), corvane::kIpcWindowOffset), 0xCAFEu);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(view.data() + corvane::kPayloadOffset), 10),
            R"({"cpu": 1})");

  ASSERT_TRUE(writer.Publish("", false, 0, &error)) << error;  // header only
  EXPECT_EQ(corvane::LoadHeaderWord(view.data(), corvane::kEnabledOffset), 0u);
  EXPECT_EQ(corvane::LoadHeaderWord(view.data(), corvane::kLengthOffset), 0u);
}

TEST_F(PerfFeedWriterTest, RefusesADocumentOverTheLimitInsteadOfCuttingIt) {
  ASSERT_TRUE(writer.Create(&error));
  ASSERT_TRUE(writer.Publish(std::string(4096, ' ').replace(0, 2, "{}"), true, 0, &error)) << error;
  EXPECT_FALSE(writer.Publish(std::string(4097, ' '), true, 0, &error));
  EXPECT_EQ(error, "the document has 4097 bytes; the block takes at most 4096");
  SharedMemoryMapping view;
  ASSERT_TRUE(view.OpenExisting(name, nullptr));
  EXPECT_EQ(corvane::LoadHeaderWord(view.data(), corvane::kLengthOffset), 4096u);
}

// An abandoned word (one value, unbroken, for longer than the bound) is taken over and the
// document published; the note says so once.
TEST_F(PerfFeedWriterTest, WordHeldWithOneValueForTheBoundIsTakenOver) {
  std::string note = "stale";
  EXPECT_FALSE(writer.Publish("{}", true, 0, &error, &note));
  EXPECT_EQ(error, "the block is not created");
  EXPECT_EQ(note, "");
  ASSERT_TRUE(writer.Create(&error));
  SharedMemoryMapping view;
  ASSERT_TRUE(view.OpenExisting(name, nullptr));
  ASSERT_TRUE(
      corvane::BlockLockWord(view.data()).TryAcquire(corvane::kReaderLockValue));  // a dead reader

  const corvane::LockWaitLimits limits{/*takeover_after_ms=*/50, /*give_up_after_ms=*/5000};
  ASSERT_TRUE(writer.Publish(R"({"cpu": 4})", true, 0, &error, &note, limits)) << error;
  EXPECT_EQ(note.rfind("took over the block's lock word, which had held 1 without a break for ", 0),
            0u)
      << note;
  EXPECT_EQ(corvane::BlockLockWord(view.data()).Peek(), 0u);
  EXPECT_EQ(corvane::LoadHeaderWord(view.data(), corvane::kLengthOffset), 10u);

  ASSERT_TRUE(writer.Publish("{}", true, 0, &error, &note, limits)) << error;
  EXPECT_EQ(note, "");  // a free word: nothing to say
}

// A word that keeps changing belongs to live processes: it is never taken over, and the wait
// gives up. Once it keeps one value, that value is the one taken over.
TEST_F(PerfFeedWriterTest, WordWhoseValueChangesWithinTheBoundIsNotTakenOver) {
  ASSERT_TRUE(writer.Create(&error));
  SharedMemoryMapping view;
  ASSERT_TRUE(view.OpenExisting(name, nullptr));
  auto word = corvane::BlockWord<uint64_t>(view.data(), corvane::kLockOffset);
  word.store(1);
  std::atomic<bool> stop{false};
  std::thread holders([&] {  // held all the time, by one holder after another
    for (uint64_t value = 3; !stop; value = value == 3 ? 1 : 3) {
      word.store(value);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  std::string note;
  const corvane::LockWaitLimits limits{/*takeover_after_ms=*/300, /*give_up_after_ms=*/1500};
  const bool published = writer.Publish(R"({"cpu": 4})", true, 0, &error, &note, limits);
  stop = true;
  holders.join();
  EXPECT_FALSE(published) << note;
  EXPECT_EQ(error.rfind("the block's lock word stayed held for ", 0), 0u) << error;
  EXPECT_NE(word.load(), writer.lock_value());
  EXPECT_EQ(corvane::LoadHeaderWord(view.data(), corvane::kLengthOffset), 0u);

  word.store(5);  // the last holder stays
  ASSERT_TRUE(writer.Publish(R"({"cpu": 4})", true, 0, &error, &note, limits)) << error;
  EXPECT_NE(note.find("which had held 5 "), std::string::npos) << note;
  EXPECT_EQ(word.load(), 0u);
}

// Each writer locks with its own value: the writer bit, the process id and a number of its own.
TEST_F(PerfFeedWriterTest, EachWriterLocksWithAValueOfItsOwn) {
  const PerfFeedWriter other(name);
  EXPECT_NE(writer.lock_value(), other.lock_value());
  for (const uint64_t value : {writer.lock_value(), other.lock_value()}) {
    EXPECT_NE(value & corvane::kWriterLockBit, 0u);
    EXPECT_EQ((value & ~corvane::kWriterLockBit) >> 32, static_cast<uint64_t>(getpid()));
  }
  EXPECT_EQ(corvane::WriterLockValue(0, 0), corvane::kWriterLockBit);  // never 0, 1 or 2

  ASSERT_TRUE(writer.Create(&error));
  SharedMemoryMapping view;
  ASSERT_TRUE(view.OpenExisting(name, nullptr));
  auto word = corvane::BlockWord<uint64_t>(view.data(), corvane::kLockOffset);
  corvane::BlockLockWord lock_word(view.data());
  std::string note;
  ASSERT_TRUE(lock_word.AcquireWaiting(writer.lock_value(), {}, &note, &error)) << error;
  EXPECT_EQ(word.load(), writer.lock_value());
  // Another writer took the word over meanwhile: the release leaves it at that writer's value
  // (what Publish then says: PublishThatLostItsWordSaysSo).
  word.store(other.lock_value());
  EXPECT_FALSE(lock_word.Release(writer.lock_value()));
  EXPECT_EQ(word.load(), other.lock_value());
  // Nor does an overlay's value or a free word get cleared or taken.
  word.store(corvane::kReaderLockValue);
  EXPECT_FALSE(lock_word.Release(writer.lock_value()));
  EXPECT_EQ(word.load(), corvane::kReaderLockValue);
  word.store(0);
  EXPECT_FALSE(lock_word.Release(writer.lock_value()));
  EXPECT_EQ(word.load(), 0u);
}

// A writer frozen while it wrote was taken over by another (here a thread that takes the word
// while Publish holds it): Publish fails and says so, and leaves the word to the one that took
// it, which alone may free it.
TEST_F(PerfFeedWriterTest, PublishThatLostItsWordSaysSo) {
  ASSERT_TRUE(writer.Create(&error));
  SharedMemoryMapping view;
  ASSERT_TRUE(view.OpenExisting(name, nullptr));
  corvane::BlockLockWord lock_word(view.data());
  const PerfFeedWriter other(name);
  bool taken = false;
  corvane::LockWatchHooks hooks;
  hooks.while_held = [&] {
    std::thread taker([&] { taken = lock_word.TakeOver(writer.lock_value(), other.lock_value()); });
    taker.join();
  };
  writer.SetHooksForTest(hooks);
  EXPECT_FALSE(writer.Publish(R"({"cpu": 1})", true, 0, &error));
  EXPECT_TRUE(taken);
  EXPECT_EQ(error.rfind("another writer took the block's lock word over while this one held it (it "
                        "holds " +
                            std::to_string(other.lock_value()) + " now)",
                        0),
            0u)
      << error;
  EXPECT_EQ(lock_word.Peek(), other.lock_value());
  EXPECT_TRUE(lock_word.Release(other.lock_value()));

  writer.SetHooksForTest({});  // left alone, the next publication goes through
  EXPECT_TRUE(writer.Publish(R"({"cpu": 2})", true, 0, &error)) << error;
  EXPECT_EQ(lock_word.Peek(), 0u);
}

// The takeover replaces only the value that was watched. Between the look that judged the word
// abandoned and the swap, its holder may free it and a live overlay take it (with 1): the swap
// then fails, and the watch starts again on the new value.
TEST_F(PerfFeedWriterTest, TakeoverLeavesAWordThatChangedAfterTheLastLook) {
  ASSERT_TRUE(writer.Create(&error));
  SharedMemoryMapping view;
  ASSERT_TRUE(view.OpenExisting(name, nullptr));
  corvane::BlockLockWord lock_word(view.data());
  auto word = corvane::BlockWord<uint64_t>(view.data(), corvane::kLockOffset);
  const uint64_t dead = corvane::WriterLockValue(0x7FFF0002, 9);
  word.store(dead);
  int swaps = 0;
  corvane::LockWatchHooks hooks;
  hooks.before_takeover = [&] {
    if (++swaps == 1) word.store(corvane::kReaderLockValue);
  };
  const corvane::LockWaitLimits limits{/*takeover_after_ms=*/50, /*give_up_after_ms=*/5000};
  std::string note;
  ASSERT_TRUE(lock_word.AcquireWaiting(writer.lock_value(), limits, &note, &error, &hooks))
      << error;
  EXPECT_EQ(swaps, 2);
  EXPECT_NE(note.find("which had held 1 "), std::string::npos) << note;
  EXPECT_EQ(lock_word.Peek(), writer.lock_value());
}

// A watcher that was itself frozen between two looks cannot vouch for the word meanwhile (one
// overlay may have freed it and another taken it with the same 1): its watch starts again, and
// the takeover needs a bound's worth of looks after it woke.
TEST_F(PerfFeedWriterTest, WatcherFrozenBetweenTwoLooksStartsItsWatchAgain) {
  ASSERT_TRUE(writer.Create(&error));
  SharedMemoryMapping view;
  ASSERT_TRUE(view.OpenExisting(name, nullptr));
  corvane::BlockLockWord lock_word(view.data());
  ASSERT_TRUE(lock_word.TryAcquire(corvane::kReaderLockValue));
  int looks = 0, looks_at_takeover = 0;
  corvane::LockWatchHooks hooks;
  hooks.after_look = [&] {
    if (++looks == 2) {  // frozen for longer than the takeover bound and the longest pause
      std::this_thread::sleep_for(std::chrono::milliseconds(corvane::kLongestUnwatchedMs + 100));
    }
  };
  hooks.before_takeover = [&] { looks_at_takeover = looks; };
  const corvane::LockWaitLimits limits{/*takeover_after_ms=*/100, /*give_up_after_ms=*/10000};
  std::string note;
  ASSERT_TRUE(lock_word.AcquireWaiting(writer.lock_value(), limits, &note, &error, &hooks))
      << error;
  EXPECT_GT(looks_at_takeover, 3) << note;  // not at the first look after it woke
  EXPECT_TRUE(lock_word.Release(writer.lock_value()));
}

// Two live writers (two host threads with their own handles) watch a word left by a dead writer:
// one takes it over; the other sees the word change, waits and takes it only once the first has
// freed it, never while the first holds it.
TEST_F(PerfFeedWriterTest, OfTwoWritersWatchingAnAbandonedWordOnlyOneTakesItOver) {
  ASSERT_TRUE(writer.Create(&error));
  SharedMemoryMapping view;
  ASSERT_TRUE(view.OpenExisting(name, nullptr));
  auto word = corvane::BlockWord<uint64_t>(view.data(), corvane::kLockOffset);
  const uint64_t dead = corvane::WriterLockValue(0x7FFF0001, 7);  // a process that died writing
  word.store(dead);

  const PerfFeedWriter first(name), second(name);
  const corvane::LockWaitLimits limits{/*takeover_after_ms=*/200, /*give_up_after_ms=*/5000};
  // The hold is shorter than the takeover bound: a live holder, whom no watcher may take over.
  constexpr auto kHold = std::chrono::milliseconds(120);
  struct Watcher {
    explicit Watcher(uint64_t lock_value) : value(lock_value) {}
    uint64_t value;
    bool acquired = false;
    std::string note, error;
    uint64_t word_when_released = 0;
    bool released = false;
  };
  Watcher watchers[] = {Watcher(first.lock_value()), Watcher(second.lock_value())};
  std::atomic<int> holding{0};
  std::atomic<int> overlaps{0};
  const auto take_hold_free = [&](Watcher& w) {
    w.acquired =
        corvane::BlockLockWord(view.data()).AcquireWaiting(w.value, limits, &w.note, &w.error);
    if (!w.acquired) return;
    if (holding.fetch_add(1) != 0) ++overlaps;  // both hold the word at once
    std::this_thread::sleep_for(kHold);
    w.word_when_released = word.load();
    holding.fetch_sub(1);
    w.released = corvane::BlockLockWord(view.data()).Release(w.value);
  };
  std::thread a(take_hold_free, std::ref(watchers[0])), b(take_hold_free, std::ref(watchers[1]));
  a.join();
  b.join();

  int takeovers = 0;
  for (const Watcher& w : watchers) {
    EXPECT_TRUE(w.acquired) << w.error;
    EXPECT_TRUE(w.released) << w.error;
    EXPECT_EQ(w.word_when_released, w.value);  // its own value all through its hold
    if (!w.note.empty()) {
      ++takeovers;
      EXPECT_NE(w.note.find("which had held " + std::to_string(dead) + " "), std::string::npos)
          << w.note;
    }
  }
  EXPECT_EQ(takeovers, 1);
  EXPECT_EQ(overlaps.load(), 0);
  EXPECT_EQ(word.load(), 0u);
}

TEST_F(PerfFeedWriterTest, RemoveOfAMissingBlockSaysWhy) {
  EXPECT_FALSE(PerfFeedWriter::Remove(name, &error));
  EXPECT_EQ(error, "cannot remove the block \"" + name + "\": system error 2");
}

// A stress document that carries its own check: the adapter name is a run of letters of a
// length and content given by the sequence number, and its "gpu_mem_total" is a hash of both.
uint32_t Checksum(const std::string& text, uint64_t sequence) {
  uint32_t hash = 2166136261u ^ static_cast<uint32_t>(sequence);
  for (unsigned char c : text) hash = (hash ^ c) * 16777619u;
  return hash;
}

std::string StressDocument(uint64_t sequence) {
  std::string letters(sequence % 3900, 'a');
  for (size_t i = 0; i < letters.size(); ++i)
    letters[i] = static_cast<char>('a' + (sequence + i) % 26);
  return R"({"fps": [{"game_id": 7, "cur": )" + std::to_string(sequence) +
         R"(}], "gpu": [{"name": ")" + letters + R"(", "gpu_mem_total": )" +
         std::to_string(Checksum(letters, sequence)) + "}]}";
}

TEST_F(PerfFeedWriterTest, WriterInAnotherProcessNeverShowsTheReaderAPartialDocument) {
  using Clock = std::chrono::steady_clock;
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The writer: publishes as fast as the lock allows for a bounded time.
    PerfFeedWriter feed(name);
    if (!feed.Create(nullptr)) _exit(2);
    const auto end = Clock::now() + std::chrono::milliseconds(1500);
    for (uint64_t sequence = 1; Clock::now() < end; ++sequence) {
      if (!feed.Publish(StressDocument(sequence), true, 0, nullptr)) _exit(3);
    }
    _exit(0);
  }

  corvane::testing::TestLogger logger;
  logger.lowest_enabled = base::kLogWarning;  // the open failures before the child is ready
  corvane::testing::ScopedLoggerReplacement replace(&logger);
  corvane::SharedMemoryReader reader(name);
  SharedMemoryMapping view;
  corvane::PerfSnapshot snapshot;
  corvane::UiStyle style;
  int parsed = 0, torn = 0, reader_lock_left = 0;
  std::set<uint64_t> sequences;
  const auto end = Clock::now() + std::chrono::milliseconds(1000);
  while (Clock::now() < end) {
    if (!reader.Read(7, "C:", snapshot, style)) continue;  // busy, or not yet published
    if (view.data() == nullptr) view.OpenExisting(name, nullptr);
    if (view.data() != nullptr &&
        corvane::BlockLockWord(view.data()).Peek() == corvane::kReaderLockValue) {
      ++reader_lock_left;
    }
    ++parsed;
    const auto sequence = static_cast<uint64_t>(snapshot.fps_cur);
    if (!snapshot.fps_valid || !snapshot.gpu_valid ||
        snapshot.gpu_mem_total != Checksum(snapshot.gpu_name, sequence) ||
        snapshot.gpu_name.size() != sequence % 3900) {
      ++torn;
    }
    sequences.insert(sequence);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_GT(parsed, 0);
  EXPECT_GT(sequences.size(), 1u);
  EXPECT_EQ(torn, 0);
  EXPECT_EQ(reader_lock_left, 0);
  EXPECT_TRUE(logger.Texts(base::kLogError).size() == logger.records.size());  // open failures only
  for (const auto& record : logger.records) {
    EXPECT_EQ(record.text.rfind("SharedMemoryReader::Open", 0), 0u) << record.text;
  }
  ASSERT_TRUE(view.OpenExisting(name, nullptr));
  EXPECT_EQ(corvane::BlockLockWord(view.data()).Peek(), 0u);
}

}  // namespace
