// The banner controls on the headless backend: TGIFImage composes and
// animates on virtual time and draws through its parent's canvas, TTimerEx's
// window mode ticks on the virtual loop, TShockwaveFlash paints its stage.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>
#include <utility>
#include <vector>

#include "media/swf/swf_header.h"
#include "media/timer/timer_ex.h"
#include "media/ui/flash_control.h"
#include "media/ui/gif_control.h"
#include "media/ui/media_platform.h"
#include "platform/filesystem.h"
#include "platform/headless/headless.h"
#include "tests/host/gif/gif_writer.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "ui/form.h"
#include "ui/headless/headless_backend.h"

namespace brevaro::media {
namespace {

using gif::testing::Bytes;
using gif::testing::GifWriter;
using gif::testing::palette_pixel;
using gif::testing::WriterFrame;

constexpr ui::Color kFormColor = ui::rgb(0x12, 0x34, 0x56);
constexpr std::uint32_t kFormPixel = 0x123456;

class HostForm final : public ui::Form {
 public:
  explicit HostForm(ui::Component* owner) : ui::Form(owner, "HostForm", "host", ui::Size{120, 80}) {
    set_color(kFormColor);
    finish_create();
  }
};

struct MediaUi : ::testing::Test {
  platform::headless::HeadlessSystem sys;
  ui::headless::HeadlessBackend backend{sys.clock, sys.screen};
  ui::Application app{backend, sys.ports()};
  HostForm& form = app.make<HostForm>();

  TGIFImage& gif_at(ui::Rect r) { return form.make<TGIFImage>("imgBanner", &form, r); }
};

// A solid frame of one colour index.
WriterFrame solid(int w, int h, int index, int delay_cs, int disposal = 1) {
  WriterFrame f;
  f.width = w;
  f.height = h;
  f.pixels.assign(static_cast<std::size_t>(w * h), static_cast<std::uint8_t>(index));
  f.delay_cs = delay_cs;
  f.disposal = disposal;
  return f;
}

// ------------------------------------------------------------------ GIF control

TEST_F(MediaUi, GifAnimatesOnVirtualTimeAndEachTickShowsTheNextFrame) {
  // Frames of 100 ms (index 10) and 300 ms (index 20), looping for ever.
  const Bytes file = GifWriter(4, 2).loop(0).frame(solid(4, 2, 10, 10)).frame(solid(4, 2, 20, 30)).trailer().bytes();
  TGIFImage& img = gif_at(ui::Rect{30, 20, 4, 2});
  img.set_loop(true);
  img.set_animate(true);
  ASSERT_TRUE(img.load_from_memory(file));

  std::vector<std::pair<std::uint64_t, std::uint32_t>> shown;  // (virtual time, canvas colour)
  img.model().on_change = [&](GifImage& m) { shown.emplace_back(backend.now(), m.canvas().at(0, 0)); };
  const std::uint64_t t0 = backend.now();
  ui::headless::render(form);  // the first paint arms the animation
  backend.advance(app, 1000);

  // The first tick only clears the pending flag (frame 1 is up already); then
  // frame 2 for 300 ms, frame 1 for 100 ms, and so on.
  const std::vector<std::pair<std::uint64_t, std::uint32_t>> expected{
      {t0 + 100, palette_pixel(10)}, {t0 + 200, palette_pixel(20)}, {t0 + 500, palette_pixel(10)},
      {t0 + 600, palette_pixel(20)}, {t0 + 900, palette_pixel(10)}, {t0 + 1000, palette_pixel(20)}};
  EXPECT_EQ(shown, expected);

  // What the parent shows now: frame 2 at the control's place, the form elsewhere.
  const ui::Bitmap pic = ui::headless::render(form);
  EXPECT_EQ(pic.at(30, 20), palette_pixel(20));
  EXPECT_EQ(pic.at(33, 21), palette_pixel(20));
  EXPECT_EQ(pic.at(29, 20), kFormPixel);
  EXPECT_EQ(pic.at(34, 21), kFormPixel);
}

TEST_F(MediaUi, GifPassesFollowLoopCountAndLoopProperty) {
  struct Case {
    const char* name;
    int loop_block;  // -1: no NETSCAPE2.0 block
    bool loop;
    int expected_wraps;  // within 10 s of 100 ms frames
    bool still_running;
  };
  const Case cases[] = {
      {"no loop block plays once", -1, false, 1, false},
      {"loop count 3 plays three passes", 3, false, 3, false},
      {"Loop ignores the file and never stops", 3, true, 50, true},  // wraps at 200, 400, ..., 10000 ms
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    GifWriter w(2, 2);
    if (c.loop_block >= 0) w.loop(c.loop_block);
    const Bytes file = w.frame(solid(2, 2, 1, 10)).frame(solid(2, 2, 2, 10)).trailer().bytes();
    TGIFImage& img = gif_at(ui::Rect{0, 0, 2, 2});
    img.set_loop(c.loop);
    img.set_animate(true);
    ASSERT_TRUE(img.load_from_memory(file));
    int wraps = 0;
    img.model().on_wrap_animation = [&](GifImage&) { ++wraps; };
    ui::headless::render(form);
    backend.advance(app, 10'000);
    EXPECT_EQ(wraps, c.expected_wraps);
    EXPECT_EQ(img.model().timer_running(), c.still_running);
    EXPECT_EQ(backend.active_timer_count(), c.still_running ? 1u : 0u);
    if (!c.still_running) {
      // Stopped on its last frame, which stays on show.
      EXPECT_EQ(img.current_frame(), 3);
      EXPECT_EQ(ui::headless::render(form).at(1, 1), palette_pixel(2));
    }
    form.free_component(img);
    EXPECT_EQ(backend.active_timer_count(), 0u);
  }
}

TEST_F(MediaUi, TransparentPixelsShowTheParentOpaqueFirstFrameHidesIt) {
  // A patterned picture under the GIF control: the parent's own drawing.
  ui::Bitmap pattern;
  pattern.width = 8;
  pattern.height = 4;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) pattern.pixels.push_back(((x + y) % 2) ? 0xFF00FFu : 0x00FF00u);
  auto& under = form.make<ui::Image>("under", &form, ui::Rect{10, 10, 8, 4});
  under.set_picture(pattern);

  // Frame 1 transparent at index 0 on the left half; frame 2 (transparent
  // too) puts index 5 where frame 1 was clear, leaving the rest as it was.
  WriterFrame f1 = solid(8, 4, 3, 10);
  f1.transparent = true;
  f1.transparent_index = 0;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) f1.pixels[static_cast<std::size_t>(y * 8 + x)] = 0;
  WriterFrame f2 = solid(8, 4, 0, 10);
  f2.transparent = true;
  f2.transparent_index = 0;
  f2.pixels[0] = 5;
  const Bytes transparent_first = GifWriter(8, 4).frame(f1).frame(f2).trailer().bytes();

  TGIFImage& img = gif_at(ui::Rect{10, 10, 8, 4});
  ASSERT_TRUE(img.load_from_memory(transparent_first));
  ui::Bitmap pic = ui::headless::render(form);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) {
      SCOPED_TRACE(testing::Message() << "frame 1 at " << x << "," << y);
      EXPECT_EQ(pic.at(10 + x, 10 + y), x < 4 ? pattern.at(x, y) : palette_pixel(3));
    }
  img.set_current_frame(2);
  pic = ui::headless::render(form);
  EXPECT_EQ(pic.at(10, 10), palette_pixel(5));
  EXPECT_EQ(pic.at(11, 10), pattern.at(1, 0));
  EXPECT_EQ(pic.at(15, 12), palette_pixel(3));

  // With an opaque first frame the picture is drawn as a copy: pixels that a
  // later transparent frame leaves unset show black, not the parent.
  WriterFrame o1 = solid(8, 4, 3, 10, 2);  // disposed to transparent black
  const Bytes opaque_first = GifWriter(8, 4).frame(o1).frame(f2).trailer().bytes();
  ASSERT_TRUE(img.load_from_memory(opaque_first));
  img.set_current_frame(2);
  pic = ui::headless::render(form);
  EXPECT_EQ(pic.at(10, 10), palette_pixel(5));
  EXPECT_EQ(pic.at(11, 10), 0u);
  EXPECT_EQ(pic.at(17, 13), 0u);

  // Hidden: the parent shows everywhere.
  img.set_visible(false);
  pic = ui::headless::render(form);
  EXPECT_EQ(pic.at(10, 10), pattern.at(0, 0));
  EXPECT_EQ(pic.at(17, 13), pattern.at(7, 3));
}

TEST_F(MediaUi, GifAutoSizeCenterAndMissingFile) {
  const Bytes file = GifWriter(6, 4).frame(solid(6, 4, 9, 0)).trailer().bytes();
  platform::create_directories(sys.fs, "C:\\b");
  sys.fs.write_file("C:\\b\\ad.gif", std::string(file.begin(), file.end()));
  TGIFImage& img = gif_at(ui::Rect{5, 5, 20, 10});
  img.model().set_center(true);
  ASSERT_TRUE(img.load_from_file("C:\\b\\ad.gif"));
  ui::Bitmap pic = ui::headless::render(form);
  // Centred: (20 - 6) / 2 = 7, (10 - 4) / 2 = 3.
  EXPECT_EQ(pic.at(5 + 7, 5 + 3), palette_pixel(9));
  EXPECT_EQ(pic.at(5 + 6, 5 + 3), kFormPixel);
  EXPECT_EQ(pic.at(5 + 12, 5 + 6), palette_pixel(9));
  EXPECT_EQ(pic.at(5 + 13, 5 + 6), kFormPixel);

  // A missing file keeps the picture.
  EXPECT_FALSE(img.load_from_file("C:\\b\\missing.gif"));
  EXPECT_EQ(img.status(), GifStatus::file_not_found);
  EXPECT_TRUE(img.model().has_picture());

  img.set_auto_size(true);
  EXPECT_EQ(img.bounds(), (ui::Rect{5, 5, 6, 4}));
  pic = ui::headless::render(form);
  EXPECT_EQ(pic.at(5, 5), palette_pixel(9));
  EXPECT_EQ(pic.at(11, 5), kFormPixel);
}

// ------------------------------------------------------------------ TTimerEx

TEST_F(MediaUi, TimerExWindowModeTicksOnTheVirtualLoop) {
  const auto platform = make_media_platform(app);
  std::vector<std::uint64_t> ticks;
  {
    TTimerEx timer(platform->timer_services());
    timer.set_interval(100);
    timer.set_on_timer([&](TTimerEx& t) {
      ticks.push_back(backend.now());
      if (ticks.size() == 3) t.set_interval(250);
    });
    const std::uint64_t t0 = backend.now();
    backend.advance(app, 850);
    EXPECT_EQ(ticks, (std::vector<std::uint64_t>{t0 + 100, t0 + 200, t0 + 300, t0 + 550, t0 + 800}));
    timer.set_enabled(false);
    backend.advance(app, 1000);
    EXPECT_EQ(ticks.size(), 5u);
    EXPECT_EQ(backend.active_timer_count(), 0u);
    timer.set_enabled(true);
    EXPECT_EQ(backend.active_timer_count(), 1u);
  }
  EXPECT_EQ(backend.active_timer_count(), 0u);  // its utility window went with it
}

TEST_F(MediaUi, TimerExDestroyedInsideItsTickAndThreadedTicksOnTheGuiThread) {
  const auto platform = make_media_platform(app);
  auto timer = std::make_unique<TTimerEx>(platform->timer_services());
  int ticks = 0;
  timer->set_interval(50);
  timer->set_on_timer([&](TTimerEx&) {
    ++ticks;
    timer.reset();
  });
  backend.advance(app, 500);
  EXPECT_EQ(ticks, 1);
  EXPECT_EQ(backend.active_timer_count(), 0u);

  // Threaded: the worker sleeps in real time; its ticks run on this thread
  // when the loop takes them.
  platform->set_worker_delivery(true);
  TTimerEx threaded(platform->timer_services());
  std::vector<std::thread::id> threads;
  threaded.set_threaded(true);
  threaded.set_interval(5);
  threaded.set_on_timer([&](TTimerEx&) { threads.push_back(std::this_thread::get_id()); });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (threads.size() < 3 && std::chrono::steady_clock::now() < deadline) {
    backend.advance(app, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_GE(threads.size(), 3u);
  for (const auto& id : threads) EXPECT_EQ(id, std::this_thread::get_id());
  threaded.set_enabled(false);
  platform->set_worker_delivery(false);
}

// ------------------------------------------------------------------ movie control

TEST_F(MediaUi, MovieControlPaintsTheStageBackgroundScaledToItsBounds) {
  std::ifstream in(BREVARO_DEFAULT_MOVIE, std::ios::binary);
  ASSERT_TRUE(in) << BREVARO_DEFAULT_MOVIE;
  const std::string movie((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  SwfHeader header;
  ASSERT_EQ(parse_swf_header(std::span(reinterpret_cast<const std::uint8_t*>(movie.data()), movie.size()), header),
            SwfStatus::ok);
  const std::uint32_t stage =
      (std::uint32_t{header.background_r} << 16) | (std::uint32_t{header.background_g} << 8) | header.background_b;
  ASSERT_NE(stage, kFormPixel);
  platform::create_directories(sys.fs, "C:\\p\\Data");
  sys.fs.write_file("C:\\p\\Data\\bv.swf", movie);

  auto& flash = form.make<TShockwaveFlash>("FlashBanner", &form, ui::Rect{10, 20, 90, 30});
  flash.set_scale("ExactFit");
  EXPECT_EQ(ui::headless::render(form).at(50, 30), kFormPixel);  // no movie yet: nothing drawn
  flash.set_movie("C:\\p\\Data\\bv.swf");
  ASSERT_TRUE(flash.model().loaded());
  const ui::Bitmap pic = ui::headless::render(form);
  for (const auto& [x, y] : {std::pair{10, 20}, {99, 20}, {10, 49}, {99, 49}, {55, 35}}) EXPECT_EQ(pic.at(x, y), stage);
  for (const auto& [x, y] : {std::pair{9, 20}, {100, 20}, {10, 19}, {10, 50}}) EXPECT_EQ(pic.at(x, y), kFormPixel);

  // ShowAll keeps the stage's proportions: a tall control leaves bands.
  flash.set_bounds(ui::Rect{10, 0, 20, 80});
  flash.set_scale("ShowAll");
  const StageRect st = flash.model().stage_in(20, 80);
  ASSERT_GT(st.top, 0);
  const ui::Bitmap shown = ui::headless::render(form);
  EXPECT_EQ(shown.at(15, st.top), stage);
  EXPECT_EQ(shown.at(15, st.top - 1), kFormPixel);

  flash.set_movie("C:\\p\\Data\\none.swf");
  EXPECT_EQ(ui::headless::render(form).at(15, 40), kFormPixel);
}

}  // namespace
}  // namespace brevaro::media
