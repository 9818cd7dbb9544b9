// The banner controls on real windows (run under Wine with a display): the
// GIF control animates on a window and what the window shows is read back
// from its device context; transparent pixels show the parent's drawing;
// TTimerEx ticks on the GUI thread in window and threaded mode.
#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include "media/timer/timer_ex.h"
#include "media/ui/gif_control.h"
#include "media/ui/media_platform.h"
#include "platform/win32/bitmap_info.h"
#include "platform/win32/handles.h"
#include "platform/win32/win32_system.h"
#include "tests/host/gif/gif_writer.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "ui/form.h"
#include "ui/win32/win32_backend.h"

namespace brevaro::media {
namespace {

using gif::testing::Bytes;
using gif::testing::GifWriter;
using gif::testing::palette_pixel;
using gif::testing::WriterFrame;

constexpr std::uint32_t kFormPixel = 0x123456;

WriterFrame solid(int w, int h, int index, int delay_cs) {
  WriterFrame f;
  f.width = w;
  f.height = h;
  f.pixels.assign(static_cast<std::size_t>(w * h), static_cast<std::uint8_t>(index));
  f.delay_cs = delay_cs;
  f.disposal = 1;
  return f;
}

// The window's client area as 0x00RRGGBB pixels, copied from its DC.
struct Snapshot {
  int width = 0, height = 0;
  std::vector<std::uint32_t> pixels;
  std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
};
Snapshot snapshot(HWND hwnd) {
  RECT rc{};
  GetClientRect(hwnd, &rc);
  Snapshot s;
  s.width = rc.right;
  s.height = rc.bottom;
  const platform::win32::WindowDc window_dc(hwnd);
  const platform::win32::UniqueMemoryDc mem{CreateCompatibleDC(window_dc.get())};
  BITMAPINFO bi = platform::win32::top_down_32bit(s.width, s.height);
  void* bits = nullptr;
  const platform::win32::UniqueGdiObject<HBITMAP> dib{
      CreateDIBSection(window_dc.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0)};
  if (mem && dib && bits) {
    const platform::win32::SelectedObject selected(mem.get(), dib.get());
    BitBlt(mem.get(), 0, 0, s.width, s.height, window_dc.get(), 0, 0, SRCCOPY);
    GdiFlush();
    const auto* p = static_cast<const std::uint32_t*>(bits);
    s.pixels.assign(p, p + static_cast<std::size_t>(s.width * s.height));
    for (auto& px : s.pixels) px &= 0x00FFFFFFu;
  }
  return s;
}

class HostForm final : public ui::Form {
 public:
  explicit HostForm(ui::Component* owner)
      : ui::Form(owner, "HostForm", "host", ui::Size{120, 80}, ui::BorderStyle::none) {
    set_color(ui::rgb(0x12, 0x34, 0x56));
    finish_create();
  }
};

struct MediaWine : ::testing::Test {
  platform::win32::Win32System sys;
  ui::win32::Win32Backend backend;
  ui::Application app{backend, sys.ports()};

  // Runs the loop until `done` or the deadline.
  bool pump_until(const std::function<bool()>& done, DWORD ms = 5000) {
    const DWORD start = GetTickCount();
    while (!done()) {
      if (GetTickCount() - start > ms) return false;
      backend.process_messages(app);
      Sleep(2);
    }
    return true;
  }
  HWND show(HostForm& form) {
    form.set_bounds(ui::Rect{40, 40, 120, 80});
    form.show();
    const HWND h = reinterpret_cast<HWND>(form.handle());
    UpdateWindow(h);
    pump_until([] { return false; }, 100);
    return h;
  }
};

TEST_F(MediaWine, GifAnimatesOnAWindowAndEachFrameReachesTheScreen) {
  HostForm& form = app.make<HostForm>();
  auto& img = form.make<TGIFImage>("imgBanner", &form, ui::Rect{10, 10, 40, 20});
  img.set_animate(true);
  img.set_loop(true);
  const Bytes file = GifWriter(40, 20)
                         .frame(solid(40, 20, 10, 5))
                         .frame(solid(40, 20, 200, 5))
                         .frame(solid(40, 20, 90, 5))
                         .trailer()
                         .bytes();
  ASSERT_TRUE(img.load_from_memory(file));
  const HWND hwnd = show(form);

  // Each frame change: the window's pixels right after the tick drew it.
  struct Seen {
    std::uint32_t model, screen, outside;
    DWORD thread;
  };
  std::vector<Seen> seen;
  img.model().on_change = [&](GifImage& m) {
    const Snapshot s = snapshot(hwnd);
    seen.push_back(Seen{m.canvas().at(0, 0), s.at(30, 20), s.at(5, 5), GetCurrentThreadId()});
  };
  ASSERT_TRUE(pump_until([&] { return seen.size() >= 7; })) << "ticks: " << seen.size();
  // The animation started while the window was being shown: every change
  // seen here draws the frame after the one before it, in file order.
  const std::vector<std::uint32_t> cycle{palette_pixel(10), palette_pixel(200), palette_pixel(90)};
  auto position = [&](std::uint32_t px) { return std::find(cycle.begin(), cycle.end(), px) - cycle.begin(); };
  for (std::size_t i = 1; i < seen.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(seen[i].screen, seen[i].model);
    EXPECT_EQ(position(seen[i].screen), (position(seen[i - 1].screen) + 1) % 3);  // a frame apart, the pixels differ
    EXPECT_EQ(seen[i].outside, kFormPixel);
    EXPECT_EQ(seen[i].thread, GetCurrentThreadId());
  }
}

TEST_F(MediaWine, TransparentGifShowsTheParentsPatternThrough) {
  HostForm& form = app.make<HostForm>();
  ui::Bitmap pattern;
  pattern.width = 16;
  pattern.height = 8;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x) pattern.pixels.push_back(((x / 2 + y / 2) % 2) ? 0xFF00FFu : 0x00FF00u);
  auto& under = form.make<ui::Image>("under", &form, ui::Rect{20, 20, 16, 8});
  under.set_picture(pattern);
  auto& img = form.make<TGIFImage>("imgBanner", &form, ui::Rect{20, 20, 16, 8});
  WriterFrame f = solid(16, 8, 7, 0);
  f.transparent = true;
  f.transparent_index = 0;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) f.pixels[static_cast<std::size_t>(y * 16 + x)] = 0;
  ASSERT_TRUE(img.load_from_memory(GifWriter(16, 8).frame(f).trailer().bytes()));
  const HWND hwnd = show(form);
  const Snapshot s = snapshot(hwnd);
  ASSERT_EQ(s.width, 120);
  int mismatches = 0;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x) {
      const std::uint32_t want = x < 8 ? pattern.at(x, y) : palette_pixel(7);
      if (s.at(20 + x, 20 + y) != want) ++mismatches;
    }
  EXPECT_EQ(mismatches, 0);
  EXPECT_EQ(s.at(19, 20), kFormPixel);
  EXPECT_EQ(s.at(36, 27), kFormPixel);
}

TEST_F(MediaWine, TimerExTicksOnTheGuiThreadInBothModes) {
  const auto platform = make_media_platform(app);
  TTimerEx timer(platform->timer_services());
  std::vector<DWORD> threads;
  timer.set_interval(15);
  timer.set_on_timer([&](TTimerEx&) { threads.push_back(GetCurrentThreadId()); });
  EXPECT_TRUE(timer.has_window());
  ASSERT_TRUE(pump_until([&] { return threads.size() >= 3; }));

  timer.set_threaded(true);
  EXPECT_FALSE(timer.has_window());
  EXPECT_TRUE(timer.worker_running());
  const std::size_t before = threads.size();
  ASSERT_TRUE(pump_until([&] { return threads.size() >= before + 3; }));
  for (DWORD t : threads) EXPECT_EQ(t, GetCurrentThreadId());

  // Stopped: no more ticks from either source.
  timer.set_enabled(false);
  pump_until([] { return false; }, 50);
  const std::size_t stopped = threads.size();
  pump_until([] { return false; }, 150);
  EXPECT_EQ(threads.size(), stopped);
}

}  // namespace
}  // namespace brevaro::media
