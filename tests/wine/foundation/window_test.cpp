// The one window primitive on real windows: the handler is bound from the
// window's first message on, an exception from it stops at the procedure and
// reaches the application's handler, the window goes with its owner (or first
// with its parent), and a subclassed system control gets its own procedure
// back before it is destroyed.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/win32/window.h"

namespace brevaro::platform::win32 {
namespace {

constexpr WindowClass kProbeClass{.name = L"TBrevaroWindowProbe"};
constexpr UINT kFail = WM_APP + 5;
constexpr UINT kAnswer = WM_APP + 6;

struct Probe final : WindowHandler {
  std::vector<UINT> seen;
  HWND handle_at_create = nullptr;  // what the window said its handle was at WM_NCCREATE
  LRESULT on_message(Window& w, UINT message, WPARAM wp, LPARAM lp) override {
    seen.push_back(message);
    if (message == WM_NCCREATE) handle_at_create = w.get();
    if (message == kFail) throw std::runtime_error("handler failed");
    if (message == kAnswer) return 42;
    return w.default_handling(message, wp, lp);
  }
  bool saw(UINT m) const { return std::find(seen.begin(), seen.end(), m) != seen.end(); }
};

// Collects what reaches the application's handler while it lives.
struct CollectedErrors {
  std::vector<std::string> errors;
  CollectedErrors() {
    set_exception_handler([this](std::exception_ptr e) {
      try {
        std::rethrow_exception(e);
      } catch (const std::exception& x) {
        errors.emplace_back(x.what());
      }
    });
  }
  ~CollectedErrors() { set_exception_handler(nullptr); }
  CollectedErrors(const CollectedErrors&) = delete;
  CollectedErrors& operator=(const CollectedErrors&) = delete;
};

TEST(Win32Window, TheHandlerSeesTheWindowFromItsFirstMessageAndItsClassIsRegisteredOnce) {
  Probe a, b;
  const Window first(kProbeClass, {.style = WS_POPUP}, a);
  const Window second(kProbeClass, {.style = WS_POPUP}, b);  // the class exists by now: no failure
  ASSERT_NE(first.get(), nullptr);
  ASSERT_NE(second.get(), nullptr);
  ASSERT_FALSE(a.seen.empty());
  EXPECT_EQ(a.seen.front(), static_cast<UINT>(WM_NCCREATE));
  EXPECT_TRUE(a.saw(WM_CREATE));
  EXPECT_EQ(a.handle_at_create, first.get());  // known before the constructor returned
  EXPECT_EQ(Window::handler_of(first.get()), &a);
  EXPECT_EQ(Window::handler_of(second.get()), &b);
  EXPECT_EQ(SendMessageW(first.get(), kAnswer, 0, 0), 42);
  EXPECT_EQ(Window::handler_of(GetDesktopWindow()), nullptr);
}

TEST(Win32Window, AnExceptionStopsAtTheProcedureAndReachesTheApplication) {
  for (const bool with_handler : {true, false}) {
    SCOPED_TRACE(with_handler ? "with the application's handler" : "without one");
    Probe p;
    const Window w(kProbeClass, {.parent = HWND_MESSAGE}, p);
    std::unique_ptr<CollectedErrors> collected;
    if (with_handler) collected = std::make_unique<CollectedErrors>();
    LRESULT r = -1;
    try {
      r = SendMessageW(w.get(), kFail, 0, 0);
    } catch (...) {
      ADD_FAILURE() << "the exception left the window procedure";
    }
    EXPECT_EQ(r, 0);
    if (collected) {
      EXPECT_EQ(collected->errors, std::vector<std::string>{"handler failed"});
    }
    // The window still works.
    EXPECT_EQ(SendMessageW(w.get(), kAnswer, 0, 0), 42);
  }
}

TEST(Win32Window, TheWindowGoesWithItsOwnerOrFirstWithItsParent) {
  Probe parent_probe, child_probe;
  HWND child_handle = nullptr;
  {
    auto parent = std::make_unique<Window>(kProbeClass, WindowPlacement{.style = WS_POPUP}, parent_probe);
    const Window child(kProbeClass, {.style = WS_CHILD, .width = 10, .height = 10, .parent = parent->get()},
                       child_probe);
    child_handle = child.get();
    const HWND parent_handle = parent->get();
    parent.reset();  // destroys the child's window with it
    EXPECT_FALSE(IsWindow(parent_handle));
    EXPECT_FALSE(IsWindow(child_handle));
    EXPECT_TRUE(child_probe.saw(WM_NCDESTROY));
    EXPECT_EQ(child.get(), nullptr);  // released: the child's owner has nothing left to destroy
  }
  // The parent's own last messages went to the default handling: its
  // handler was unbound before the window was destroyed.
  EXPECT_FALSE(parent_probe.saw(WM_DESTROY));
}

TEST(Win32Window, ASubclassedControlGetsItsOwnProcedureBack) {
  Probe parent_probe, edit_probe;
  const Window parent(kProbeClass, {.style = WS_POPUP}, parent_probe);
  HWND edit = nullptr;
  {
    const Window control(L"EDIT", {.style = WS_CHILD, .width = 50, .height = 20, .parent = parent.get()}, edit_probe);
    edit = control.get();
    SetWindowTextW(edit, L"typed");
    EXPECT_TRUE(edit_probe.saw(WM_SETTEXT));
    // The control's own handling ran: the text is there.
    wchar_t text[16] = {};
    GetWindowTextW(edit, text, 16);
    EXPECT_EQ(std::wstring(text), L"typed");
  }
  EXPECT_FALSE(IsWindow(edit));
  EXPECT_FALSE(edit_probe.saw(WM_NCDESTROY));  // its last messages went to its own procedure
}

}  // namespace
}  // namespace brevaro::platform::win32
