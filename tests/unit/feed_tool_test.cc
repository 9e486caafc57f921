// corvane-feed's rules: its command line, the /proc readings and the live document.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "src/data/parse_json.h"
#include "tools/corvane_feed/feed_options.h"
#include "tools/corvane_feed/heartbeat.h"
#include "tools/corvane_feed/live_figures.h"

namespace {

using corvane::feed::FeedOptions;
using corvane::feed::ParseFeedOptions;
using corvane::feed::Source;

std::string ErrorOf(const std::vector<std::string>& args) {
  FeedOptions options;
  std::string error;
  return ParseFeedOptions(args, &options, &error) ? "" : error;
}

TEST(FeedOptionsTest, ReadsEveryOption) {
  FeedOptions options;
  std::string error;
  ASSERT_TRUE(ParseFeedOptions({"--live", "--interval", "250", "--show", "0", "--ipc", "0x1A2b",
                                "--game-id", "12345", "--fps-file", "f.txt", "--name", "blk"},
                               &options, &error))
      << error;
  EXPECT_EQ(options.source, Source::kLive);
  EXPECT_EQ(options.interval_ms, 250u);
  EXPECT_FALSE(options.show);
  EXPECT_EQ(options.ipc_wnd, 0x1A2Bu);
  EXPECT_EQ(options.game_id, 12345u);
  EXPECT_EQ(options.fps_file, "f.txt");
  EXPECT_EQ(options.block_name, "blk");

  ASSERT_TRUE(ParseFeedOptions({"--json", "{}", "--once"}, &options, &error));
  EXPECT_EQ(options.source, Source::kJsonText);
  EXPECT_TRUE(options.once);
  EXPECT_TRUE(options.show);
  EXPECT_EQ(options.interval_ms, 1000u);
  ASSERT_TRUE(ParseFeedOptions({"--remove"}, &options, &error));
  EXPECT_TRUE(options.remove);
  ASSERT_TRUE(ParseFeedOptions({"--bogus", "--help"}, &options, &error) == false);
}

TEST(FeedOptionsTest, RefusesWhatCannotWork) {
  EXPECT_EQ(ErrorOf({}), "give one of --json-file, --json or --live (see --help)");
  EXPECT_EQ(ErrorOf({"--live", "--json", "{}"}), "give only one of --json-file, --json and --live");
  EXPECT_EQ(ErrorOf({"--live", "--frobnicate"}), "unknown option '--frobnicate' (see --help)");
  EXPECT_EQ(ErrorOf({"--json-file"}), "--json-file needs a value");
  EXPECT_EQ(ErrorOf({"--live", "--live"}), "--live is given twice");
  EXPECT_EQ(ErrorOf({"--live", "--show", "yes"}), "--show takes 0 or 1, not 'yes'");
  for (const char* interval : {"0", "-5", "1.5", "", "3600001", "99999999999"}) {
    EXPECT_EQ(
        ErrorOf({"--live", "--interval", interval}),
        std::string("--interval takes milliseconds from 1 to 3600000, not '") + interval + "'");
  }
  for (const char* ipc : {"zz", "0x", "123456789", "-1", ""}) {
    EXPECT_NE(ErrorOf({"--live", "--ipc", ipc}).find("--ipc takes a window handle"),
              std::string::npos)
        << ipc;
  }
  EXPECT_EQ(ErrorOf({"--live", "--game-id", "12x", "--fps-file", "f"}),
            "--game-id takes a decimal number, not '12x'");
  EXPECT_EQ(ErrorOf({"--json", "{}", "--game-id", "1", "--fps-file", "f"}),
            "--game-id and --fps-file go with --live");
  EXPECT_EQ(ErrorOf({"--live", "--game-id", "1"}), "--game-id and --fps-file go together");
  EXPECT_EQ(ErrorOf({"--live", "--once", "--interval", "5"}),
            "--once and --interval do not go together");
  EXPECT_EQ(ErrorOf({"--json", "{}", "--test-hold-lock", "--once"}),
            "--test-hold-lock publishes once; it takes no --once or --interval");
  EXPECT_EQ(ErrorOf({"--remove", "--live"}), "--remove takes no other option but --name");
  EXPECT_EQ(ErrorOf({"--remove", "--name", "x"}), "");
  EXPECT_EQ(ErrorOf({"--check", "doc.json"}), "");
  EXPECT_EQ(ErrorOf({"--check", "doc.json", "--name", "x"}), "--check takes no other option");
  EXPECT_EQ(ErrorOf({"--json", "{}", "--check", "doc.json"}), "--check takes no other option");
  EXPECT_EQ(ErrorOf({"--live", "--name", "a/b"}),
            "--name: a block name is not empty and holds no '/', not 'a/b'");
}

TEST(ProcReadingsTest, StatMeminfoAndDiskstats) {
  const auto cpu =
      corvane::feed::ParseProcStat("cpu  100 5 50 800 20 3 2 0 7 0\ncpu0 1 2 3 4 5 6 7 8 9 10\n");
  ASSERT_TRUE(cpu);
  EXPECT_EQ(cpu->total, 980u);
  EXPECT_EQ(cpu->busy, 160u);  // without idle and iowait; guest is inside user
  EXPECT_FALSE(corvane::feed::ParseProcStat("intr 1 2 3"));
  EXPECT_FALSE(corvane::feed::ParseProcStat("cpu 1 2"));

  const auto memory = corvane::feed::ParseMeminfo(
      "MemTotal:       16777216 kB\nMemFree:  1024 kB\nMemAvailable:    9437184 kB\n");
  ASSERT_TRUE(memory);
  EXPECT_EQ(memory->first, 9216.0);
  EXPECT_EQ(memory->second, 16384.0);
  EXPECT_FALSE(corvane::feed::ParseMeminfo("MemTotal: 5 kB\n"));

  const auto disks = corvane::feed::ParseDiskstats(
      " 254       0 vda 7 0 9 4 1 0 0 0 0 1234 5 0 0 0 0\n"
      "   7       0 loop0 1 2 3\n"
      " 254       1 vda1 7 0 9 4 1 0 0 0 0 99 5\n");
  ASSERT_EQ(disks.size(), 2u);
  EXPECT_EQ(disks[0], (std::pair<std::string, uint64_t>{"vda", 1234}));
  EXPECT_EQ(disks[1], (std::pair<std::string, uint64_t>{"vda1", 99}));
  EXPECT_EQ(corvane::feed::Percent(1, 4), 25.0);
  EXPECT_EQ(corvane::feed::Percent(5, 0), 0.0);
  EXPECT_EQ(corvane::feed::Percent(9, 4), 100.0);
}

TEST(LiveDocumentTest, OverlayReadsWhatTheToolPublishes) {
  corvane::feed::MachineFigures figures;
  figures.cpu_percent = 23.456;
  figures.mem_free_mib = 9216.4;
  figures.mem_total_mib = 16384;
  figures.disks = {{"C:", 10.0}, {"D:", 30.0}};
  corvane::feed::AddDiskTotal(&figures.disks);
  const std::string document = corvane::feed::BuildLiveDocument(
      figures, corvane::feed::FrameRate{12345, 59.64, 41.0, 60.2, {}});

  corvane::PerfSnapshot snapshot;
  corvane::UiStyle style;
  ASSERT_TRUE(corvane::ParseJson(document, 12345, "_Total", snapshot, style)) << document;
  EXPECT_TRUE(snapshot.fps_valid);
  EXPECT_DOUBLE_EQ(snapshot.fps_cur, 59.6);
  EXPECT_DOUBLE_EQ(snapshot.cpu, 23.5);
  EXPECT_EQ(snapshot.mem_free, 9216.0);
  EXPECT_EQ(snapshot.mem_total, 16384.0);
  EXPECT_EQ(snapshot.disk_name, "_Total");
  EXPECT_EQ(snapshot.disk_used, 20.0);
  ASSERT_TRUE(corvane::ParseJson(document, 1, "d:", snapshot, style));
  EXPECT_FALSE(snapshot.fps_valid);
  EXPECT_EQ(snapshot.disk_used, 30.0);

  EXPECT_EQ(corvane::feed::BuildLiveDocument({}, std::nullopt),
            R"({"cpu":0.0,"diskio":[],"memory":{"free":0.0,"total":0.0}})");
}

TEST(LiveDocumentTest, StyleGoesInAsTheTextTheOverlayReads) {
  std::string error;
  corvane::feed::FeedOptions options;
  ASSERT_TRUE(corvane::feed::ParseFeedOptions(
      {"--live", "--style", R"({"alpha": 60, "pos": "left", "direction": "ver"})"}, &options,
      &error))
      << error;
  const std::string document = corvane::feed::BuildLiveDocument({}, std::nullopt, options.style);
  corvane::PerfSnapshot snapshot;
  corvane::UiStyle style;
  ASSERT_TRUE(corvane::ParseJson(document, 1, "_Total", snapshot, style)) << document;
  EXPECT_EQ(style.alpha, 153);
  EXPECT_EQ(style.pos, "left");
  EXPECT_EQ(style.direction, "ver");

  EXPECT_FALSE(corvane::feed::ParseFeedOptions({"--live", "--style", "[1]"}, &options, &error));
  EXPECT_EQ(error, "--style takes a JSON object, not '[1]'");
  EXPECT_FALSE(
      corvane::feed::ParseFeedOptions({"--json", "{}", "--style", "{}"}, &options, &error));
}

TEST(LiveDocumentTest, FrameRateFileHoldsTheRateAndOptionallyFrameTimes) {
  using corvane::feed::ParseFrameRateFile;
  auto file = ParseFrameRateFile("59.5\n");
  ASSERT_TRUE(file);
  EXPECT_EQ(file->rate, 59.5);
  EXPECT_TRUE(file->frame_ms.empty());
  file = ParseFrameRateFile("  60\n16.5 17\t0\n33.25\n");
  ASSERT_TRUE(file);
  EXPECT_EQ(file->rate, 60.0);
  EXPECT_EQ(file->frame_ms, (std::vector<double>{16.5, 17, 0, 33.25}));
  for (const char* text : {"", " \n", "fast", "60 fps", "60fps", "nan", "inf", "60\n16 x",
                           "60\n16 -1", "60\n16 inf", "60\n16,17"}) {
    EXPECT_FALSE(ParseFrameRateFile(text)) << text;
  }
}

TEST(LiveDocumentTest, LowsAreOneSecondOverTheNearestRankPercentiles) {
  using corvane::feed::ComputeFrameLows;
  // 1000 frames: 980 of 10 ms, 10 of 20 ms, 9 of 30 ms and one of 50 ms. Sorted, the 99th
  // percentile is the 990th time (20 ms), the 99.9th the 999th (30 ms).
  std::vector<double> times(1000, 10.0);
  for (size_t i = 980; i < 990; ++i) times[i] = 20.0;
  for (size_t i = 990; i < 999; ++i) times[i] = 30.0;
  times[999] = 50.0;
  auto lows = ComputeFrameLows(times);
  EXPECT_EQ(lows.low1, 50.0);
  EXPECT_DOUBLE_EQ(*lows.low01, 1000.0 / 30.0);
  // ... in any order, and with fewer frames the worst one sets both.
  lows = ComputeFrameLows({16.0, 40.0, 16.0, 17.0});
  EXPECT_EQ(lows.low1, 25.0);
  EXPECT_EQ(lows.low01, 25.0);
  EXPECT_FALSE(ComputeFrameLows({}).low1);
  EXPECT_FALSE(ComputeFrameLows({0.0, 0.0}).low01);  // no time at all: no rate
}

TEST(LiveDocumentTest, FrameTimesGoOutAsTheNewest200WithTheirLows) {
  corvane::feed::FrameRate fps{12345, 59.64, 41.0, 60.2, {}};
  for (int i = 0; i < 300; ++i) fps.frame_ms.push_back(i == 250 ? 100.0 : 16.666);
  const std::string document = corvane::feed::BuildLiveDocument({}, fps);
  const auto entry = nlohmann::json::parse(document)["fps"][0];
  ASSERT_EQ(entry["frame_ms"].size(), corvane::feed::kPublishedFrameTimes);
  EXPECT_EQ(entry["frame_ms"][0], 16.67);
  EXPECT_EQ(entry["frame_ms"][150], 100.0);  // frame 250 of 300
  EXPECT_EQ(entry["low1"], 60.0);            // 1000 / 16.666, one decimal
  EXPECT_EQ(entry["low01"], 10.0);           // the spike, from all 300

  // The overlay reads them whole, and a file without frame times adds no key.
  corvane::PerfSnapshot snapshot;
  corvane::UiStyle style;
  std::vector<corvane::DroppedKey> dropped;
  ASSERT_TRUE(corvane::ParseJson(document, 12345, "C:", snapshot, style, nullptr, &dropped));
  EXPECT_TRUE(dropped.empty());
  EXPECT_EQ(snapshot.frame_ms.size(), 200u);
  EXPECT_EQ(snapshot.fps_low01, 10.0);
  fps.frame_ms.clear();
  EXPECT_FALSE(nlohmann::json::parse(corvane::feed::BuildLiveDocument({}, fps))["fps"][0].contains(
      "frame_ms"));
}

TEST(HeartbeatTest, SeqGoesFirstAndTheRestOfTheTextStaysAsWritten) {
  using corvane::feed::WithSeq;
  EXPECT_EQ(WithSeq(R"({"cpu": 1.5, "memory": {"free": 1}})", 7),
            R"({"seq":7,"cpu": 1.5, "memory": {"free": 1}})");
  EXPECT_EQ(WithSeq(" {}\n", 18446744073709551615ull), " {\"seq\":18446744073709551615}\n");
  EXPECT_EQ(WithSeq("\xEF\xBB\xBF{\"cpu\": 2}", 1), "\xEF\xBB\xBF{\"seq\":1,\"cpu\": 2}");
  // The overlay reads it, and the figures as before.
  corvane::PerfSnapshot snapshot;
  corvane::UiStyle style;
  ASSERT_TRUE(corvane::ParseJson(WithSeq(R"({"cpu": 1.5})", 42), 0, "C:", snapshot, style));
  EXPECT_EQ(snapshot.seq, "42");
  EXPECT_EQ(snapshot.cpu, 1.5);
  // Its own seq is the document's author's; what is not an object has no place for one.
  for (const char* kept : {R"({"cpu": 1, "seq": 3})", "[1, 2]", "17", R"({"cpu": )"}) {
    EXPECT_EQ(WithSeq(kept, 5), kept);
  }
}

}  // namespace
