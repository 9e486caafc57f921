#include "src/app/figure_freshness.h"

#include <utility>

#include <fmt/format.h>

namespace corvane {
namespace {

// A document read but not parsed whole counts as read: hosts may rely on the figures it set.
bool TookDocument(BlockRead read) {
  return read == BlockRead::kParsed || read == BlockRead::kNotParsedWhole;
}

}  // namespace

void FigureFreshness::Count(const RefreshFindings& refresh) {
  if (!TookDocument(refresh.read)) {
    ++unread_refreshes_;  // and no "seq" was read: its count stays as it was
    return;
  }
  unread_refreshes_ = 0;
  last_document_ = refresh.document_digest;
  // A document without "seq" ends the count: only documents that carry one are held to it.
  if (!refresh.seq) {
    same_seq_reads_ = 0;
  } else {
    same_seq_reads_ = refresh.seq == last_seq_ ? same_seq_reads_ + 1 : 1;
  }
  last_seq_ = refresh.seq;
}

std::string FigureFreshness::StaleReason(const RefreshFindings& refresh) const {
  if (unread_refreshes_ >= kUnreadRefreshesForStale) {
    return fmt::format("the block could not be read at {} refreshes in a row ({})",
                       unread_refreshes_, DescribeBlockRead(refresh.read));
  }
  const HostWindow& host = refresh.host;
  switch (host.state) {
    case HostWindowState::kDead:
      return fmt::format("the host's IPC window {:016X} is no longer a window", host.window);
    case HostWindowState::kReplaced:
      return fmt::format(
          "the host's IPC window {:016X} now belongs to process {}, not to process {} "
          "that was told",
          host.window, host.process_id, host.told_process_id);
    case HostWindowState::kNone:
    case HostWindowState::kUntold:
    case HostWindowState::kTold:
      break;
  }
  if (same_seq_reads_ >= kSameSeqReadsForStale) {
    return fmt::format("the host's seq {} was read at {} refreshes in a row", *last_seq_,
                       same_seq_reads_);
  }
  return {};
}

FigureFreshness::Verdict FigureFreshness::Judge(const RefreshFindings& refresh) {
  Count(refresh);
  std::string reason = StaleReason(refresh);
  if (!reason.empty()) {
    if (stale_) return {};
    stale_ = true;
    // The document read as the spell began is no sign of life either.
    document_before_spell_ = last_document_;
    return {Change::kStale, std::move(reason)};
  }
  // Reading the block is no sign of life by itself: a dead host's last document stays in it.
  if (!stale_ || !TookDocument(refresh.read) || last_document_ == document_before_spell_) {
    return {};
  }
  stale_ = false;
  return {Change::kLive, {}};
}

}  // namespace corvane
