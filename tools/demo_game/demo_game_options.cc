#include "tools/demo_game/demo_game_options.h"

#include <algorithm>
#include <charconv>
#include <cinttypes>
#include <cstdio>

#include "tools/common/command_line.h"

namespace corvane::demo_game {

namespace {

const tools::ToolInterface kDemoGameInterface = {
    "corvane-demo-game",
    {"[OPTIONS]"},
    "A stand-in game for Corvane's tests and demo: a window that draws as fast as it can (or at\n"
    "the rate --fps sets) and a hidden host IPC window that prints every message 1004 it\n"
    "receives.",
    {{"Options",
      {
          {"--pos", "X,Y",
           "the window's top-left corner on the screen (default: the system's choice)"},
          {"--size", "W,H", "the size of its client area in pixels, 1 to 16384 (default 800,600)"},
          {"--title", "TEXT", "the window title (default \"Corvane Demo Game\")"},
          {"--fps-file", "PATH",
           "write the measured frame rate to PATH once a second (\"123.4\" and a newline),\n"
           "then the times of the frames of the last 10 s (at most 5000) in milliseconds,\n"
           "oldest first (\"16.67 16.80 ...\" and a newline); the file is replaced whole\n"
           "each time"},
          {"--fps", "N",
           "draw about N frames a second, 1 to 1000 (default: as many as it can); the rate\n"
           "and frame times it shows and writes are still the measured ones"},
      }}},
    "Standard output: first \"hwnd=0x<HEX> ipc=0x<HEX> pid=<decimal>\", then for each message "
    "1004\n"
    "\"msg1004 game_id=<decimal> pid=<decimal>\". The client area is filled with the colour "
    "#303040\n"
    "except a band from 22% to 38% of its height, where a bar moves and the frame count shows.\n"
    "It ends when its window is closed or when standard input gives the line \"quit\" (the end of\n"
    "standard input does not end it); the line \"front\" makes it take the foreground again.\n"
    "Exit code 0; 2 when an option is not usable; 1 when the windows cannot be made.",
};

bool Fail(std::string* error, std::string text) {
  *error = std::move(text);
  return false;
}

bool ParseInt(std::string_view text, int* out) {
  if (text.empty()) return false;
  const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), *out);
  return status == std::errc() && end == text.data() + text.size();
}

// "A,B" as two integers.
bool ParsePair(std::string_view text, int* first, int* second) {
  const size_t comma = text.find(',');
  return comma != std::string_view::npos && ParseInt(text.substr(0, comma), first) &&
         ParseInt(text.substr(comma + 1), second);
}

}  // namespace

std::string DemoGameUsage() {
  return tools::HelpText(kDemoGameInterface);
}

bool ParseDemoGameOptions(const std::vector<std::string>& args, DemoGameOptions* options,
                          std::string* error) {
  // Positions far off any screen are refused: Win32 coordinates are 16-bit in places.
  constexpr int kMaxCoordinate = 32767, kMaxSize = 16384;
  tools::CommandLine command_line;
  if (!tools::ReadCommandLine(args, kDemoGameInterface, &command_line, error)) return false;
  DemoGameOptions parsed;
  parsed.help = command_line.help;
  parsed.version = command_line.version;
  for (const auto& [option, value] : command_line.options) {
    if (option == "--pos") {
      WindowPoint point;
      if (!ParsePair(value, &point.x, &point.y) || point.x < -kMaxCoordinate ||
          point.x > kMaxCoordinate || point.y < -kMaxCoordinate || point.y > kMaxCoordinate) {
        return Fail(error, "--pos takes X,Y in pixels, not '" + value + "'");
      }
      parsed.pos = point;
    } else if (option == "--size") {
      int width = 0, height = 0;
      if (!ParsePair(value, &width, &height) || width < 1 || width > kMaxSize || height < 1 ||
          height > kMaxSize) {
        return Fail(error, "--size takes W,H from 1 to 16384 pixels, not '" + value + "'");
      }
      parsed.client_width = width;
      parsed.client_height = height;
    } else if (option == "--title") {
      parsed.title = value;
    } else if (option == "--fps") {
      int rate = 0;
      if (!ParseInt(value, &rate) || rate < 1 || rate > kMaxFrameCap) {
        return Fail(error, "--fps takes a number of frames from 1 to 1000, not '" + value + "'");
      }
      parsed.frame_cap = rate;
    } else {
      if (value.empty()) return Fail(error, "--fps-file takes a path, not ''");
      parsed.fps_file = value;
    }
  }
  *options = parsed;
  return true;
}

std::string StartLine(uint64_t game_window, uint64_t ipc_window, uint32_t pid) {
  char line[96];
  std::snprintf(line, sizeof line, "hwnd=0x%" PRIX64 " ipc=0x%" PRIX64 " pid=%" PRIu32, game_window,
                ipc_window, pid);
  return line;
}

std::string HostNotificationLine(uint64_t wparam, uint64_t lparam) {
  char line[96];
  std::snprintf(line, sizeof line, "msg1004 game_id=%" PRIu64 " pid=%" PRIu32, wparam,
                static_cast<uint32_t>(lparam));
  return line;
}

std::string FrameRateText(double frames_per_second, std::span<const double> frame_ms) {
  char number[64];
  std::snprintf(number, sizeof number, "%.1f\n", frames_per_second);
  std::string text = number;
  if (frame_ms.empty()) return text;
  text.reserve(text.size() + frame_ms.size() * 7);
  for (size_t i = 0; i < frame_ms.size(); ++i) {
    std::snprintf(number, sizeof number, i == 0 ? "%.2f" : " %.2f", frame_ms[i]);
    text += number;
  }
  text += '\n';
  return text;
}

void FrameTimeHistory::AddFrame(int64_t now) {
  if (last_end_) {
    const double ms =
        static_cast<double>(now - *last_end_) * 1000.0 / static_cast<double>(ticks_per_second_);
    frames_.push_back({now, ms});
  }
  last_end_ = now;
  const int64_t oldest_end = now - kFrameTimeSpanSeconds * ticks_per_second_;
  while (!frames_.empty() &&
         (frames_.front().end < oldest_end || frames_.size() > kMaxRecordedFrames)) {
    frames_.pop_front();
  }
}

std::vector<double> FrameTimeHistory::FrameTimesMs() const {
  std::vector<double> times;
  times.reserve(frames_.size());
  for (const Frame& frame : frames_) times.push_back(frame.ms);
  return times;
}

FramePacer::FramePacer(int64_t ticks_per_second, int frames_per_second)
    : period_(std::max<int64_t>(1, ticks_per_second / frames_per_second)) {}

int64_t FramePacer::TicksToWait(int64_t now) {
  if (next_due_ && now < *next_due_) return *next_due_ - now;
  const bool on_schedule = next_due_ && now - *next_due_ < period_;
  next_due_ = (on_schedule ? *next_due_ : now) + period_;
  return 0;
}

bool ReplaceWhileBusy(const std::function<ReplaceOutcome()>& replace,
                      const std::function<void()>& wait) {
  for (int attempt = 1;; ++attempt) {
    const ReplaceOutcome outcome = replace();
    if (outcome != ReplaceOutcome::kBusy) return outcome == ReplaceOutcome::kDone;
    if (attempt == kReplaceAttempts) return false;
    wait();
  }
}

std::optional<double> FrameRateCounter::AddFrame(int64_t now) {
  ++total_frames_;
  if (!period_start_) {
    period_start_ = now;
    return std::nullopt;
  }
  ++frames_in_period_;
  const int64_t elapsed = now - *period_start_;
  if (elapsed < ticks_per_second_) return std::nullopt;
  const double rate = static_cast<double>(frames_in_period_) *
                      static_cast<double>(ticks_per_second_) / static_cast<double>(elapsed);
  period_start_ = now;
  frames_in_period_ = 0;
  return rate;
}

std::vector<InputCommand> InputLineWatcher::Feed(std::string_view bytes) {
  std::vector<InputCommand> commands;
  for (const char c : bytes) {
    if (c == '\n') {
      if (const InputCommand command = LineCommand(); command != InputCommand::kNone) {
        commands.push_back(command);
      }
      line_.clear();
      line_too_long_ = false;
    } else if (line_.size() < kKeptBytes) {
      line_.push_back(c);
    } else {
      line_too_long_ = true;
    }
  }
  return commands;
}

InputCommand InputLineWatcher::Finish() {
  const InputCommand command = LineCommand();
  line_.clear();
  line_too_long_ = false;
  return command;
}

InputCommand InputLineWatcher::LineCommand() const {
  if (line_too_long_) return InputCommand::kNone;
  const auto first = line_.find_first_not_of(" \t\r");
  if (first == std::string::npos) return InputCommand::kNone;
  const auto last = line_.find_last_not_of(" \t\r");
  const std::string_view word = std::string_view(line_).substr(first, last - first + 1);
  if (word == "quit") return InputCommand::kQuit;
  if (word == "front") return InputCommand::kFront;
  return InputCommand::kNone;
}

}  // namespace corvane::demo_game
