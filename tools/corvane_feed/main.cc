// corvane-feed: publishes a JSON file, a JSON text or this machine's live figures to the
// performance block, once or at an interval. See FeedUsage for the options.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "src/data/document_check.h"
#include "src/data/perf_block.h"
#include "src/data/perf_feed_writer.h"
#include "src/data/shared_memory_mapping.h"
#include "tools/common/command_line.h"
#include "tools/common/input_file.h"
#include "tools/corvane_feed/feed_options.h"
#include "tools/corvane_feed/heartbeat.h"
#include "tools/corvane_feed/live_figures.h"
#include "tools/corvane_feed/stop_signal.h"

namespace corvane::feed {
namespace {

// An fps file holds a frame rate and some seconds of frame times: far less than this.
constexpr size_t kLongestFpsFile = size_t{1} << 20;

int Fail(const std::string& message) {
  std::fprintf(stderr, "corvane-feed: %s\n", message.c_str());
  return 1;
}

// A document as the overlay will take it: valid JSON, at most the block's payload size.
bool CheckDocument(const std::string& document, const std::string& what, std::string* error) {
  if (!DocumentFitsBlock(document.size(), what, error)) return false;
  try {
    const nlohmann::json parsed = nlohmann::json::parse(document);
    (void)parsed;
  } catch (const nlohmann::json::exception& e) {
    *error = what + " is not a JSON document: " + e.what();
    return false;
  }
  return true;
}

// Makes each publication's document.
class DocumentSource {
 public:
  explicit DocumentSource(const FeedOptions& options) : options_(options) {
    if (options.source == Source::kLive) sampler_.emplace();
  }

  bool Next(std::string* document, std::string* error) {
    switch (options_.source) {
      case Source::kJsonText:
        *document = options_.json_text;
        return CheckDocument(*document, "the --json text", error);
      case Source::kJsonFile: {
        tools::InputFile file;
        if (!tools::ReadInputFile(options_.json_file, kMaxPayloadSize, &file, error) ||
            !DocumentFitsBlock(file.size, options_.json_file, error)) {
          return false;
        }
        *document = std::move(file.text);
        return CheckDocument(*document, options_.json_file, error);
      }
      case Source::kLive:
        return NextLive(document, error);
      case Source::kNone:
        break;
    }
    *error = "no source";
    return false;
  }

 private:
  bool NextLive(std::string* document, std::string* error) {
    MachineFigures figures;
    if (!sampler_->Sample(&figures, error)) return false;
    std::optional<FrameRate> fps;
    if (options_.game_id) {
      tools::InputFile text;
      std::string unread;
      auto file =
          tools::ReadInputFile(options_.fps_file, kLongestFpsFile, &text, &unread) && !text.longer
              ? ParseFrameRateFile(text.text)
              : std::nullopt;
      if (file) {
        // Minimum and maximum over this run.
        const double value = file->rate;
        if (!fps_seen_) frame_min_ = frame_max_ = value;
        fps_seen_ = true;
        frame_min_ = std::min(frame_min_, value);
        frame_max_ = std::max(frame_max_, value);
        fps =
            FrameRate{*options_.game_id, value, frame_min_, frame_max_, std::move(file->frame_ms)};
      } else if (!fps_warned_) {
        // The game may not have written it yet: say so once, publish without a frame rate.
        std::fprintf(stderr, "corvane-feed: no frame rate in %s yet\n", options_.fps_file.c_str());
        fps_warned_ = true;
      }
    }
    *document = BuildLiveDocument(figures, fps, options_.style);
    return CheckDocument(*document, "the live document", error);
  }

  const FeedOptions& options_;
  std::optional<LiveSampler> sampler_;
  bool fps_seen_ = false, fps_warned_ = false;
  double frame_min_ = 0.0, frame_max_ = 0.0;
};

// The test option: takes the lock word with this writer's value and keeps it until the program
// ends, which leaves it held, as a writer that died while writing leaves it.
int HoldLockWord(const PerfFeedWriter& writer) {
  SharedMemoryMapping view;
  std::string error, note;
  const std::string& name = writer.block_name();
  if (!view.OpenExisting(name, nullptr)) return Fail("cannot open the block \"" + name + "\"");
  if (!BlockLockWord(view.data()).AcquireWaiting(writer.lock_value(), {}, &note, &error)) {
    return Fail(error);
  }
  if (!note.empty()) std::fprintf(stderr, "corvane-feed: %s\n", note.c_str());
  std::printf("corvane-feed: holding the block's lock word until the program ends\n");
  std::fflush(stdout);
  while (!WaitForStop(60000)) {
  }
  return 0;
}

// --check: one line on standard output; 0 when every overlay reads the document whole and the
// block can hold it. A document the block does not take is never read by any overlay: it is
// refused as it stands, unparsed.
int RunCheck(const std::string& path) {
  tools::InputFile file;
  std::string error;
  if (!tools::ReadInputFile(path, kMaxPayloadSize, &file, &error)) return Fail(error);
  std::string too_large;
  if (!DocumentFitsBlock(file.size, "it", &too_large)) {
    std::printf("%s: not read by any overlay: %s\n", path.c_str(), too_large.c_str());
    return 1;
  }
  const DocumentCheck check = CheckOverlayReading(file.text);
  std::string verdict = path + ": " + DescribeCheck(check);
  if (check.whole) {
    verdict += "; " + std::to_string(file.text.size()) + " of " + std::to_string(kMaxPayloadSize) +
               " bytes";
  }
  std::printf("%s\n", verdict.c_str());
  return check.whole ? 0 : 1;
}

int Run(const FeedOptions& options) {
  if (!options.check_file.empty()) return RunCheck(options.check_file);
  const std::string name = options.block_name.empty() ? kPerfBlockName : options.block_name;
  std::string error;
  if (options.remove) {
    if (!PerfFeedWriter::Remove(name, &error)) return Fail(error);
    return 0;
  }

  CatchStopRequests();
  DocumentSource source(options);
  std::string document;
  // Every mode that republishes gives each publication a new "seq", the heartbeat that tells
  // the overlays this host is alive; one publication has none, or its figures would turn stale.
  const bool republishes = !options.once && !options.hold_lock;
  uint64_t seq = 0;
  const auto next_document = [&] {
    if (!source.Next(&document, &error)) return false;
    if (!republishes) return true;
    document = WithSeq(document, ++seq);
    return DocumentFitsBlock(document.size(), "the document with its \"seq\"", &error);
  };
  if (options.source == Source::kLive) WaitForStop(250);  // a first span for the averages
  if (!next_document()) return Fail(error);               // a bad start is an error

  PerfFeedWriter writer(name);
  std::string note;
  // One publication; a takeover of an abandoned lock word is said on standard error.
  const auto publish = [&] {
    const bool published = writer.Publish(document, options.show, options.ipc_wnd, &error, &note);
    if (!note.empty()) std::fprintf(stderr, "corvane-feed: %s\n", note.c_str());
    return published;
  };
  if (!writer.Create(&error)) return Fail(error);
  if (!publish()) return Fail(error);
  if (options.hold_lock) return HoldLockWord(writer);
  if (options.once) {
    if (kBlockLivesOnlyWhileOpen) {
      while (!WaitForStop(60000)) {
      }
    }
    return 0;
  }

  // Later inputs may be passing states (an editor saving the file): report each new
  // problem once and publish again when the input is good.
  std::string last_problem;
  while (!WaitForStop(options.interval_ms)) {
    if (!next_document() || !publish()) {
      if (error != last_problem) std::fprintf(stderr, "corvane-feed: %s\n", error.c_str());
      last_problem = error;
      continue;
    }
    last_problem.clear();
  }
  return 0;
}

}  // namespace
}  // namespace corvane::feed

int main(int argc, char** argv) {
  using namespace corvane::feed;
  FeedOptions options;
  std::string error;
  if (!ParseFeedOptions(std::vector<std::string>(argv + 1, argv + argc), &options, &error)) {
    return Fail(error);
  }
  if (options.help) {
    std::fputs(FeedUsage().c_str(), stdout);
    return 0;
  }
  if (options.version) {
    std::puts(corvane::tools::VersionLine("corvane-feed").c_str());
    return 0;
  }
  return Run(options);
}
