#pragma once
// Where the overlay goes in the z-order to lie directly above the game window without becoming
// a topmost window. On Windows a window inserted behind a topmost window becomes topmost itself,
// and the window directly above a game in front is usually the lowest topmost window (the
// taskbar, a hidden tooltip): so a topmost window is never handed to SetWindowPos as the window
// to insert behind while the game is not topmost. The rule is plain logic over what the overlay
// sees of the z-order; the window applies it with the real calls.
#include <array>
#include <cstddef>

namespace corvane {

// What the overlay sees of the z-order around the game window.
struct ZOrderView {
  bool above_exists = false;      // a window lies directly above the game (GW_HWNDPREV)
  bool above_is_overlay = false;  // and it is the overlay itself
  bool above_topmost = false;     // and it is a topmost window
  bool game_topmost = false;
  bool overlay_topmost = false;
};

// The insert-after of one SetWindowPos call of the overlay.
enum class InsertAfter {
  kWindowAbove,  // behind the window directly above the game
  kTop,          // HWND_TOP: the top of the overlay's own band
  kTopmost,      // HWND_TOPMOST: into the topmost band, at its top
  kNotTopmost,   // HWND_NOTOPMOST: out of the topmost band, to the top of the other windows
};

// The SetWindowPos calls that put the overlay directly above the game, in order; none when it
// already lies there in the right band.
struct ZOrderMoves {
  std::array<InsertAfter, 2> steps{};
  size_t count = 0;

  void Add(InsertAfter step) { steps[count++] = step; }
  const InsertAfter* begin() const { return steps.data(); }
  const InsertAfter* end() const { return steps.data() + count; }
};

// A game that is not topmost: the overlay stays out of the topmost band (leaving it first if it
// was put there), and goes behind the window above the game only when that one is not topmost,
// otherwise to the top of the non-topmost band, which is directly above a game in front. A
// topmost game: the overlay follows it into the topmost band.
ZOrderMoves PlanKeepAbove(const ZOrderView& view);

}  // namespace corvane
