#include "ui/win32/win32_backend.h"

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/scope_exit.h"
#include "platform/win32/bitmap_info.h"
#include "platform/win32/handles.h"
#include "platform/win32/region_data.h"
#include "platform/win32/wide.h"
#include "platform/win32/window.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "ui/form.h"

namespace brevaro::ui::win32 {

namespace {

using platform::win32::narrow;
using platform::win32::PaintScope;
using platform::win32::SelectedObject;
using platform::win32::UniqueGdiObject;
using platform::win32::UniqueHook;
using platform::win32::UniqueMemoryDc;
using platform::win32::widen;

constexpr wchar_t kWindowClassName[] = L"TBrevaroWindow";
constexpr platform::win32::WindowClass kUtilityClass{.name = L"TBrevaroUtility"};
constexpr UINT kPostedMessage = WM_APP + 1;
// The timer that looks for folder changes while a modal loop of the system
// runs; apart from the numbers create_timer hands out, which count up from 1.
constexpr UINT_PTR kModalLookTimer = 0xB7A1'0000;

using UniqueChangeNotification = base::UniqueHandle<platform::win32::KernelHandleTraits<&FindCloseChangeNotification>>;

Message to_message(const MSG& m) {
  return Message{reinterpret_cast<std::uintptr_t>(m.hwnd), m.message, static_cast<std::uintptr_t>(m.wParam),
                 static_cast<std::intptr_t>(m.lParam)};
}

void from_message(const Message& in, MSG& out) {
  out.hwnd = reinterpret_cast<HWND>(in.window);
  out.message = in.message;
  out.wParam = static_cast<WPARAM>(in.wparam);
  out.lParam = static_cast<LPARAM>(in.lparam);
}

COLORREF colorref(Color c) { return static_cast<COLORREF>(c); }

class Win32Canvas final : public Canvas {
 public:
  explicit Win32Canvas(HDC dc) : dc_(dc) {}
  void fill_rect(Rect r, Color c) override {
    RECT rc{r.left, r.top, r.right(), r.bottom()};
    const UniqueGdiObject<HBRUSH> brush{CreateSolidBrush(colorref(c))};
    FillRect(dc_, &rc, brush.get());
  }
  void frame_rect(Rect r, Color c) override {
    RECT rc{r.left, r.top, r.right(), r.bottom()};
    const UniqueGdiObject<HBRUSH> brush{CreateSolidBrush(colorref(c))};
    FrameRect(dc_, &rc, brush.get());
  }
  void draw_bitmap(Point at, const Bitmap& b) override {
    if (b.width <= 0 || b.height <= 0) return;
    const BITMAPINFO bi = platform::win32::top_down_32bit(b.width, b.height);
    SetDIBitsToDevice(dc_, at.x, at.y, static_cast<DWORD>(b.width), static_cast<DWORD>(b.height), 0, 0, 0,
                      static_cast<UINT>(b.height), b.pixels.data(), &bi, DIB_RGB_COLORS);
  }
  // The mask (white where transparent, black elsewhere) ANDed onto the
  // destination, then the picture (black where transparent) XORed over it:
  // both as 32-bit DIB sections, so the colours need no translation.
  void draw_masked_bitmap(Point at, const Bitmap& b, std::span<const std::uint8_t> transparent) override {
    const auto count = static_cast<std::size_t>(b.width) * static_cast<std::size_t>(std::max(b.height, 0));
    if (b.width <= 0 || b.height <= 0 || transparent.size() < count || b.pixels.size() < count) return;
    const BITMAPINFO bi = platform::win32::top_down_32bit(b.width, b.height);
    void* mask_bits = nullptr;
    void* image_bits = nullptr;
    const UniqueGdiObject<HBITMAP> mask{CreateDIBSection(dc_, &bi, DIB_RGB_COLORS, &mask_bits, nullptr, 0)};
    const UniqueGdiObject<HBITMAP> image{CreateDIBSection(dc_, &bi, DIB_RGB_COLORS, &image_bits, nullptr, 0)};
    if (!mask || !image || !mask_bits || !image_bits) return;
    auto* m = static_cast<std::uint32_t*>(mask_bits);
    auto* p = static_cast<std::uint32_t*>(image_bits);
    for (std::size_t i = 0; i < count; ++i) {
      const bool clear = transparent[i] != 0;
      m[i] = clear ? 0x00FFFFFFu : 0u;
      p[i] = clear ? 0u : (b.pixels[i] & 0x00FFFFFFu);
    }
    GdiFlush();
    const UniqueMemoryDc mem{CreateCompatibleDC(dc_)};
    if (!mem) return;
    {
      const SelectedObject selected(mem.get(), mask.get());
      BitBlt(dc_, at.x, at.y, b.width, b.height, mem.get(), 0, 0, SRCAND);
    }
    const SelectedObject selected(mem.get(), image.get());
    BitBlt(dc_, at.x, at.y, b.width, b.height, mem.get(), 0, 0, SRCINVERT);
  }
  void draw_text(Rect r, std::string_view text, const Font& font, Align align, bool word_wrap) override {
    const UniqueGdiObject<HFONT> f{CreateFontW(font.height, 0, 0, 0, font.bold ? FW_BOLD : FW_NORMAL, 0, 0, 0,
                                               DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                               DEFAULT_QUALITY, DEFAULT_PITCH, widen(font.name).c_str())};
    const SelectedObject selected(dc_, f.get());
    SetBkMode(dc_, TRANSPARENT);
    SetTextColor(dc_, colorref(font.color));
    RECT rc{r.left, r.top, r.right(), r.bottom()};
    UINT flags = DT_NOPREFIX | (word_wrap ? DT_WORDBREAK : DT_SINGLELINE);
    flags |= align == Align::center ? DT_CENTER : align == Align::right ? DT_RIGHT : DT_LEFT;
    std::wstring s = widen(text);
    DrawTextW(dc_, s.data(), static_cast<int>(s.size()), &rc, flags);
  }

 private:
  HDC dc_;
};

}  // namespace

struct Win32Backend::Impl final : platform::win32::WindowHandler {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  // Timers, posted work and the modal loops' folder looks arrive here.
  std::optional<platform::win32::Window> utility_window;
  HWND utility = nullptr;      // utility_window's handle
  Application* app = nullptr;  // the application whose loop runs
  std::deque<std::function<void()>> posted;
  std::map<UINT_PTR, std::function<void()>> timers;
  UINT_PTR next_timer = 1;
  std::map<int, HCURSOR> cursors;  // from LoadCursor: shared, never destroyed
  // Folder watches: the change signal and its handler, by watch number.
  struct Watch {
    UniqueChangeNotification signal;
    std::function<void()> on_change;
  };
  std::map<int, Watch> watches;
  int next_watch = 1;
  bool modal_looks = false;  // kModalLookTimer runs
  UniqueHook msg_filter;
  // True while an exception from painting is being reported: the box may
  // uncover windows whose painting fails again.
  bool reporting_paint_failure = false;

  // The utility window's messages.
  LRESULT on_message(platform::win32::Window& w, UINT message, WPARAM wp, LPARAM lp) override;
  static LRESULT CALLBACK msg_filter_proc(int code, WPARAM wp, LPARAM lp);
  static LRESULT CALLBACK cbt_proc(int code, WPARAM wp, LPARAM lp);

  void pump_one(MSG& m);
  HCURSOR cursor_handle(Cursor c) const;
  // The program's own loops: sleeps until a message is there, handling
  // folder changes meanwhile.
  void wait_for_messages();
  // One wait for a message or a folder change (whose handler then runs);
  // true when it was a folder change.
  bool wait_once(DWORD timeout_ms);
  // Handles the watches whose change signal is set, without waiting.
  void look_at_folders();
  void fire_watch(int id);
  // Starts or stops the timer of modal loops (only while there are watches).
  void set_modal_looks(bool on);
};

namespace {
// Hook procedures have no context argument; the one GUI thread's backend is
// found here.
thread_local Win32Backend::Impl* t_backend = nullptr;

class Win32Window;

Win32Window* window_of(HWND hwnd);

class Win32Window final : public WindowPeer, public platform::win32::WindowHandler {
 public:
  Win32Window(Win32Backend::Impl& impl, WinControl& control, WindowKind kind)
      : impl_(impl), control_(control), kind_(kind) {
    const Rect b = control.Control::bounds();
    HWND parent = control.parent() ? reinterpret_cast<HWND>(control.parent()->handle()) : nullptr;
    const wchar_t* cls = kWindowClassName;
    DWORD style = WS_CLIPCHILDREN;
    DWORD ex = 0;
    switch (kind) {
      case WindowKind::form: {
        const auto* form = dynamic_cast<const Form*>(&control);
        const BorderStyle border = form ? form->border_style() : BorderStyle::single;
        style |= border == BorderStyle::none       ? WS_POPUP
                 : border == BorderStyle::dialog   ? (WS_POPUP | WS_CAPTION | WS_SYSMENU)
                 : border == BorderStyle::sizeable ? WS_OVERLAPPEDWINDOW
                                                   : (WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
        if (border == BorderStyle::dialog) ex |= WS_EX_DLGMODALFRAME;
        ex |= WS_EX_APPWINDOW;
        break;
      }
      case WindowKind::button:
        cls = L"BUTTON";
        style = WS_CHILD | WS_TABSTOP | BS_PUSHBUTTON;
        break;
      case WindowKind::check_box:
        cls = L"BUTTON";
        style = WS_CHILD | WS_TABSTOP | BS_AUTOCHECKBOX;
        break;
      case WindowKind::memo:
        cls = L"EDIT";
        style = WS_CHILD | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL;
        ex = WS_EX_CLIENTEDGE;
        break;
      default: style |= WS_CHILD | WS_CLIPSIBLINGS; break;
    }
    if (kind != WindowKind::form && control.visible()) style |= WS_VISIBLE;
    RECT r{0, 0, b.width, b.height};
    if (kind == WindowKind::form) AdjustWindowRectEx(&r, style, FALSE, ex);
    const platform::win32::WindowPlacement placement{.ex_style = ex,
                                                     .style = style,
                                                     .x = b.left,
                                                     .y = b.top,
                                                     .width = r.right - r.left,
                                                     .height = r.bottom - r.top,
                                                     .parent = parent};
    if (cls == kWindowClassName) {
      window_.emplace(
          platform::win32::WindowClass{
              .name = kWindowClassName, .style = CS_DBLCLKS, .icon = LoadIconW(impl.instance, L"MAINICON")},
          placement, *this);
    } else {
      // Standard controls: subclassed, so that their mouse and keys are seen too.
      system_control_ = true;
      window_.emplace(cls, placement, *this);
      SendMessageW(hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    }
  }
  Win32Window(const Win32Window&) = delete;
  Win32Window& operator=(const Win32Window&) = delete;

  std::uintptr_t handle() const override { return reinterpret_cast<std::uintptr_t>(hwnd()); }
  void set_bounds(Rect r) override {
    int w = r.width, h = r.height;
    if (kind_ == WindowKind::form) {
      // Forms are sized by their outer rectangle here, as the framework's
      // Width and Height are.
    }
    SetWindowPos(hwnd(), nullptr, r.left, r.top, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  Rect bounds() const override {
    RECT r{};
    GetWindowRect(hwnd(), &r);
    if (HWND parent = GetParent(hwnd()); parent && kind_ != WindowKind::form) {
      MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
    }
    return Rect{r.left, r.top, r.right - r.left, r.bottom - r.top};
  }
  Size client_size() const override {
    RECT r{};
    GetClientRect(hwnd(), &r);
    return Size{r.right, r.bottom};
  }
  void set_visible(bool v) override { ShowWindow(hwnd(), v ? SW_SHOW : SW_HIDE); }
  void set_enabled(bool e) override { EnableWindow(hwnd(), e ? TRUE : FALSE); }
  void set_text(std::string_view t) override { SetWindowTextW(hwnd(), widen(t).c_str()); }
  std::string text() const override {
    std::wstring s(static_cast<std::size_t>(GetWindowTextLengthW(hwnd())) + 1, L'\0');
    s.resize(static_cast<std::size_t>(GetWindowTextW(hwnd(), s.data(), static_cast<int>(s.size()))));
    return narrow(s);
  }
  void invalidate() override { InvalidateRect(hwnd(), nullptr, FALSE); }
  void invalidate_rect(Rect r) override {
    const RECT rc{r.left, r.top, r.right(), r.bottom()};
    InvalidateRect(hwnd(), &rc, FALSE);
  }
  void update() override { UpdateWindow(hwnd()); }
  Point screen_to_client(Point p) const override {
    POINT pt{p.x, p.y};
    ScreenToClient(hwnd(), &pt);
    return Point{pt.x, pt.y};
  }
  Point client_to_screen(Point p) const override {
    POINT pt{p.x, p.y};
    ClientToScreen(hwnd(), &pt);
    return Point{pt.x, pt.y};
  }
  void set_capture(bool c) override {
    if (c) SetCapture(hwnd());
    else if (GetCapture() == hwnd()) ReleaseCapture();
  }
  std::intptr_t send(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) override {
    return SendMessageW(hwnd(), message, static_cast<WPARAM>(wparam), static_cast<LPARAM>(lparam));
  }
  void set_window_region(const std::vector<Rect>* rects, bool redraw) override {
    if (!rects) {
      SetWindowRgn(hwnd(), nullptr, redraw);
      return;
    }
    std::vector<RECT> native;
    native.reserve(rects->size());
    for (const Rect& r : *rects) native.push_back(RECT{r.left, r.top, r.right(), r.bottom()});
    platform::win32::UniqueRegion rgn = platform::win32::region_from_rects(native);
    // The window owns the region once it took it.
    if (rgn && SetWindowRgn(hwnd(), rgn.get(), redraw)) (void)rgn.release();
  }
  void set_checked(bool c) override { SendMessageW(hwnd(), BM_SETCHECK, c ? BST_CHECKED : BST_UNCHECKED, 0); }
  bool checked() const override { return SendMessageW(hwnd(), BM_GETCHECK, 0, 0) == BST_CHECKED; }

  WinControl& control() { return control_; }
  HWND hwnd() const { return window_ ? window_->get() : nullptr; }

  LRESULT on_message(platform::win32::Window& w, UINT message, WPARAM wp, LPARAM lp) override;

  // Hints of windowless controls: one tooltip per window, its text following
  // the control under the mouse.
  void update_hint(Point p) {
    const Control* c = control_.windowless_child_at(p);
    const Control* target = (c && c->show_hint() && !c->hint().empty()) ? c : nullptr;
    if (target == hint_control_) return;
    hint_control_ = target;
    if (!tooltip_ && target) {
      tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd(), nullptr,
                                 impl_.instance, nullptr);
      if (!tooltip_) return;
      TOOLINFOW ti{};
      ti.cbSize = sizeof ti;
      ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
      ti.hwnd = hwnd();
      ti.uId = reinterpret_cast<UINT_PTR>(hwnd());
      ti.lpszText = const_cast<wchar_t*>(L"");
      SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    }
    if (!tooltip_) return;
    hint_text_ = target ? widen(target->hint()) : std::wstring();
    TOOLINFOW ti{};
    ti.cbSize = sizeof ti;
    ti.hwnd = hwnd();
    ti.uId = reinterpret_cast<UINT_PTR>(hwnd());
    ti.lpszText = hint_text_.data();
    SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));
    SendMessageW(tooltip_, TTM_ACTIVATE, target ? TRUE : FALSE, 0);
  }

  // Painting ends whatever the handlers do; an exception from one is then
  // reported through the application like one from any other event.
  void paint() {
    std::exception_ptr failure;
    {
      const PaintScope painting(hwnd());
      RECT rc{};
      GetClientRect(hwnd(), &rc);
      // Always through one off-screen picture: no flicker while the windowless
      // controls are drawn over the background.
      const UniqueMemoryDc mem{CreateCompatibleDC(painting.dc())};
      const UniqueGdiObject<HBITMAP> bmp{
          CreateCompatibleBitmap(painting.dc(), std::max<LONG>(1, rc.right), std::max<LONG>(1, rc.bottom))};
      if (!mem || !bmp) return;
      const SelectedObject selected(mem.get(), bmp.get());
      // Only the invalid part is drawn and copied (an animated banner
      // invalidates just its own area many times a second).
      RECT dirty = rc;
      if (GetClipBox(painting.dc(), &dirty) == ERROR) dirty = rc;
      IntersectClipRect(mem.get(), dirty.left, dirty.top, dirty.right, dirty.bottom);
      try {
        Win32Canvas canvas(mem.get());
        canvas.fill_rect(Rect{0, 0, rc.right, rc.bottom}, control_.background());
        control_.paint_children(canvas);
      } catch (...) {
        failure = std::current_exception();
      }
      BitBlt(painting.dc(), dirty.left, dirty.top, dirty.right - dirty.left, dirty.bottom - dirty.top, mem.get(),
             dirty.left, dirty.top, SRCCOPY);
    }
    if (!failure || impl_.reporting_paint_failure) return;
    // The window may be gone when the error box closes: only the backend is
    // touched after it.
    Win32Backend::Impl& impl = impl_;
    impl.reporting_paint_failure = true;
    const base::ScopeExit done([&impl] { impl.reporting_paint_failure = false; });
    control_.application().guarded([&failure] { std::rethrow_exception(failure); });
  }

 private:
  Win32Backend::Impl& impl_;
  WinControl& control_;
  WindowKind kind_;
  bool system_control_ = false;  // a subclassed BUTTON or EDIT
  std::optional<platform::win32::Window> window_;
  HWND tooltip_ = nullptr;  // a child of this window: destroyed with it
  const Control* hint_control_ = nullptr;
  std::wstring hint_text_;
};

class Win32Timer final : public TimerPeer {
 public:
  Win32Timer(Win32Backend::Impl& impl, UINT_PTR id) : impl_(impl), id_(id) {}
  ~Win32Timer() override {
    stop();
    impl_.timers.erase(id_);
  }
  Win32Timer(const Win32Timer&) = delete;
  Win32Timer& operator=(const Win32Timer&) = delete;
  void start(std::uint32_t interval_ms) override {
    stop();
    if (interval_ms > 0 && SetTimer(impl_.utility, id_, interval_ms, nullptr)) running_ = true;
  }
  void stop() override {
    if (running_) KillTimer(impl_.utility, id_);
    running_ = false;
  }

 private:
  Win32Backend::Impl& impl_;
  UINT_PTR id_;
  bool running_ = false;
};

class Win32Watch final : public FolderWatchPeer {
 public:
  Win32Watch(Win32Backend::Impl& impl, int id) : impl_(impl), id_(id) {}
  ~Win32Watch() override {
    impl_.watches.erase(id_);
    if (impl_.watches.empty()) impl_.set_modal_looks(false);
  }
  Win32Watch(const Win32Watch&) = delete;
  Win32Watch& operator=(const Win32Watch&) = delete;

 private:
  Win32Backend::Impl& impl_;
  int id_;
};

bool is_mouse_message(UINT m) { return m >= WM_MOUSEFIRST && m <= WM_MBUTTONDBLCLK; }

}  // namespace

// ---- window procedures -------------------------------------------------------------

namespace {

Win32Window* window_of(HWND hwnd) { return dynamic_cast<Win32Window*>(platform::win32::Window::handler_of(hwnd)); }

LRESULT own_window_handling(Win32Window* w, HWND hwnd, UINT message, WPARAM wp, LPARAM lp);

LRESULT Win32Window::on_message(platform::win32::Window& w, UINT message, WPARAM wp, LPARAM lp) {
  // A standard control keeps its own handling.
  if (system_control_) return w.default_handling(message, wp, lp);
  const HWND hwnd = w.get();
  if (control_.has_window_hooks())
    return control_.run_window_hooks(
        message, static_cast<std::uintptr_t>(wp), static_cast<std::intptr_t>(lp),
        [&]() -> std::intptr_t { return own_window_handling(this, hwnd, message, wp, lp); });
  return own_window_handling(this, hwnd, message, wp, lp);
}

}  // namespace

namespace {
LRESULT own_window_handling(Win32Window* w, HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
  WinControl& control = w->control();
  const Message m{reinterpret_cast<std::uintptr_t>(hwnd), message, static_cast<std::uintptr_t>(wp),
                  static_cast<std::intptr_t>(lp)};
  switch (message) {
    case WM_PAINT: w->paint(); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_SETCURSOR:
      if (LOWORD(lp) == HTCLIENT && t_backend) {
        POINT pt{};
        GetCursorPos(&pt);
        ScreenToClient(hwnd, &pt);
        SetCursor(t_backend->cursor_handle(control.cursor_at(Point{pt.x, pt.y})));
        return TRUE;
      }
      break;
    case WM_ACTIVATE:
      if (LOWORD(wp) != WA_INACTIVE) {
        if (auto* form = dynamic_cast<Form*>(&control)) form->application().form_activated(*form);
      }
      break;
    case WM_CLOSE: control.dispatch(m); return 0;
    case WM_COMMAND:
      if (lp) {
        if (Win32Window* child = window_of(reinterpret_cast<HWND>(lp)); child && HIWORD(wp) == BN_CLICKED) {
          child->control().click();
          return 0;
        }
      }
      break;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: break;
    default:
      if (message == WM_MOUSEMOVE) w->update_hint(point_from_lparam(static_cast<std::intptr_t>(lp)));
      if (is_mouse_message(message) && control.dispatch(m)) return 0;
      break;
  }
  return DefWindowProcW(hwnd, message, wp, lp);
}
}  // namespace

LRESULT Win32Backend::Impl::on_message(platform::win32::Window& w, UINT message, WPARAM wp, LPARAM lp) {
  if (message == WM_TIMER && wp == kModalLookTimer) {
    look_at_folders();
    return 0;
  }
  if (message == WM_TIMER) {
    const auto it = timers.find(static_cast<UINT_PTR>(wp));
    if (it != timers.end()) {
      const auto tick = it->second;  // the timer may be freed while it ticks
      tick();
    }
    return 0;
  }
  if (message == kPostedMessage) {
    while (!posted.empty()) {
      auto fn = std::move(posted.front());
      posted.pop_front();
      if (app) app->guarded(fn);
      else fn();
    }
    return 0;
  }
  return w.default_handling(message, wp, lp);
}

// Messages of modal loops that are not ours (message boxes, menus) reach the
// application's hook here.
LRESULT CALLBACK Win32Backend::Impl::msg_filter_proc(int code, WPARAM wp, LPARAM lp) {
  // A modal loop of the system does not wait for the folders' change
  // signals: a timer looks for them until the program's own loop runs again.
  if (code >= 0 && t_backend && !t_backend->modal_looks) t_backend->set_modal_looks(true);
  if (code >= 0 && t_backend && t_backend->app && lp) {
    MSG* msg = reinterpret_cast<MSG*>(lp);
    Message m = to_message(*msg);
    const bool handled = t_backend->app->filter_message(m);
    from_message(m, *msg);
    if (handled) return 1;
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}

// Centres message boxes on the screen as they open.
LRESULT CALLBACK Win32Backend::Impl::cbt_proc(int code, WPARAM wp, LPARAM lp) {
  if (code == HCBT_ACTIVATE) {
    HWND box = reinterpret_cast<HWND>(wp);
    wchar_t cls[16] = {};
    GetClassNameW(box, cls, 16);
    if (std::wstring_view(cls) == L"#32770") {
      RECT r{};
      GetWindowRect(box, &r);
      const int w = r.right - r.left, h = r.bottom - r.top;
      SetWindowPos(box, nullptr, (GetSystemMetrics(SM_CXSCREEN) - w) / 2, (GetSystemMetrics(SM_CYSCREEN) - h) / 2, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}

HCURSOR Win32Backend::Impl::cursor_handle(Cursor c) const {
  switch (c) {
    case Cursor::hand: return LoadCursorW(nullptr, MAKEINTRESOURCEW(32649));  // IDC_HAND
    case Cursor::wait: return LoadCursorW(nullptr, MAKEINTRESOURCEW(32514));
    case Cursor::cross: return LoadCursorW(nullptr, MAKEINTRESOURCEW(32515));
    case Cursor::arrow: return LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    default: break;
  }
  const auto it = cursors.find(static_cast<int>(c));
  return it != cursors.end() ? it->second : LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
}

void Win32Backend::Impl::pump_one(MSG& m) {
  Message msg = to_message(m);
  const bool handled = app && app->filter_message(msg);
  from_message(msg, m);
  if (handled) return;
  TranslateMessage(&m);
  DispatchMessageW(&m);
}

void Win32Backend::Impl::wait_for_messages() {
  set_modal_looks(false);
  while (wait_once(INFINITE)) {
  }
}

bool Win32Backend::Impl::wait_once(DWORD timeout_ms) {
  std::vector<HANDLE> signals;
  std::vector<int> ids;
  for (const auto& [id, w] : watches) {
    if (signals.size() == MAXIMUM_WAIT_OBJECTS - 1) break;
    signals.push_back(w.signal.get());
    ids.push_back(id);
  }
  const auto count = static_cast<DWORD>(signals.size());
  const DWORD r = MsgWaitForMultipleObjectsEx(count, signals.data(), timeout_ms, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  if (r >= WAIT_OBJECT_0 && r < WAIT_OBJECT_0 + count) {
    fire_watch(ids[r - WAIT_OBJECT_0]);
    return true;
  }
  return false;  // a message, the time out, or a failed wait: the caller's loop goes on
}

void Win32Backend::Impl::look_at_folders() {
  std::vector<int> ids;
  for (const auto& [id, w] : watches) ids.push_back(id);
  for (const int id : ids) {
    const auto it = watches.find(id);  // an earlier handler may have ended it
    if (it != watches.end() && WaitForSingleObject(it->second.signal.get(), 0) == WAIT_OBJECT_0) fire_watch(id);
  }
}

void Win32Backend::Impl::fire_watch(int id) {
  const auto it = watches.find(id);
  if (it == watches.end()) return;
  // Armed again before the handler runs, so that a change it makes or one
  // that comes meanwhile is not lost.
  FindNextChangeNotification(it->second.signal.get());
  const auto on_change = it->second.on_change;  // the watch may end in its handler
  if (app) app->guarded(on_change);
  else on_change();
}

void Win32Backend::Impl::set_modal_looks(bool on) {
  on = on && !watches.empty();
  if (on == modal_looks) return;
  if (on) modal_looks = SetTimer(utility, kModalLookTimer, kModalFolderLookMs, nullptr) != 0;
  else {
    KillTimer(utility, kModalLookTimer);
    modal_looks = false;
  }
}

// ---- backend -------------------------------------------------------------------

Win32Backend::Win32Backend() : impl_(std::make_unique<Impl>()) {
  t_backend = impl_.get();
  INITCOMMONCONTROLSEX icc{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
  InitCommonControlsEx(&icc);
  // Every window procedure's exception barrier hands what it catches to the
  // application whose loop runs.
  platform::win32::set_exception_handler([impl = impl_.get()](std::exception_ptr e) {
    if (impl->app) impl->app->guarded([&e] { std::rethrow_exception(e); });
  });
  impl_->utility_window.emplace(kUtilityClass, platform::win32::WindowPlacement{.parent = HWND_MESSAGE}, *impl_);
  impl_->utility = impl_->utility_window->get();
  impl_->msg_filter.reset(SetWindowsHookExW(WH_MSGFILTER, &Impl::msg_filter_proc, nullptr, GetCurrentThreadId()));
}

Win32Backend::~Win32Backend() {
  impl_->msg_filter.reset();
  impl_->set_modal_looks(false);
  for (const auto& [id, fn] : impl_->timers) KillTimer(impl_->utility, id);
  impl_->utility_window.reset();
  platform::win32::set_exception_handler(nullptr);
  t_backend = nullptr;
}

void Win32Backend::run(Application& app) {
  impl_->app = &app;
  MSG m{};
  while (!quit_) {
    if (!PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      impl_->wait_for_messages();
      continue;
    }
    if (m.message == WM_QUIT) break;
    impl_->pump_one(m);
  }
}

void Win32Backend::process_messages(Application& app) {
  impl_->app = &app;
  MSG m{};
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    if (m.message == WM_QUIT) {
      quit_ = true;
      PostQuitMessage(static_cast<int>(m.wParam));
      break;
    }
    impl_->pump_one(m);
  }
  // Loops of handlers that wait (transfers) come here between their sleeps.
  if (!quit_) impl_->look_at_folders();
}

void Win32Backend::system_modal_loop_ahead() { impl_->set_modal_looks(true); }

bool Win32Backend::wait_for_event(std::uint32_t max_ms) {
  (void)impl_->wait_once(max_ms);
  return true;
}

void Win32Backend::quit() {
  if (!quit_) PostQuitMessage(0);
  quit_ = true;
}

void Win32Backend::post(std::function<void()> fn) {
  impl_->posted.push_back(std::move(fn));
  PostMessageW(impl_->utility, kPostedMessage, 0, 0);
}

std::unique_ptr<TimerPeer> Win32Backend::create_timer(std::function<void()> on_tick) {
  const UINT_PTR id = impl_->next_timer++;
  impl_->timers[id] = std::move(on_tick);
  return std::make_unique<Win32Timer>(*impl_, id);
}

std::unique_ptr<FolderWatchPeer> Win32Backend::watch_folder(const platform::FileSystem&, std::string_view folder,
                                                            std::function<void()> on_change) {
  // File names only: the program's own writes into its subfolders and the
  // times and sizes of files do not wake it.
  UniqueChangeNotification signal{
      FindFirstChangeNotificationW(widen(folder).c_str(), FALSE, FILE_NOTIFY_CHANGE_FILE_NAME)};
  if (!signal || impl_->watches.size() >= MAXIMUM_WAIT_OBJECTS - 1) return nullptr;
  const int id = impl_->next_watch++;
  impl_->watches[id] = Impl::Watch{std::move(signal), std::move(on_change)};
  return std::make_unique<Win32Watch>(*impl_, id);
}

std::unique_ptr<WindowPeer> Win32Backend::create_window(WinControl& control, WindowKind kind) {
  return std::make_unique<Win32Window>(*impl_, control, kind);
}

MsgBoxResult Win32Backend::message_box(Application& app, std::string_view text, std::string_view caption,
                                       MsgBoxButtons buttons, MsgBoxIcon icon) {
  impl_->app = &app;
  UINT flags = buttons == MsgBoxButtons::yes_no ? MB_YESNO : MB_OK;
  switch (icon) {
    case MsgBoxIcon::information: flags |= MB_ICONINFORMATION; break;
    case MsgBoxIcon::warning: flags |= MB_ICONWARNING; break;
    case MsgBoxIcon::error: flags |= MB_ICONERROR; break;
    case MsgBoxIcon::question: flags |= MB_ICONQUESTION; break;
    case MsgBoxIcon::none: break;
  }
  HWND owner = nullptr;
  if (Form* f = app.active_form(); f && f->visible()) owner = reinterpret_cast<HWND>(f->handle());
  // The box's loop does not wait for the folders' change signals.
  impl_->set_modal_looks(true);
  int r = 0;
  {
    const UniqueHook cbt{SetWindowsHookExW(WH_CBT, &Impl::cbt_proc, nullptr, GetCurrentThreadId())};
    r = MessageBoxW(owner, widen(text).c_str(), widen(caption).c_str(), flags);
  }
  switch (r) {
    case IDYES: return MsgBoxResult::yes;
    case IDNO: return MsgBoxResult::no;
    case IDOK: return MsgBoxResult::ok;
    case IDCANCEL: return MsgBoxResult::cancel;
    default: return MsgBoxResult::none;
  }
}

void Win32Backend::modal_loop(Application& app, const std::function<bool()>& done) {
  impl_->app = &app;
  MSG m{};
  while (!done() && !quit_) {
    if (!PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      impl_->wait_for_messages();
      continue;
    }
    if (m.message == WM_QUIT) {
      quit_ = true;
      PostQuitMessage(static_cast<int>(m.wParam));
      break;
    }
    impl_->pump_one(m);
  }
}

Point Win32Backend::cursor_pos() const {
  POINT p{};
  GetCursorPos(&p);
  return Point{p.x, p.y};
}

bool Win32Backend::client_area_animation() const {
  BOOL on = TRUE;
  // A system that does not know the setting animates.
  if (!SystemParametersInfoW(SPI_GETCLIENTAREAANIMATION, 0, &on, 0)) return true;
  return on != FALSE;
}

bool Win32Backend::load_cursor(int number, std::string_view resource_name) {
  HCURSOR c = LoadCursorW(impl_->instance, widen(resource_name).c_str());
  if (!c) return false;
  impl_->cursors[number] = c;
  return true;
}

}  // namespace brevaro::ui::win32
