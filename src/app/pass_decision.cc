#include "src/app/pass_decision.h"

namespace corvane {

PassDecision DecidePass(const GameWindowState& game, uint32_t lost_since, uint32_t now) {
  PassDecision decision;
  if (game.alive) {
    if (lost_since != 0) {
      decision.recovered = true;
      decision.elapsed_ms = now - lost_since;
    }
    const bool in_front = !game.minimized && game.visible && game.foreground;
    decision.action = in_front ? PassDecision::Action::kDraw : PassDecision::Action::kHide;
    decision.delay_ms = in_front ? kFrameDelayMs : kBackgroundDelayMs;
    return decision;
  }
  if (lost_since == 0) {
    decision.lost = true;
    // A tick count of exactly 0 cannot mark an absence, since 0 means "present"; the next
    // millisecond does, and the grace period is one millisecond longer.
    lost_since = now != 0 ? now : 1;
  }
  decision.lost_since = lost_since;
  decision.elapsed_ms = now - lost_since;
  if (decision.lost) decision.elapsed_ms = 0;
  if (decision.elapsed_ms >= kGracePeriodMs) {
    decision.action = PassDecision::Action::kExit;
    return decision;
  }
  decision.action = PassDecision::Action::kHide;
  decision.delay_ms = kLostDelayMs;
  return decision;
}

}  // namespace corvane
