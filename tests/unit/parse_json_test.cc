// The host's document into the two records: each step, its defaults, its errors.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "src/data/parse_json.h"
#include "tests/support/test_logger.h"

namespace {

using corvane::ParseJson;
using corvane::PerfSnapshot;
using corvane::UiStyle;
using corvane::testing::ScopedLoggerReplacement;
using corvane::testing::TestLogger;

constexpr char kExample[] = R"({
  "fps": [{"game_id": 12345, "cur": 59.6, "min": 41.0, "max": 60.2}],
  "cpu": 23.5,
  "gpu": [{"name": "Radeon RX 6600", "gpu": 41.0, "gpu_mem_used": 2147483648,
           "gpu_mem_total": 8589934592}],
  "memory": {"free": 9216, "total": 16384},
  "diskio": [{"name": "_Total", "used": 3.5}, {"name": "C:", "used": 1.2}],
  "ui_style": "{\"alpha\": 80, \"font-size\": 16, \"pos\": \"top-center\", \"direction\": \"hor\", \"font-color\": \"#00ff80\"}"
})";

class ParseJsonTest : public ::testing::Test {
 protected:
  bool Parse(const std::string& text, uint64_t game_id = 12345, const std::string& drive = "C:") {
    return ParseJson(text, game_id, drive, snapshot, style);
  }
  // A style text inside an otherwise empty document.
  bool ParseStyle(const std::string& style_text) {
    std::string escaped;
    for (char c : style_text) {
      if (c == '\n') c = ' ';
      if (c == '"' || c == '\\') escaped += '\\';
      escaped += c;
    }
    return Parse(R"({"ui_style": ")" + escaped + "\"}");
  }
  std::vector<std::string> Errors() const { return logger.Texts(base::kLogError); }

  TestLogger logger;
  ScopedLoggerReplacement replace{&logger};
  PerfSnapshot snapshot;
  UiStyle style;
};

TEST_F(ParseJsonTest, ExampleDocumentGivesItsFigures) {
  ASSERT_TRUE(Parse(kExample));
  EXPECT_TRUE(snapshot.fps_valid);
  EXPECT_EQ(snapshot.fps_game_id, 12345u);
  EXPECT_DOUBLE_EQ(snapshot.fps_cur, 59.6);
  EXPECT_DOUBLE_EQ(snapshot.fps_min, 41.0);
  EXPECT_DOUBLE_EQ(snapshot.fps_max, 60.2);
  EXPECT_DOUBLE_EQ(snapshot.cpu, 23.5);
  EXPECT_TRUE(snapshot.gpu_valid);
  EXPECT_EQ(snapshot.gpu_name, "Radeon RX 6600");
  EXPECT_DOUBLE_EQ(snapshot.gpu, 41.0);
  EXPECT_DOUBLE_EQ(snapshot.gpu_mem_used / (1024.0 * 1024 * 1024), 2.0);
  EXPECT_DOUBLE_EQ(snapshot.gpu_mem_total / (1024.0 * 1024 * 1024), 8.0);
  EXPECT_DOUBLE_EQ((snapshot.mem_total - snapshot.mem_free) / 1024, 7.0);
  EXPECT_DOUBLE_EQ(snapshot.mem_total / 1024, 16.0);
  EXPECT_TRUE(snapshot.disk_valid);
  EXPECT_EQ(snapshot.disk_name, "C:");
  EXPECT_DOUBLE_EQ(snapshot.disk_used, 1.2);
  EXPECT_EQ(style.alpha, 204);
  EXPECT_EQ(style.font_size, 16);
  EXPECT_EQ(style.pos, "top-center");
  EXPECT_EQ(style.direction, "hor");
  EXPECT_EQ(style.font_color, 0x00FF80u);
  EXPECT_TRUE(logger.records.empty());
}

TEST_F(ParseJsonTest, EmptyObjectClearsFlagsAndCpuOnly) {
  ASSERT_TRUE(Parse(kExample));
  const UiStyle before = style;
  ASSERT_TRUE(Parse("{}"));
  EXPECT_FALSE(snapshot.fps_valid);
  EXPECT_FALSE(snapshot.gpu_valid);
  EXPECT_FALSE(snapshot.disk_valid);
  EXPECT_EQ(snapshot.cpu, 0.0);
  // Stale figures stay; only the flags say so.
  EXPECT_DOUBLE_EQ(snapshot.fps_cur, 59.6);
  EXPECT_EQ(snapshot.mem_free, 9216.0);
  EXPECT_EQ(snapshot.mem_total, 16384.0);
  EXPECT_EQ(style.alpha, before.alpha);
  EXPECT_EQ(style.font_color, before.font_color);
  EXPECT_TRUE(logger.records.empty());
}

TEST_F(ParseJsonTest, TextThatIsNotJsonChangesNothingAndLogsNothing) {
  ASSERT_TRUE(Parse(kExample));
  for (const char* text : {R"({"cpu": 5.0, "fps": [])", "", "   ", "{} {}", "{} // note",
                           "/* c */ {}", "{\"cpu\": 5,}", "\xEF\xBB"}) {
    EXPECT_FALSE(Parse(text)) << text;
    EXPECT_TRUE(snapshot.fps_valid) << text;
    EXPECT_EQ(snapshot.cpu, 23.5) << text;
  }
  EXPECT_TRUE(logger.records.empty());
  // A byte-order mark and trailing white space are fine.
  EXPECT_TRUE(Parse("\xEF\xBB\xBF{\"cpu\": 7} \n\t"));
  EXPECT_EQ(snapshot.cpu, 7.0);
}

TEST_F(ParseJsonTest, TopLevelArrayFailsAtTheCpuLookupWithTypeError306) {
  ASSERT_TRUE(Parse(kExample));
  EXPECT_FALSE(Parse("[1, 2]"));
  EXPECT_FALSE(snapshot.fps_valid);  // cleared before the failing lookup
  EXPECT_TRUE(snapshot.gpu_valid);   // later steps never ran
  EXPECT_EQ(snapshot.cpu, 23.5);
  ASSERT_EQ(logger.records.size(), 1u);
  EXPECT_EQ(logger.records[0].level, base::kLogError);
  // The feed's records, the parser's among them, all carry the reader's source path.
  EXPECT_EQ(logger.records[0].file, "src/data/shared_memory_reader");
  EXPECT_EQ(logger.records[0].text,
            "ParseJson exception: [json.exception.type_error.306] cannot use value() with array");
  EXPECT_FALSE(Parse("\"text\""));
  EXPECT_EQ(Errors().back(),
            "ParseJson exception: [json.exception.type_error.306] cannot use value() with string");
}

TEST_F(ParseJsonTest, NullCpuIsATypeErrorNotAbsent) {
  ASSERT_TRUE(Parse(kExample));
  EXPECT_FALSE(
      Parse(R"({"fps": [{"game_id": 12345, "cur": 30}], "cpu": null, "memory": {"free": 1}})"));
  EXPECT_TRUE(snapshot.fps_valid);
  EXPECT_EQ(snapshot.fps_cur, 30.0);
  EXPECT_EQ(snapshot.cpu, 23.5);
  EXPECT_EQ(snapshot.mem_free, 9216.0);  // the step after the error never ran
  EXPECT_EQ(Errors(), std::vector<std::string>{"ParseJson exception: [json.exception.type_error."
                                               "302] type must be number, but is null"});
}

TEST_F(ParseJsonTest, FrameRateEntries) {
  // The first matching entry wins; "min"/"max" default to 0.
  ASSERT_TRUE(Parse(R"({"fps": [{"game_id": 1, "cur": 10}, {"game_id": 12345, "cur": 20},
                                {"game_id": 12345, "cur": 30, "min": 1, "max": 2}]})"));
  EXPECT_TRUE(snapshot.fps_valid);
  EXPECT_EQ(snapshot.fps_cur, 20.0);
  EXPECT_EQ(snapshot.fps_min, 0.0);
  EXPECT_EQ(snapshot.fps_max, 0.0);

  // Entries that are not objects or lack "game_id" or "cur" are skipped, even a bad "cur".
  ASSERT_TRUE(Parse(R"({"fps": [5, {"cur": "x"}, {"game_id": 12345}, {"game_id": 12345,
                                "cur": 44}]})"));
  EXPECT_EQ(snapshot.fps_cur, 44.0);

  // No match: the figures stay, the flag is cleared.
  ASSERT_TRUE(Parse(R"({"fps": [{"game_id": 7, "cur": 1}]})"));
  EXPECT_FALSE(snapshot.fps_valid);
  EXPECT_EQ(snapshot.fps_cur, 44.0);
  ASSERT_TRUE(Parse(R"({"fps": {"game_id": 12345, "cur": 1}})"));  // not an array
  EXPECT_FALSE(snapshot.fps_valid);
}

TEST_F(ParseJsonTest, GameIdForms) {
  struct Case {
    const char* game_id;
    uint64_t process_game_id;
    bool matches;
  };
  const Case cases[] = {
      {R"("12345")", 12345, true},
      {R"("12345abc")", 12345, true},
      {R"("  12345")", 12345, true},
      {R"("abc")", 0, true},
      {"true", 0, true},
      {"true", 1, false},
      {"12345.9", 12345, true},
      {"-1", 18446744073709551615u, true},
      {"18446744073709551615", 18446744073709551615u, true},
      {"null", 0, true},
      {"[12345]", 12345, false},
      {"-5.0", 0, true},
      {"1e30", 0, true},
  };
  for (const Case& c : cases) {
    const std::string text =
        std::string(R"({"fps": [{"game_id": )") + c.game_id + R"(, "cur": 9}]})";
    ASSERT_TRUE(Parse(text, c.process_game_id)) << c.game_id;
    EXPECT_EQ(snapshot.fps_valid, c.matches) << c.game_id;
    if (c.matches) {
      EXPECT_EQ(snapshot.fps_game_id, c.process_game_id) << c.game_id;
    }
  }
}

TEST_F(ParseJsonTest, FrameRateTypeErrors) {
  // A bad "cur" before the match ends the parse, as does a bad "min" in the match.
  EXPECT_FALSE(Parse(R"({"fps": [{"game_id": 1, "cur": "x"}, {"game_id": 12345, "cur": 5}]})"));
  EXPECT_FALSE(snapshot.fps_valid);
  EXPECT_FALSE(Parse(R"({"fps": [{"game_id": 12345, "cur": 5, "max": true}]})"));
  EXPECT_FALSE(snapshot.fps_valid);
  EXPECT_EQ(snapshot.fps_cur, 5.0);  // set before the failing "max"
  EXPECT_EQ(Errors().back(),
            "ParseJson exception: [json.exception.type_error.302] type must be number, but is "
            "boolean");
  // A bad "min" in another game's entry does not matter.
  EXPECT_TRUE(Parse(R"({"fps": [{"game_id": 1, "cur": 5, "min": "x"}]})"));
}

// The frame-pacing keys of this game's entry: "low1", "low01" and "frame_ms", the newest 240.
TEST_F(ParseJsonTest, FramePacingKeys) {
  std::string times;
  for (int i = 0; i < 300; ++i) times += (i ? ", " : "") + std::to_string(i) + ".5";
  ASSERT_TRUE(Parse(R"({"fps": [{"game_id": 7, "cur": 1, "low1": "x", "frame_ms": 3},
                                {"game_id": 12345, "cur": 60, "low1": 41.5, "low01": 30,
                                 "frame_ms": [)" +
                    times + "]}]}"));
  EXPECT_EQ(snapshot.fps_low1, 41.5);
  EXPECT_EQ(snapshot.fps_low01, 30.0);
  ASSERT_EQ(snapshot.frame_ms.size(), corvane::kMaxFrameTimes);
  EXPECT_EQ(snapshot.frame_ms.front(), 60.5);  // the oldest 60 are left out
  EXPECT_EQ(snapshot.frame_ms.back(), 299.5);
  EXPECT_EQ(snapshot.fps_target_ms, std::nullopt);
  for (const double target : {0.5, 16.7, 1000.0}) {  // the range's ends are taken
    ASSERT_TRUE(Parse(R"({"fps": [{"game_id": 12345, "cur": 60, "target_ms": )" +
                      std::to_string(target) + "}]}"));
    EXPECT_EQ(snapshot.fps_target_ms, target);
  }

  // A host that stops publishing them: gone at the next read. Another game's entry, even with
  // bad keys, is not read.
  ASSERT_TRUE(Parse(R"({"fps": [{"game_id": 12345, "cur": 60, "frame_ms": [16.7]}]})"));
  EXPECT_EQ(snapshot.fps_low1, std::nullopt);
  EXPECT_EQ(snapshot.fps_low01, std::nullopt);
  EXPECT_EQ(snapshot.frame_ms, std::vector<double>{16.7});
  ASSERT_TRUE(Parse(R"({"fps": [{"game_id": 12345, "cur": 60}]})"));
  EXPECT_TRUE(snapshot.frame_ms.empty());
  EXPECT_TRUE(logger.records.empty());
}

TEST_F(ParseJsonTest, BadFramePacingKeyCostsOnlyItself) {
  struct Case {
    const char* keys;         // inside this game's entry
    const char* dropped_key;  // the one key that is left out
    bool lows, frame_ms;      // what is still taken
  };
  const Case cases[] = {
      {R"("low1": "41", "low01": 30, "frame_ms": [16, 17])", "fps[0].low1", false, true},
      {R"("low1": 41, "low01": null, "frame_ms": [16, 17])", "fps[0].low01", false, true},
      {R"("low1": -1, "low01": 30, "frame_ms": [16, 17])", "fps[0].low1", false, true},
      {R"("low1": 41, "low01": 1e300, "frame_ms": [16, 17])", "fps[0].low01", false, true},
      {R"("low1": 41, "low01": 30, "frame_ms": {"a": 1})", "fps[0].frame_ms", true, false},
      {R"("low1": 41, "low01": 30, "frame_ms": "16 17")", "fps[0].frame_ms", true, false},
      {R"("low1": 41, "low01": 30, "frame_ms": [16, "17", 18])", "fps[0].frame_ms[1]", true, false},
      {R"("low1": 41, "low01": 30, "frame_ms": [16, -0.5])", "fps[0].frame_ms[1]", true, false},
      {R"("low1": 41, "low01": 30, "frame_ms": [1e300, 16])", "fps[0].frame_ms[0]", true, false},
      {R"("low1": 41, "low01": 30, "frame_ms": [16, [17]])", "fps[0].frame_ms[1]", true, false},
      {R"("low1": 41, "low01": 30, "frame_ms": [16, 17], "target_ms": 0.4)", "fps[0].target_ms",
       true, true},
      {R"("low1": 41, "low01": 30, "frame_ms": [16, 17], "target_ms": 1000.5)", "fps[0].target_ms",
       true, true},
      {R"("low1": 41, "low01": 30, "frame_ms": [16, 17], "target_ms": "16.7")", "fps[0].target_ms",
       true, true},
  };
  for (const Case& c : cases) {
    snapshot = PerfSnapshot{};
    std::vector<corvane::DroppedKey> dropped;
    const std::string text = std::string(R"({"fps": [{"game_id": 12345, "cur": 60, )") + c.keys +
                             R"(}], "cpu": 23.5, "memory": {"free": 1024, "total": 2048},
                             "ui_style": "{\"font-size\": 20}"})";
    ASSERT_TRUE(ParseJson(text, 12345, "C:", snapshot, style, nullptr, &dropped)) << c.keys;
    ASSERT_EQ(dropped.size(), 1u) << c.keys;
    EXPECT_EQ(dropped[0].key, c.dropped_key);
    // Everything else is read as usual.
    EXPECT_TRUE(snapshot.fps_valid);
    EXPECT_EQ(snapshot.fps_cur, 60.0);
    EXPECT_EQ(snapshot.cpu, 23.5);
    EXPECT_EQ(snapshot.mem_total, 2048.0);
    EXPECT_EQ(style.font_size, 20);
    EXPECT_EQ(snapshot.fps_low1.has_value() && snapshot.fps_low01.has_value(), c.lows) << c.keys;
    EXPECT_EQ(snapshot.fps_low1.has_value() || snapshot.fps_low01.has_value(), true) << c.keys;
    EXPECT_EQ(snapshot.frame_ms.size(), c.frame_ms ? 2u : 0u) << c.keys;
    EXPECT_EQ(snapshot.fps_target_ms, std::nullopt) << c.keys;
  }
  EXPECT_TRUE(logger.records.empty());

  std::vector<corvane::DroppedKey> dropped;
  ASSERT_TRUE(ParseJson(R"({"fps": [{"game_id": 12345, "cur": 1, "low1": true, "frame_ms":
                             [1, 100000]}]})",
                        12345, "C:", snapshot, style, nullptr, &dropped));
  ASSERT_EQ(dropped.size(), 2u);
  EXPECT_EQ(dropped[0].reason, "must be a number, not boolean");
  EXPECT_EQ(dropped[1].reason, "out of range (100000; at most 60000.0)");
}

TEST_F(ParseJsonTest, SeqIsKeptAsItsNumberTextAndTheDocumentByItsDigest) {
  ASSERT_TRUE(Parse(R"({"seq": 17, "cpu": 1})"));
  EXPECT_EQ(snapshot.seq, "17");
  const uint64_t first = snapshot.document_digest;
  ASSERT_TRUE(Parse(R"({"seq": 17, "cpu": 1})"));
  EXPECT_EQ(snapshot.document_digest, first);
  // Counters near the top of 64 bits stay apart (as doubles they would not); fractions too.
  ASSERT_TRUE(Parse(R"({"seq": 18446744073709551615})"));
  EXPECT_EQ(snapshot.seq, "18446744073709551615");
  EXPECT_NE(snapshot.document_digest, first);
  ASSERT_TRUE(Parse(R"({"seq": 18446744073709551614})"));
  EXPECT_EQ(snapshot.seq, "18446744073709551614");
  ASSERT_TRUE(Parse(R"({"seq": -2.5})"));
  EXPECT_EQ(snapshot.seq, "-2.5");
  // A document without it clears it; text that is not JSON changes neither.
  ASSERT_TRUE(Parse(R"({"cpu": 1})"));
  EXPECT_EQ(snapshot.seq, std::nullopt);
  const uint64_t without = snapshot.document_digest;
  ASSERT_FALSE(Parse(R"({"seq": 3)"));
  EXPECT_EQ(snapshot.seq, std::nullopt);
  EXPECT_EQ(snapshot.document_digest, without);
  // A parse that stops later has read it all the same; a top level that is no object has none.
  ASSERT_FALSE(Parse(R"({"seq": 4, "cpu": "busy"})"));
  EXPECT_EQ(snapshot.seq, "4");
  ASSERT_FALSE(Parse("[1, 2]"));
  EXPECT_EQ(snapshot.seq, std::nullopt);

  // Not a number: left out on its own, every figure read as usual.
  std::vector<corvane::DroppedKey> dropped;
  snapshot.seq = "4";
  ASSERT_TRUE(ParseJson(R"({"seq": "5", "cpu": 23.5, "fps": [{"game_id": 12345, "cur": 60}]})",
                        12345, "C:", snapshot, style, nullptr, &dropped));
  EXPECT_EQ(snapshot.seq, std::nullopt);
  ASSERT_EQ(dropped.size(), 1u);
  EXPECT_EQ(dropped[0].key, "seq");
  EXPECT_EQ(dropped[0].reason, "must be a number, not string");
  EXPECT_EQ(snapshot.cpu, 23.5);
  EXPECT_TRUE(snapshot.fps_valid);
}

TEST_F(ParseJsonTest, GpuTakesFirstAdapterWithMemoryTotal) {
  ASSERT_TRUE(Parse(R"({"gpu": [1, {"name": "A", "gpu": 90}, {"gpu_mem_total": 100},
                                {"name": "C", "gpu_mem_total": 5}]})"));
  EXPECT_TRUE(snapshot.gpu_valid);
  EXPECT_EQ(snapshot.gpu_name, "");
  EXPECT_EQ(snapshot.gpu, 0.0);
  EXPECT_EQ(snapshot.gpu_mem_used, 0.0);
  EXPECT_EQ(snapshot.gpu_mem_total, 100.0);

  ASSERT_TRUE(Parse(R"({"gpu": [{"name": "A", "gpu": 90}]})"));
  EXPECT_FALSE(snapshot.gpu_valid);

  EXPECT_FALSE(Parse(R"({"gpu": [{"name": 3, "gpu_mem_total": 1}]})"));
  EXPECT_EQ(Errors().back(),
            "ParseJson exception: [json.exception.type_error.302] type must be string, but is "
            "number");
  EXPECT_FALSE(snapshot.gpu_valid);
}

TEST_F(ParseJsonTest, MemoryChangesOnlyWhenPresent) {
  ASSERT_TRUE(Parse(R"({"memory": {"free": 10, "total": 20}})"));
  ASSERT_TRUE(Parse(R"({"cpu": 1})"));
  EXPECT_EQ(snapshot.mem_free, 10.0);
  EXPECT_EQ(snapshot.mem_total, 20.0);
  ASSERT_TRUE(Parse(R"({"memory": {"total": 30}})"));
  EXPECT_EQ(snapshot.mem_free, 0.0);
  EXPECT_EQ(snapshot.mem_total, 30.0);
  EXPECT_FALSE(Parse(R"({"memory": [1]})"));
  EXPECT_EQ(Errors().back(),
            "ParseJson exception: [json.exception.type_error.306] cannot use value() with array");
}

TEST_F(ParseJsonTest, DiskMatchesTheGameDriveCaseInsensitively) {
  const std::string disks =
      R"({"diskio": [{"name": "_Total", "used": 3.5}, {"name": "C:", "used": 1.2}]})";
  ASSERT_TRUE(Parse(disks, 1, "C:"));
  EXPECT_TRUE(snapshot.disk_valid);
  EXPECT_EQ(snapshot.disk_name, "C:");
  EXPECT_EQ(snapshot.disk_used, 1.2);
  ASSERT_TRUE(Parse(disks, 1, "_Total"));
  EXPECT_EQ(snapshot.disk_name, "_Total");
  EXPECT_EQ(snapshot.disk_used, 3.5);
  ASSERT_TRUE(Parse(disks, 1, "c:"));
  EXPECT_EQ(snapshot.disk_name, "C:");
  ASSERT_TRUE(Parse(R"({"diskio": [{"name": "0 C: D:"}]})", 1, "d:"));
  EXPECT_EQ(snapshot.disk_name, "0 C: D:");  // a substring, kept as written
  EXPECT_EQ(snapshot.disk_used, 0.0);

  for (const char* drive : {"E:", "", "C:\\x"}) {
    ASSERT_TRUE(Parse(disks, 1, drive)) << drive;
    EXPECT_FALSE(snapshot.disk_valid) << drive;
  }
  ASSERT_TRUE(Parse(R"({"diskio": [{"used": 1}, {"name": ""}]})", 1, "C:"));
  EXPECT_FALSE(snapshot.disk_valid);

  // Every visited element must be an object with a string name.
  EXPECT_FALSE(Parse(R"({"diskio": [{"name": 5}, {"name": "C:"}]})"));
  EXPECT_FALSE(Parse(R"({"diskio": [3, {"name": "C:"}]})"));
  EXPECT_EQ(Errors().back(),
            "ParseJson exception: [json.exception.type_error.306] cannot use value() with number");
  EXPECT_FALSE(snapshot.disk_valid);
}

TEST_F(ParseJsonTest, StyleIsAStringHoldingJson) {
  ASSERT_TRUE(ParseStyle(R"({"alpha": 50, "font-size": 20, "pos": "left", "direction": "ver",
                            "font-color": "123456"})"));
  EXPECT_EQ(style.alpha, 128);
  EXPECT_EQ(style.font_size, 20);
  EXPECT_EQ(style.pos, "left");
  EXPECT_EQ(style.direction, "ver");
  EXPECT_EQ(style.font_color, 0x123456u);

  // An object in its place is ignored, as is a string that is not JSON.
  EXPECT_TRUE(Parse(R"({"ui_style": {"alpha": 100}})"));
  EXPECT_TRUE(ParseStyle("{\"alpha\": 100"));
  EXPECT_EQ(style.alpha, 128);
  EXPECT_TRUE(logger.records.empty());

  // "{}" gives every default.
  ASSERT_TRUE(ParseStyle("{}"));
  EXPECT_EQ(style.alpha, 0);
  EXPECT_EQ(style.font_size, 14);
  EXPECT_EQ(style.pos, "top-center");
  EXPECT_EQ(style.direction, "hor");
  EXPECT_EQ(style.font_color, 0xFFFFFFu);
}

TEST_F(ParseJsonTest, AlphaPercentRoundsToOpacity) {
  const std::pair<const char*, int> cases[] = {
      {"-5", 0},    {"0", 0},
      {"1", 3},     {"50", 128},
      {"80", 204},  {"100", 255},
      {"150", 255}, {"80.9", 204},
      {"true", 3},  {"1e30", 255},
      {"-1e30", 0}, {"4294967346", 255},  // beyond 32 bits: saturates instead of wrapping to 50
  };
  for (const auto& [alpha, expected] : cases) {
    ASSERT_TRUE(ParseStyle(std::string(R"({"alpha": )") + alpha + "}")) << alpha;
    EXPECT_EQ(style.alpha, expected) << alpha;
  }
  ASSERT_TRUE(ParseStyle(R"({"font-size": -3.7})"));
  EXPECT_EQ(style.font_size, -3);  // stored without a range check
}

TEST_F(ParseJsonTest, FontColourForms) {
  ASSERT_TRUE(ParseStyle(R"({"font-color": "#00FF80"})"));
  EXPECT_EQ(style.font_color, 0x00FF80u);
  style.font_color = 0;
  ASSERT_TRUE(ParseStyle(R"({"font-color": "00ff80"})"));
  EXPECT_EQ(style.font_color, 0x00FF80u);
  for (const char* colour :
       {"#fff", "00ff8g", "00ff800", "#", "", "##00ff80", " 00ff8", "0x00ff"}) {
    ASSERT_TRUE(ParseStyle(std::string(R"({"font-color": ")") + colour + "\"}")) << colour;
    EXPECT_EQ(style.font_color, 0x00FF80u) << colour;
  }
}

// The style's colour thresholds by row; a malformed row costs only itself and is named.
TEST_F(ParseJsonTest, StyleColourThresholds) {
  std::vector<corvane::DroppedKey> dropped;
  const auto parse_colors = [&](const std::string& colors) {
    dropped.clear();
    std::string escaped;
    for (char c : R"({"font-size": 20, "colors": )" + colors + "}") {
      if (c == '\n') c = ' ';
      if (c == '"' || c == '\\') escaped += '\\';
      escaped += c;
    }
    return ParseJson(R"({"cpu": 5, "ui_style": ")" + escaped + "\"}", 12345, "C:", snapshot, style,
                     nullptr, &dropped);
  };
  ASSERT_TRUE(
      parse_colors(R"({"fps": {"values": [30, 60], "colors": ["#ff0000", "ffff00", "#00FF00"]},
                               "io": {"values": [], "colors": ["#123456"]}, "disk": 5})"));
  EXPECT_TRUE(dropped.empty());
  using corvane::ColorRow;
  EXPECT_EQ(style.ColorsOf(ColorRow::kFps).values, (std::vector<double>{30, 60}));
  EXPECT_EQ(style.ColorsOf(ColorRow::kFps).colors,
            (std::vector<uint32_t>{0xFF0000, 0xFFFF00, 0x00FF00}));
  EXPECT_EQ(style.ColorsOf(ColorRow::kIo).colors, std::vector<uint32_t>{0x123456});
  EXPECT_TRUE(style.ColorsOf(ColorRow::kCpu).empty());

  struct Case {
    const char* entry;   // the "cpu" row's
    const char* key;     // the value left out, after "ui_style.colors.cpu"
    const char* reason;  // and why
  };
  const Case cases[] = {
      {R"([1, 2])", "", "must be an object, not array"},
      {R"({"colors": ["#000000"]})", ".values", "is missing"},
      {R"({"values": 5, "colors": ["#000000"]})", ".values",
       "must be an array of numbers, not number"},
      {R"({"values": [1, 2, 3, 4, 5, 6, 7, 8, 9], "colors": []})", ".values",
       "has 9 values; at most 8"},
      {R"({"values": [1], "colors": "#000000"})", ".colors",
       R"(must be an array of "#RRGGBB" texts, not string)"},
      {R"({"values": [1]})", ".colors", "is missing"},
      {R"({"values": [50, 50], "colors": ["#000000", "#111111", "#222222"]})", ".values[1]",
       "must be above the value before it (50.0)"},
      {R"({"values": [90, 50], "colors": ["#000000", "#111111", "#222222"]})", ".values[1]",
       "must be above the value before it (90.0)"},
      {R"({"values": [50, "90"], "colors": ["#000000", "#111111", "#222222"]})", ".values[1]",
       "must be a number, not string"},
      {R"({"values": [null], "colors": ["#000000", "#111111"]})", ".values[0]",
       "must be a number, not null"},
      {R"({"values": [50, 90], "colors": ["#000000", "#111111"]})", ".colors",
       "needs one colour more than the 2 values, not 2"},
      {R"({"values": [50], "colors": ["#000000", "red"]})", ".colors[1]",
       R"(must be a "#RRGGBB" text, not "red")"},
      {R"({"values": [50], "colors": ["#000000", 255]})", ".colors[1]",
       R"(must be a "#RRGGBB" text, not 255)"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(
        parse_colors(std::string(R"({"gpu": {"values": [90], "colors": ["#00ff00", "#ff0000"]},
                                             "cpu": )") +
                     c.entry + "}"))
        << c.entry;
    ASSERT_EQ(dropped.size(), 1u) << c.entry;
    EXPECT_EQ(dropped[0].key, std::string("ui_style.colors.cpu") + c.key);
    EXPECT_EQ(dropped[0].reason, c.reason);
    EXPECT_TRUE(style.ColorsOf(ColorRow::kCpu).empty()) << c.entry;  // only this row is lost
    EXPECT_EQ(style.ColorsOf(ColorRow::kGpu).colors, (std::vector<uint32_t>{0x00FF00, 0xFF0000}));
    EXPECT_TRUE(style.ColorsOf(ColorRow::kFps).empty());  // rows not given have none
    EXPECT_EQ(style.font_size, 20);
    EXPECT_EQ(snapshot.cpu, 5.0);
  }
  ASSERT_TRUE(parse_colors(R"(["#ff0000"])"));
  ASSERT_EQ(dropped.size(), 1u);
  EXPECT_EQ(dropped[0].key, "ui_style.colors");
  EXPECT_EQ(dropped[0].reason, "must be an object, not array");
  // A style without "colors" has none: every run in the text's colour.
  ASSERT_TRUE(ParseStyle("{}"));
  for (const corvane::ColorThresholds& row : style.colors) EXPECT_TRUE(row.empty());
  EXPECT_TRUE(logger.records.empty());
}

TEST_F(ParseJsonTest, StyleTypeErrorsKeepWhatWasSet) {
  EXPECT_FALSE(ParseStyle(R"({"alpha": 100, "font-size": "big"})"));
  EXPECT_EQ(style.alpha, 255);
  EXPECT_EQ(style.font_size, 14);
  EXPECT_EQ(Errors().back(),
            "ParseJson exception: [json.exception.type_error.302] type must be number, but is "
            "string");
  EXPECT_FALSE(ParseStyle(R"({"pos": 1})"));
  EXPECT_FALSE(ParseStyle(R"({"font-color": 255})"));
  EXPECT_FALSE(ParseStyle("[1]"));
  EXPECT_EQ(Errors().back(),
            "ParseJson exception: [json.exception.type_error.306] cannot use value() with array");
  EXPECT_EQ(Errors().size(), 4u);
}

}  // namespace
