// corvane-inspect's rules: its command line, the frame it composes from the records a read
// leaves, and the JSON object it prints.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "src/app/frame_composition.h"
#include "src/data/parse_json.h"
#include "tools/inspect/inspect_options.h"
#include "tools/inspect/inspect_report.h"

namespace {

using corvane::PerfSnapshot;
using corvane::ScreenRect;
using corvane::TextBox;
using corvane::TextSegment;
using corvane::UiStyle;
using corvane::inspect::BuildReport;
using corvane::inspect::FrameSetting;
using corvane::inspect::InspectedFrame;
using corvane::inspect::InspectFrame;
using corvane::inspect::InspectOptions;
using corvane::inspect::ParseInspectOptions;
using corvane::inspect::ReadOutcome;
using Json = nlohmann::ordered_json;

std::string ErrorOf(const std::vector<std::string>& args, bool windows = false) {
  InspectOptions options;
  std::string error;
  return ParseInspectOptions(args, windows, &options, &error) ? "" : error;
}

TEST(InspectOptionsTest, DefaultsAreThoseOfANewOverlayOverAFullHdGame) {
  InspectOptions options;
  std::string error;
  ASSERT_TRUE(ParseInspectOptions({}, false, &options, &error)) << error;
  EXPECT_EQ(options.game_id, 0u);
  EXPECT_FALSE(options.drive || options.client || options.box || options.json_file || options.dpi ||
               options.hwnd || options.png_file || options.help);
  EXPECT_TRUE(options.block_name.empty());

  // Absent options take these in the tool.
  EXPECT_STREQ(corvane::inspect::kDefaultDrive, "_Total");
  const ScreenRect client = corvane::inspect::kDefaultClient;
  EXPECT_EQ(client.x, 0);
  EXPECT_EQ(client.y, 0);
  EXPECT_EQ(client.width, 1920);
  EXPECT_EQ(client.height, 1080);
}

TEST(InspectOptionsTest, ReadsEveryOption) {
  InspectOptions options;
  std::string error;
  ASSERT_TRUE(ParseInspectOptions(
      {"--game-id", "18446744073709551615", "--drive", "D:", "--rect", "-1920,-8,2560,1440",
       "--box", "300,40", "--json-file", "a.json", "--dpi", "144"},
      false, &options, &error))
      << error;
  EXPECT_EQ(options.game_id, 18446744073709551615u);
  EXPECT_EQ(options.drive, "D:");
  ASSERT_TRUE(options.client);
  EXPECT_EQ(options.client->x, -1920);
  EXPECT_EQ(options.client->y, -8);
  EXPECT_EQ(options.client->width, 2560);
  EXPECT_EQ(options.client->height, 1440);
  ASSERT_TRUE(options.box);
  EXPECT_EQ(options.box->width, 300);
  EXPECT_EQ(options.box->height, 40);
  EXPECT_EQ(options.json_file, "a.json");
  EXPECT_EQ(options.dpi, 144);

  ASSERT_TRUE(ParseInspectOptions({"--name", "blk", "--hwnd", "0x1A2b", "--png", "o.png"}, true,
                                  &options, &error))
      << error;
  EXPECT_EQ(options.block_name, "blk");
  EXPECT_EQ(options.hwnd, 0x1A2Bu);
  EXPECT_EQ(options.png_file, "o.png");
  ASSERT_TRUE(ParseInspectOptions({"--hwnd", "5e0062"}, true, &options, &error));
  EXPECT_EQ(options.hwnd, 0x5E0062u);

  ASSERT_TRUE(ParseInspectOptions({"--help"}, false, &options, &error));
  EXPECT_TRUE(options.help);
}

TEST(InspectOptionsTest, RefusesWhatCannotWork) {
  EXPECT_EQ(ErrorOf({"--bogus"}), "unknown option '--bogus' (see --help)");
  EXPECT_EQ(ErrorOf({"--game-id"}), "--game-id needs a value");
  EXPECT_EQ(ErrorOf({"--drive", "C:", "--drive", "D:"}), "--drive is given twice");
  for (const char* id : {"", "-1", "12x", "0x10", "18446744073709551616"}) {
    EXPECT_EQ(ErrorOf({"--game-id", id}), "--game-id takes a decimal number") << id;
  }
  for (const char* rect : {"1,2,3", "1,2,3,4,5", "1,2,-3,4", "1,2,3,-4", "a,b,c,d", "1,,3,4", ""}) {
    EXPECT_NE(ErrorOf({"--rect", rect}).find("--rect takes X,Y,W,H"), std::string::npos) << rect;
  }
  for (const char* box : {"300", "300,40,1", "-1,40", "300,"}) {
    EXPECT_EQ(ErrorOf({"--box", box}), "--box takes W,H, each 0 or more") << box;
  }
  for (const char* dpi : {"0", "-96", "96.5", "x"}) {
    EXPECT_EQ(ErrorOf({"--dpi", dpi}), "--dpi takes a positive number") << dpi;
  }
  EXPECT_EQ(ErrorOf({"--json-file", "a.json", "--name", "blk"}),
            "--json-file and --name both name the input; use one");
}

TEST(InspectOptionsTest, WindowOptionsOnlyOnWindows) {
  EXPECT_EQ(ErrorOf({"--hwnd", "1A2B"}), "--hwnd is available only on Windows");
  EXPECT_EQ(ErrorOf({"--png", "o.png"}), "--png is available only on Windows");
  for (const char* hwnd : {"zz", "0x", "0", "", "-1", "1A2B3C4D5E6F708192"}) {
    EXPECT_EQ(ErrorOf({"--hwnd", hwnd}, true), "--hwnd takes a window handle in hexadecimal")
        << hwnd;
  }
  EXPECT_EQ(ErrorOf({"--hwnd", "1A2B", "--rect", "0,0,800,600"}, true),
            "--rect and --hwnd both give the client area; use one");

  const std::string windows = corvane::inspect::InspectUsage(true);
  const std::string elsewhere = corvane::inspect::InspectUsage(false);
  EXPECT_NE(windows.find("--hwnd HEX"), std::string::npos);
  EXPECT_NE(windows.find("monitor, as the overlay takes it; else the screen's)"),
            std::string::npos);
  EXPECT_EQ(elsewhere.find("--hwnd"), std::string::npos);
  EXPECT_EQ(elsewhere.find("--png"), std::string::npos);
  EXPECT_NE(elsewhere.find("(default: 96)"), std::string::npos);
}

TEST(ApproximateMeasurerTest, UnitsAndLinesInEms) {
  corvane::inspect::ApproximateTextMeasurer measurer(20);
  EXPECT_FLOAT_EQ(measurer.RunWidth(u"abcd"), 44.0f);
  EXPECT_FLOAT_EQ(measurer.RunWidth(u""), 0.0f);
  EXPECT_FLOAT_EQ(measurer.FontHeight(), 26.4f);
}

// The estimator the tests hand over: the approximation, counting its calls.
struct CountingEstimator {
  int calls = 0;
  int last_pixel_size = 0;
  TextBox operator()(std::span<const TextSegment> segments, int pixel_size) {
    ++calls;
    last_pixel_size = pixel_size;
    return corvane::inspect::EstimateApproximateTextBox(segments, pixel_size);
  }
};

InspectedFrame Inspect(const PerfSnapshot& snapshot, const UiStyle& style,
                       const FrameSetting& setting, CountingEstimator& estimator) {
  return InspectFrame(
      snapshot, style, setting,
      [&estimator](std::span<const TextSegment> segments, int pixel_size) {
        return estimator(segments, pixel_size);
      },
      corvane::inspect::kApproximateMeasurerName);
}

TEST(InspectFrameTest, ANewOverlayShowsFallbacksAtTopCenter) {
  CountingEstimator estimator;
  const InspectedFrame frame = Inspect(PerfSnapshot{}, UiStyle{}, FrameSetting{}, estimator);
  const std::vector<std::u16string> values = {u"--", u"--%", u"0.0%", u"--/--GB", u"--%"};
  for (size_t i = 0; i < values.size(); ++i) EXPECT_EQ(frame.composed.rows[i].value, values[i]);
  ASSERT_EQ(frame.composed.segments.size(), corvane::kSegmentCount);
  EXPECT_EQ(frame.composed.hash, corvane::HashSegments(frame.composed.segments));
  EXPECT_EQ(frame.font_px, 14);
  EXPECT_EQ(frame.pixel_size, 14);
  EXPECT_EQ(estimator.calls, 1);
  // Runs of 4,2,3,4,3,3,4,4,3,4,7,3,3,3 units, 7.7 px each, rounded run by run: 385, plus 16.
  // Lines: 1.32 x 14 = 18.48 rounds to 18, which is also the least (14 + 4); plus 8.
  EXPECT_EQ(frame.box.width, 401);
  EXPECT_EQ(frame.box.height, 26);
  EXPECT_EQ(frame.measured_by, corvane::inspect::kApproximateMeasurerName);
  EXPECT_EQ(frame.position.x, (1920 - 401) / 2);
  EXPECT_EQ(frame.position.y, 10);
}

TEST(InspectFrameTest, FontFollowsTheStyleAndTheDpi) {
  UiStyle style;
  style.font_size = 9;  // below the smallest: 12
  style.direction = "ver";
  FrameSetting setting;
  setting.dpi = 144;
  CountingEstimator estimator;
  InspectedFrame frame = Inspect(PerfSnapshot{}, style, setting, estimator);
  EXPECT_EQ(frame.font_px, 12);
  EXPECT_EQ(frame.pixel_size, 18);
  EXPECT_EQ(estimator.last_pixel_size, 18);
  // Five lines of max(round(1.32 x 18) = 24, 18 + 4) pixels, plus 8.
  EXPECT_EQ(frame.box.height, 5 * 24 + 8);

  EXPECT_EQ(frame.window_font_px, 12);

  // A style size of 0 is never applied to the window, which keeps its initial 14; the
  // estimate measures at the effective 12 all the same.
  style.font_size = 0;
  frame = Inspect(PerfSnapshot{}, style, setting, estimator);
  EXPECT_EQ(frame.font_px, 12);
  EXPECT_EQ(frame.window_font_px, 14);

  style.font_size = 1 << 30;  // bounded like the overlay's
  frame = Inspect(PerfSnapshot{}, style, setting, estimator);
  EXPECT_EQ(frame.font_px, corvane::kLargestFontSize);
  EXPECT_EQ(frame.pixel_size, corvane::kLargestFontSize * 144 / 96);
}

TEST(InspectFrameTest, AGivenBoxIsPlacedWithoutMeasuring) {
  UiStyle style;
  style.pos = "bottom-right";
  FrameSetting setting;
  setting.box = corvane::inspect::BoxSize{300, 40};
  CountingEstimator estimator;
  InspectedFrame frame = Inspect(PerfSnapshot{}, style, setting, estimator);
  EXPECT_EQ(estimator.calls, 0);
  EXPECT_EQ(frame.measured_by, "--box");
  EXPECT_EQ(frame.box.width, 300);
  EXPECT_EQ(frame.box.height, 40);
  EXPECT_EQ(frame.position.x, 1601);
  EXPECT_EQ(frame.position.y, 1030);

  setting.client = ScreenRect{100, 50, 800, 600};  // margins 8 and 6
  frame = Inspect(PerfSnapshot{}, style, setting, estimator);
  EXPECT_EQ(frame.position.x, 100 + 800 - 300 - 8);
  EXPECT_EQ(frame.position.y, 50 + 600 - 40 - 6);
}

// The document of the host developers' example, as the overlay of game 12345 on C: reads it.
constexpr char kExampleDocument[] = R"({"fps": [{"game_id": 12345, "cur": 59.6, "min": 41.0,
  "max": 60.2}], "cpu": 23.5, "gpu": [{"name": "Radeon RX 6600", "gpu": 41.0,
  "gpu_mem_used": 2147483648, "gpu_mem_total": 8589934592}], "memory": {"free": 9216,
  "total": 16384}, "diskio": [{"name": "_Total", "used": 3.5}, {"name": "C:", "used": 1.2}],
  "ui_style": "{\"alpha\": 80, \"font-size\": 16, \"pos\": \"top-center\", \"direction\": \"hor\", \"font-color\": \"#00ff80\"}"})";

TEST(InspectReportTest, ShowsTheRecordsTheRowsAndThePlace) {
  FrameSetting setting;
  setting.game_id = 12345;
  setting.drive = "C:";
  ReadOutcome outcome;
  outcome.read = corvane::ParseJson(kExampleDocument, setting.game_id, setting.drive,
                                    outcome.snapshot, outcome.style);
  ASSERT_TRUE(outcome.read);
  CountingEstimator estimator;
  const InspectedFrame frame = Inspect(outcome.snapshot, outcome.style, setting, estimator);
  const Json report = BuildReport(outcome, setting, frame);

  EXPECT_EQ(report["read"], true);
  EXPECT_TRUE(report["enabled"].is_null());  // a document file has no header
  EXPECT_TRUE(report["ipc_wnd"].is_null());
  EXPECT_EQ(report["game_id"], 12345u);
  EXPECT_EQ(report["drive"], "C:");

  const Json& snapshot = report["snapshot"];
  std::vector<std::string> keys;
  for (const auto& item : snapshot.items()) keys.push_back(item.key());
  EXPECT_EQ(keys,
            (std::vector<std::string>{
                "fps_game_id", "fps_cur",   "fps_min",        "fps_max",       "fps_valid",
                "fps_low1",    "fps_low01", "frame_ms_count", "fps_target_ms", "cpu",
                "gpu_name",    "gpu",       "gpu_mem_used",   "gpu_mem_total", "gpu_valid",
                "mem_free",    "mem_total", "disk_name",      "disk_used",     "disk_valid"}));
  EXPECT_TRUE(snapshot["fps_low1"].is_null());
  EXPECT_EQ(snapshot["frame_ms_count"], 0u);
  EXPECT_EQ(snapshot["fps_game_id"], 12345u);
  EXPECT_EQ(snapshot["fps_cur"], 59.6);
  EXPECT_EQ(snapshot["gpu_name"], "Radeon RX 6600");
  EXPECT_EQ(snapshot["gpu_mem_total"], 8589934592.0);
  EXPECT_EQ(snapshot["disk_name"], "C:");
  EXPECT_EQ(snapshot["disk_valid"], true);

  EXPECT_EQ(report["style"], Json::parse(R"({"alpha": 204, "font_size": 16, "font_color": 65408,
                                            "pos": "top-center", "direction": "hor"})"));

  const std::vector<std::pair<std::string, std::string>> rows = {{"FPS", "60"},
                                                                 {"GPU", "41.0% 2.0/8.0GB"},
                                                                 {"CPU", "23.5%"},
                                                                 {"RAM", "7.0/16.0GB"},
                                                                 {"IO", "1.2%"}};
  ASSERT_EQ(report["rows"].size(), rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(report["rows"][i]["label"], rows[i].first);
    EXPECT_EQ(report["rows"][i]["value"], rows[i].second);
  }
  const Json& segments = report["segments"];
  ASSERT_EQ(segments.size(), corvane::kSegmentCount);
  EXPECT_EQ(segments[0], Json::parse(R"({"text": "FPS ", "color": 8453888})"));  // 0x80FF00
  EXPECT_EQ(segments[2], Json::parse(R"({"text": " | ", "color": 8421504})"));   // 0x808080
  EXPECT_EQ(segments[13]["text"], "1.2%");
  EXPECT_EQ(report["hash"], frame.composed.hash);

  EXPECT_EQ(report["dpi"], 96);
  EXPECT_EQ(report["dpi_from"], "the reference 96");
  EXPECT_EQ(report["font_px"], 16);
  EXPECT_EQ(report["pixel_size"], 16);
  EXPECT_EQ(report["window_font_px"], 16);
  EXPECT_EQ(report["box"]["width"], frame.box.width);
  EXPECT_EQ(report["box"]["height"], frame.box.height);
  EXPECT_EQ(report["box"]["measured_by"], "approximation: 0.55 em per unit, 1.32 em lines");
  EXPECT_EQ(report["position"]["x"], (1920 - frame.box.width) / 2);
  EXPECT_EQ(report["position"]["y"], 10);
  EXPECT_EQ(report["client"], Json::parse(R"({"x": 0, "y": 0, "width": 1920, "height": 1080})"));
  // A document without the frame-pacing keys shows as it did before them: no graph, and the
  // box and place of the host developers' example.
  EXPECT_FALSE(report.contains("graph"));
  EXPECT_EQ(report["box"]["width"], 603);
  EXPECT_EQ(report["box"]["height"], 29);
  EXPECT_EQ(report["position"], Json::parse(R"({"x": 658, "y": 10})"));
}

TEST(InspectReportTest, FramePacingShowsTheLowsAndTheGraphUnderTheText) {
  std::string document = kExampleDocument;
  document.replace(document.find(R"("max": 60.2)"), 11,
                   R"("max": 60.2, "low1": 41.2, "low01": 30.4, "frame_ms": [16.5, 17, 33])");
  FrameSetting setting;
  setting.game_id = 12345;
  setting.drive = "C:";
  for (const int dpi : {96, 144}) {
    setting.dpi = dpi;
    ReadOutcome outcome;
    outcome.read = corvane::ParseJson(document, setting.game_id, setting.drive, outcome.snapshot,
                                      outcome.style);
    ASSERT_TRUE(outcome.read);
    CountingEstimator estimator;
    const InspectedFrame frame = Inspect(outcome.snapshot, outcome.style, setting, estimator);
    const Json report = BuildReport(outcome, setting, frame);
    EXPECT_EQ(report["rows"][0]["value"], "60 1% 41 0.1% 30");
    EXPECT_EQ(report["snapshot"]["fps_low01"], 30.4);
    EXPECT_EQ(report["snapshot"]["frame_ms_count"], 3u);
    ASSERT_TRUE(report.contains("graph"));
    const Json& graph = report["graph"];
    EXPECT_EQ(graph["samples"], Json::parse("[16.5, 17, 33]"));  // newest last
    EXPECT_EQ(graph["scale_ms"], 40.0);  // twice the median, rounded up to a step
    EXPECT_EQ(graph["label"], "40 ms");
    EXPECT_FALSE(graph.contains("target_ms"));
    EXPECT_EQ(graph["color"], 8453888);  // the text's, 0x80FF00
    // Under the line of text, as wide as it, sized from the font at this DPI (16 px at 96,
    // 24 px at 144), and the box holds it.
    const int px = 16 * dpi / 96;
    const int line = static_cast<int>(1.32 * px + 0.5);
    const Json& area = graph["area"];
    EXPECT_EQ(area["x"], 8);
    EXPECT_EQ(area["y"], 4 + line + px / 4);
    EXPECT_EQ(area["height"], static_cast<int>(2.5 * px + 0.5));
    EXPECT_EQ(area["width"], frame.box.width - 16);
    EXPECT_EQ(report["box"]["height"], area["y"].get<int>() + area["height"].get<int>() + 4);
    EXPECT_EQ(report["position"]["x"], (1920 - frame.box.width) / 2);
  }

  // A target, and colours for the frame rate: the frame rate and each low are runs of their
  // own, each in the colour of its range; the lows' labels keep the text's colour.
  document.replace(document.find(R"("low1")"), 6, R"("target_ms": 8, "low1")");
  document.replace(document.find(R"(\"font-color\")"), 14,
                   R"(\"colors\": {\"fps\": {\"values\": [40, 60], \"colors\": )"
                   R"([\"#ff0000\", \"#ffff00\", \"#00ff00\"]}}, \"font-color\")");
  ReadOutcome outcome;
  outcome.read =
      corvane::ParseJson(document, setting.game_id, setting.drive, outcome.snapshot, outcome.style);
  ASSERT_TRUE(outcome.read);
  CountingEstimator estimator;
  const Json report =
      BuildReport(outcome, setting, Inspect(outcome.snapshot, outcome.style, setting, estimator));
  EXPECT_EQ(report["snapshot"]["fps_target_ms"], 8.0);
  EXPECT_EQ(report["graph"]["scale_ms"], 16.0);
  EXPECT_EQ(report["graph"]["label"], "16 ms");
  EXPECT_EQ(report["graph"]["target_ms"], 8.0);
  EXPECT_EQ(
      report["style"]["colors"]["fps"],
      Json::parse(R"({"values": [40.0, 60.0], "colors": ["#FF0000", "#FFFF00", "#00FF00"]})"));
  EXPECT_EQ(report["rows"][0]["value"], "60 1% 41 0.1% 30");
  const Json& segments = report["segments"];
  std::vector<std::pair<std::string, uint32_t>> fps_runs;
  for (size_t i = 1; i < 6; ++i) fps_runs.emplace_back(segments[i]["text"], segments[i]["color"]);
  EXPECT_EQ(fps_runs, (std::vector<std::pair<std::string, uint32_t>>{{"60", 0x00FF00},
                                                                     {" 1% ", 0x80FF00},
                                                                     {"41", 0x00FFFF},
                                                                     {" 0.1% ", 0x80FF00},
                                                                     {"30", 0x0000FF}}));
  EXPECT_EQ(segments[6]["text"], " | ");
}

TEST(InspectReportTest, HeaderValuesAndTextsThatAreNotPlainJson) {
  ReadOutcome outcome;
  outcome.enabled = false;
  outcome.ipc_wnd = 0xFFFFFFFFu;
  outcome.snapshot.fps_valid = true;
  outcome.snapshot.fps_cur = std::numeric_limits<double>::quiet_NaN();
  outcome.snapshot.mem_total = std::numeric_limits<double>::infinity();
  outcome.snapshot.gpu_name = "bad \xff byte";
  CountingEstimator estimator;
  const FrameSetting setting;
  const Json report =
      BuildReport(outcome, setting, Inspect(outcome.snapshot, outcome.style, setting, estimator));
  EXPECT_EQ(report["enabled"], false);
  EXPECT_EQ(report["ipc_wnd"], 4294967295u);

  // The printed text is strict JSON: no NaN or infinity, and U+FFFD for a byte that is not
  // UTF-8, instead of an exception.
  std::string text;
  ASSERT_NO_THROW(text = corvane::inspect::FormatReport(report));
  const Json reparsed = Json::parse(text);
  EXPECT_TRUE(reparsed["snapshot"]["fps_cur"].is_null());
  EXPECT_TRUE(reparsed["snapshot"]["mem_total"].is_null());
  EXPECT_EQ(reparsed["snapshot"]["gpu_name"], "bad \xEF\xBF\xBD byte");
  EXPECT_EQ(reparsed["rows"][0]["value"], "--");  // a NaN frame rate shows the fallback
}

}  // namespace
