#pragma once
// The demo game's rules that need no window system: its command line, the lines it prints,
// its frame-rate measurement and the watch for commands on standard input.
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::demo_game {

struct WindowPoint {
  int x = 0;
  int y = 0;
};

struct DemoGameOptions {
  bool help = false;
  bool version = false;
  std::optional<WindowPoint> pos;  // the window's top-left corner; none: the system chooses
  int client_width = 800;
  int client_height = 600;
  std::string title = "Corvane Demo Game";
  std::string fps_file;          // empty: no frame-rate file
  std::optional<int> frame_cap;  // frames per second, 1 to kMaxFrameCap; none: as fast as it can
};

constexpr int kMaxFrameCap = 1000;

// The usage text printed by --help.
std::string DemoGameUsage();

// Reads the arguments after the program name (UTF-8). False with one line in `error` when
// they are not usable.
bool ParseDemoGameOptions(const std::vector<std::string>& args, DemoGameOptions* options,
                          std::string* error);

// "hwnd=0x<HEX> ipc=0x<HEX> pid=<decimal>", the first line the game prints.
std::string StartLine(uint64_t game_window, uint64_t ipc_window, uint32_t pid);

// "msg1004 game_id=<decimal> pid=<decimal>" for one host notification: the first parameter
// whole, the second as the unsigned 32-bit process id it carries.
std::string HostNotificationLine(uint64_t wparam, uint64_t lparam);

// The content of the frame-rate file: the rate with one decimal and a newline, "123.4\n", then,
// when there are any, the frame times in milliseconds with two decimals, oldest first,
// separated by spaces, and a newline: "16.67 16.80 33.41\n".
std::string FrameRateText(double frames_per_second, std::span<const double> frame_ms = {});

// The frame-rate file is written beside its place and then moved over it, so that a reader
// never sees half of it. A reader that has the file open at that moment (corvane-feed opens it
// without sharing its deletion) makes the move fail for as long as it holds it.
enum class ReplaceOutcome { kDone, kBusy, kFailed };
constexpr int kReplaceAttempts = 10;
// Calls `replace` until it is done, fails for another reason, or has been busy
// `kReplaceAttempts` times, with `wait` between attempts. True when it was done.
bool ReplaceWhileBusy(const std::function<ReplaceOutcome()>& replace,
                      const std::function<void()>& wait);

// Frames per second over measurement periods of at least one second, from a monotonic counter
// with `ticks_per_second` ticks.
class FrameRateCounter {
 public:
  explicit FrameRateCounter(int64_t ticks_per_second) : ticks_per_second_(ticks_per_second) {}

  // Counts a frame finished at `now`. The first frame starts the first period. When the
  // period has lasted a second or more, returns its rate (frames after its start divided by
  // its length) and starts the next period at `now`.
  std::optional<double> AddFrame(int64_t now);

  uint64_t total_frames() const { return total_frames_; }

 private:
  int64_t ticks_per_second_;
  std::optional<int64_t> period_start_;
  uint64_t frames_in_period_ = 0;
  uint64_t total_frames_ = 0;
};

// The times of the frames that ended in the last kFrameTimeSpanSeconds, the newest
// kMaxRecordedFrames at most, from a monotonic counter with `ticks_per_second` ticks.
class FrameTimeHistory {
 public:
  static constexpr int64_t kFrameTimeSpanSeconds = 10;
  static constexpr size_t kMaxRecordedFrames = 5000;

  explicit FrameTimeHistory(int64_t ticks_per_second) : ticks_per_second_(ticks_per_second) {}

  // A frame finished at `now`: its time is the span since the previous one (the first frame
  // only starts the count).
  void AddFrame(int64_t now);
  // Milliseconds, oldest first.
  std::vector<double> FrameTimesMs() const;

 private:
  struct Frame {
    int64_t end;
    double ms;
  };
  int64_t ticks_per_second_;
  std::optional<int64_t> last_end_;
  std::deque<Frame> frames_;
};

// Paces frames to a rate, from a monotonic counter with `ticks_per_second` ticks. Each frame is
// due one period after the previous one was due, not after it began, so that waits which end a
// little late do not lower the rate. A frame that begins a whole period or more late starts the
// schedule afresh from itself, rather than letting the frames after it run unpaced to catch up.
class FramePacer {
 public:
  FramePacer(int64_t ticks_per_second, int frames_per_second);

  // At `now`: 0 when the next frame is due, which then counts as begun; otherwise the ticks
  // until it is due. The first call's frame is due at once.
  int64_t TicksToWait(int64_t now);

 private:
  int64_t period_;
  std::optional<int64_t> next_due_;
};

// What a line of standard input asks of the game.
enum class InputCommand {
  kNone,
  kFront,  // "front": take the foreground again (the tests bring the game back in front)
  kQuit,   // "quit": close the game window
};

// Watches the bytes of standard input for lines that read "front" or "quit" (white space
// around the word and a carriage return before the newline allowed). Lines of any length may
// pass; only the start of the current one is kept.
class InputLineWatcher {
 public:
  // The commands of the lines that `bytes` completed, in order.
  std::vector<InputCommand> Feed(std::string_view bytes);
  // At the end of the input: the command of the unterminated last line.
  InputCommand Finish();

 private:
  InputCommand LineCommand() const;

  static constexpr size_t kKeptBytes = 64;
  std::string line_;
  bool line_too_long_ = false;
};

}  // namespace corvane::demo_game
