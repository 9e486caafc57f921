#include "tools/inspect/inspect_options.h"

#include <charconv>
#include <string_view>
#include <utility>

#include "tools/common/command_line.h"

namespace corvane::inspect {
namespace {

constexpr char kAbout[] =
    "Reads the performance block the way a newly started Corvane overlay does (or parses a JSON\n"
    "document file instead) and prints, as one JSON object, what the overlay would show: the\n"
    "parse's result, the header's show flag and IPC window, the figures and the style it took,\n"
    "the five rows, the coloured runs, the box size and where the box goes in the game's client\n"
    "area.";

constexpr char kNotes[] =
    "The box is measured with GDI+ on Windows and with an approximation elsewhere (see\n"
    "\"measured_by\" in the output).\n"
    "Exit code 0 when the document was read and parsed whole; 1 when the block is not there or\n"
    "could not be read, or the file could not be read or parsed (the output still says what the\n"
    "overlay would show); 2 with one line on standard error when the options are not usable.";

constexpr char kOnlyOnWindows[] = "is available only on Windows";

tools::ToolInterface InspectInterface(bool windows) {
  const std::string_view elsewhere = windows ? "" : kOnlyOnWindows;
  return {
      "corvane-inspect",
      {"[OPTIONS]"},
      kAbout,
      {{"Options",
        {
            {"--game-id", "N", "the game id the overlay was started with, decimal (default 0)"},
            {"--drive", "TEXT", "the game's drive, such as C: (default _Total)"},
            {"--rect", "X,Y,W,H",
             "the game's client area in screen pixels (default 0,0,1920,1080)"},
            {"--box", "W,H", "place a box of this size instead of the estimated one"},
            {"--json-file", "PATH", "parse the document in PATH instead of reading the block"},
            {"--name", "NAME", "the block's name (default: the one the overlay reads)"},
            {"--dpi", "N",
             windows ? "the DPI to size the font for (default: that of the --hwnd window's\n"
                       "monitor, as the overlay takes it; else the screen's)"
                     : "the DPI to size the font for (default: 96)"},
            {"--hwnd", "HEX",
             "the game window: its client area and, unless --drive is given, the drive\n"
             "of its program (not with --rect)",
             elsewhere},
            {"--png", "PATH",
             "paint the box with the overlay's own painter into a PNG file (its size\n"
             "shows as \"png\" in the output; exit code 1 when it cannot be saved)",
             elsewhere},
        }}},
      kNotes,
  };
}

bool Fail(std::string* error, std::string text) {
  *error = std::move(text);
  return false;
}

template <typename Number>
bool ParseNumber(std::string_view text, Number* out, int base = 10) {
  if (text.empty()) return false;
  const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), *out, base);
  return status == std::errc() && end == text.data() + text.size();
}

// "A,B,C" into exactly `count` integers.
bool ParseIntList(std::string_view text, size_t count, int* out) {
  for (size_t i = 0; i < count; ++i) {
    const size_t comma = i + 1 < count ? text.find(',') : std::string_view::npos;
    if (i + 1 < count && comma == std::string_view::npos) return false;
    if (!ParseNumber(text.substr(0, comma), &out[i])) return false;
    text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
  }
  return true;
}

}  // namespace

std::string InspectUsage(bool windows) {
  return tools::HelpText(InspectInterface(windows));
}

bool ParseInspectOptions(const std::vector<std::string>& args, bool windows,
                         InspectOptions* options, std::string* error) {
  tools::CommandLine command_line;
  if (!tools::ReadCommandLine(args, InspectInterface(windows), &command_line, error)) return false;
  InspectOptions parsed;
  parsed.help = command_line.help;
  parsed.version = command_line.version;
  for (const auto& [option, value] : command_line.options) {
    if (option == "--game-id") {
      uint64_t id = 0;
      if (!ParseNumber(value, &id)) return Fail(error, "--game-id takes a decimal number");
      parsed.game_id = id;
    } else if (option == "--drive") {
      parsed.drive = value;
    } else if (option == "--rect") {
      int v[4] = {};
      if (!ParseIntList(value, 4, v) || v[2] < 0 || v[3] < 0) {
        return Fail(error, "--rect takes X,Y,W,H with a width and height of 0 or more");
      }
      parsed.client = ScreenRect{v[0], v[1], v[2], v[3]};
    } else if (option == "--box") {
      int v[2] = {};
      if (!ParseIntList(value, 2, v) || v[0] < 0 || v[1] < 0) {
        return Fail(error, "--box takes W,H, each 0 or more");
      }
      parsed.box = BoxSize{v[0], v[1]};
    } else if (option == "--json-file") {
      if (value.empty()) return Fail(error, "--json-file needs a path");
      parsed.json_file = value;
    } else if (option == "--name") {
      if (value.empty()) return Fail(error, "--name needs a name");
      parsed.block_name = value;
    } else if (option == "--dpi") {
      int dpi = 0;
      if (!ParseNumber(value, &dpi) || dpi <= 0)
        return Fail(error, "--dpi takes a positive number");
      parsed.dpi = dpi;
    } else if (option == "--hwnd") {
      std::string_view digits = value;
      if (digits.starts_with("0x") || digits.starts_with("0X")) digits.remove_prefix(2);
      uint64_t hwnd = 0;
      if (!ParseNumber(digits, &hwnd, 16) || hwnd == 0) {
        return Fail(error, "--hwnd takes a window handle in hexadecimal");
      }
      parsed.hwnd = hwnd;
    } else if (option == "--png") {
      if (value.empty()) return Fail(error, "--png needs a path");
      parsed.png_file = value;
    }
  }
  if (parsed.hwnd && parsed.client) {
    return Fail(error, "--rect and --hwnd both give the client area; use one");
  }
  if (parsed.json_file && !parsed.block_name.empty()) {
    return Fail(error, "--json-file and --name both name the input; use one");
  }
  *options = std::move(parsed);
  return true;
}

}  // namespace corvane::inspect
