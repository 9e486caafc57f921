#pragma once
// A thread that can be waited for with a time limit.
#include <cstdint>
#include <memory>

namespace base::os {

class Thread {
 public:
  using Main = void (*)(void* argument);

  Thread();
  // A thread still running is handled as by StopWithin(0).
  ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Starts `main(argument)` at once, with the default stack size. False when it cannot start.
  bool Start(Main main, void* argument);
  bool running() const;

  // Waits at most `timeout_ms` for the thread to end. True when it ended in time. Otherwise
  // the thread is given up: on Windows it is terminated (exit code 4); elsewhere there is no
  // safe forced stop of a thread, so it is left to run on, detached, and whatever it uses must
  // be kept alive by the thread itself. Either way this object no longer refers to it.
  bool StopWithin(uint32_t timeout_ms);

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace base::os
