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
#include "media/swf/swf_player.h"
#include "media/timer/timer_ex.h"
#include "media/ui/flash_control.h"
#include "media/ui/gif_control.h"
#include "media/ui/media_platform.h"
#include "platform/filesystem.h"
#include "platform/headless/headless.h"
#include "tests/host/gif/gif_writer.h"
#include "tools/swf/swf_writer.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "ui/form.h"
#include "ui/headless/headless_backend.h"
#include "ui/timer.h"

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
  // The movie's first frame, drawn by a player of our own at the control's size.
  swf::Movie parsed;
  ASSERT_EQ(swf::parse_movie(std::span(reinterpret_cast<const std::uint8_t*>(movie.data()), movie.size()), parsed),
            SwfStatus::ok);
  swf::Player reference(std::move(parsed));
  std::vector<std::uint32_t> first(90 * 30);
  reference.render(swf::Target{first.data(), 90, 30, 90});
  const ui::Bitmap pic = ui::headless::render(form);
  for (const auto& [x, y] : {std::pair{10, 20}, {99, 20}, {10, 49}, {99, 49}, {55, 35}})
    EXPECT_EQ(pic.at(x, y), first[static_cast<std::size_t>((y - 20) * 90 + (x - 10))] & 0xFFFFFFu);
  EXPECT_EQ(pic.at(10, 20), stage);  // the banner's corner shows the stage background
  for (const auto& [x, y] : {std::pair{9, 20}, {100, 20}, {10, 19}, {10, 50}}) EXPECT_EQ(pic.at(x, y), kFormPixel);

  // ShowAll keeps the stage's proportions: a tall control leaves bands.
  flash.set_bounds(ui::Rect{10, 0, 20, 80});
  flash.set_scale("ShowAll");
  const StageRect st = flash.model().stage_in(20, 80);
  ASSERT_GT(st.top, 0);
  const ui::Bitmap shown = ui::headless::render(form);
  EXPECT_NE(shown.at(15, st.top), kFormPixel);
  EXPECT_NE(shown.at(15, st.top + st.height - 1), kFormPixel);
  EXPECT_EQ(shown.at(15, st.top - 1), kFormPixel);
  EXPECT_EQ(shown.at(15, st.top + st.height), kFormPixel);

  flash.set_movie("C:\\p\\Data\\none.swf");
  EXPECT_EQ(ui::headless::render(form).at(15, 40), kFormPixel);
}

// ------------------------------------------------------------------ movie playback

namespace w = swf_writer;

const swf::Rgba kRed{255, 0, 0, 255}, kBlue{0, 0, 255, 255}, kWhite{255, 255, 255, 255};
constexpr std::uint32_t kRedPixel = 0xFF0000, kBluePixel = 0x0000FF, kWhitePixel = 0xFFFFFF;

// Shapes 1 (red) and 2 (blue): a 100 x 60 pixel box at the stage's origin.
w::Bytes box_shapes() {
  w::ShapeSpec red;
  red.id = 1;
  red.fills = {w::solid(kRed)};
  red.contours = {w::rect(0, 0, 2000, 1200, 1)};
  w::ShapeSpec blue = red;
  blue.id = 2;
  blue.fills = {w::solid(kBlue)};
  return w::cat({w::background(kWhite), w::define_shape(red), w::define_shape(blue)});
}

w::Bytes place_at(std::uint16_t ch, std::uint16_t depth, double x, bool move = false) {
  w::Place2 p;
  p.move = move;
  p.character = move ? std::nullopt : std::optional<std::uint16_t>(ch);
  p.depth = depth;
  p.matrix = swf::Matrix{1, 0, 0, 1, x * 20, 0};
  return w::place_object2(p);
}

// Four frames on a 468 x 60 stage: the red box at x 0, unchanged, moved to
// x 200, unchanged; then it loops.
w::Bytes stepping_movie(double fps) {
  const w::Bytes tags = w::cat({box_shapes(), place_at(1, 1, 0), w::show_frame(), w::show_frame(),
                                place_at(1, 1, 200, true), w::show_frame(), w::show_frame()});
  return w::movie(8, 468, 60, fps, 4, tags);
}

struct MoviePlayback : MediaUi {
  // By default the control shows the stage at a quarter of its size at the
  // form's corner: stage x 50 and 250 are control x 12 and 62.
  TShockwaveFlash& movie_control(const w::Bytes& file, ui::Rect r = ui::Rect{0, 0, 117, 15}) {
    platform::create_directories(sys.fs, "C:\\p\\Data");
    sys.fs.write_file("C:\\p\\Data\\m.swf", std::string(file.begin(), file.end()));
    auto& flash = form.make<TShockwaveFlash>("FlashBanner", &form, r);
    flash.set_scale("ExactFit");
    flash.set_movie("C:\\p\\Data\\m.swf");
    form.show();
    (void)ui::headless::render(form);  // a shown window paints: the clock starts
    return flash;
  }
  std::uint32_t pixel_at(int x, int y) { return ui::headless::render(form).at(x, y); }
};

TEST_F(MoviePlayback, FramesAdvanceAtTheHeaderRateClampedAndRepaintOnlyOnChange) {
  struct Case {
    double fps;
    std::uint32_t interval_ms;
  };
  for (const Case c : {Case{12, 83}, Case{0, 1000}, Case{0.5, 1000}, Case{255, 17}, Case{60, 17}, Case{1, 1000}}) {
    SCOPED_TRACE(c.fps);
    const w::Bytes file = stepping_movie(c.fps);
    TShockwaveFlash& flash = movie_control(file);
    ASSERT_NE(flash.player(), nullptr);
    ASSERT_TRUE(flash.playing());
    EXPECT_EQ(flash.player()->frame_interval_ms(), static_cast<int>(c.interval_ms));

    // The same movie stepped by hand says which ticks change the picture.
    swf::Movie m;
    ASSERT_EQ(swf::parse_movie(file, m), SwfStatus::ok);
    swf::Player reference(std::move(m));
    const std::uint64_t span = 3000;
    const std::uint64_t ticks = span / c.interval_ms;
    std::uint64_t changes = 0;
    for (std::uint64_t i = 0; i < ticks; ++i) changes += reference.advance() ? 1 : 0;

    const std::uint64_t fired = backend.ticks_fired();
    backend.advance(app, span);
    EXPECT_EQ(backend.ticks_fired() - fired, ticks);
    EXPECT_EQ(flash.player()->current_frame(), ticks % 4);
    EXPECT_EQ(flash.frame_repaints(), changes);
    EXPECT_LT(changes, ticks);  // the unchanged frames asked for no repaint
    form.free_component(flash);
  }
}

TEST_F(MoviePlayback, TheRenderedFrameFollowsTheTimelineAndIsRenderedOncePerChange) {
  TShockwaveFlash& flash = movie_control(stepping_movie(10));  // 100 ms a frame
  // (t, colour at stage x 50, at x 250, renders so far)
  struct Step {
    std::uint64_t at_ms;
    std::uint32_t at_50, at_250;
    std::uint64_t rendered;
  };
  const std::uint64_t t0 = backend.now();
  const Step steps[] = {
      {0, kRedPixel, kWhitePixel, 1},    // frame 0
      {150, kRedPixel, kWhitePixel, 1},  // frame 1: nothing changed, nothing rendered again
      {250, kWhitePixel, kRedPixel, 2},  // frame 2: moved
      {350, kWhitePixel, kRedPixel, 2},  // frame 3
      {450, kRedPixel, kWhitePixel, 3},  // frame 0 again
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.at_ms);
    backend.advance(app, t0 + s.at_ms - backend.now());
    const ui::Bitmap pic = ui::headless::render(form);
    const ui::Bitmap again = ui::headless::render(form);  // a second paint reuses the frame
    EXPECT_EQ(pic.at(12, 7), s.at_50);
    EXPECT_EQ(pic.at(62, 7), s.at_250);
    EXPECT_EQ(again.pixels, pic.pixels);
    EXPECT_EQ(flash.frames_rendered(), s.rendered);
  }
}

TEST_F(MoviePlayback, ASpritePlaysOnAOneFrameMovieAndAStillMovieNeverTicks) {
  // A sprite of two frames (red box, then blue box at depth 1) on a one-frame movie.
  const w::Bytes sprite_tags =
      w::cat({place_at(1, 1, 0), w::show_frame(), w::remove_object2(1), place_at(2, 1, 0), w::show_frame()});
  const w::Bytes with_sprite =
      w::movie(8, 468, 60, 10, 1,
               w::cat({box_shapes(), w::define_sprite(3, 2, sprite_tags), place_at(3, 1, 0), w::show_frame()}));
  TShockwaveFlash& flash = movie_control(with_sprite, ui::Rect{0, 0, 120, 60});
  ASSERT_TRUE(flash.playing());
  // Stage x 50 is control x ~12.8 at 120/468.
  EXPECT_EQ(pixel_at(10, 30), kRedPixel);
  backend.advance(app, 100);
  EXPECT_EQ(pixel_at(10, 30), kBluePixel);
  backend.advance(app, 100);
  EXPECT_EQ(pixel_at(10, 30), kRedPixel);
  form.free_component(flash);

  const w::Bytes still = w::movie(8, 468, 60, 10, 1, w::cat({box_shapes(), place_at(1, 1, 0), w::show_frame()}));
  TShockwaveFlash& still_control = movie_control(still);
  EXPECT_FALSE(still_control.playing());
  const std::uint64_t fired = backend.ticks_fired();
  backend.advance(app, 1000);
  EXPECT_EQ(backend.ticks_fired(), fired);
  EXPECT_EQ(pixel_at(12, 7), kRedPixel);
}

TEST_F(MoviePlayback, NothingTicksWhileHiddenOrMinimisedAndPlayResumesWhenShown) {
  TShockwaveFlash& flash = movie_control(stepping_movie(10));
  backend.advance(app, 100);
  ASSERT_EQ(flash.player()->current_frame(), 1u);

  struct Case {
    const char* what;
    std::function<void()> hide, show;
  };
  const Case cases[] = {
      {"control hidden", [&] { flash.set_visible(false); }, [&] { flash.set_visible(true); }},
      {"form hidden", [&] { form.hide(); }, [&] { form.show(); }},
      {"form minimised", [&] { form.peer().send(0x0005, 1, 0); }, [&] { form.peer().send(0x0005, 0, 0); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::size_t frame = flash.player()->current_frame();
    c.hide();
    // At most the tick that finds it hidden; then the clock stands.
    backend.advance(app, 100);
    EXPECT_FALSE(flash.playing());
    const std::uint64_t fired = backend.ticks_fired();
    backend.advance(app, 2000);
    EXPECT_EQ(backend.ticks_fired(), fired);
    EXPECT_EQ(flash.player()->current_frame(), frame);

    c.show();
    (void)ui::headless::render(form);  // shown windows paint
    EXPECT_TRUE(flash.playing());
    backend.advance(app, 100);
    EXPECT_EQ(flash.player()->current_frame(), (frame + 1) % 4);
  }
}

TEST_F(MoviePlayback, WithAnimationsOffOnlyTheFirstFrameShows) {
  backend.show_animations = false;
  TShockwaveFlash& flash = movie_control(stepping_movie(10));
  const ui::Bitmap first = ui::headless::render(form);
  EXPECT_EQ(first.at(12, 7), kRedPixel);
  EXPECT_FALSE(flash.playing());
  const std::uint64_t fired = backend.ticks_fired();
  backend.advance(app, 2000);
  (void)ui::headless::render(form);  // a paint does not start it either
  backend.advance(app, 2000);
  EXPECT_EQ(backend.ticks_fired(), fired);
  EXPECT_EQ(flash.player()->current_frame(), 0u);
  EXPECT_EQ(ui::headless::render(form).pixels, first.pixels);

  // Turned on again: the next paint starts the clock.
  backend.show_animations = true;
  (void)ui::headless::render(form);
  backend.advance(app, 100);
  EXPECT_EQ(flash.player()->current_frame(), 1u);
}

TEST_F(MoviePlayback, FreedWhileItsTickIsDueOrInsideAnotherTickLeavesNoClockBehind) {
  const std::size_t timers_before = backend.active_timer_count();
  // A banner timer of the same period frees the movie just as its frame falls due.
  TShockwaveFlash* flash = nullptr;
  int frees = 0;
  auto& rotation = form.make<ui::Timer>("Rotation", 100, true);
  rotation.set_on_timer([&](ui::Timer&) {
    if (!flash) return;
    form.free_component(*flash);
    flash = nullptr;
    ++frees;
  });
  flash = &movie_control(stepping_movie(10));
  ASSERT_EQ(backend.active_timer_count(), timers_before + 2);
  backend.advance(app, 100);
  EXPECT_EQ(frees, 1);
  EXPECT_EQ(backend.active_timer_count(), timers_before + 1);
  const std::uint64_t fired = backend.ticks_fired();
  backend.advance(app, 1000);
  EXPECT_EQ(backend.ticks_fired() - fired, 10u);  // the rotation timer only
  (void)ui::headless::render(form);
  // The form's window hooks no longer reach the freed control.
  form.peer().send(0x0005, 1, 0);
  form.peer().send(0x0005, 0, 0);
  rotation.set_enabled(false);
  EXPECT_EQ(backend.active_timer_count(), timers_before);
}

}  // namespace
}  // namespace brevaro::media
