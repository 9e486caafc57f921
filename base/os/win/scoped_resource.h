#pragma once
// One move-only owner for every kind of Win32 resource. A kind is a traits struct with the
// handle type, its empty value and its release call; release tests and clears, so a second
// release does nothing. The thread's last error survives a release, so the error of the call
// that failed is still there to report.
#include <utility>

#include "base/os/win/windows_types.h"

// GDI+ needs <objidl.h> first and the full <windows.h>.
#include <objidl.h>
#include <gdiplus.h>

namespace base::win {

template <typename Traits>
class ScopedResource {
 public:
  using Handle = typename Traits::Handle;

  ScopedResource() = default;
  explicit ScopedResource(Handle handle) : handle_(handle) {}
  ScopedResource(ScopedResource&& other) noexcept : handle_(other.release()) {}
  ScopedResource& operator=(ScopedResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ScopedResource(const ScopedResource&) = delete;
  ScopedResource& operator=(const ScopedResource&) = delete;
  ~ScopedResource() { reset(); }

  Handle get() const { return handle_; }
  bool valid() const { return handle_ != Traits::Empty(); }
  explicit operator bool() const { return valid(); }

  Handle release() { return std::exchange(handle_, Traits::Empty()); }

  void reset(Handle handle = Traits::Empty()) {
    const Handle old = std::exchange(handle_, handle);
    if (old != Traits::Empty()) {
      const DWORD last_error = GetLastError();
      Traits::Release(old);
      SetLastError(last_error);
    }
  }

 private:
  Handle handle_ = Traits::Empty();
};

struct ModuleTraits {
  using Handle = HMODULE;
  static Handle Empty() { return nullptr; }
  static void Release(Handle h) { FreeLibrary(h); }
};
using ScopedModule = ScopedResource<ModuleTraits>;

struct LocalMemoryTraits {
  using Handle = void*;
  static Handle Empty() { return nullptr; }
  static void Release(Handle h) { LocalFree(h); }
};
using ScopedLocalMemory = ScopedResource<LocalMemoryTraits>;

struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle Empty() { return nullptr; }
  static void Release(Handle h) { CloseHandle(h); }
};
using ScopedHandle = ScopedResource<KernelHandleTraits>;

struct CryptProviderTraits {
  using Handle = HCRYPTPROV;
  static Handle Empty() { return 0; }
  static void Release(Handle h) { CryptReleaseContext(h, 0); }
};
using ScopedCryptProvider = ScopedResource<CryptProviderTraits>;

struct FileHandleTraits {
  using Handle = HANDLE;
  static Handle Empty() { return INVALID_HANDLE_VALUE; }
  static void Release(Handle h) { CloseHandle(h); }
};
using ScopedFileHandle = ScopedResource<FileHandleTraits>;

struct FindHandleTraits {
  using Handle = HANDLE;
  static Handle Empty() { return INVALID_HANDLE_VALUE; }
  static void Release(Handle h) { FindClose(h); }
};
using ScopedFindHandle = ScopedResource<FindHandleTraits>;

struct MappedViewTraits {
  using Handle = void*;
  static Handle Empty() { return nullptr; }
  static void Release(Handle h) { UnmapViewOfFile(h); }
};
using ScopedMappedView = ScopedResource<MappedViewTraits>;

// Windows, GDI and GDI+ objects of the overlay: a handle type and the call that releases it.
template <typename T, auto kRelease>
struct PointerTraits {
  using Handle = T;
  static Handle Empty() { return nullptr; }
  static void Release(Handle h) { kRelease(h); }
};
using ScopedWindow = ScopedResource<PointerTraits<HWND, &DestroyWindow>>;
using ScopedMemoryDc = ScopedResource<PointerTraits<HDC, &DeleteDC>>;
using ScopedBitmap = ScopedResource<PointerTraits<HBITMAP, &DeleteObject>>;
using ScopedBrush = ScopedResource<PointerTraits<HBRUSH, &DeleteObject>>;
namespace gdiplus_flat = Gdiplus::DllExports;
using ScopedGpFontFamily =
    ScopedResource<PointerTraits<Gdiplus::GpFontFamily*, &gdiplus_flat::GdipDeleteFontFamily>>;
using ScopedGpFont = ScopedResource<PointerTraits<Gdiplus::GpFont*, &gdiplus_flat::GdipDeleteFont>>;
using ScopedGpStringFormat =
    ScopedResource<PointerTraits<Gdiplus::GpStringFormat*, &gdiplus_flat::GdipDeleteStringFormat>>;
using ScopedGpBitmap =
    ScopedResource<PointerTraits<Gdiplus::GpBitmap*, &gdiplus_flat::GdipDisposeImage>>;
using ScopedGpGraphics =
    ScopedResource<PointerTraits<Gdiplus::GpGraphics*, &gdiplus_flat::GdipDeleteGraphics>>;
using ScopedGpBrush =
    ScopedResource<PointerTraits<Gdiplus::GpSolidFill*, &gdiplus_flat::GdipDeleteBrush>>;

// A procedure found by name, as the function type it is known to have.
template <typename Function>
Function ProcedureAs(FARPROC procedure) {
  // Through the generic function pointer type, which the compiler accepts without a warning.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(procedure));
}

}  // namespace base::win
