// Owners of Win32 handles, one alias per kind, and scope guards for the GDI
// calls that come in pairs (BeginPaint/EndPaint, GetDC/ReleaseDC, SelectObject
// and putting the old object back).
#pragma once

#include <windows.h>

#include "base/unique_handle.h"

namespace brevaro::platform::win32 {

// Kinds whose creating functions return null for "no handle".
template <class H, auto Close>
struct NullHandleTraits {
  using handle_type = H;
  static constexpr H none() noexcept { return nullptr; }
  static bool valid(H h) noexcept { return h != nullptr; }
  static void close(H h) noexcept { Close(h); }
};

// Kernel handles: depending on the function, "no handle" is null or
// INVALID_HANDLE_VALUE.
template <auto Close>
struct KernelHandleTraits {
  using handle_type = HANDLE;
  static constexpr HANDLE none() noexcept { return nullptr; }
  static bool valid(HANDLE h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void close(HANDLE h) noexcept { Close(h); }
};

// Files, mutexes, events and the other kernel objects closed by CloseHandle.
using UniqueKernelHandle = base::UniqueHandle<KernelHandleTraits<&CloseHandle>>;
using UniqueFind = base::UniqueHandle<KernelHandleTraits<&FindClose>>;
using UniqueKey = base::UniqueHandle<NullHandleTraits<HKEY, &RegCloseKey>>;
using UniqueModule = base::UniqueHandle<NullHandleTraits<HMODULE, &FreeLibrary>>;
using UniqueWindow = base::UniqueHandle<NullHandleTraits<HWND, &DestroyWindow>>;
using UniqueHook = base::UniqueHandle<NullHandleTraits<HHOOK, &UnhookWindowsHookEx>>;
template <class T = HGDIOBJ>
using UniqueGdiObject = base::UniqueHandle<NullHandleTraits<T, &DeleteObject>>;
using UniqueRegion = UniqueGdiObject<HRGN>;
using UniqueIcon = base::UniqueHandle<NullHandleTraits<HICON, &DestroyIcon>>;
using UniqueMenu = base::UniqueHandle<NullHandleTraits<HMENU, &DestroyMenu>>;
// A DC from CreateCompatibleDC (window DCs are released, see WindowDc).
using UniqueMemoryDc = base::UniqueHandle<NullHandleTraits<HDC, &DeleteDC>>;

// BeginPaint in the constructor, EndPaint in the destructor.
class PaintScope {
 public:
  explicit PaintScope(HWND window) : window_(window), dc_(BeginPaint(window, &ps_)) {}
  ~PaintScope() { EndPaint(window_, &ps_); }
  PaintScope(const PaintScope&) = delete;
  PaintScope& operator=(const PaintScope&) = delete;
  HDC dc() const noexcept { return dc_; }

 private:
  HWND window_;
  PAINTSTRUCT ps_{};
  HDC dc_;
};

// A window's DC (or the screen's for a null window) from GetDC, released with
// ReleaseDC.
class WindowDc {
 public:
  explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~WindowDc() {
    if (dc_) ReleaseDC(window_, dc_);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  HDC get() const noexcept { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// Selects an object into a DC and puts the one it replaced back when the
// scope is left.
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
  ~SelectedObject() {
    if (old_ && old_ != HGDI_ERROR) SelectObject(dc_, old_);
  }
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

}  // namespace brevaro::platform::win32
