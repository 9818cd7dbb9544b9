// TGIFImage's portable model: loading, composition, animation on
// virtual time, and painting geometry.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "media/gif/gif_image.h"
#include "tests/host/gif/gif_writer.h"
#include "tests/host/gif/virtual_time.h"

namespace brevaro::media {
namespace {

using gif::Pixel;
using gif::Rect;
using gif::testing::Bytes;
using gif::testing::GifWriter;
using gif::testing::WriterFrame;
using testing::VirtualTime;

// The parent window as the tests see it: invalidations paint at once
// (WM_PAINT), immediate repaints draw over the parent's pattern.
class TestHost : public GifImageHost {
 public:
  explicit TestHost(VirtualTime& vt) : vt_(vt) {}
  void invalidate() override { ++invalidations; }
  void repaint_now() override {
    ++repaints;
    if (on_repaint) on_repaint();
    vt_.now += draw_cost;
    if (image) {
      surface = parent_background();
      image->paint_to(surface, image->left(), image->top());
    }
  }
  void query_new_palette() override { ++palette_queries; }
  void set_opaque_style(bool o) override { opaque_style = o; }

  Surface parent_background() const {
    Surface s(parent_w, parent_h);
    for (int y = 0; y < parent_h; ++y)
      for (int x = 0; x < parent_w; ++x) s.at(x, y) = pattern(x, y);
    return s;
  }
  static Pixel pattern(int x, int y) { return ((x + y) & 1) ? 0x00AA00 : 0x0000AA; }
  // WM_PAINT of the parent with the control on it.
  Surface wm_paint() {
    Surface s = parent_background();
    image->wm_paint(s, image->left(), image->top());
    return s;
  }

  GifImage* image = nullptr;
  int parent_w = 200, parent_h = 120;
  int invalidations = 0, repaints = 0, palette_queries = 0;
  bool opaque_style = false;
  std::function<void()> on_repaint;
  std::uint64_t draw_cost = 0;
  Surface surface;

 private:
  VirtualTime& vt_;
};

struct Fixture {
  VirtualTime vt;
  TestHost host{vt};
  std::map<std::string, Bytes> files;
  std::unique_ptr<GifImage> image;
  std::vector<std::pair<std::uint64_t, int>> changes;  // (time, CurrentFrame) after each OnChange
  int wraps = 0;

  Fixture() {
    GifImageServices s;
    s.host = &host;
    s.timer_factory = vt.factory();
    s.tick_count = vt.clock();
    s.read_file = [this](const std::string& path) -> std::optional<std::vector<std::uint8_t>> {
      auto it = files.find(path);
      if (it == files.end()) return std::nullopt;
      if (path == "locked.gif") throw GifFileError("Cannot open file \"locked.gif\"");
      return it->second;
    };
    image = std::make_unique<GifImage>(std::move(s));
    host.image = image.get();
    image->on_change = [this](GifImage& g) { changes.emplace_back(vt.now, g.current_frame()); };
    image->on_wrap_animation = [this](GifImage&) { ++wraps; };
  }
  // Times at which a new frame went onto the canvas (immediate repaints).
  bool load(const Bytes& b) { return image->load_from_memory(b); }
};

Bytes two_frames(int delay1_cs, int delay2_cs, int loop = -1) {
  GifWriter w(4, 2, 2);
  if (loop >= 0) w.loop(loop);
  WriterFrame a = gif::testing::solid_frame(4, 2, 1);
  a.delay_cs = delay1_cs;
  WriterFrame b = gif::testing::solid_frame(4, 2, 2);
  b.delay_cs = delay2_cs;
  w.frame(a).frame(b).trailer();
  return w.bytes();
}

Pixel color_of(int index) {  // GifWriter's global palette
  return gif::pixel_of(gif::Rgb{static_cast<std::uint8_t>(index), static_cast<std::uint8_t>(255 - index),
                                static_cast<std::uint8_t>(index * 7)});
}

TEST(GifImage, InitialValues) {
  GifImage g;
  EXPECT_FALSE(g.animate());
  EXPECT_FALSE(g.auto_size());
  EXPECT_FALSE(g.center());
  EXPECT_EQ(g.current_frame(), 0);
  EXPECT_TRUE(g.double_buffered());
  EXPECT_FALSE(g.first_image_only());
  EXPECT_FALSE(g.loop());
  EXPECT_FALSE(g.opaque());
  EXPECT_EQ(g.speed(), 100);
  EXPECT_FALSE(g.stretch());
  EXPECT_FALSE(g.stretch_ratio());
  EXPECT_FALSE(g.stretch_big_only());
  EXPECT_FALSE(g.tile());
  EXPECT_FALSE(g.threaded());
  EXPECT_EQ(g.thread_priority(), ThreadPriority::normal);
  EXPECT_TRUE(g.visible());
  EXPECT_EQ(g.width(), 105);
  EXPECT_EQ(g.height(), 105);
  EXPECT_FALSE(g.has_picture());
  EXPECT_EQ(&g.graphic(), &g);
  g.set_speed(0);
  EXPECT_EQ(g.speed(), 1);
  g.set_speed(-5);
  EXPECT_EQ(g.speed(), 1);
}

TEST(GifImage, DelaysZeroAnimateAt50msAndSpeedScales) {
  for (int speed : {100, 200}) {
    Fixture fx;
    fx.image->set_speed(speed);
    fx.image->set_animate(true);
    fx.image->set_loop(true);
    ASSERT_TRUE(fx.load(two_frames(0, 0)));
    fx.host.wm_paint();  // arms the timer
    fx.vt.advance(1000);
    const std::uint64_t step = speed == 100 ? 50 : 25;
    // Frame changes (CurrentFrame after the drawn one) come every `step` ms.
    ASSERT_GT(fx.changes.size(), 10u);
    for (std::size_t i = 1; i < fx.changes.size(); ++i) {
      EXPECT_EQ(fx.changes[i].first - fx.changes[i - 1].first, step) << speed << " " << i;
    }
  }
}

TEST(GifImage, DrawingTimeIsSubtractedFromTheNextInterval) {
  Fixture fx;
  fx.host.draw_cost = 7;
  fx.image->set_animate(true);
  fx.image->set_loop(true);
  ASSERT_TRUE(fx.load(two_frames(10, 10)));
  fx.host.wm_paint();
  fx.vt.advance(2000);
  ASSERT_GT(fx.changes.size(), 5u);
  // The load's OnChange at 0; the first tick at 100 draws nothing (frame 1 is
  // on the canvas already) and asks for 100; every later tick draws (7 ms)
  // and asks for 100 - 7. The timer keeps the TTimerEx rule: the same
  // interval again does not restart the countdown.
  EXPECT_EQ(fx.changes[1].first, 100u);
  EXPECT_EQ(fx.changes[2].first, 207u);
  EXPECT_EQ(fx.vt.intervals[0], 100u);  // WM_PAINT
  EXPECT_EQ(fx.vt.intervals[1], 100u);  // first tick
  for (std::size_t i = 2; i < fx.vt.intervals.size(); ++i) EXPECT_EQ(fx.vt.intervals[i], 93u) << i;
}

TEST(GifImage, NoLoopBlockPlaysOnceAndStopsOnTheLastFrame) {
  Fixture fx;
  fx.image->set_animate(true);
  ASSERT_TRUE(fx.load(two_frames(10, 10)));
  EXPECT_EQ(fx.image->loop_count(), 1);
  fx.host.wm_paint();
  EXPECT_TRUE(fx.image->timer_running());
  fx.vt.advance(10000);
  EXPECT_FALSE(fx.image->timer_running());
  EXPECT_EQ(fx.vt.live_timers(), 0u);
  EXPECT_EQ(fx.wraps, 1);
  EXPECT_EQ(fx.image->current_frame(), 3);              // past the end
  EXPECT_EQ(fx.image->canvas().at(0, 0), color_of(2));  // the last frame stays
  // Later paints do not restart it.
  fx.host.wm_paint();
  EXPECT_FALSE(fx.image->timer_running());
  // Loop := True restarts from frame 1.
  fx.image->set_loop(true);
  EXPECT_TRUE(fx.image->timer_running());
  EXPECT_EQ(fx.image->current_frame(), 1);
  fx.vt.advance(1000);
  EXPECT_GT(fx.wraps, 5);
}

TEST(GifImage, LoopTrueNeverStopsAndWrapsEachPass) {
  Fixture fx;
  fx.image->set_animate(true);
  fx.image->set_loop(true);
  ASSERT_TRUE(fx.load(two_frames(10, 10, 3)));
  fx.host.wm_paint();
  fx.vt.advance(100 * 1000);
  EXPECT_TRUE(fx.image->timer_running());
  // Ticks every 100 ms from 100 to 100000; the first shows frame 1 (already
  // on the canvas), every second one wraps.
  EXPECT_EQ(fx.wraps, 500);
}

TEST(GifImage, LoopCountThreePlaysThreePasses) {
  Fixture fx;
  fx.image->set_animate(true);
  ASSERT_TRUE(fx.load(two_frames(10, 10, 3)));
  EXPECT_EQ(fx.image->loop_count(), 3);
  int drawn1 = 0, drawn2 = 0;
  fx.image->on_change = [&](GifImage& g) {
    const Pixel p = g.canvas().at(0, 0);
    if (p == color_of(1)) ++drawn1;
    if (p == color_of(2)) ++drawn2;
  };
  fx.host.wm_paint();
  fx.vt.advance(60000);
  EXPECT_FALSE(fx.image->timer_running());
  EXPECT_EQ(fx.wraps, 3);
  EXPECT_EQ(fx.image->pass(), 4);
  EXPECT_EQ(drawn2, 3);
  EXPECT_EQ(drawn1, 3);  // the load's OnChange, and passes 2 and 3 (the first tick shows frame 1 again)
}

TEST(GifImage, LoopCountZeroIsForever) {
  Fixture fx;
  fx.image->set_animate(true);
  ASSERT_TRUE(fx.load(two_frames(5, 5, 0)));
  fx.host.wm_paint();
  fx.vt.advance(20000);
  EXPECT_TRUE(fx.image->timer_running());
  EXPECT_GT(fx.wraps, 100);
}

TEST(GifImage, DisposalsFourToSevenBehaveLikeTwo) {
  for (int d : {2, 4, 5, 6, 7}) {
    Fixture fx;
    GifWriter w(6, 4, 2);
    WriterFrame base = gif::testing::solid_frame(6, 4, 1);
    WriterFrame small = gif::testing::solid_frame(2, 2, 2);
    small.left = 1;
    small.top = 1;
    small.disposal = d;
    WriterFrame next = gif::testing::solid_frame(1, 1, 3);
    next.transparent = true;
    next.transparent_index = 0;
    w.frame(base).frame(small).frame(next).trailer();
    ASSERT_TRUE(fx.load(w.bytes()));
    fx.image->set_current_frame(2);
    EXPECT_EQ(fx.image->canvas().at(1, 1), color_of(2));
    fx.image->set_current_frame(3);  // disposes of frame 2: transparent black
    EXPECT_EQ(fx.image->canvas().at(1, 1), 0u) << d;
    EXPECT_EQ(fx.image->canvas().at(2, 2), 0u) << d;
    EXPECT_TRUE(fx.image->canvas().transparent_at(2, 2)) << d;
    EXPECT_EQ(fx.image->canvas().at(0, 1), color_of(1)) << d;
    EXPECT_EQ(fx.image->file().frames[1].disposal, gif::Disposal::background);
  }
}

TEST(GifImage, DisposalPreviousRestoresTheArea) {
  Fixture fx;
  GifWriter w(6, 4, 2);
  WriterFrame base = gif::testing::solid_frame(6, 4, 1);
  WriterFrame small = gif::testing::solid_frame(2, 2, 2);
  small.left = 2;
  small.top = 1;
  small.disposal = 3;
  w.frame(base).frame(small).frame(gif::testing::solid_frame(1, 1, 3)).trailer();
  ASSERT_TRUE(fx.load(w.bytes()));
  fx.image->set_current_frame(2);
  EXPECT_EQ(fx.image->canvas().at(2, 1), color_of(2));
  fx.image->set_current_frame(3);
  EXPECT_EQ(fx.image->canvas().at(2, 1), color_of(1));
  EXPECT_EQ(fx.image->canvas().at(0, 0), color_of(3));
}

TEST(GifImage, TransparentFirstFrameShowsTheParentThrough) {
  Fixture fx;
  GifWriter w(4, 4, 2);
  WriterFrame f = gif::testing::solid_frame(4, 4, 1);
  f.pixels[0] = 0;
  f.pixels[5] = 0;
  f.transparent = true;
  f.transparent_index = 0;
  w.frame(f).trailer();
  ASSERT_TRUE(fx.load(w.bytes()));
  fx.image->set_bounds(10, 20, 4, 4);
  Surface s = fx.host.wm_paint();
  EXPECT_EQ(s.at(10, 20), TestHost::pattern(10, 20));  // transparent pixel: the parent's pattern
  EXPECT_EQ(s.at(11, 21), TestHost::pattern(11, 21));
  EXPECT_EQ(s.at(11, 20), color_of(1));
  EXPECT_EQ(s.at(9, 20), TestHost::pattern(9, 20));
  EXPECT_FALSE(fx.image->opaque_covering());
}

TEST(GifImage, OpaqueFirstFrameHidesTheParentEvenWhenLaterFramesAreTransparent) {
  Fixture fx;
  GifWriter w(4, 4, 2);
  WriterFrame a = gif::testing::solid_frame(4, 4, 1);
  a.disposal = 2;
  WriterFrame b = gif::testing::solid_frame(4, 4, 2);
  b.pixels[0] = 0;
  b.transparent = true;
  b.transparent_index = 0;
  w.frame(a).frame(b).trailer();
  ASSERT_TRUE(fx.load(w.bytes()));
  fx.image->set_bounds(10, 20, 4, 4);
  fx.host.wm_paint();  // opaque-covering changes: invalidates instead of painting
  EXPECT_TRUE(fx.image->opaque_covering());
  EXPECT_TRUE(fx.host.opaque_style);
  Surface s = fx.host.wm_paint();
  EXPECT_EQ(s.at(10, 20), color_of(1));
  fx.image->set_current_frame(2);
  s = fx.host.wm_paint();
  EXPECT_EQ(s.at(10, 20), 0u);  // black, not the parent
  EXPECT_EQ(s.at(11, 20), color_of(2));
}

TEST(GifImage, The257thFrameIsNotReadAndThe256PlayInOrder) {
  Fixture fx;
  GifWriter w(2, 1, 8);
  for (int i = 0; i < 300; ++i) w.frame(gif::testing::solid_frame(2, 1, static_cast<std::uint8_t>(i % 256)));
  w.trailer();
  ASSERT_TRUE(fx.load(w.bytes()));
  EXPECT_EQ(fx.image->frame_count(), 256);
  fx.image->set_animate(true);
  fx.host.wm_paint();
  fx.vt.advance(50 * 257);
  EXPECT_EQ(fx.image->canvas().at(0, 0), color_of(255));
  EXPECT_EQ(fx.wraps, 1);
  EXPECT_FALSE(fx.image->timer_running());
}

TEST(GifImage, MissingFileKeepsTheOldPicture) {
  Fixture fx;
  fx.files["a.gif"] = two_frames(1, 1);
  ASSERT_TRUE(fx.image->load_from_file("a.gif"));
  EXPECT_EQ(fx.image->status(), GifStatus::success);
  EXPECT_FALSE(fx.image->load_from_file("missing.gif"));
  EXPECT_EQ(fx.image->status(), GifStatus::file_not_found);
  EXPECT_EQ(static_cast<int>(fx.image->status()), 7);
  EXPECT_TRUE(fx.image->has_picture());
  EXPECT_EQ(fx.image->frame_count(), 2);
  EXPECT_EQ(fx.image->data(), fx.files["a.gif"]);
}

TEST(GifImage, UnreadableFileRaisesBeforeParsing) {
  Fixture fx;
  fx.files["a.gif"] = two_frames(1, 1);
  fx.files["locked.gif"] = two_frames(1, 1);
  ASSERT_TRUE(fx.image->load_from_file("a.gif"));
  EXPECT_THROW(fx.image->load_from_file("locked.gif"), GifFileError);
  EXPECT_TRUE(fx.image->has_picture());
}

TEST(GifImage, BadDataClearsTheControl) {
  Fixture fx;
  ASSERT_TRUE(fx.load(two_frames(1, 1)));
  const int inv = fx.host.invalidations;
  fx.image->set_current_frame(2);
  EXPECT_FALSE(fx.load(Bytes{'n', 'o', 'p', 'e', '!', '!', 0, 0, 0}));
  EXPECT_FALSE(fx.image->has_picture());
  EXPECT_EQ(fx.image->current_frame(), 1);  // reset as by every load
  EXPECT_EQ(fx.image->frame_count(), 0);
  EXPECT_TRUE(fx.image->data().empty());
  EXPECT_TRUE(fx.image->canvas().pixels.empty());
  EXPECT_GT(fx.host.invalidations, inv);
  EXPECT_FALSE(fx.load(Bytes{}));
  EXPECT_EQ(fx.image->status(), GifStatus::empty_data);
  // Empty: nothing drawn but the Opaque fill.
  fx.image->set_opaque(true);
  fx.image->set_color(0x123456);
  fx.image->set_bounds(0, 0, 3, 3);
  Surface s = fx.host.wm_paint();
  EXPECT_EQ(s.at(2, 2), 0x123456u);
  EXPECT_EQ(s.at(3, 3), TestHost::pattern(3, 3));
}

TEST(GifImage, PictureAbove16384FailsToLoadAndClears) {
  Fixture fx;
  ASSERT_TRUE(fx.load(two_frames(1, 1)));
  GifWriter w(65535, 65535);
  w.frame(gif::testing::solid_frame(2, 2, 1)).trailer();
  EXPECT_FALSE(fx.load(w.bytes()));
  EXPECT_FALSE(fx.image->has_picture());
  EXPECT_EQ(fx.image->status(), GifStatus::invalid_data);
  EXPECT_TRUE(fx.image->canvas().pixels.empty());
}

TEST(GifImage, ProgressAbortClearsWithStatus1) {
  Fixture fx;
  ASSERT_TRUE(fx.load(two_frames(1, 1)));
  std::vector<int> percentages;
  fx.image->on_progress = [&](GifImage&, int done, int total, int pct, bool& keep) {
    EXPECT_LE(done, total);
    percentages.push_back(pct);
    if (percentages.size() == 2) keep = false;
  };
  EXPECT_FALSE(fx.load(two_frames(1, 1)));
  EXPECT_EQ(fx.image->status(), GifStatus::aborted);
  EXPECT_FALSE(fx.image->has_picture());
  percentages.clear();
  fx.image->on_progress = [&](GifImage&, int, int, int pct, bool&) { percentages.push_back(pct); };
  EXPECT_TRUE(fx.load(two_frames(1, 1)));
  EXPECT_EQ(percentages.back(), 100);
}

TEST(GifImage, UnknownExtensionDoesNotStopTheParse) {
  Fixture fx;
  GifWriter w(2, 2, 2);
  w.extension(0x99, Bytes{1, 2, 3})
      .frame(gif::testing::solid_frame(2, 2, 1))
      .extension(0x42, Bytes(300, 7))
      .frame(gif::testing::solid_frame(2, 2, 2))
      .trailer();
  ASSERT_TRUE(fx.load(w.bytes()));
  EXPECT_EQ(fx.image->frame_count(), 2);
}

TEST(GifImage, CurrentFrameSetter) {
  Fixture fx;
  ASSERT_TRUE(fx.load(two_frames(1, 1)));
  int changing = 0;
  fx.image->on_changing = [&](GifImage&) { ++changing; };
  fx.image->set_current_frame(2);
  EXPECT_EQ(changing, 1);
  EXPECT_EQ(fx.image->current_frame(), 2);
  EXPECT_EQ(fx.image->canvas().at(0, 0), color_of(2));
  fx.image->set_current_frame(2);  // the same: nothing
  EXPECT_EQ(changing, 1);
  fx.image->set_current_frame(3);
  EXPECT_EQ(fx.image->status(), GifStatus::out_of_range);
  EXPECT_EQ(fx.image->current_frame(), 2);
  fx.image->set_current_frame(0);
  EXPECT_EQ(static_cast<int>(fx.image->status()), 5);
}

TEST(GifImage, AnimateFalseReturnsToFrameOne) {
  Fixture fx;
  fx.image->set_animate(true);
  fx.image->set_loop(true);
  GifWriter w(2, 1, 2);
  for (int i = 1; i <= 3; ++i) {
    WriterFrame f = gif::testing::solid_frame(2, 1, static_cast<std::uint8_t>(i));
    f.delay_cs = 10;
    w.frame(f);
  }
  w.trailer();
  ASSERT_TRUE(fx.load(w.bytes()));
  fx.host.wm_paint();
  fx.vt.advance(250);  // ticks at 100 (first), 200 (frame 2)
  EXPECT_EQ(fx.image->canvas().at(0, 0), color_of(2));
  EXPECT_EQ(fx.image->current_frame(), 3);
  fx.image->set_animate(false);
  EXPECT_FALSE(fx.image->timer_running());
  EXPECT_EQ(fx.image->current_frame(), 1);
  EXPECT_EQ(fx.image->canvas().at(0, 0), color_of(1));
  // Animate := True again: pass 1, timer from the current frame.
  fx.image->set_animate(true);
  EXPECT_TRUE(fx.image->timer_running());
  EXPECT_EQ(fx.vt.intervals.back(), 100u);
}

TEST(GifImage, SpeedChangeWhileAnimatingTicksAtOnce) {
  Fixture fx;
  fx.image->set_animate(true);
  ASSERT_TRUE(fx.load(two_frames(100, 100, 0)));
  fx.host.wm_paint();
  fx.image->set_speed(300);
  EXPECT_EQ(fx.vt.intervals.back(), 1u);
  fx.vt.advance(1);
  EXPECT_EQ(fx.vt.intervals.back(), 333u);
}

TEST(GifImage, TimerCarriesThreadedAndPriority) {
  Fixture fx;
  fx.image->set_threaded(true);
  fx.image->set_thread_priority(ThreadPriority::higher);
  fx.image->set_animate(true);
  ASSERT_TRUE(fx.load(two_frames(1, 1, 0)));
  fx.host.wm_paint();
  EXPECT_EQ(fx.vt.created, 1);
  fx.image->set_threaded(false);
  fx.vt.advance(500);
  EXPECT_EQ(fx.vt.created, 1);  // one timer all along
}

TEST(GifImage, StillPictureNeverStartsATimer) {
  Fixture fx;
  fx.image->set_animate(true);
  GifWriter w(2, 2, 2);
  w.frame(gif::testing::solid_frame(2, 2, 1)).trailer();
  ASSERT_TRUE(fx.load(w.bytes()));
  fx.host.wm_paint();
  EXPECT_FALSE(fx.image->timer_running());
  EXPECT_EQ(fx.vt.created, 0);
}

TEST(GifImage, LoadingFromWithinATickIsSafe) {
  Fixture fx;
  fx.image->set_animate(true);
  const Bytes other = two_frames(3, 3, 0);
  int reloads = 0;
  fx.image->on_wrap_animation = [&](GifImage& g) {
    if (reloads < 4) {
      ++reloads;
      g.load_from_memory(other);
    }
  };
  ASSERT_TRUE(fx.load(two_frames(1, 1)));
  fx.host.wm_paint();
  for (int i = 0; i < 20; ++i) {
    fx.vt.advance(100);
    fx.host.wm_paint();
  }
  EXPECT_EQ(reloads, 4);
  EXPECT_TRUE(fx.image->timer_running());
}

TEST(GifImage, RaisingInsideATickLeavesTheAnimationSound) {
  // The window procedure passes the exception to the application; the
  // animation goes on, repaints at once again, and once its pass is over
  // frees its timer. Raised by an OnChange handler (first tick, at 100), or
  // by the immediate repaint of frame 2 (at 200; shown again at 300).
  for (const bool in_repaint : {false, true}) {
    SCOPED_TRACE(in_repaint);
    Fixture fx;
    fx.image->set_animate(true);
    ASSERT_TRUE(fx.load(two_frames(10, 10)));
    bool raise = true;
    auto raise_once = [&] {
      if (raise) {
        raise = false;
        throw std::runtime_error("handler");
      }
    };
    if (in_repaint) {
      fx.host.on_repaint = raise_once;
    } else {
      fx.image->on_change = [&](GifImage&) { raise_once(); };
    }
    fx.host.wm_paint();
    EXPECT_THROW(fx.vt.advance(in_repaint ? 250 : 150), std::runtime_error);
    fx.vt.advance(10000);
    EXPECT_EQ(fx.wraps, 1);
    EXPECT_FALSE(fx.image->timer_running());
    EXPECT_EQ(fx.vt.live_timers(), 0u);
    EXPECT_EQ(fx.image->canvas().at(0, 0), color_of(2));
    const int repaints = fx.host.repaints;
    fx.image->set_current_frame(1);
    EXPECT_EQ(fx.host.repaints, repaints + 1);
  }
}

TEST(GifImage, StoredDataProperty) {
  Fixture fx;
  EXPECT_TRUE(fx.image->write_data_property().empty());
  const Bytes file = two_frames(1, 2);
  ASSERT_TRUE(fx.load(file));
  const Bytes stored = fx.image->write_data_property();
  ASSERT_EQ(stored.size(), file.size() + 4);
  EXPECT_EQ(stored[0], file.size() & 0xFF);
  Fixture other;
  ASSERT_TRUE(other.image->read_data_property(stored));
  EXPECT_FALSE(other.image->has_picture());
  other.image->form_loaded();
  EXPECT_TRUE(other.image->has_picture());
  EXPECT_EQ(other.image->data(), file);
  EXPECT_FALSE(other.image->read_data_property(Bytes{9, 0, 0, 0, 1}));
}

TEST(GifImage, LoadFromStreamReadsFromTheBeginning) {
  Fixture fx;
  const Bytes file = two_frames(1, 2);
  std::stringstream ss(std::string(file.begin(), file.end()));
  ss.seekg(5);
  ASSERT_TRUE(fx.image->load_from_stream(ss));
  EXPECT_EQ(fx.image->frame_count(), 2);
}

TEST(GifImage, AutoSizeVersionPaletteAndFirstFrameImage) {
  Fixture fx;
  fx.image->set_auto_size(true);
  fx.image->set_bounds(3, 4, 50, 50);
  ASSERT_TRUE(fx.load(two_frames(1, 2)));
  EXPECT_EQ(fx.image->width(), 4);
  EXPECT_EQ(fx.image->height(), 2);
  EXPECT_EQ(fx.image->left(), 3);
  EXPECT_EQ(fx.image->version(), GifVersion::gif89a);
  ASSERT_TRUE(fx.image->palette().has_value());
  fx.image->set_visible(false);
  EXPECT_FALSE(fx.image->palette().has_value());
  auto img = fx.image->first_frame_image();
  ASSERT_TRUE(img.has_value());
  EXPECT_EQ(img->indices, Bytes(8, 1));
  EXPECT_EQ(img->palette_entries, 4);
  EXPECT_GT(fx.host.palette_queries, 0);
}

TEST(GifImage, FirstImageOnlyLoadsOneFrame) {
  Fixture fx;
  fx.image->set_first_image_only(true);
  fx.image->set_animate(true);
  ASSERT_TRUE(fx.load(two_frames(1, 1, 0)));
  EXPECT_EQ(fx.image->frame_count(), 1);
  EXPECT_FALSE(fx.image->animated());
  fx.host.wm_paint();
  EXPECT_FALSE(fx.image->timer_running());
}

TEST(GifImage, InvisibleDrawsNothingButKeepsAnimating) {
  Fixture fx;
  fx.image->set_animate(true);
  ASSERT_TRUE(fx.load(two_frames(1, 1, 0)));
  fx.image->set_visible(false);
  fx.image->set_bounds(0, 0, 4, 2);
  Surface s = fx.host.wm_paint();
  EXPECT_EQ(s.at(0, 0), TestHost::pattern(0, 0));
  fx.vt.advance(500);
  EXPECT_GT(fx.changes.size(), 3u);
  EXPECT_EQ(fx.host.repaints, 0);  // immediate repaints are skipped while invisible
}

TEST(GifImage, EveryTruncationOfSmallCorpusFilesLoadsSafely) {
  for (const auto& e : std::filesystem::directory_iterator(BREVARO_GIF_CORPUS)) {
    if (e.path().extension() != ".gif" || std::filesystem::file_size(e.path()) > 4096) continue;
    std::ifstream in(e.path(), std::ios::binary);
    const Bytes full((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Fixture fx;
    fx.host.parent_w = 40;
    fx.host.parent_h = 24;
    fx.image->set_animate(true);
    fx.image->set_loop(true);
    fx.image->set_stretch_ratio(true);
    fx.image->set_bounds(5, 5, 31, 17);
    for (std::size_t cut = 0; cut <= full.size(); ++cut) {
      const bool ok = fx.image->load_from_memory(std::span<const std::uint8_t>(full.data(), cut));
      ASSERT_EQ(ok, fx.image->has_picture());
      if (!ok) continue;
      fx.host.wm_paint();
      fx.vt.advance(120);
      for (int n = fx.image->frame_count(); n >= 1; n -= 2) fx.image->set_current_frame(n);
    }
    EXPECT_TRUE(fx.image->has_picture()) << e.path();  // the whole file loads
  }
}

// ------------------------------------------------------------ geometry

TEST(GifGeometry, StretchBigOnly) {
  gif::PaintOptions o;
  o.stretch = true;
  o.stretch_big_only = true;
  EXPECT_FALSE(gif::is_stretched(o, 500, 100, 468, 60));
  EXPECT_TRUE(gif::is_stretched(o, 400, 100, 468, 60));
  EXPECT_EQ(gif::picture_rect(o, 500, 100, 468, 60), (Rect{0, 0, 468, 60}));
  EXPECT_EQ(gif::picture_rect(o, 400, 100, 468, 60), (Rect{0, 0, 400, 100}));
  o.stretch_big_only = false;
  EXPECT_TRUE(gif::is_stretched(o, 500, 100, 468, 60));
  EXPECT_FALSE(gif::is_stretched(o, 468, 60, 468, 60));
}

TEST(GifGeometry, StretchRatioRoundsTiesToEven) {
  gif::PaintOptions o;
  o.stretch_ratio = true;
  // 10x10 in 13x10: sx 1.3 > sy 1: d = (13 - 10) / 2 = 1.5 -> 2; 13 - 1.5 = 11.5 -> 12.
  EXPECT_EQ(gif::picture_rect(o, 13, 10, 10, 10), (Rect{2, 0, 12, 10}));
  // 10x10 in 15x10: d = 2.5 -> 2; 12.5 -> 12.
  EXPECT_EQ(gif::picture_rect(o, 15, 10, 10, 10), (Rect{2, 0, 12, 10}));
  // Taller than wide: 10x10 in 10x17: c = 3.5 -> 4; 13.5 -> 14.
  EXPECT_EQ(gif::picture_rect(o, 10, 17, 10, 10), (Rect{0, 4, 10, 14}));
  // 468x60 in 400x100: sx 0.8547 < sy 1.667: full width, c = (100 - 51.28) / 2.
  EXPECT_EQ(gif::picture_rect(o, 400, 100, 468, 60), (Rect{0, 24, 400, 76}));
  // Stretch wins over StretchRatio.
  o.stretch = true;
  EXPECT_EQ(gif::picture_rect(o, 13, 10, 10, 10), (Rect{0, 0, 13, 10}));
}

TEST(GifGeometry, CenterTileAndPlain) {
  gif::PaintOptions o;
  EXPECT_EQ(gif::picture_rect(o, 100, 50, 30, 20), (Rect{0, 0, 30, 20}));
  o.center = true;
  EXPECT_EQ(gif::picture_rect(o, 100, 50, 31, 21), (Rect{34, 14, 65, 35}));
  EXPECT_EQ(gif::picture_rect(o, 20, 10, 31, 21), (Rect{-5, -5, 26, 16}));  // truncating
  o.tile = true;
  EXPECT_EQ(gif::picture_rect(o, 100, 50, 30, 20), (Rect{0, 0, 100, 50}));
  EXPECT_EQ(gif::tile_grid(100, 50, 30, 20).columns, 4);
  EXPECT_EQ(gif::tile_grid(100, 50, 30, 20).rows, 3);
  EXPECT_EQ(gif::picture_rect(o, 100, 50, 0, 0), Rect{});
}

TEST(GifGeometry, OpaqueCovering) {
  EXPECT_TRUE(gif::is_opaque_covering(true, false, true, Rect{0, 0, 10, 10}, 10, 10));
  EXPECT_TRUE(gif::is_opaque_covering(true, false, true, Rect{-3, -3, 12, 12}, 10, 10));
  EXPECT_FALSE(gif::is_opaque_covering(true, false, true, Rect{0, 0, 9, 10}, 10, 10));
  EXPECT_FALSE(gif::is_opaque_covering(true, true, true, Rect{0, 0, 10, 10}, 10, 10));
  EXPECT_FALSE(gif::is_opaque_covering(false, false, true, Rect{0, 0, 10, 10}, 10, 10));
  EXPECT_FALSE(gif::is_opaque_covering(true, false, false, Rect{0, 0, 10, 10}, 10, 10));
}

TEST(GifImage, PaintsStretchedAndTiled) {
  Fixture fx;
  GifWriter w(2, 1, 2);
  WriterFrame f = gif::testing::solid_frame(2, 1, 1);
  f.pixels[1] = 2;
  w.frame(f).trailer();
  ASSERT_TRUE(fx.load(w.bytes()));
  fx.image->set_bounds(0, 0, 8, 2);
  fx.image->set_stretch(true);
  fx.host.wm_paint();
  Surface s = fx.host.wm_paint();
  EXPECT_EQ(s.at(3, 1), color_of(1));
  EXPECT_EQ(s.at(4, 1), color_of(2));
  EXPECT_EQ(s.at(8, 1), TestHost::pattern(8, 1));
  fx.image->set_stretch(false);
  fx.image->set_tile(true);
  s = fx.host.wm_paint();
  EXPECT_EQ(s.at(0, 0), color_of(1));
  EXPECT_EQ(s.at(1, 1), color_of(2));
  EXPECT_EQ(s.at(6, 1), color_of(1));
  EXPECT_EQ(s.at(7, 0), color_of(2));
}

}  // namespace
}  // namespace brevaro::media
