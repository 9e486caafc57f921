// Live figures from the Win32 system calls: GetSystemTimes, GlobalMemoryStatusEx, and each
// fixed drive's idle time through IOCTL_DISK_PERFORMANCE (drives that do not answer it are
// left out).
#include <vector>

#include "base/os/win/scoped_resource.h"
#include "tools/corvane_feed/live_figures.h"

#include <winioctl.h>

namespace corvane::feed {
namespace {

uint64_t Ticks(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

struct DriveCounter {
  std::string name;  // "C:"
  base::win::ScopedHandle device;
  uint64_t idle = 0, query = 0;  // 100 ns units
};

bool ReadDiskPerformance(HANDLE device, uint64_t* idle, uint64_t* query) {
  DISK_PERFORMANCE performance{};
  DWORD returned = 0;
  if (!DeviceIoControl(device, IOCTL_DISK_PERFORMANCE, nullptr, 0, &performance,
                       sizeof(performance), &returned, nullptr)) {
    return false;
  }
  *idle = static_cast<uint64_t>(performance.IdleTime.QuadPart);
  *query = static_cast<uint64_t>(performance.QueryTime.QuadPart);
  return true;
}

}  // namespace

struct LiveSampler::State {
  uint64_t idle = 0, kernel = 0, user = 0;
  std::vector<DriveCounter> drives;
};

LiveSampler::LiveSampler() : state_(std::make_unique<State>()) {
  FILETIME idle{}, kernel{}, user{};
  if (GetSystemTimes(&idle, &kernel, &user)) {
    state_->idle = Ticks(idle);
    state_->kernel = Ticks(kernel);
    state_->user = Ticks(user);
  }
  const DWORD letters = GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if ((letters & (1u << i)) == 0) continue;
    const wchar_t root[] = {static_cast<wchar_t>(L'A' + i), L':', L'\\', 0};
    if (GetDriveTypeW(root) != DRIVE_FIXED) continue;
    const wchar_t device_path[] = {L'\\', L'\\', L'.', L'\\', root[0], L':', 0};
    DriveCounter drive;
    drive.name = {static_cast<char>('A' + i), ':'};
    HANDLE device = CreateFileW(device_path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) continue;
    drive.device.reset(device);
    if (!ReadDiskPerformance(drive.device.get(), &drive.idle, &drive.query)) continue;
    state_->drives.push_back(std::move(drive));
  }
}

LiveSampler::~LiveSampler() = default;

bool LiveSampler::Sample(MachineFigures* figures, std::string* error) {
  FILETIME idle_time{}, kernel_time{}, user_time{};
  MEMORYSTATUSEX memory{};
  memory.dwLength = sizeof(memory);
  if (!GetSystemTimes(&idle_time, &kernel_time, &user_time) || !GlobalMemoryStatusEx(&memory)) {
    *error = "GetSystemTimes or GlobalMemoryStatusEx failed: " + std::to_string(GetLastError());
    return false;
  }
  // Kernel time includes idle time.
  const uint64_t idle = Ticks(idle_time) - state_->idle;
  const uint64_t total = (Ticks(kernel_time) - state_->kernel) + (Ticks(user_time) - state_->user);
  figures->cpu_percent = Percent(total > idle ? total - idle : 0, total);
  state_->idle = Ticks(idle_time);
  state_->kernel = Ticks(kernel_time);
  state_->user = Ticks(user_time);

  constexpr double kMiB = 1024.0 * 1024.0;
  figures->mem_free_mib = static_cast<double>(memory.ullAvailPhys) / kMiB;
  figures->mem_total_mib = static_cast<double>(memory.ullTotalPhys) / kMiB;

  figures->disks.clear();
  for (DriveCounter& drive : state_->drives) {
    uint64_t drive_idle = 0, query = 0;
    if (!ReadDiskPerformance(drive.device.get(), &drive_idle, &query)) continue;
    const uint64_t span = query - drive.query;
    const uint64_t idle_span = drive_idle - drive.idle;
    figures->disks.push_back({drive.name, Percent(span > idle_span ? span - idle_span : 0, span)});
    drive.idle = drive_idle;
    drive.query = query;
  }
  AddDiskTotal(&figures->disks);
  return true;
}

}  // namespace corvane::feed
