#include "src/window/z_order.h"

namespace corvane {

ZOrderMoves PlanKeepAbove(const ZOrderView& view) {
  ZOrderMoves moves;
  if (view.game_topmost) {
    if (view.above_is_overlay) return moves;
    if (!view.overlay_topmost) {
      // The top of the topmost band, which is directly above a game that has nothing above it.
      moves.Add(InsertAfter::kTopmost);
      if (view.above_exists) moves.Add(InsertAfter::kWindowAbove);
      return moves;
    }
    moves.Add(view.above_exists ? InsertAfter::kWindowAbove : InsertAfter::kTop);
    return moves;
  }

  if (view.above_is_overlay && !view.overlay_topmost) return moves;
  if (view.overlay_topmost) moves.Add(InsertAfter::kNotTopmost);
  const bool behind_above = view.above_exists && !view.above_is_overlay && !view.above_topmost;
  moves.Add(behind_above ? InsertAfter::kWindowAbove : InsertAfter::kTop);
  return moves;
}

}  // namespace corvane
