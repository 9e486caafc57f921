// Where the overlay's private memory goes under Wine: the steps of Corvane's start in the
// program's order (logger with encryption and the memory log, crash minidumps, GDI+, the overlay
// window and its font, the block, paints), each named on standard output, waiting for a line on
// standard input after each. bench/startup_memory.sh runs it and reads the process's memory at
// every step.
//   startup_memory_bench.exe LOG_DIR
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/log/log_record.h"
#include "base/strings/utf.h"
#include "src/app/frame_composition.h"
#include "src/data/shared_memory_reader.h"
#include "src/main/crash_report_helper.h"
#include "src/window/monitor_dpi.h"
#include "src/window/overlay_window.h"

namespace {

constexpr char kLogSource[] = "bench/startup_memory";

// Names the step just taken and waits for a line on standard input, so that the driving
// script (bench/startup_memory.sh) can read this process's memory from the Unix side: under
// Wine, a file that this process opens is opened by Wine's server, so /proc/self would be the
// server's.
void Step(const char* name) {
  std::printf("%s\n", name);
  std::fflush(stdout);
  char line[16];
  if (std::fgets(line, sizeof line, stdin) == nullptr) std::exit(0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: startup_memory_bench.exe LOG_DIR\n", stderr);
    return 2;
  }
  Step("process start");

  base::ILogger* logger = base::GetLogger();
  const std::wstring dir = base::Utf8ToWide(argv[1]);
  logger->Init(true, L"corvane", dir.c_str(), L"app", L"", false, true, true, 10485760, 48);
  logger->SetLevel(base::kLogInfo);
  LOG_NOTICE("startup_memory_bench: first record");
  Sleep(200);  // the worker writes it
  Step("logger (worker, encryption, memory log)");

  corvane::WriteCrashDumpsInto(logger->GetLogDir());
  Step("minidumps (dbghelp, a thread)");

  corvane::OverlayWindow::StartupGdiplus();
  Step("GDI+ started");

  {
    corvane::OverlayWindow window;
    window.Create(700, 32);
    Step("overlay window");
    window.SetFont(corvane::kOverlayFontFamily, 14, corvane::ScreenDpi());
    Step("font \"Microsoft YaHei\" 14 px");

    corvane::SharedMemoryReader reader;
    reader.Open();
    Step("block opened (or not there)");

    corvane::ComposedFrame frame;
    corvane::ComposeFrame(corvane::PerfSnapshot{}, corvane::UiStyle{}, frame);
    window.Render(frame.segments.data(), static_cast<int>(frame.segments.size()), frame.graph, 100,
                  100, 180);
    Step("first paint");
    for (int i = 0; i < 50; ++i) {
      window.MarkDirty();
      window.Render(frame.segments.data(), static_cast<int>(frame.segments.size()), frame.graph,
                    100, 100, 180);
    }
    Step("50 more paints");
    window.Destroy();
  }
  corvane::OverlayWindow::ShutdownGdiplus();
  logger->Uninit();
  Step("all released");
  return 0;
}
