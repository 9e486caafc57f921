#include "src/window/target_window.h"

#include "base/os/win/scoped_resource.h"
#include "base/strings/utf.h"

namespace corvane {

void TargetWindow::Bind(HWND window) {
  hwnd_ = window;
  if (IsAlive()) ReadRect();
}

bool TargetWindow::UpdateRect() {
  if (hwnd_ == nullptr) return false;
  RECT client{};
  POINT origin{};
  if (!GetClientRect(hwnd_, &client) || !ClientToScreen(hwnd_, &origin)) return false;
  x_ = origin.x;
  y_ = origin.y;
  width_ = client.right - client.left;
  height_ = client.bottom - client.top;
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

TargetWindow::State TargetWindow::GetState() const {
  State state;
  if (hwnd_ == nullptr) return state;
  SetLastError(ERROR_SUCCESS);
  const LONG_PTR style = GetWindowLongPtrW(hwnd_, GWL_STYLE);
  if (style == 0 && GetLastError() != ERROR_SUCCESS) return state;  // no such window
  state.alive = true;
  state.minimized = (style & WS_MINIMIZE) != 0;
  // A top-level window is visible by its own style; a child only when its parents are too.
  state.visible =
      (style & WS_CHILD) != 0 ? IsWindowVisible(hwnd_) != FALSE : (style & WS_VISIBLE) != 0;
  return state;
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
