#pragma once
// One pass of the main loop, decided from what was seen of the game window and the tick count:
// draw a frame, hide the overlay, or leave once the window has been gone for the grace period.
#include <cstdint>

namespace corvane {

inline constexpr uint32_t kGracePeriodMs = 5000;
inline constexpr uint32_t kFrameDelayMs = 8;
inline constexpr uint32_t kBackgroundDelayMs = 100;
inline constexpr uint32_t kLostDelayMs = 200;

struct GameWindowState {
  bool alive = false;
  bool minimized = false;
  bool visible = false;
  bool foreground = false;  // the game window is the foreground window
};

struct PassDecision {
  enum class Action { kDraw, kHide, kExit };
  Action action = Action::kHide;
  uint32_t delay_ms = 0;    // the sleep after the pass; 0 when the loop ends
  uint32_t lost_since = 0;  // the absence's start after this pass; 0 while the window is there
  bool recovered = false;   // the window is back after an absence of `elapsed_ms`
  bool lost = false;        // the window was first seen gone in this pass
  uint32_t elapsed_ms = 0;  // length of the absence (recovered, or still gone)
};

// `lost_since` is the tick count at which the current absence was first seen, 0 when there is
// none; `now` is the tick count of this pass. Differences are taken modulo 2^32, so a wrap of
// the tick count neither shortens nor lengthens the grace period.
PassDecision DecidePass(const GameWindowState& game, uint32_t lost_since, uint32_t now);

}  // namespace corvane
