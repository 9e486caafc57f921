// The demo game's portable rules: its command line, its printed lines, its frame-rate counter
// and the watch for commands on standard input.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tools/demo_game/demo_game_options.h"

namespace {

using corvane::demo_game::DemoGameOptions;
using corvane::demo_game::FrameRateCounter;
using corvane::demo_game::InputCommand;
using corvane::demo_game::InputLineWatcher;
using corvane::demo_game::ParseDemoGameOptions;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::string ErrorOf(const std::vector<std::string>& args) {
  DemoGameOptions options;
  std::string error;
  return ParseDemoGameOptions(args, &options, &error) ? "" : error;
}

TEST(DemoGameOptionsTest, ReadsEveryOptionAndKeepsDefaults) {
  DemoGameOptions options;
  std::string error;
  ASSERT_TRUE(ParseDemoGameOptions({}, &options, &error));
  EXPECT_FALSE(options.pos.has_value());
  EXPECT_EQ(options.client_width, 800);
  EXPECT_EQ(options.client_height, 600);
  EXPECT_EQ(options.title, "Corvane Demo Game");
  EXPECT_EQ(options.fps_file, "");
  EXPECT_FALSE(options.frame_cap.has_value());
  EXPECT_FALSE(options.help);

  ASSERT_TRUE(
      ParseDemoGameOptions({"--pos", "-20,35", "--size", "640,1", "--title", "Spiel \xC3\xBC",
                            "--fps-file", "C:\\x\\fps.txt", "--fps", "60"},
                           &options, &error))
      << error;
  ASSERT_TRUE(options.pos.has_value());
  EXPECT_EQ(options.pos->x, -20);
  EXPECT_EQ(options.pos->y, 35);
  EXPECT_EQ(options.client_width, 640);
  EXPECT_EQ(options.client_height, 1);
  EXPECT_EQ(options.title, "Spiel \xC3\xBC");
  EXPECT_EQ(options.fps_file, "C:\\x\\fps.txt");
  EXPECT_EQ(options.frame_cap, 60);

  ASSERT_TRUE(ParseDemoGameOptions({"--title", "", "--help"}, &options, &error));
  EXPECT_TRUE(options.help);
  EXPECT_EQ(options.title, "");
}

TEST(DemoGameOptionsTest, RefusesWhatCannotWork) {
  EXPECT_EQ(ErrorOf({"--fullscreen"}), "unknown option '--fullscreen' (see --help)");
  EXPECT_EQ(ErrorOf({"--title", "a", "--title", "b"}), "--title is given twice");
  EXPECT_EQ(ErrorOf({"--pos"}), "--pos needs a value");
  EXPECT_EQ(ErrorOf({"--fps-file", ""}), "--fps-file takes a path, not ''");
  for (const char* pos : {"", "10", "10,", ",10", "10;20", "1.5,2", "10,20,30", "x,y", "32768,0",
                          "0,-32768", "99999999999,0"}) {
    EXPECT_EQ(ErrorOf({"--pos", pos}), std::string("--pos takes X,Y in pixels, not '") + pos + "'");
  }
  for (const char* size : {"0,100", "100,0", "-5,100", "16385,10", "10,16385", "640x480", ""}) {
    EXPECT_EQ(ErrorOf({"--size", size}),
              std::string("--size takes W,H from 1 to 16384 pixels, not '") + size + "'");
  }
  for (const char* fps : {"0", "1001", "-60", "60.5", "60fps", ""}) {
    EXPECT_EQ(ErrorOf({"--fps", fps}),
              std::string("--fps takes a number of frames from 1 to 1000, not '") + fps + "'");
  }
  EXPECT_EQ(ErrorOf({"--pos", "-32767,32767", "--size", "16384,16384"}), "");
  EXPECT_EQ(ErrorOf({"--fps", "1"}), "");
  EXPECT_EQ(ErrorOf({"--fps", "1000"}), "");
  // A bad option is refused even when --help is there too.
  EXPECT_NE(ErrorOf({"--help", "--bogus"}), "");
}

TEST(DemoGameLinesTest, CarryWholeHandlesIdsAndProcessIds) {
  EXPECT_EQ(corvane::demo_game::StartLine(0x1A0064, 0xFFFFFFFF00000010ull, 4294967295u),
            "hwnd=0x1A0064 ipc=0xFFFFFFFF00000010 pid=4294967295");
  EXPECT_EQ(corvane::demo_game::HostNotificationLine(18446744073709551615ull, 36),
            "msg1004 game_id=18446744073709551615 pid=36");
  EXPECT_EQ(corvane::demo_game::HostNotificationLine(0x123456789ABCDEF0ull, 0),
            "msg1004 game_id=1311768467463790320 pid=0");
  // The process id is the low 32 bits of the second parameter, unsigned.
  EXPECT_EQ(corvane::demo_game::HostNotificationLine(1, 0xFFFFFFFFDEADBEEFull),
            "msg1004 game_id=1 pid=3735928559");
}

TEST(DemoGameFrameRateTest, MeasuresOverPeriodsOfASecond) {
  FrameRateCounter counter(1000);                    // ticks are milliseconds
  EXPECT_FALSE(counter.AddFrame(5000).has_value());  // starts the first period
  for (int t = 5010; t < 6000; t += 10) EXPECT_FALSE(counter.AddFrame(t).has_value()) << t;
  // 100 frames after the start, over exactly one second.
  auto rate = counter.AddFrame(6000);
  ASSERT_TRUE(rate.has_value());
  EXPECT_DOUBLE_EQ(*rate, 100.0);
  EXPECT_EQ(counter.total_frames(), 101u);

  // A stall: three frames over two and a half seconds give 1.2 per second, not 3.
  EXPECT_FALSE(counter.AddFrame(6100).has_value());
  EXPECT_FALSE(counter.AddFrame(6200).has_value());
  rate = counter.AddFrame(8500);
  ASSERT_TRUE(rate.has_value());
  EXPECT_DOUBLE_EQ(*rate, 1.2);

  // A real counter's frequency and a rate in the thousands.
  FrameRateCounter fast(10000000);
  fast.AddFrame(0);
  std::optional<double> last;
  for (int64_t i = 1; i <= 2500; ++i) last = fast.AddFrame(i * 4000);
  ASSERT_TRUE(last.has_value());
  EXPECT_DOUBLE_EQ(*last, 2500.0);
}

TEST(DemoGameFrameRateTest, FileTextIsTheRateThenTheFrameTimes) {
  EXPECT_EQ(corvane::demo_game::FrameRateText(123.44), "123.4\n");
  EXPECT_EQ(corvane::demo_game::FrameRateText(59.96), "60.0\n");
  EXPECT_EQ(corvane::demo_game::FrameRateText(0.0), "0.0\n");
  const std::vector<double> times = {16.666, 16.8, 100.004};
  EXPECT_EQ(corvane::demo_game::FrameRateText(59.96, times), "60.0\n16.67 16.80 100.00\n");
}

TEST(DemoGameFrameRateTest, FrameTimesOfTheLastTenSecondsAtMost5000) {
  using corvane::demo_game::FrameTimeHistory;
  FrameTimeHistory history(1000);  // ticks are milliseconds
  history.AddFrame(100);           // only starts the count
  EXPECT_TRUE(history.FrameTimesMs().empty());
  history.AddFrame(116);
  history.AddFrame(150);
  EXPECT_EQ(history.FrameTimesMs(), (std::vector<double>{16, 34}));
  // A frame that ends more than 10 s after the first two leaves them behind.
  history.AddFrame(10120);
  history.AddFrame(10140);
  EXPECT_EQ(history.FrameTimesMs(), (std::vector<double>{34, 9970, 20}));

  FrameTimeHistory fast(10000000);  // a real counter's frequency, 10000 frames a second
  for (int64_t i = 0; i <= 8000; ++i) fast.AddFrame(i * 1000);
  const std::vector<double> kept = fast.FrameTimesMs();
  ASSERT_EQ(kept.size(), FrameTimeHistory::kMaxRecordedFrames);
  EXPECT_DOUBLE_EQ(kept.back(), 0.1);
}

TEST(DemoGameFrameRateTest, PacerKeepsTheRateThroughLateWakesAndRestartsAfterAStall) {
  using corvane::demo_game::FramePacer;
  FramePacer pacer(1000, 50);             // ticks are milliseconds; a frame every 20
  EXPECT_EQ(pacer.TicksToWait(100), 0);   // the first frame at once; the next due at 120
  EXPECT_EQ(pacer.TicksToWait(105), 15);  // not yet, and the wait does not move it
  EXPECT_EQ(pacer.TicksToWait(119), 1);
  // A wake 3 ticks late: the frame after it is still due at 140, not 143.
  EXPECT_EQ(pacer.TicksToWait(123), 0);
  EXPECT_EQ(pacer.TicksToWait(130), 10);
  EXPECT_EQ(pacer.TicksToWait(140), 0);
  // A stall of a whole period or more: the schedule starts again from the late frame, with no
  // burst of frames to catch up.
  EXPECT_EQ(pacer.TicksToWait(200), 0);
  EXPECT_EQ(pacer.TicksToWait(201), 19);
  EXPECT_EQ(pacer.TicksToWait(220), 0);

  // 60 a second from a real counter's frequency: 60 frames over a second, none of them early.
  FramePacer sixty(10000000, 60);
  int frames = 0;
  for (int64_t now = 0; now < 10000000; now += 1000) frames += sixty.TicksToWait(now) == 0;
  EXPECT_EQ(frames, 60);
}

TEST(DemoGameFrameRateTest, FileReplacementWaitsForABusyReaderButNotForever) {
  using corvane::demo_game::kReplaceAttempts;
  using corvane::demo_game::ReplaceOutcome;
  using corvane::demo_game::ReplaceWhileBusy;
  int calls = 0, waits = 0;
  const auto wait = [&waits] { ++waits; };
  const auto busy_for = [&calls](int busy_calls, ReplaceOutcome then) {
    return
        [&calls, busy_calls, then] { return ++calls <= busy_calls ? ReplaceOutcome::kBusy : then; };
  };

  EXPECT_TRUE(ReplaceWhileBusy(busy_for(0, ReplaceOutcome::kDone), wait));
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(waits, 0);

  calls = waits = 0;
  EXPECT_TRUE(ReplaceWhileBusy(busy_for(3, ReplaceOutcome::kDone), wait));
  EXPECT_EQ(calls, 4);
  EXPECT_EQ(waits, 3);

  // Busy at every attempt: it gives up, without a wait after the last attempt.
  calls = waits = 0;
  EXPECT_FALSE(ReplaceWhileBusy(busy_for(1000, ReplaceOutcome::kDone), wait));
  EXPECT_EQ(calls, kReplaceAttempts);
  EXPECT_EQ(waits, kReplaceAttempts - 1);

  // Any other failure is final at once.
  calls = waits = 0;
  EXPECT_FALSE(ReplaceWhileBusy(busy_for(0, ReplaceOutcome::kFailed), wait));
  EXPECT_EQ(calls, 1);
  calls = waits = 0;
  EXPECT_FALSE(ReplaceWhileBusy(busy_for(2, ReplaceOutcome::kFailed), wait));
  EXPECT_EQ(calls, 3);
}

TEST(InputLineWatcherTest, OnlyLinesThatReadQuitOrFrontAreCommands) {
  using enum InputCommand;
  InputLineWatcher watcher;
  EXPECT_THAT(watcher.Feed("hello\nquitting\n quit now\nqu"), IsEmpty());
  EXPECT_THAT(watcher.Feed("it\n"), ElementsAre(kQuit));  // split across two reads

  InputLineWatcher crlf;
  EXPECT_THAT(crlf.Feed("  quit \r\n"), ElementsAre(kQuit));

  InputLineWatcher several;
  EXPECT_THAT(several.Feed("\n\nfront\nabc\nquit\n\tfront\r\n"),
              ElementsAre(kFront, kQuit, kFront));

  InputLineWatcher none;
  EXPECT_THAT(none.Feed("QUIT\nFront\nfronts\n\n"), IsEmpty());
  EXPECT_EQ(none.Finish(), kNone);
}

TEST(InputLineWatcherTest, LastLineWithoutNewlineCountsAtTheEnd) {
  InputLineWatcher watcher;
  EXPECT_THAT(watcher.Feed("x\nquit"), IsEmpty());
  EXPECT_EQ(watcher.Finish(), InputCommand::kQuit);
  EXPECT_EQ(watcher.Finish(), InputCommand::kNone);
}

TEST(InputLineWatcherTest, LongLinesAreNeitherKeptNorMistakenForCommands) {
  InputLineWatcher watcher;
  // A line far longer than what is kept, ending in "quit": it is not the quit line.
  const std::string long_line(1 << 20, ' ');
  EXPECT_THAT(watcher.Feed(long_line), IsEmpty());
  EXPECT_THAT(watcher.Feed("quit\n"), IsEmpty());
  // A long line that starts like the quit line: only its start is kept, yet it is not one.
  EXPECT_THAT(watcher.Feed("quit" + long_line + "x\n"), IsEmpty());
  // The next line is read afresh.
  EXPECT_THAT(watcher.Feed("quit\n"), ElementsAre(InputCommand::kQuit));
}

}  // namespace
