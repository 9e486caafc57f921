#pragma once
// The command line of corvane-inspect.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "src/app/frame_composition.h"

namespace corvane::inspect {

// The drive an overlay passes to the parser when it cannot find its game's drive.
inline constexpr char kDefaultDrive[] = "_Total";

struct BoxSize {
  int width = 0;
  int height = 0;
};

struct InspectOptions {
  bool help = false;
  bool version = false;
  uint64_t game_id = 0;
  std::optional<std::string> drive;      // absent: the window's drive with --hwnd, else _Total
  std::optional<ScreenRect> client;      // absent: the window's with --hwnd, else 1920 x 1080
  std::optional<BoxSize> box;            // a box size to place instead of the estimate
  std::optional<std::string> json_file;  // a document to parse instead of the block
  std::string block_name;                // empty: the block every overlay reads
  std::optional<int> dpi;                // absent: the screen's on Windows, 96 elsewhere
  std::optional<uint64_t> hwnd;          // Windows: the game window
  std::optional<std::string> png_file;   // Windows: where to save the painted box
};

// The client area when neither --rect nor --hwnd gives one.
inline constexpr ScreenRect kDefaultClient{0, 0, 1920, 1080};

// The usage text printed by --help; `windows` adds the options that only Windows has.
std::string InspectUsage(bool windows);

// Reads the arguments after the program name. False with one line in `error` when they are
// not usable; --hwnd and --png are refused unless `windows`.
bool ParseInspectOptions(const std::vector<std::string>& args, bool windows,
                         InspectOptions* options, std::string* error);

}  // namespace corvane::inspect
