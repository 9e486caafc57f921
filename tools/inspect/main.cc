// corvane-inspect: what a newly started overlay would show for the block (or a document file),
// a game id, a game drive and a client area, as one JSON object. See InspectUsage.
#include <cstdio>
#include <string>
#include <vector>

#include "src/data/parse_json.h"
#include "src/data/perf_block.h"
#include "src/data/perf_feed_writer.h"
#include "src/data/shared_memory_reader.h"
#include "tools/common/command_line.h"
#include "tools/common/input_file.h"
#include "tools/inspect/inspect_options.h"
#include "tools/inspect/inspect_platform.h"
#include "tools/inspect/inspect_report.h"

namespace corvane::inspect {
namespace {

constexpr int kExitRead = 0;
constexpr int kExitNotRead = 1;
constexpr int kExitUsage = 2;

void Complain(const std::string& message) {
  std::fprintf(stderr, "corvane-inspect: %s\n", message.c_str());
}

// One read into records as a newly started overlay holds them; `problem` says why a read
// failed.
ReadOutcome ReadDocument(const InspectOptions& options, const FrameSetting& setting,
                         std::string* problem) {
  ReadOutcome outcome;
  if (options.json_file) {
    // A document longer than the block holds is never read by an overlay.
    tools::InputFile file;
    if (!tools::ReadInputFile(*options.json_file, kMaxPayloadSize, &file, problem) ||
        !DocumentFitsBlock(file.size, *options.json_file, problem)) {
      return outcome;
    }
    outcome.read =
        ParseJson(file.text, setting.game_id, setting.drive, outcome.snapshot, outcome.style);
    if (!outcome.read) *problem = *options.json_file + " could not be parsed whole";
    return outcome;
  }

  const std::string name = options.block_name.empty() ? kPerfBlockName : options.block_name;
  SharedMemoryReader reader(name);
  if (!reader.Open()) {
    *problem = "there is no block named " + name;
  } else {
    outcome.read = reader.Read(setting.game_id, setting.drive, outcome.snapshot, outcome.style);
    if (!outcome.read) {
      *problem = "the block " + name +
                 " could not be read whole: its lock was held, its length is not 1 to 4096, or "
                 "its document could not be parsed";
    }
  }
  // What the overlay goes by: false and 0 until a read has taken the lock.
  outcome.enabled = reader.enabled();
  outcome.ipc_wnd = reader.ipc_wnd();
  return outcome;
}

int Run(const InspectOptions& options) {
  InspectPlatform platform;
  FrameSetting setting;
  setting.game_id = options.game_id;
  std::string error;
  if (options.hwnd) {
    if (!platform.ReadGameWindow(*options.hwnd, &setting.client, &setting.drive, &error)) {
      Complain(error);
      return kExitNotRead;
    }
  } else if (options.client) {
    setting.client = *options.client;
  }
  if (options.drive) setting.drive = *options.drive;
  if (options.dpi) {
    setting.dpi = *options.dpi;
    setting.dpi_from = kDpiFromOption;
  } else if (options.hwnd) {
    // The game window's monitor, as the overlay over it takes it.
    const DpiReading reading = platform.GameWindowDpi(*options.hwnd);
    setting.dpi = reading.dpi;
    setting.dpi_from = reading.from_monitor ? kDpiFromMonitor : kDpiFromScreen;
  } else {
    setting.dpi = platform.ScreenDpi();
    setting.dpi_from = kHasWindowOptions ? kDpiFromScreen : kDpiFromReference;
  }
  setting.box = options.box;

  std::string problem;
  const ReadOutcome outcome = ReadDocument(options, setting, &problem);
  const InspectedFrame frame = InspectFrame(
      outcome.snapshot, outcome.style, setting,
      [&platform](std::span<const TextSegment> segments, int pixel_size) {
        return platform.EstimateTextBox(segments, pixel_size);
      },
      platform.measured_by());
  nlohmann::ordered_json report = BuildReport(outcome, setting, frame);
  int exit_code = outcome.read ? kExitRead : kExitNotRead;

  if (options.png_file) {
    InspectPlatform::PaintedPng png;
    // The overlay paints with the low byte of the style's opacity.
    const auto alpha = static_cast<uint8_t>(outcome.style.alpha);
    if (platform.PaintPng(frame.composed.segments, frame.composed.graph, frame.window_font_px,
                          setting.dpi, alpha, *options.png_file, &png, &error)) {
      report["png"] = {{"path", *options.png_file},
                       {"width", png.size.width},
                       {"height", png.size.height},
                       {"font_found", png.font_found}};
    } else {
      problem = problem.empty() ? error : problem + "; " + error;
      exit_code = kExitNotRead;
    }
  }

  std::fputs((FormatReport(report) + "\n").c_str(), stdout);
  std::fflush(stdout);
  if (!problem.empty()) Complain(problem);
  return exit_code;
}

}  // namespace
}  // namespace corvane::inspect

int main(int argc, char** argv) {
  using namespace corvane::inspect;
  InspectOptions options;
  std::string error;
  if (!ParseInspectOptions(std::vector<std::string>(argv + 1, argv + argc), kHasWindowOptions,
                           &options, &error)) {
    Complain(error);
    return kExitUsage;
  }
  if (options.help) {
    std::fputs(InspectUsage(kHasWindowOptions).c_str(), stdout);
    return kExitRead;
  }
  if (options.version) {
    std::puts(corvane::tools::VersionLine("corvane-inspect").c_str());
    return kExitRead;
  }
  return Run(options);
}
