#pragma once
// A platform for the overlay application that answers from its fields and notes every call that
// does something (the queries are counted, not noted), so that tests can check the order of a
// frame's calls and count them.
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "src/app/overlay_platform.h"

namespace corvane::testing {

class FakeOverlayPlatform final : public OverlayPlatform {
 public:
  uint32_t TickCount() override {
    ++counts["TickCount"];
    const uint32_t now = tick;
    tick += tick_step;
    return now;
  }
  void Sleep(uint32_t milliseconds) override {
    Note("Sleep " + std::to_string(milliseconds));
    slept_ms += milliseconds;
    tick += milliseconds;
    if (on_sleep) on_sleep(*this);
  }
  DpiReading GameDpi() override {
    ++counts["GameDpi"];
    const DpiReading reading{screen_dpi, dpi_from_monitor};
    if (on_dpi_read) on_dpi_read(*this);
    return reading;
  }

  void BindGameWindow(uintptr_t window) override {
    Note("BindGameWindow");
    bound_window = window;
  }
  bool GameWindowAlive() override {
    ++counts["GameWindowAlive"];
    if (alive_after_checks > 0) return --alive_after_checks == 0 && (alive = true);
    return alive;
  }
  GameWindowState ObserveGameWindow() override {
    ++counts["ObserveGameWindow"];
    const bool is_alive = GameWindowAlive();
    return {is_alive, is_alive && minimized, is_alive && visible,
            is_alive && !minimized && visible && foreground};
  }
  std::optional<ScreenRect> GameClientRect() override {
    ++counts["GameClientRect"];
    if (!alive) return std::nullopt;
    return client;
  }
  std::string GameDrive() override { return drive; }
  uint32_t GameProcessId() override { return game_pid; }

  bool CreateOverlay(int width, int height) override {
    Note("CreateOverlay " + std::to_string(width) + "x" + std::to_string(height));
    return create_succeeds;
  }
  void DestroyOverlay() override { Note("DestroyOverlay"); }
  void ShowOverlay(bool show) override {
    Note(show ? "Show" : "Hide");
    overlay_visible = show;
  }
  bool OverlayVisible() override {
    ++counts["OverlayVisible"];
    return overlay_visible;
  }
  bool PumpMessages() override {
    ++counts["PumpMessages"];
    return !quit_queued;
  }
  void KeepOverlayAboveGame() override { Note("KeepAbove"); }
  void SetOverlayFont(const std::wstring& family, int logical_px, int dpi) override {
    Note("SetFont " + std::to_string(logical_px));
    font_family = family;
    font_dpi = dpi;
  }
  void MarkOverlayDirty() override { Note("MarkDirty"); }
  void RenderOverlay(std::span<const TextSegment> segments, const FrameGraph& graph, int x, int y,
                     uint8_t alpha, int least_width) override {
    Note("Render " + std::to_string(x) + "," + std::to_string(y) + " alpha " +
         std::to_string(alpha));
    rendered.assign(segments.begin(), segments.end());
    rendered_graph = graph;
    rendered_least_width = least_width;
  }

  TextBox EstimateTextBox(std::span<const TextSegment> segments, int pixel_size) override {
    Note("Estimate " + std::to_string(pixel_size));
    estimated.assign(segments.begin(), segments.end());
    return estimate;
  }

  bool OpenFeed() override {
    Note("OpenFeed");
    return true;
  }
  BlockRead ReadFeed(uint64_t game_id, const std::string& game_drive, PerfSnapshot& snapshot,
                     UiStyle& style) override {
    Note("ReadFeed");
    read_game_id = game_id;
    read_drive = game_drive;
    // A read that takes no document leaves the records as they were.
    if (read_result == BlockRead::kParsed || read_result == BlockRead::kNotParsedWhole) {
      if (host_republishes) ++document;
      snapshot.document_digest = document;
      snapshot.seq = seq;
      if (on_read) on_read(snapshot, style);
    }
    return read_result;
  }
  void CloseFeed() override { Note("CloseFeed"); }
  bool FeedEnabled() override { return enabled; }
  uint64_t FeedIpcWindow() override { return ipc_window; }

  bool IsWindow(uint64_t window) override {
    ++counts["IsWindow"];
    return window != 0 && live_windows.count(window) != 0;
  }
  uint32_t WindowProcessId(uint64_t window) override {
    ++counts["WindowProcessId"];
    if (window == 0 || live_windows.count(window) == 0) return 0;
    const auto owner = window_owners.find(window);
    return owner == window_owners.end() ? host_pid : owner->second;
  }
  MessagePost PostHostMessage(uint64_t window, uint32_t message, uint64_t wparam,
                              uint64_t lparam) override {
    Note("Post " + std::to_string(window) + " " + std::to_string(message) + " " +
         std::to_string(wparam) + " " + std::to_string(lparam));
    return {post_error == 0, post_error};
  }

  // The calls noted since the last Take.
  std::vector<std::string> Take() { return std::exchange(journal, {}); }

  // The clock: each TickCount returns `tick` and moves it on by `tick_step`; a sleep moves it
  // on by its length.
  uint32_t tick = 100000;
  uint32_t tick_step = 0;
  uint32_t slept_ms = 0;
  int screen_dpi = 96;  // the game monitor's, or the screen's when not `dpi_from_monitor`
  bool dpi_from_monitor = true;

  bool alive = true;
  int alive_after_checks = 0;  // when > 0: the window appears at that check
  bool minimized = false;
  bool visible = true;
  bool foreground = true;
  ScreenRect client{0, 0, 1920, 1080};
  std::string drive = "C:";
  uint32_t game_pid = 4321;
  uintptr_t bound_window = 0;

  bool create_succeeds = true;
  bool overlay_visible = false;
  bool quit_queued = false;
  std::wstring font_family;
  int font_dpi = 0;
  TextBox estimate{1, 1, 300, 40, {}};
  std::vector<TextSegment> rendered;
  FrameGraph rendered_graph;
  int rendered_least_width = 0;
  std::vector<TextSegment> estimated;

  bool enabled = true;
  BlockRead read_result = BlockRead::kParsed;
  uint64_t ipc_window = 0;          // the host window the block names
  std::set<uint64_t> live_windows;  // the handles that are windows
  // The process that owns a live window: `host_pid` unless the window is listed here.
  uint32_t host_pid = 700;
  std::map<uint64_t, uint32_t> window_owners;
  // The document in the block, by its digest, and its "seq". A host that republishes puts a
  // new document there before each read; one that does not (a dead one) leaves the last.
  uint64_t document = 0;
  bool host_republishes = true;
  std::optional<std::string> seq;
  uint32_t post_error = 0;  // 0: posts go through; else they fail with this error
  uint64_t read_game_id = 0;
  std::string read_drive;
  std::function<void(PerfSnapshot&, UiStyle&)> on_read;
  std::function<void(FakeOverlayPlatform&)> on_sleep;
  std::function<void(FakeOverlayPlatform&)> on_dpi_read;  // after each GameDpi

  std::vector<std::string> journal;
  std::map<std::string, int> counts;

 private:
  void Note(std::string call) {
    ++counts[call.substr(0, call.find(' '))];
    journal.push_back(std::move(call));
  }
};

}  // namespace corvane::testing
