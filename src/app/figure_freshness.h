#pragma once
// Whether the figures on screen are live or stale, decided once a refresh from what that
// refresh read and from the host window the block names. No window system here: the
// application gathers the findings, this says what they mean.
#include <cstdint>
#include <optional>
#include <string>

#include "src/data/shared_memory_reader.h"

namespace corvane {

// The figures count as stale once the block could not be read at this many refreshes in a row,
// and once this many refreshes in a row read one and the same "seq".
inline constexpr int kUnreadRefreshesForStale = 3;
inline constexpr int kSameSeqReadsForStale = 3;

// The host window the block names, as this overlay sees it at one refresh.
enum class HostWindowState {
  kNone,      // the block names no window
  kUntold,    // a live window not told yet whom this overlay serves (or whose post failed)
  kTold,      // a live window told, still owned by the process that owned it then
  kReplaced,  // a window told, now owned by another process: the host told is dead, and the
              // new owner (maybe that host restarted) is to be told too
  kDead,      // no window any more
};

struct HostWindow {
  HostWindowState state = HostWindowState::kNone;
  uint64_t window = 0;
  uint32_t process_id = 0;       // its owner now; 0 for kNone and kDead
  uint32_t told_process_id = 0;  // its owner when it was told, for kTold and kReplaced
};

// What one refresh found.
struct RefreshFindings {
  BlockRead read = BlockRead::kNotOpen;
  HostWindow host;
  // Of the document read, when the read took one (kParsed or kNotParsedWhole).
  std::optional<std::string> seq;
  uint64_t document_digest = 0;
};

class FigureFreshness {
 public:
  enum class Change { kNone, kStale, kLive };
  struct Verdict {
    Change change = Change::kNone;
    std::string reason;  // why the figures became stale, with kStale
  };

  // Takes one refresh. The figures become stale when the block went unread too long, when the
  // host told is dead or replaced, or when the host's "seq" stood still too long; a stale spell
  // ends only at a refresh with none of those that read a document other than the last one
  // read before the spell began. Says when the state changes at this refresh.
  Verdict Judge(const RefreshFindings& refresh);

  bool stale() const { return stale_; }

 private:
  // Why the figures are stale after this refresh; empty when nothing says so.
  std::string StaleReason(const RefreshFindings& refresh) const;
  // Keeps the counts of unread refreshes and of refreshes in a row that read the same "seq".
  void Count(const RefreshFindings& refresh);

  int unread_refreshes_ = 0;
  int same_seq_reads_ = 0;
  std::optional<std::string> last_seq_;
  // The document the last read took, and the one the last read took before the spell began.
  std::optional<uint64_t> last_document_;
  std::optional<uint64_t> document_before_spell_;
  bool stale_ = false;
};

}  // namespace corvane
