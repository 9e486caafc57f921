// Where the overlay's private memory goes under Wine: the process's private resident memory
// (read from the Unix side's /proc through Wine's Z: drive) after each step of Corvane's start,
// taken in the program's order: logger with encryption and the memory log, GDI+, the overlay
// window and its font, the block, and a first frame's paint.
//   startup_memory_bench.exe LOG_DIR
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "base/log/log_record.h"
#include "base/strings/utf.h"
#include "src/app/frame_composition.h"
#include "src/data/shared_memory_reader.h"
#include "src/window/overlay_window.h"

namespace {

constexpr char kLogSource[] = "bench/startup_memory";

// Private_Clean + Private_Dirty of the whole process, in kB; -1 when /proc cannot be read
// (on Windows itself).
long PrivateKb() {
  std::ifstream rollup("Z:\\proc\\self\\smaps_rollup");
  long total = -1;
  std::string key;
  long value = 0;
  std::string unit;
  while (rollup >> key >> value >> unit) {
    if (key == "Private_Clean:" || key == "Private_Dirty:") total = (total < 0 ? 0 : total) + value;
  }
  return total;
}

void Step(const char* name, long& last) {
  const long now = PrivateKb();
  std::printf("%-46s %7ld kB private  (%+ld kB)\n", name, now, last < 0 ? 0 : now - last);
  last = now;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: startup_memory_bench.exe LOG_DIR\n", stderr);
    return 2;
  }
  long last = -1;
  Step("process start", last);

  base::ILogger* logger = base::GetLogger();
  const std::wstring dir = base::Utf8ToWide(argv[1]);
  logger->Init(true, L"corvane", dir.c_str(), L"app", L"", false, true, true, 10485760, 48);
  logger->SetLevel(base::kLogInfo);
  LOG_NOTICE("startup_memory_bench: first record");
  Sleep(200);  // the worker writes it
  Step("logger (worker, encryption, memory log)", last);

  corvane::OverlayWindow::StartupGdiplus();
  Step("GDI+ started", last);

  {
    corvane::OverlayWindow window;
    window.Create(700, 32);
    Step("overlay window", last);
    window.SetFont(corvane::kOverlayFontFamily, 14);
    Step("font \"Microsoft YaHei\" 14 px", last);

    corvane::SharedMemoryReader reader;
    reader.Open();
    Step("block opened (or not there)", last);

    corvane::ComposedFrame frame;
    corvane::ComposeFrame(corvane::PerfSnapshot{}, corvane::UiStyle{}, frame);
    window.Render(frame.segments.data(), static_cast<int>(frame.segments.size()), 100, 100, 180);
    Step("first paint", last);
    for (int i = 0; i < 50; ++i) {
      window.MarkDirty();
      window.Render(frame.segments.data(), static_cast<int>(frame.segments.size()), 100, 100, 180);
    }
    Step("50 more paints", last);
    window.Destroy();
  }
  corvane::OverlayWindow::ShutdownGdiplus();
  logger->Uninit();
  Step("all released", last);
  return 0;
}
