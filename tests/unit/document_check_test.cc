// Where the overlay's parser stops, and the check that runs it as every overlay of a document.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "src/data/document_check.h"
#include "src/data/parse_json.h"
#include "tests/support/test_logger.h"
#include "tests/support/thread_cpu_time.h"

namespace {

using corvane::CheckOverlayReading;
using corvane::DescribeCheck;
using corvane::DocumentCheck;
using corvane::ParseStop;

class DocumentCheckTest : public ::testing::Test {
 protected:
  // The key at which the overlay of `game_id` on `drive` stops ("-" when it reads it whole).
  std::string StopKey(const std::string& text, uint64_t game_id = 12345,
                      const std::string& drive = "C:") {
    corvane::PerfSnapshot snapshot;
    corvane::UiStyle style;
    ParseStop stop;
    return corvane::ParseJson(text, game_id, drive, snapshot, style, &stop) ? "-" : stop.key;
  }

  corvane::testing::TestLogger logger;  // ParseJson's ERROR lines stay here
  corvane::testing::ScopedLoggerReplacement replace{&logger};
};

TEST_F(DocumentCheckTest, ParseStopNamesTheValue) {
  EXPECT_EQ(StopKey(R"({"cpu": null})"), "cpu");
  EXPECT_EQ(StopKey(R"([1, 2])"), "");  // the top level itself
  EXPECT_EQ(StopKey(R"({"fps": [{"game_id": 1, "cur": 1}, {"game_id": 2, "cur": "x"}]})"),
            "fps[1].cur");
  EXPECT_EQ(StopKey(R"({"fps": [{"game_id": 12345, "cur": 1, "max": null}]})"), "fps[0].max");
  EXPECT_EQ(StopKey(R"({"gpu": [7, {"gpu_mem_total": 1, "name": 3}]})"), "gpu[1].name");
  EXPECT_EQ(StopKey(R"({"memory": []})"), "memory");
  EXPECT_EQ(StopKey(R"({"memory": {"free": 1, "total": "2"}})"), "memory.total");
  EXPECT_EQ(StopKey(R"({"diskio": [{"name": "D:"}, "C:"]})"), "diskio[1]");
  EXPECT_EQ(StopKey(R"({"diskio": [{"name": "C:", "used": true}]})"), "diskio[0].used");
  EXPECT_EQ(StopKey(R"({"ui_style": "[1]"})"), "ui_style");
  EXPECT_EQ(StopKey(R"({"ui_style": "{\"font-color\": 255}"})"), "ui_style.font-color");
  // What the parser skips or ignores does not stop it.
  EXPECT_EQ(StopKey(R"({"fps": [3, {"cur": "x"}], "ui_style": {"alpha": "x"}})"), "-");
  EXPECT_EQ(StopKey(R"({"ui_style": "not json"})"), "-");
}

TEST_F(DocumentCheckTest, TextThatIsNotJsonSaysSo) {
  ParseStop stop;
  corvane::PerfSnapshot snapshot;
  corvane::UiStyle style;
  EXPECT_FALSE(corvane::ParseJson(R"({"cpu":)", 1, "C:", snapshot, style, &stop));
  EXPECT_EQ(stop.key, "");
  EXPECT_EQ(stop.reason, "not a JSON document");

  const DocumentCheck check = CheckOverlayReading(R"({"cpu":)");
  EXPECT_FALSE(check.whole);
  EXPECT_TRUE(DescribeCheck(check).starts_with("not a JSON document: [json.exception.parse_error"))
      << DescribeCheck(check);
}

TEST_F(DocumentCheckTest, EveryListedGameAndDriveAndOneOfEachUnlisted) {
  const DocumentCheck whole = CheckOverlayReading(
      R"({"fps": [{"game_id": 1, "cur": 60}], "diskio": [{"name": "_Total"}, {"name": "C:"}]})");
  EXPECT_TRUE(whole.whole);
  EXPECT_EQ(whole.overlays, 3);  // drives _Total, C: and one unlisted
  EXPECT_EQ(DescribeCheck(whole), "read whole by every overlay (3 tried)");

  // Only the overlay of game 2 reads entry 1's "min".
  DocumentCheck check = CheckOverlayReading(
      R"({"fps": [{"game_id": 1, "cur": 1}, {"game_id": "2", "cur": 1, "min": "low"}]})");
  EXPECT_FALSE(check.whole);
  EXPECT_EQ(check.game_id, 2u);
  EXPECT_EQ(check.stop.key, "fps[1].min");
  EXPECT_EQ(DescribeCheck(check),
            "not read whole: the overlay of game 2 on a drive not listed stops at "
            "\"fps[1].min\": [json.exception.type_error.302] type must be number, but is string");

  // Only an overlay on D: reads the second entry's "used".
  check = CheckOverlayReading(R"({"diskio": [{"name": "C:", "used": 1}, {"name": "D:",
                                  "used": "busy"}]})");
  EXPECT_EQ(check.drive, "D:");
  EXPECT_EQ(check.stop.key, "diskio[1].used");

  // Entry 1 repeats game 18446744073709551615, whose overlay stops at entry 0: only the
  // overlay of a game not listed walks on to it.
  check = CheckOverlayReading(R"({"fps": [{"game_id": 18446744073709551615, "cur": 1},
                                          {"game_id": 18446744073709551615, "cur": null}]})");
  EXPECT_FALSE(check.whole);
  EXPECT_EQ(check.game_id, std::nullopt);
  EXPECT_EQ(check.stop.key, "fps[1].cur");

  // An overlay takes the first entry of its game that has a "cur" and the first disk whose name
  // has its drive: what comes after is never read, by it or any other overlay.
  EXPECT_TRUE(CheckOverlayReading(R"({"fps": [{"game_id": 1, "cur": 1}, {"game_id": 2, "cur": 2},
                                          {"game_id": 1, "cur": 3, "min": "x"}],
                                  "diskio": [{"name": "C:", "used": 1}, {"name": "c:",
                                              "used": "x"}]})")
                  .whole);
  check = CheckOverlayReading(R"({"fps": [{"game_id": 1}, {"game_id": 2, "cur": 2},
                                          {"game_id": 1, "cur": 3, "min": "x"}]})");
  EXPECT_EQ(check.game_id, 1u);
  EXPECT_EQ(check.stop.key, "fps[2].min");
  check = CheckOverlayReading(R"({"diskio": [{"name": "D:", "used": 1}, {"name": "xc:",
                                  "used": "x"}, {"name": "C:", "used": 2}]})");
  EXPECT_EQ(check.drive, "xc:");
  EXPECT_EQ(check.stop.key, "diskio[1].used");
  // A frame-pacing key that only game 2's overlay reads, and would leave out.
  check = CheckOverlayReading(R"({"fps": [{"game_id": 1, "cur": 1, "frame_ms": [16, 17]},
                                          {"game_id": 2, "cur": 1, "low1": 41, "frame_ms":
                                           [16, null]}], "cpu": 5})");
  EXPECT_FALSE(check.whole);
  EXPECT_EQ(check.game_id, 2u);
  ASSERT_TRUE(check.dropped);
  EXPECT_EQ(check.dropped->key, "fps[1].frame_ms[1]");
  EXPECT_EQ(DescribeCheck(check),
            "not read whole: the overlay of game 2 on a drive not listed leaves out "
            "\"fps[1].frame_ms[1]\" (and reads the rest): must be a number, not null");
  EXPECT_TRUE(CheckOverlayReading(R"({"fps": [{"game_id": 2, "cur": 1, "low1": 41, "low01": 0,
                                              "frame_ms": [0, 60000]}]})")
                  .whole);
  // A malformed row of the style's colours, which every overlay reads and leaves out.
  check = CheckOverlayReading(
      R"({"ui_style": "{\"colors\": {\"fps\": {\"values\": [30], \"colors\": [\"#ff0000\"]}}}"})");
  EXPECT_FALSE(check.whole);
  EXPECT_EQ(DescribeCheck(check),
            "not read whole: the overlay of a game not listed on a drive not listed leaves out "
            "\"ui_style.colors.fps.colors\" (and reads the rest): needs one colour more than the "
            "1 values, not 1");

  check = CheckOverlayReading("[1, 2]");
  EXPECT_TRUE(DescribeCheck(check).find("stops at the top level (it is not an object)") !=
              std::string::npos)
      << DescribeCheck(check);
}

// One walk tells every entry that stops an overlay or loses a key, once, for the first overlay
// that reads it: a bad "cur" stops every overlay still walking, so no one reads the entries after
// it (game 4's "min" is never read).
TEST_F(DocumentCheckTest, EachEntryThatStopsAnOverlayIsToldOnceInOrder) {
  const DocumentCheck check = CheckOverlayReading(R"({"fps": [
      {"game_id": 1, "cur": 1, "min": "x"}, {"game_id": 2, "cur": 2, "low1": -3},
      {"game_id": 3, "cur": null}, {"game_id": 4, "cur": 4, "min": "y"}],
    "diskio": [{"name": "C:", "used": "a"}, {"name": "D:", "used": 1}, {"name": "c:", "used": "b"},
               {"name": "e:", "used": "c"}]})");
  ASSERT_FALSE(check.whole);
  std::vector<std::string> told;
  for (const corvane::OverlayProblem& problem : check.problems) {
    const std::string who = (problem.game_id ? std::to_string(*problem.game_id) : "-") + "/" +
                            problem.drive.value_or("-");
    told.push_back(
        who + " " +
        (problem.dropped ? "leaves out " + problem.dropped->key : "stops at " + problem.stop.key));
  }
  EXPECT_EQ(told,
            (std::vector<std::string>{"1/- stops at fps[0].min", "2/- leaves out fps[1].low1",
                                      "-/- stops at fps[2].cur", "-/C: stops at diskio[0].used",
                                      "-/e: stops at diskio[3].used"}));
  EXPECT_EQ(check.overlays, 5);  // drives C:, D:, c:, e: and one not listed (game 4: never reached)
  EXPECT_EQ(check.stop.key, "fps[0].min");  // the first, as a person is told it
  EXPECT_TRUE(DescribeCheck(check).ends_with(
      " (and 4 more: \"fps[1].low1\", \"fps[2].cur\", \"diskio[0].used\", \"diskio[3].used\")"))
      << DescribeCheck(check);
}

// Each overlay reads the text once, so the check of every overlay of a document reads each part
// of it a bounded number of times: 50,000 games (2 MB, far more than any block takes) are
// checked in about a second of processor time, where a parse of the whole text for each game
// would take hours.
TEST_F(DocumentCheckTest, ManyGamesAreCheckedInTimeThatGrowsWithTheText) {
  std::string text = R"({"fps": [)";
  for (int game = 1; game <= 50000; ++game) {
    text += R"({"game_id": )" + std::to_string(game) + R"(, "cur": 60.0, "min": 1}, )";
  }
  text += R"({"game_id": 77, "cur": 1, "min": "low"}], "diskio": [)";
  for (int disk = 1; disk <= 2000; ++disk)
    text += R"({"name": "D)" + std::to_string(disk) + "\"}, ";
  text += R"({"name": "Z:", "used": 1}]})";
  const auto start = corvane::testing::ThreadCpuTime();
  const DocumentCheck check = CheckOverlayReading(text);
  const auto took = corvane::testing::ThreadCpuTime() - start;
  EXPECT_TRUE(check.whole) << DescribeCheck(check);  // game 77 takes its first entry
  EXPECT_EQ(check.overlays, 50001);
  EXPECT_LT(took, std::chrono::seconds(5) * corvane::testing::kBuildSlowdown);
  std::printf(
      "     %zu bytes, %d overlays: %lld ms of processor time\n", text.size(), check.overlays,
      static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
}

}  // namespace
