#include "src/window/target_window.h"

#include "base/os/win/scoped_resource.h"
#include "base/strings/utf.h"

namespace corvane {

void TargetWindow::Bind(HWND window) {
  hwnd_ = window;
  if (IsAlive()) ReadRect();
}

bool TargetWindow::UpdateRect() {
  if (!IsAlive()) return false;
  ReadRect();
  return true;
}

bool TargetWindow::IsAlive() const {
  return hwnd_ != nullptr && IsWindow(hwnd_);
}

bool TargetWindow::IsMinimized() const {
  return hwnd_ != nullptr && IsIconic(hwnd_);
}

bool TargetWindow::IsVisible() const {
  return hwnd_ != nullptr && IsWindowVisible(hwnd_);
}

void TargetWindow::ReadRect() {
  // A call that fails (the window went away in between) leaves zeros.
  RECT client{};
  GetClientRect(hwnd_, &client);
  POINT origin{};
  ClientToScreen(hwnd_, &origin);
  x_ = origin.x;
  y_ = origin.y;
  width_ = client.right - client.left;
  height_ = client.bottom - client.top;
}

std::string GetWindowProcessDrive(const TargetWindow& target) {
  if (target.hwnd() == nullptr) return kUnknownDrive;
  DWORD process_id = 0;
  GetWindowThreadProcessId(target.hwnd(), &process_id);
  if (process_id == 0) return kUnknownDrive;
  const base::win::ScopedHandle process(
      OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id));
  if (!process) return kUnknownDrive;
  wchar_t path[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  if (!QueryFullProcessImageNameW(process.get(), 0, path, &size) || size <= 2) {
    return kUnknownDrive;
  }
  return base::WideToUtf8(std::wstring_view(path, 2));
}

}  // namespace corvane
