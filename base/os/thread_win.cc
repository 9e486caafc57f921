#include "base/os/thread.h"

#include "base/os/win/scoped_resource.h"

namespace base::os {
namespace {

struct StartArguments {
  Thread::Main main;
  void* argument;
};

DWORD WINAPI ThreadEntry(void* raw) {
  const StartArguments start = *static_cast<StartArguments*>(raw);
  delete static_cast<StartArguments*>(raw);
  start.main(start.argument);
  return 0;
}

constexpr DWORD kTerminatedExitCode = 4;

}  // namespace

struct Thread::State {
  win::ScopedHandle handle;
};

Thread::Thread() = default;

Thread::~Thread() {
  StopWithin(0);
}

bool Thread::Start(Main main, void* argument) {
  StopWithin(0);
  auto* start = new StartArguments{main, argument};
  auto state = std::make_shared<State>();
  state->handle.reset(CreateThread(nullptr, 0, ThreadEntry, start, 0, nullptr));
  if (!state->handle.valid()) {
    delete start;
    return false;
  }
  state_ = std::move(state);
  return true;
}

bool Thread::running() const {
  return state_ != nullptr;
}

bool Thread::StopWithin(uint32_t timeout_ms) {
  if (!state_) return true;
  const bool ended = WaitForSingleObject(state_->handle.get(), timeout_ms) == WAIT_OBJECT_0;
  if (!ended) TerminateThread(state_->handle.get(), kTerminatedExitCode);
  state_.reset();
  return ended;
}

}  // namespace base::os
