#pragma once
// The command line of corvane-feed.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace corvane::feed {

enum class Source { kNone, kJsonFile, kJsonText, kLive };

struct FeedOptions {
  bool help = false;
  bool version = false;
  Source source = Source::kNone;
  std::string json_file;
  std::string json_text;
  bool once = false;
  uint32_t interval_ms = 1000;
  bool show = true;
  uint32_t ipc_wnd = 0;
  bool remove = false;
  std::string check_file;  // --check: tell whether the overlays read this document whole
  std::optional<uint64_t> game_id;
  std::string fps_file;
  std::string style;       // with --live: the display style, a JSON object's text; empty: none
  std::string block_name;  // empty: the block every overlay reads
  bool hold_lock = false;  // test option: publish once, then take the lock word and keep it
};

// The usage text printed by --help.
std::string FeedUsage();

// Reads the arguments after the program name. False with one line in `error` when they are
// not usable.
bool ParseFeedOptions(const std::vector<std::string>& args, FeedOptions* options,
                      std::string* error);

}  // namespace corvane::feed
