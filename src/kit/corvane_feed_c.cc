// The C interface of the host kit over PerfFeedWriter. Every entry point catches everything:
// no exception and no C++ type crosses into the host's code, and the last message lives in a
// fixed buffer of the handle, so setting it cannot fail.
#include "src/kit/corvane_feed.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <string_view>

#include "src/data/perf_block.h"
#include "src/data/perf_feed_writer.h"

static_assert(std::string_view(CORVANE_FEED_BLOCK_NAME) == corvane::kPerfBlockName);
static_assert(CORVANE_FEED_MAX_DOCUMENT_SIZE == corvane::kMaxPayloadSize);

struct corvane_feed {
  explicit corvane_feed(const char* block_name) : writer(block_name) {}

  corvane::PerfFeedWriter writer;
  char message[512] = "";
};

namespace {

constexpr char kNullHandle[] =
    "the handle is NULL (corvane_feed_open leaves it NULL only when there was no memory for one)";

// Keeps what fits, always terminated.
void SetMessage(corvane_feed* feed, std::string_view text) {
  const size_t length = std::min(text.size(), sizeof feed->message - 1);
  std::memcpy(feed->message, text.data(), length);
  feed->message[length] = '\0';
}

int Fail(corvane_feed* feed, int code, std::string_view text) {
  SetMessage(feed, text);
  return code;
}

// The outcome of an exception that reached the boundary.
int FailOnException(corvane_feed* feed) {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return Fail(feed, CORVANE_FEED_NO_MEMORY, "out of memory");
  } catch (const std::exception& e) {
    SetMessage(feed, "unexpected error: ");
    const size_t used = std::strlen(feed->message);
    std::strncat(feed->message, e.what(), sizeof feed->message - used - 1);
    return CORVANE_FEED_FAILED;
  } catch (...) {
    return Fail(feed, CORVANE_FEED_FAILED, "unexpected error");
  }
}

}  // namespace

extern "C" {

int corvane_feed_open(const char* block_name, corvane_feed** feed) {
  if (feed == nullptr) return CORVANE_FEED_BAD_ARGUMENT;
  *feed = nullptr;
  const char* const name = block_name != nullptr ? block_name : CORVANE_FEED_BLOCK_NAME;
  try {
    *feed = new corvane_feed(name);
  } catch (...) {
    return CORVANE_FEED_NO_MEMORY;
  }
  try {
    std::string error;
    if (!corvane::UsableBlockName(name, &error)) {
      return Fail(*feed, CORVANE_FEED_BAD_ARGUMENT, error);
    }
    if (!(*feed)->writer.Create(&error)) return Fail(*feed, CORVANE_FEED_FAILED, error);
    SetMessage(*feed, "");
    return CORVANE_FEED_OK;
  } catch (...) {
    return FailOnException(*feed);
  }
}

int corvane_feed_publish(corvane_feed* feed, const char* document, size_t length, int show,
                         uint32_t ipc_window) {
  if (feed == nullptr) return CORVANE_FEED_BAD_ARGUMENT;
  if (document == nullptr || length == 0) {
    return Fail(feed, CORVANE_FEED_BAD_ARGUMENT,
                "no document: an empty one is never read by the overlays");
  }
  try {
    std::string error, note;
    if (!corvane::DocumentFitsBlock(length, "the document", &error)) {
      return Fail(feed, CORVANE_FEED_TOO_LARGE, error);
    }
    if (!feed->writer.Publish(std::string_view(document, length), show != 0, ipc_window, &error,
                              &note)) {
      return Fail(feed, CORVANE_FEED_FAILED, error);
    }
    SetMessage(feed, note);  // such as a lock word taken over from a process that died
    return CORVANE_FEED_OK;
  } catch (...) {
    return FailOnException(feed);
  }
}

const char* corvane_feed_last_message(const corvane_feed* feed) {
  return feed != nullptr ? feed->message : kNullHandle;
}

void corvane_feed_close(corvane_feed* feed) {
  delete feed;  // the writer's mapping closes itself and never throws
}

const char* corvane_feed_version(void) {
  return CORVANE_FEED_LIBRARY_VERSION;
}

int corvane_feed_interface_version(void) {
  return CORVANE_FEED_INTERFACE_VERSION;
}

}  // extern "C"
