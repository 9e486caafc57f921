#pragma once
// The end of a run: Ctrl+C, or a request to terminate (SIGTERM natively, the console's close
// and shutdown events on Windows).
#include <cstdint>

namespace corvane::feed {

// Starts catching the stop requests. Call once, before any other thread exists.
void CatchStopRequests();

// Waits up to `ms` milliseconds; true as soon as a stop was requested.
bool WaitForStop(uint32_t ms);

}  // namespace corvane::feed

namespace corvane::feed {

// True where the block lives only while a process has it open (Windows): there a publisher
// that has published once keeps running until it is stopped.
extern const bool kBlockLivesOnlyWhileOpen;

}  // namespace corvane::feed
