#include "tools/corvane_feed/feed_options.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <string_view>

#include "src/data/perf_feed_writer.h"
#include "tools/common/command_line.h"

namespace corvane::feed {

namespace {

const tools::ToolInterface kFeedInterface = {
    "corvane-feed",
    {"SOURCE [OPTIONS]", "--remove [--name NAME]", "--check PATH"},
    "Publishes performance figures and a display style to the shared-memory block that every\n"
    "Corvane overlay reads, following the block's lock protocol.",
    {
        {"Source (exactly one)",
         {
             {"--json-file", "PATH",
              "publish the JSON document in PATH (at most 4096 bytes); the file is read\n"
              "again at every publication, so an edit shows up"},
             {"--json", "TEXT", "publish TEXT as the document"},
             {"--live", "", "publish this machine's CPU load, memory and disk busy figures"},
         }},
        {"Test option",
         {
             {"--test-hold-lock", "",
              "publish once, then take the block's lock word and hold it until the\n"
              "program ends, leaving it held: a writer that died while writing"},
         }},
        {"Options",
         {
             {"--once", "",
              "publish once and end (on Windows: publish, then keep the block open\n"
              "until the program is ended, as the block lives only while it is open)"},
             {"--interval", "MS", "publish every MS milliseconds (default 1000) until ended"},
             {"--show", "0|1", "the header's show flag (default 1)"},
             {"--ipc", "HEX", "the host IPC window handle in the header, hexadecimal (default 0)"},
             {"--game-id", "N", "with --live: also publish the frame rate of game N ..."},
             {"--fps-file", "PATH",
              "... read from PATH, which holds the frame rate and then, optionally, the\n"
              "game's recent frame times in milliseconds, oldest first (all separated by\n"
              "white space): the newest 200 are published as \"frame_ms\", with the 1% and\n"
              "0.1% lows computed from all of them"},
             {"--style", "JSON",
              "with --live: also publish this display style (a JSON object such as\n"
              "'{\"alpha\": 60, \"pos\": \"top-right\", \"font-color\": \"#00ff80\"}')"},
             {"--name", "NAME", "the block's name (default: the one the overlay reads)"},
             {"--remove", "", "remove the block's name (POSIX shared memory stays until then)"},
             {"--check", "PATH",
              "say whether every overlay would read the document in PATH whole (with\n"
              "the overlay's own parser, for each game and drive the document lists and\n"
              "one it does not) and, if not, which key stops it; publishes nothing"},
         }},
    },
    "Exit code 0, or 1 with one line on standard error when an option or an input is not usable.\n"
    "With --check: 0 when the document would be read whole and fits the block, 1 otherwise.",
};

bool Fail(std::string* error, std::string text) {
  *error = std::move(text);
  return false;
}

template <typename Number>
bool ParseNumber(std::string_view text, int base, Number* out) {
  if (text.empty()) return false;
  const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), *out, base);
  return status == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::string FeedUsage() {
  return tools::HelpText(kFeedInterface);
}

bool ParseFeedOptions(const std::vector<std::string>& args, FeedOptions* options,
                      std::string* error) {
  tools::CommandLine command_line;
  if (!tools::ReadCommandLine(args, kFeedInterface, &command_line, error)) return false;
  FeedOptions parsed;
  parsed.help = command_line.help;
  parsed.version = command_line.version;
  int sources = 0;
  bool interval_given = false;
  for (const auto& [option, value] : command_line.options) {
    if (option == "--json-file") {
      parsed.source = Source::kJsonFile;
      parsed.json_file = value;
      ++sources;
    } else if (option == "--json") {
      parsed.source = Source::kJsonText;
      parsed.json_text = value;
      ++sources;
    } else if (option == "--live") {
      parsed.source = Source::kLive;
      ++sources;
    } else if (option == "--once") {
      parsed.once = true;
    } else if (option == "--interval") {
      if (!ParseNumber(value, 10, &parsed.interval_ms) || parsed.interval_ms == 0 ||
          parsed.interval_ms > 3600000) {
        return Fail(error, "--interval takes milliseconds from 1 to 3600000, not '" + value + "'");
      }
      interval_given = true;
    } else if (option == "--show") {
      if (value != "0" && value != "1")
        return Fail(error, "--show takes 0 or 1, not '" + value + "'");
      parsed.show = value == "1";
    } else if (option == "--ipc") {
      std::string_view digits = value;
      if (digits.size() > 2 && (digits.substr(0, 2) == "0x" || digits.substr(0, 2) == "0X")) {
        digits.remove_prefix(2);
      }
      if (digits.size() > 8 || !ParseNumber(digits, 16, &parsed.ipc_wnd)) {
        return Fail(
            error, "--ipc takes a window handle of 1 to 8 hexadecimal digits, not '" + value + "'");
      }
    } else if (option == "--game-id") {
      uint64_t id = 0;
      if (!ParseNumber(value, 10, &id)) {
        return Fail(error, "--game-id takes a decimal number, not '" + value + "'");
      }
      parsed.game_id = id;
    } else if (option == "--fps-file") {
      parsed.fps_file = value;
    } else if (option == "--style") {
      const nlohmann::json style =
          nlohmann::json::parse(value, nullptr, /*allow_exceptions=*/false);
      if (!style.is_object()) {
        return Fail(error, "--style takes a JSON object, not '" + value + "'");
      }
      parsed.style = value;
    } else if (option == "--name") {
      std::string problem;
      if (!UsableBlockName(value, &problem)) return Fail(error, "--name: " + problem);
      parsed.block_name = value;
    } else if (option == "--remove") {
      parsed.remove = true;
    } else if (option == "--test-hold-lock") {
      parsed.hold_lock = true;
    } else if (option == "--check") {
      parsed.check_file = value;
    }
  }

  if (parsed.help || parsed.version) {
    *options = parsed;
    return true;
  }
  if (!parsed.check_file.empty()) {
    if (command_line.options.size() != 1) return Fail(error, "--check takes no other option");
  } else if (parsed.remove) {
    if (command_line.options.size() != 1 + (parsed.block_name.empty() ? 0 : 1)) {
      return Fail(error, "--remove takes no other option but --name");
    }
  } else if (sources != 1) {
    return Fail(error, sources == 0 ? "give one of --json-file, --json or --live (see --help)"
                                    : "give only one of --json-file, --json and --live");
  }
  if (parsed.once && interval_given) return Fail(error, "--once and --interval do not go together");
  if (parsed.hold_lock && (parsed.once || interval_given)) {
    return Fail(error, "--test-hold-lock publishes once; it takes no --once or --interval");
  }
  if ((parsed.game_id || !parsed.fps_file.empty()) && parsed.source != Source::kLive) {
    return Fail(error, "--game-id and --fps-file go with --live");
  }
  if (!parsed.style.empty() && parsed.source != Source::kLive) {
    return Fail(error, "--style goes with --live (put \"ui_style\" in the document otherwise)");
  }
  if (parsed.game_id.has_value() != !parsed.fps_file.empty()) {
    return Fail(error, "--game-id and --fps-file go together");
  }
  *options = parsed;
  return true;
}

}  // namespace corvane::feed
