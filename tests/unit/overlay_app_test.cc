// The overlay application on a fake platform: start-up and the host message, the main loop,
// and the order and count of one frame's calls.
#include "src/app/overlay_app.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/fake_overlay_platform.h"
#include "tests/support/test_logger.h"

namespace corvane {
namespace {

using ::testing::ElementsAre;
using testing::FakeOverlayPlatform;
using ::testing::IsEmpty;
using testing::TestLogger;

class OverlayAppTest : public ::testing::Test {
 protected:
  std::vector<std::string> Texts(int level) const { return logger_.Texts(level); }
  std::vector<std::string> AllTexts() const {
    std::vector<std::string> texts;
    for (const auto& r : logger_.records) texts.push_back(r.text);
    return texts;
  }
  // Starts the app with the game window there and the calls of Init forgotten.
  void Start() {
    ASSERT_TRUE(app_.Init({0x1A2B, 42}));
    platform_.Take();
    platform_.counts.clear();
    logger_.records.clear();
  }

  TestLogger logger_;
  testing::ScopedLoggerReplacement replacement_{&logger_};
  FakeOverlayPlatform platform_;
  OverlayApp app_{platform_};
};

TEST_F(OverlayAppTest, InitWithTheGameWindowThere) {
  EXPECT_TRUE(app_.Init({0x1A2B, 42}));
  EXPECT_THAT(platform_.Take(), ElementsAre("BindGameWindow", "CreateOverlay 700x32", "SetFont 14",
                                            "OpenFeed", "ReadFeed"));
  EXPECT_EQ(platform_.bound_window, 0x1A2Bu);
  EXPECT_EQ(platform_.font_family, L"Microsoft YaHei");
  EXPECT_EQ(platform_.read_game_id, 42u);
  EXPECT_EQ(platform_.read_drive, "C:");
  EXPECT_EQ(platform_.slept_ms, 0u);
  EXPECT_THAT(Texts(base::kLogNotice),
              ElementsAre("OverlayApp::Init hwnd=0000000000001A2B game_id=42",
                          "OverlayApp DPI cached: 96"));
  EXPECT_THAT(Texts(base::kLogInfo),
              ElementsAre("DPI from the game's monitor: 96",
                          "NotifyVexoraEnv: ipc_wnd not available (0000000000000000)"));
  EXPECT_EQ(platform_.font_dpi, 96);
  for (const auto& r : logger_.records) EXPECT_EQ(r.file, "src/app/overlay_app");
  // The refresh made by Init does not count as a frame's refresh.
  EXPECT_EQ(app_.last_refresh_tick(), 0u);
}

TEST_F(OverlayAppTest, InitWaitsForAGameWindowThatAppearsLate) {
  platform_.alive = false;
  platform_.alive_after_checks = 4;  // seen at the fourth look, after three waits (1.5 s)
  EXPECT_TRUE(app_.Init({0x1A2B, 42}));
  EXPECT_THAT(
      Texts(base::kLogInfo),
      ElementsAre("Target window not alive yet, retry 1/10...",
                  "Target window not alive yet, retry 2/10...",
                  "Target window not alive yet, retry 3/10...", "DPI from the game's monitor: 96",
                  "NotifyVexoraEnv: ipc_wnd not available (0000000000000000)"));
  EXPECT_EQ(platform_.slept_ms, 1500u);
  EXPECT_EQ(platform_.counts["BindGameWindow"], 1);
}

TEST_F(OverlayAppTest, InitGivesUpOnAWindowThatNeverAppears) {
  platform_.alive = false;
  EXPECT_FALSE(app_.Init({0x1A2B, 42}));
  const std::vector<std::string> retries = Texts(base::kLogInfo);
  ASSERT_EQ(retries.size(), 10u);
  EXPECT_EQ(retries.back(), "Target window not alive yet, retry 10/10...");
  EXPECT_THAT(Texts(base::kLogError), ElementsAre("Target game window is not alive after retries"));
  EXPECT_EQ(platform_.counts["Sleep"], 10);
  EXPECT_EQ(platform_.slept_ms, 5000u);
  EXPECT_EQ(platform_.counts["GameWindowAlive"], 11);
  EXPECT_EQ(platform_.counts["CreateOverlay"], 0);
}

TEST_F(OverlayAppTest, InitFailsWhenTheOverlayCannotBeMade) {
  platform_.create_succeeds = false;
  EXPECT_FALSE(app_.Init({0x1A2B, 42}));
  EXPECT_THAT(Texts(base::kLogError), ElementsAre("Failed to create overlay window"));
  EXPECT_EQ(platform_.counts["OpenFeed"], 0);
}

TEST_F(OverlayAppTest, InitCachesTheScreenDpiWhenThereIsOne) {
  platform_.screen_dpi = 144;
  ASSERT_TRUE(app_.Init({0x1A2B, 42}));
  EXPECT_EQ(app_.dpi(), 144);
  EXPECT_EQ(Texts(base::kLogNotice)[1], "OverlayApp DPI cached: 144");

  FakeOverlayPlatform no_screen;
  no_screen.screen_dpi = 0;
  OverlayApp other(no_screen);
  ASSERT_TRUE(other.Init({0x1A2B, 42}));
  EXPECT_EQ(other.dpi(), 96);
  EXPECT_EQ(Texts(base::kLogNotice).back(), "OverlayApp DPI cached: 96");
}

TEST_F(OverlayAppTest, HostIsNotifiedOnceWithTheFullGameIdAndTheGamesProcess) {
  platform_.ipc_window = 0x5E6F;
  platform_.live_windows = {0x5E6F};
  ASSERT_TRUE(app_.Init({0x1A2B, 0xFEDCBA9876543210ull}));
  std::vector<std::string> posts;
  for (const std::string& call : platform_.Take()) {
    if (call.rfind("Post", 0) == 0) posts.push_back(call);
  }
  EXPECT_THAT(posts, ElementsAre("Post 24175 1004 18364758544493064720 4321"));
  EXPECT_EQ(Texts(base::kLogNotice).back(),
            "NotifyVexoraEnv: PostMessage(ipc=0000000000005E6F, 1004, "
            "game_id=18364758544493064720, pid=4321)");
}

TEST_F(OverlayAppTest, HostWindowThatIsNoWindowGetsNothing) {
  platform_.ipc_window = 0x5E6F;  // named by the block, but not a window
  ASSERT_TRUE(app_.Init({0x1A2B, 42}));
  EXPECT_EQ(platform_.counts["Post"], 0);
  EXPECT_EQ(Texts(base::kLogInfo).back(),
            "NotifyVexoraEnv: ipc_wnd not available (0000000000005E6F)");
}

TEST_F(OverlayAppTest, ShutdownReleasesFeedThenWindowAndTheDestructorAgain) {
  FakeOverlayPlatform platform;
  {
    OverlayApp app(platform);
    ASSERT_TRUE(app.Init({0x1A2B, 42}));
    platform.Take();
    app.Shutdown();
    EXPECT_THAT(platform.Take(), ElementsAre("CloseFeed", "DestroyOverlay"));
    EXPECT_EQ(Texts(base::kLogNotice).back(), "OverlayApp::Shutdown");
  }
  // The destructor releases again; the platform's releases do nothing the second time.
  EXPECT_THAT(platform.Take(), ElementsAre("CloseFeed", "DestroyOverlay"));
}

TEST_F(OverlayAppTest, QuitAlreadyQueuedEndsTheLoopBeforeAnyPass) {
  Start();
  platform_.quit_queued = true;
  EXPECT_EQ(app_.Run(), 0);
  EXPECT_THAT(AllTexts(), ElementsAre("OverlayApp::Run enter main loop",
                                      "WM_QUIT received, exiting", "Run() exiting normally"));
  EXPECT_THAT(platform_.Take(), IsEmpty());
}

TEST_F(OverlayAppTest, QuitDuringTheLoopEndsItAfterThePass) {
  Start();
  int sleeps = 0;
  platform_.on_sleep = [&sleeps](FakeOverlayPlatform& p) { p.quit_queued = ++sleeps == 3; };
  EXPECT_EQ(app_.Run(), 0);
  EXPECT_EQ(platform_.counts["Render"], 3);
  EXPECT_EQ(AllTexts().back(), "Run() exiting normally");
  EXPECT_EQ(AllTexts()[AllTexts().size() - 2], "WM_QUIT received, exiting");
}

TEST_F(OverlayAppTest, ClosedGameWindowEndsTheLoopAfterTheGracePeriod) {
  Start();
  int sleeps = 0;
  platform_.on_sleep = [&sleeps](FakeOverlayPlatform& p) {
    if (++sleeps == 2) p.alive = false;
  };
  EXPECT_EQ(app_.Run(), 0);
  const std::vector<std::string> texts = AllTexts();
  EXPECT_THAT(texts, ::testing::Contains("Game window lost (hwnd=0000000000001A2B), waiting up to "
                                         "5000 ms"));
  EXPECT_THAT(texts, ::testing::Not(::testing::Contains("WM_QUIT received, exiting")));
  ASSERT_GE(texts.size(), 2u);
  EXPECT_EQ(texts.back(), "Run() exiting normally");
  EXPECT_EQ(texts[texts.size() - 2], "Game window gone for 5000 ms, exiting");
  // Two frames, then hidden every 200 ms until 5000 ms had passed: 25 sleeps of 200 ms.
  EXPECT_EQ(platform_.counts["Render"], 2);
  EXPECT_EQ(platform_.slept_ms, 2 * 8 + 25 * 200u);
}

TEST_F(OverlayAppTest, ShortAbsenceIsRecoveredWithoutLeaving) {
  Start();
  int sleeps = 0;
  platform_.on_sleep = [&sleeps](FakeOverlayPlatform& p) {
    ++sleeps;
    if (sleeps == 1) p.alive = false;
    if (sleeps == 16) p.alive = true;  // 15 hidden passes of 200 ms
    if (sleeps == 18) p.quit_queued = true;
  };
  EXPECT_EQ(app_.Run(), 0);
  const std::vector<std::string> texts = AllTexts();
  EXPECT_EQ(std::count(texts.begin(), texts.end(),
                       "Game window lost (hwnd=0000000000001A2B), waiting up to 5000 ms"),
            1);
  EXPECT_THAT(Texts(base::kLogInfo), ::testing::Contains("Game window recovered after 3000 ms"));
  EXPECT_EQ(texts.back(), "Run() exiting normally");
}

TEST_F(OverlayAppTest, MinimisedOrBackgroundGameHidesTheOverlay) {
  Start();
  platform_.minimized = true;
  int sleeps = 0;
  platform_.on_sleep = [&sleeps](FakeOverlayPlatform& p) {
    ++sleeps;
    if (sleeps == 3) {
      p.minimized = false;
      p.foreground = false;
    }
    p.quit_queued = sleeps == 6;
  };
  EXPECT_EQ(app_.Run(), 0);
  EXPECT_EQ(platform_.counts["Render"], 0);
  EXPECT_EQ(platform_.counts["Hide"], 6);
  EXPECT_EQ(platform_.slept_ms, 600u);
}

TEST_F(OverlayAppTest, FirstFrameRefreshesSetsTheFontEstimatesPaintsShowsAndRestacks) {
  Start();
  platform_.on_read = [](PerfSnapshot& s, UiStyle& style) {
    s.cpu = 12.34;
    style.alpha = 0x1CC;  // only the low byte is the opacity
  };
  app_.UpdateFrame();
  EXPECT_THAT(platform_.Take(), ElementsAre("ReadFeed", "MarkDirty", "SetFont 14", "Estimate 14",
                                            "Render 810,10 alpha 204", "Show", "KeepAbove"));
  EXPECT_THAT(Texts(base::kLogInfo), ElementsAre("Font size changed: style=14 px=14 prev_style=0"));
  ASSERT_EQ(platform_.rendered.size(), kSegmentCount);
  EXPECT_EQ(platform_.rendered[7].text, u"12.3%");
  EXPECT_EQ(app_.last_refresh_tick(), platform_.tick);
  EXPECT_EQ(app_.layout_width(), 300);
  EXPECT_EQ(app_.layout_height(), 40);
  EXPECT_EQ(app_.layout_font_px(), 14);
  EXPECT_EQ(app_.layout_hash(), HashSegments(platform_.rendered));
}

TEST_F(OverlayAppTest, FrameWithNothingChangedOnlyPlacesTheBox) {
  Start();
  app_.UpdateFrame();
  platform_.Take();
  platform_.counts.clear();
  for (int i = 0; i < 5; ++i) app_.UpdateFrame();
  EXPECT_THAT(platform_.Take(),
              ElementsAre("Render 810,10 alpha 0", "Render 810,10 alpha 0", "Render 810,10 alpha 0",
                          "Render 810,10 alpha 0", "Render 810,10 alpha 0"));
  EXPECT_EQ(platform_.counts["GameDpi"], 0);
  EXPECT_EQ(platform_.counts["OverlayVisible"], 5);
}

TEST_F(OverlayAppTest, RefreshEverySecondAndRestackEveryQuarterSecond) {
  Start();
  app_.UpdateFrame();  // refresh and restack at the start tick
  platform_.Take();
  const uint32_t start = platform_.tick;
  int refreshes = 0, restacks = 0;
  for (uint32_t t = 8; t <= 2000; t += 8) {
    platform_.tick = start + t;
    app_.UpdateFrame();
    for (const std::string& call : platform_.Take()) {
      refreshes += call == "ReadFeed";
      restacks += call == "KeepAbove";
    }
  }
  EXPECT_EQ(refreshes, 2);  // at 1000 and 2000 ms
  EXPECT_EQ(restacks, 7);   // at 256, 512, ... 1792 ms: the first frame 250 ms after the last
}

TEST_F(OverlayAppTest, RefreshSurvivesATickCountWrap) {
  platform_.tick = 0xFFFFFF00u;
  Start();
  app_.UpdateFrame();
  platform_.Take();
  platform_.tick = 0xFFFFFF00u + 999;
  app_.UpdateFrame();
  EXPECT_EQ(platform_.counts["ReadFeed"], 1);  // the first frame's
  platform_.tick = 0xFFFFFF00u + 1000;         // wrapped to 0x2E8
  app_.UpdateFrame();
  EXPECT_EQ(platform_.counts["ReadFeed"], 2);
}

TEST_F(OverlayAppTest, DisabledFeedHidesAndDoesNothingElse) {
  Start();
  platform_.enabled = false;
  app_.UpdateFrame();
  EXPECT_THAT(platform_.Take(), ElementsAre("ReadFeed", "MarkDirty", "Hide"));
  app_.UpdateFrame();
  EXPECT_THAT(platform_.Take(), ElementsAre("Hide"));
}

TEST_F(OverlayAppTest, FontSizeChangesFollowTheRawStyleValue) {
  Start();
  UiStyle next;
  next.font_size = 8;
  platform_.on_read = [&next](PerfSnapshot&, UiStyle& style) { style = next; };
  app_.UpdateFrame();
  next.font_size = 9;  // effective 12 both times: still a change
  platform_.tick += 1000;
  app_.UpdateFrame();
  EXPECT_THAT(Texts(base::kLogInfo), ElementsAre("Font size changed: style=8 px=12 prev_style=0",
                                                 "Font size changed: style=9 px=12 prev_style=8"));
  EXPECT_EQ(platform_.counts["SetFont"], 2);
  EXPECT_EQ(platform_.counts["Estimate"], 2);  // the font change forgets the estimate
  EXPECT_EQ(app_.last_font_style(), 9);

  next.font_size = 2000;
  platform_.tick += 1000;
  app_.UpdateFrame();
  EXPECT_EQ(Texts(base::kLogInfo).back(), "Font size changed: style=2000 px=128 prev_style=9");
  EXPECT_THAT(platform_.journal, ::testing::Contains("SetFont 128"));
  EXPECT_THAT(platform_.journal, ::testing::Contains("Estimate 128"));
}

TEST_F(OverlayAppTest, StyleSizeZeroFromTheStartKeepsTheInitialFont) {
  platform_.on_read = [](PerfSnapshot&, UiStyle& style) { style.font_size = 0; };
  Start();
  app_.UpdateFrame();
  EXPECT_EQ(platform_.counts["SetFont"], 0);
  EXPECT_THAT(platform_.journal, ::testing::Contains("Estimate 12"));
  EXPECT_THAT(Texts(base::kLogInfo), IsEmpty());
}

TEST_F(OverlayAppTest, EstimateFollowsTheTextAndTheDpi) {
  platform_.screen_dpi = 144;
  Start();
  PerfSnapshot figures;
  platform_.on_read = [&figures](PerfSnapshot& s, UiStyle&) { s = figures; };
  app_.UpdateFrame();
  EXPECT_THAT(platform_.Take(), ::testing::Contains("Estimate 21"));
  // Same text after a refresh: no new estimate.
  platform_.tick += 1000;
  app_.UpdateFrame();
  EXPECT_THAT(platform_.Take(), ::testing::Not(::testing::Contains("Estimate 21")));
  // A new figure changes the text: a new estimate.
  figures.cpu = 50;
  platform_.tick += 1000;
  app_.UpdateFrame();
  EXPECT_THAT(platform_.Take(), ::testing::Contains("Estimate 21"));
  EXPECT_EQ(platform_.estimated[7].text, u"50.0%");
}

// The lows and the graph come and go with the host's keys; without them the frame is the one
// of old: the same runs, box and place.
TEST_F(OverlayAppTest, FramePacingKeysAddLowsAndAGraphAndWithoutThemNothingChanges) {
  PerfSnapshot figures;
  figures.fps_valid = true;
  figures.fps_cur = 59.6;
  platform_.on_read = [&figures](PerfSnapshot& s, UiStyle& style) {
    s = figures;
    style.pos = "bottom-center";
  };
  Start();
  app_.UpdateFrame();
  EXPECT_THAT(platform_.Take(), ElementsAre("ReadFeed", "MarkDirty", "SetFont 14", "Estimate 14",
                                            "Render 810,1030 alpha 0", "Show", "KeepAbove"));
  EXPECT_EQ(platform_.rendered[1].text, u"60");
  EXPECT_FALSE(platform_.rendered_graph.shown());
  EXPECT_EQ(app_.layout_hash(), HashSegments(platform_.rendered));
  EXPECT_EQ(app_.layout_height(), 40);

  figures.fps_low1 = 41;
  figures.fps_low01 = 30;
  figures.frame_ms = {16.6, 16.8, 33.4};
  platform_.tick += kRefreshIntervalMs;
  app_.UpdateFrame();
  // The fake's text box of 300 x 40 (one line 1 high) grows by a gap of 4 and a graph of 35.
  EXPECT_THAT(platform_.Take(), ElementsAre("ReadFeed", "MarkDirty", "Estimate 14",
                                            "Render 810,1022 alpha 0", "KeepAbove"));
  EXPECT_EQ(platform_.rendered[1].text, u"60 1% 41 0.1% 30");
  EXPECT_EQ(platform_.rendered_graph.frame_ms, figures.frame_ms);
  EXPECT_EQ(app_.layout_width(), 300);
  EXPECT_EQ(app_.layout_height(), 4 + 1 + 4 + 35 + 4);

  // New frame times with the same text: the same box, no new estimate.
  figures.frame_ms = {16.6, 16.8, 33.4, 16.7};
  platform_.tick += kRefreshIntervalMs;
  app_.UpdateFrame();
  EXPECT_THAT(platform_.Take(),
              ElementsAre("ReadFeed", "MarkDirty", "Render 810,1022 alpha 0", "KeepAbove"));
  EXPECT_EQ(platform_.rendered_graph.frame_ms.size(), 4u);

  // The host stops publishing them: the frame of old again.
  figures.fps_low1.reset();
  figures.fps_low01.reset();
  figures.frame_ms.clear();
  platform_.tick += kRefreshIntervalMs;
  app_.UpdateFrame();
  EXPECT_THAT(platform_.Take(), ElementsAre("ReadFeed", "MarkDirty", "Estimate 14",
                                            "Render 810,1030 alpha 0", "KeepAbove"));
  EXPECT_EQ(platform_.rendered[1].text, u"60");
  EXPECT_FALSE(platform_.rendered_graph.shown());
  EXPECT_EQ(app_.layout_height(), 40);
}

// A figure that gains and loses a digit every second does not move a horizontal box: it is
// placed and painted at the widest the text needed lately, and narrows after three seconds.
TEST_F(OverlayAppTest, HorizontalBoxKeepsItsWidthWhileAFigureGainsAndLosesADigit) {
  PerfSnapshot figures;
  UiStyle published;
  platform_.on_read = [&](PerfSnapshot& s, UiStyle& style) {
    s = figures;
    style = published;
  };
  Start();
  const auto refresh = [&](double cpu, int text_width) {
    figures.cpu = cpu;
    platform_.estimate.width = text_width;
    platform_.tick += kRefreshIntervalMs;
    app_.UpdateFrame();
    return platform_.rendered_least_width;
  };
  const auto placed_at = [&](int width) {
    return "Render " + std::to_string((1920 - width) / 2) + ",10 alpha 0";
  };
  EXPECT_EQ(refresh(9.5, 479), 479);
  EXPECT_EQ(refresh(10.5, 507), 507);  // wider: at once
  for (int i = 0; i < 4; ++i) EXPECT_EQ(refresh(i % 2 ? 10.5 : 9.5, i % 2 ? 507 : 479), 507) << i;
  EXPECT_THAT(platform_.Take(), ::testing::Contains(placed_at(507)));
  EXPECT_EQ(refresh(9.4, 479), 507);
  EXPECT_EQ(refresh(9.3, 479), 507);
  EXPECT_EQ(refresh(9.2, 479), 507);
  EXPECT_EQ(refresh(9.1, 479), 479);  // three seconds narrower
  EXPECT_THAT(platform_.Take(), ::testing::Contains(placed_at(479)));

  // A new font size takes the text's width at once, narrower too.
  EXPECT_EQ(refresh(10.5, 507), 507);
  published.font_size = 20;
  EXPECT_EQ(refresh(9.5, 400), 400);
  // Figures going stale show their (narrower) fallbacks at once.
  EXPECT_EQ(refresh(10.5, 507), 507);
  platform_.read_result = BlockRead::kLockHeld;
  EXPECT_EQ(refresh(10.5, 507), 507);
  EXPECT_EQ(refresh(10.5, 507), 507);
  EXPECT_EQ(refresh(10.5, 300), 300);  // the third refresh without a read: stale
  ASSERT_TRUE(app_.figures_stale());
  platform_.read_result = BlockRead::kParsed;
  // The vertical layout's box follows its text, as it always did.
  published.direction = "ver";
  EXPECT_EQ(refresh(10.5, 200), 0);
  EXPECT_THAT(platform_.Take(), ::testing::Contains(placed_at(200)));
}

TEST_F(OverlayAppTest, MovedGameWindowMovesTheBoxAndAGoneOneStopsTheFrame) {
  Start();
  app_.UpdateFrame();
  platform_.Take();
  platform_.client = {100, 200, 800, 600};
  app_.UpdateFrame();
  EXPECT_THAT(platform_.Take(), ElementsAre("Render 350,206 alpha 0"));
  platform_.alive = false;
  app_.UpdateFrame();
  EXPECT_THAT(platform_.Take(), IsEmpty());
}

TEST_F(OverlayAppTest, AbsurdFiguresFromTheBlockShowFallbacks) {
  platform_.on_read = [](PerfSnapshot& s, UiStyle& style) {
    s.fps_valid = s.gpu_valid = s.disk_valid = true;
    s.fps_cur = s.gpu = s.disk_used = 1e300;
    s.cpu = -1e300;
    s.mem_total = 1e300;
    style.font_color = 0xFFFFFFFF;
  };
  Start();
  app_.UpdateFrame();
  ASSERT_EQ(platform_.rendered.size(), kSegmentCount);
  EXPECT_EQ(platform_.rendered[1].text, u"--");
  EXPECT_EQ(platform_.rendered[4].text, u"--%");
  EXPECT_EQ(platform_.rendered[7].text, u"--%");
  EXPECT_EQ(platform_.rendered[10].text, u"--/--GB");
  EXPECT_EQ(platform_.rendered[13].text, u"--%");
}

// The five value runs of the last paint.
std::vector<std::u16string> RenderedValues(const FakeOverlayPlatform& platform) {
  std::vector<std::u16string> values;
  for (size_t i = 1; i < platform.rendered.size(); i += 3)
    values.push_back(platform.rendered[i].text);
  return values;
}

const std::vector<std::u16string> kFallbacks{u"--", u"--%", u"--%", u"--/--GB", u"--%"};
const std::vector<std::u16string> kLiveValues{u"60", u"--%", u"12.3%", u"--/--GB", u"--%"};

// Stale figures: rows show their fallbacks, with one record each way.
class StaleFiguresTest : public OverlayAppTest {
 protected:
  void SetUp() override {
    platform_.on_read = [](PerfSnapshot& s, UiStyle& style) {
      s.fps_valid = true;
      s.fps_cur = 59.6;
      s.cpu = 12.34;
      style.font_color = 0x00FF80;
    };
  }
  // One frame at the next refresh.
  void Refresh() {
    platform_.tick += kRefreshIntervalMs;
    app_.UpdateFrame();
  }
  int Posts() { return platform_.counts["Post"]; }
};

TEST_F(StaleFiguresTest, ThreeUnreadRefreshesShowTheFallbacksUntilTheBlockIsReadAgain) {
  Start();
  app_.UpdateFrame();
  EXPECT_EQ(RenderedValues(platform_), kLiveValues);
  const TextSegment live_label = platform_.rendered[0];

  platform_.read_result = BlockRead::kLockHeld;
  Refresh();
  Refresh();
  EXPECT_FALSE(app_.figures_stale());
  EXPECT_EQ(RenderedValues(platform_), kLiveValues);
  platform_.Take();
  Refresh();
  EXPECT_TRUE(app_.figures_stale());
  EXPECT_EQ(RenderedValues(platform_), kFallbacks);
  // The style stays: labels in the published colour, the box where the style puts it.
  EXPECT_EQ(platform_.rendered[0].text, live_label.text);
  EXPECT_EQ(platform_.rendered[0].color, live_label.color);
  EXPECT_THAT(platform_.Take(), ::testing::Contains("Render 810,10 alpha 0"));
  Refresh();  // still unread: no second record
  EXPECT_THAT(Texts(base::kLogWarning),
              ElementsAre("Figures stale, showing the fallbacks: the block could not be read at 3 "
                          "refreshes in a row (its lock word was held)"));

  platform_.read_result = BlockRead::kParsed;
  Refresh();
  EXPECT_FALSE(app_.figures_stale());
  EXPECT_EQ(RenderedValues(platform_), kLiveValues);
  Refresh();
  EXPECT_THAT(Texts(base::kLogNotice), ElementsAre("Figures live again"));
  EXPECT_EQ(Texts(base::kLogWarning).size(), 1u);
}

TEST_F(StaleFiguresTest, OnlyReadsThatTookNoDocumentCountAndTheyCountInARow) {
  Start();
  // A document read but not parsed whole counts as read: the count starts again after it.
  for (const BlockRead read :
       {BlockRead::kNotOpen, BlockRead::kBadLength, BlockRead::kNotParsedWhole,
        BlockRead::kLockHeld, BlockRead::kNotOpen}) {
    platform_.read_result = read;
    Refresh();
    EXPECT_FALSE(app_.figures_stale());
  }
  platform_.read_result = BlockRead::kBadLength;
  Refresh();
  EXPECT_TRUE(app_.figures_stale());
  EXPECT_THAT(Texts(base::kLogWarning),
              ElementsAre("Figures stale, showing the fallbacks: the block could not be read at 3 "
                          "refreshes in a row (its length was out of range)"));
}

TEST_F(StaleFiguresTest, HostWindowThatDiesMakesThemStaleAndANewLiveOneIsToldOnceAndEndsIt) {
  platform_.ipc_window = 0x10;
  platform_.live_windows = {0x10};
  Start();
  app_.UpdateFrame();
  EXPECT_FALSE(app_.figures_stale());
  EXPECT_EQ(Posts(), 0);  // told at start-up, not again

  // The host dies; its block stays, and reads go on succeeding.
  platform_.live_windows.erase(0x10);
  Refresh();
  EXPECT_TRUE(app_.figures_stale());
  EXPECT_EQ(RenderedValues(platform_), kFallbacks);
  Refresh();
  EXPECT_THAT(Texts(base::kLogWarning),
              ElementsAre("Figures stale, showing the fallbacks: the host's IPC window "
                          "0000000000000010 is no longer a window"));
  EXPECT_EQ(Posts(), 0);

  // The host restarts with a new window: told once, live again at that refresh.
  platform_.ipc_window = 0x20;
  platform_.live_windows = {0x20};
  platform_.Take();
  Refresh();
  EXPECT_FALSE(app_.figures_stale());
  EXPECT_EQ(RenderedValues(platform_), kLiveValues);
  EXPECT_THAT(platform_.Take(), ::testing::Contains("Post 32 1004 42 4321"));
  EXPECT_EQ(Texts(base::kLogNotice).back(), "Figures live again");
  EXPECT_THAT(Texts(base::kLogNotice),
              ::testing::Contains("NotifyVexoraEnv: PostMessage(ipc=0000000000000020, 1004, "
                                  "game_id=42, pid=4321)"));
  Refresh();
  Refresh();
  EXPECT_EQ(Posts(), 1);

  // A window named that is no window gets nothing; one told before is never told again.
  platform_.ipc_window = 0x30;
  Refresh();
  EXPECT_EQ(Posts(), 1);
  platform_.live_windows = {0x20, 0x30, 0x40};
  Refresh();
  platform_.ipc_window = 0x20;
  Refresh();
  platform_.ipc_window = 0x40;
  Refresh();
  platform_.ipc_window = 0x30;
  Refresh();
  std::vector<std::string> posts;
  for (const std::string& call : platform_.journal) {
    if (call.rfind("Post", 0) == 0) posts.push_back(call);
  }
  EXPECT_THAT(posts, ElementsAre("Post 48 1004 42 4321", "Post 64 1004 42 4321"));
}

TEST_F(StaleFiguresTest, NewLiveHostWindowIsToldAtOnceButOnlyAReadEndsTheStaleState) {
  Start();
  platform_.read_result = BlockRead::kBadLength;  // the header is taken, the document is not
  Refresh();
  Refresh();
  Refresh();
  ASSERT_TRUE(app_.figures_stale());
  // The host's old figures must not come back as live while the block cannot be read.
  platform_.ipc_window = 0x50;
  platform_.live_windows = {0x50};
  Refresh();
  EXPECT_EQ(Posts(), 1);
  EXPECT_TRUE(app_.figures_stale());
  EXPECT_EQ(RenderedValues(platform_), kFallbacks);
  Refresh();
  EXPECT_TRUE(app_.figures_stale());
  EXPECT_THAT(Texts(base::kLogNotice), ::testing::Not(::testing::Contains("Figures live again")));
  platform_.read_result = BlockRead::kParsed;
  Refresh();
  EXPECT_FALSE(app_.figures_stale());
  EXPECT_EQ(RenderedValues(platform_), kLiveValues);
  EXPECT_EQ(Texts(base::kLogNotice).back(), "Figures live again");
  EXPECT_EQ(Posts(), 1);
}

TEST_F(StaleFiguresTest, HandleNowOwnedByAnotherProcessIsADeadHostAndItsNewOwnerIsTold) {
  platform_.ipc_window = 0x10;
  platform_.live_windows = {0x10};
  platform_.window_owners[0x10] = 700;
  Start();
  app_.UpdateFrame();
  EXPECT_EQ(Posts(), 0);  // told at start-up

  // The host dies and the handle's value is given to a window of process 800: the host told
  // is dead, though the handle is a window and the block still reads.
  platform_.host_republishes = false;  // its last document stays in the block
  platform_.window_owners[0x10] = 800;
  Refresh();
  EXPECT_TRUE(app_.figures_stale());
  EXPECT_EQ(RenderedValues(platform_), kFallbacks);
  EXPECT_THAT(Texts(base::kLogWarning),
              ElementsAre("Figures stale, showing the fallbacks: the host's IPC window "
                          "0000000000000010 now belongs to process 800, not to process 700 "
                          "that was told"));
  // Its new owner may be the host restarted: it gets its message at once, once.
  EXPECT_THAT(platform_.Take(), ::testing::Contains("Post 16 1004 42 4321"));
  EXPECT_EQ(Posts(), 1);

  // The next refreshes find the window told, owned as it was then, but reading the dead host's
  // last document again is no sign of life: only a new document ends the stale spell.
  platform_.read_result = BlockRead::kLockHeld;
  Refresh();
  EXPECT_TRUE(app_.figures_stale());
  platform_.read_result = BlockRead::kParsed;
  Refresh();
  Refresh();
  EXPECT_TRUE(app_.figures_stale());
  EXPECT_EQ(RenderedValues(platform_), kFallbacks);
  platform_.host_republishes = true;
  Refresh();
  EXPECT_FALSE(app_.figures_stale());
  EXPECT_EQ(RenderedValues(platform_), kLiveValues);
  Refresh();
  EXPECT_EQ(Posts(), 1);

  // Back to its first owner's id: that is another process again, told again.
  platform_.window_owners[0x10] = 700;
  Refresh();
  EXPECT_TRUE(app_.figures_stale());
  EXPECT_EQ(Posts(), 2);
}

TEST_F(StaleFiguresTest, StaleSpellEndsOnlyAtADocumentOtherThanTheLastOneReadBeforeIt) {
  Start();
  app_.UpdateFrame();
  // The host hangs holding the lock word, then frees it without publishing.
  platform_.host_republishes = false;
  platform_.read_result = BlockRead::kLockHeld;
  Refresh();
  Refresh();
  Refresh();
  ASSERT_TRUE(app_.figures_stale());
  platform_.read_result = BlockRead::kParsed;
  Refresh();
  Refresh();
  EXPECT_TRUE(app_.figures_stale());
  EXPECT_EQ(RenderedValues(platform_), kFallbacks);
  platform_.host_republishes = true;  // it publishes again
  Refresh();
  EXPECT_FALSE(app_.figures_stale());
  EXPECT_EQ(RenderedValues(platform_), kLiveValues);
  EXPECT_THAT(Texts(base::kLogNotice), ElementsAre("Figures live again"));
}

// The host's heartbeat: a "seq" that it changes at every publication.
TEST_F(StaleFiguresTest, SameSeqAtThreeRefreshesMakesThemStaleAndAChangedOneEndsIt) {
  platform_.seq = "17";
  Start();  // read 17
  Refresh();
  EXPECT_FALSE(app_.figures_stale());
  EXPECT_EQ(RenderedValues(platform_), kLiveValues);
  Refresh();  // 17 at three refreshes in a row
  EXPECT_TRUE(app_.figures_stale());
  EXPECT_EQ(RenderedValues(platform_), kFallbacks);
  Refresh();
  EXPECT_THAT(Texts(base::kLogWarning),
              ElementsAre("Figures stale, showing the fallbacks: the host's seq 17 was read at 3 "
                          "refreshes in a row"));
  // New figures under the same seq are no heartbeat; a changed seq is.
  platform_.on_read = [](PerfSnapshot& s, UiStyle&) {
    s.fps_valid = true;
    s.fps_cur = 30.0;
  };
  Refresh();
  EXPECT_TRUE(app_.figures_stale());
  platform_.seq = "18";
  Refresh();
  EXPECT_FALSE(app_.figures_stale());
  EXPECT_EQ(RenderedValues(platform_)[0], u"30");
  EXPECT_THAT(Texts(base::kLogNotice), ElementsAre("Figures live again"));

  // A seq that changes at every refresh keeps them live, whatever the figures do.
  for (int seq = 19; seq < 40; ++seq) {
    platform_.seq = std::to_string(seq);
    Refresh();
  }
  EXPECT_FALSE(app_.figures_stale());
  // Read twice, then a document without seq: the count starts again.
  Refresh();
  platform_.seq.reset();
  Refresh();
  platform_.seq = "39";
  Refresh();
  Refresh();
  EXPECT_FALSE(app_.figures_stale());
  EXPECT_EQ(Texts(base::kLogWarning).size(), 1u);
}

TEST_F(StaleFiguresTest, HostWithoutSeqWhoseDocumentNeverChangesStaysLive) {
  platform_.ipc_window = 0x10;
  platform_.live_windows = {0x10};
  platform_.host_republishes = false;  // the same figures at every publication
  Start();
  for (int i = 0; i < 10; ++i) Refresh();
  EXPECT_FALSE(app_.figures_stale());
  EXPECT_EQ(RenderedValues(platform_), kLiveValues);
  EXPECT_THAT(Texts(base::kLogWarning), IsEmpty());
}

TEST_F(StaleFiguresTest, FailedPostIsRecordedOnceTriedAgainAndNotCountedAsTold) {
  // An elevated host's window refuses the message (access denied) until it lets it through.
  platform_.ipc_window = 0x10;
  platform_.live_windows = {0x10};
  platform_.post_error = 5;
  ASSERT_TRUE(app_.Init({0x1A2B, 42}));
  EXPECT_EQ(Posts(), 1);
  Refresh();
  Refresh();
  EXPECT_EQ(Posts(), 3);
  EXPECT_THAT(Texts(base::kLogWarning),
              ElementsAre("NotifyVexoraEnv: PostMessage(ipc=0000000000000010, 1004, game_id=42, "
                          "pid=4321) failed with error 5; trying again at every refresh"));
  // Not told, but not absent either; and a host that cannot be told is no sign of stale figures.
  EXPECT_THAT(Texts(base::kLogInfo),
              ::testing::Not(::testing::Contains(::testing::HasSubstr("ipc_wnd not available"))));
  EXPECT_THAT(Texts(base::kLogNotice),
              ::testing::Not(::testing::Contains(::testing::HasSubstr("NotifyVexoraEnv"))));
  EXPECT_FALSE(app_.figures_stale());

  platform_.post_error = 0;
  Refresh();
  EXPECT_EQ(Posts(), 4);
  EXPECT_EQ(Texts(base::kLogNotice).back(),
            "NotifyVexoraEnv: PostMessage(ipc=0000000000000010, 1004, game_id=42, pid=4321)");
  Refresh();
  Refresh();
  EXPECT_EQ(Posts(), 4);  // told now: never again
  EXPECT_EQ(Texts(base::kLogWarning).size(), 1u);
}

TEST_F(StaleFiguresTest, HostWindowsRememberedStayFewUnderAWalkThroughManyWindows) {
  Start();
  // A block that names one window of the desktop after another: each is told once, and only
  // the newest few are remembered.
  constexpr uint64_t kFirst = 0x1000;
  constexpr uint64_t kWalked = 1000;
  for (uint64_t window = kFirst; window < kFirst + kWalked; ++window) {
    platform_.live_windows.insert(window);
    platform_.ipc_window = window;
    Refresh();
  }
  EXPECT_EQ(Posts(), static_cast<int>(kWalked));
  EXPECT_FALSE(app_.figures_stale());
  // The newest ones are still known, from the newest back: none is told again...
  const uint64_t newest = kFirst + kWalked - 1;
  for (uint64_t back = 0; back < kHostWindowsRemembered; ++back) {
    platform_.ipc_window = newest - back;
    Refresh();
  }
  EXPECT_EQ(Posts(), static_cast<int>(kWalked));
  // ...and the one before them was forgotten: it counts as new and is told again.
  platform_.ipc_window = newest - kHostWindowsRemembered;
  Refresh();
  EXPECT_EQ(Posts(), static_cast<int>(kWalked) + 1);
  Refresh();
  EXPECT_EQ(Posts(), static_cast<int>(kWalked) + 1);
}

TEST_F(OverlayAppTest, DpiChangeBetweenRefreshesSetsTheFontAgainAndMeasuresAgain) {
  Start();
  app_.UpdateFrame();
  ASSERT_EQ(platform_.font_dpi, 96);
  platform_.Take();
  logger_.records.clear();

  platform_.screen_dpi = 144;  // the game went to a monitor at 150%
  app_.UpdateFrame();          // not a refresh: not seen yet
  EXPECT_THAT(platform_.Take(), ElementsAre("Render 810,10 alpha 0"));
  platform_.tick += 1000;
  app_.UpdateFrame();
  EXPECT_THAT(platform_.Take(), ElementsAre("ReadFeed", "MarkDirty", "SetFont 14", "Estimate 21",
                                            "Render 810,10 alpha 0", "KeepAbove"));
  EXPECT_EQ(platform_.font_dpi, 144);
  EXPECT_EQ(app_.dpi(), 144);
  EXPECT_THAT(AllTexts(), ElementsAre("DPI changed: 96 -> 144, font set again at 14 px"));

  platform_.tick += 1000;  // no change: nothing
  app_.UpdateFrame();
  EXPECT_THAT(platform_.Take(),
              ElementsAre("ReadFeed", "MarkDirty", "Render 810,10 alpha 0", "KeepAbove"));
  EXPECT_EQ(AllTexts().size(), 1u);
}

TEST_F(OverlayAppTest, FontChangeReadsTheDpiAgain) {
  Start();
  app_.UpdateFrame();
  UiStyle next;
  next.font_size = 20;
  platform_.on_read = [&next](PerfSnapshot&, UiStyle& style) { style = next; };
  // The game is dragged across monitors: the refresh's read still sees 96, the next 144.
  platform_.on_dpi_read = [](FakeOverlayPlatform& p) { p.screen_dpi = 144; };
  platform_.Take();
  platform_.tick += 1000;
  app_.UpdateFrame();
  EXPECT_THAT(platform_.Take(), ElementsAre("ReadFeed", "MarkDirty", "SetFont 20", "Estimate 30",
                                            "Render 810,10 alpha 0", "KeepAbove"));
  EXPECT_EQ(platform_.font_dpi, 144);
}

TEST_F(OverlayAppTest, MonitorDpiThatCannotBeHadIsSaidOnceAndTheScreensIsUsed) {
  platform_.dpi_from_monitor = false;
  platform_.screen_dpi = 120;
  ASSERT_TRUE(app_.Init({0x1A2B, 42}));
  app_.UpdateFrame();
  platform_.tick += 1000;
  app_.UpdateFrame();
  EXPECT_EQ(std::count_if(logger_.records.begin(), logger_.records.end(),
                          [](const auto& r) { return r.text.find("DPI") != std::string::npos; }),
            2);  // the fallback once, and the cached DPI
  EXPECT_THAT(Texts(base::kLogInfo),
              ::testing::Contains("The game's monitor DPI is not available, the screen's is used: "
                                  "120"));
  EXPECT_EQ(platform_.font_dpi, 120);
}

}  // namespace
}  // namespace corvane
