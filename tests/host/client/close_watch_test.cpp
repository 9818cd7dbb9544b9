// How the client hears of a close request: the first look 100 ms after the
// start, then through the program folder's change signal, with nothing
// ticking for it while the program is idle; inside a message box a timer of
// the backend looks meanwhile; where the folder cannot be watched,
// CloseTimer looks every 100 ms as before.
#include <gtest/gtest.h>

#include "tests/host/client/client_fixture.h"

namespace brevaro::client {
namespace {

using fixture::kFolder;
using ui::MsgBoxResult;

struct CloseWatch : fixture::MainWindowFixture {
  const std::string request = std::string(kFolder) + "Close.dat";
  const std::string answer = std::string(kFolder) + "BVClosed.dat";

  // Writes the request at `at_ms` of virtual time from now.
  ui::Timer& request_at(std::uint64_t at_ms) {
    auto& t = app->make<ui::Timer>("asker", static_cast<std::uint32_t>(at_ms), true);
    t.set_on_timer([this](ui::Timer& s) {
      s.set_enabled(false);
      sys.fs.put(request, "Close Now.\r\n");
    });
    return t;
  }
  // Timers running at intervals under a second (the old poll ran every 100 ms).
  std::size_t fast_timers() const {
    std::size_t n = 0;
    for (const auto& [id, t] : backend.timers)
      if (t.running && t.interval < 1000) ++n;
    return n;
  }
};

TEST_F(CloseWatch, AnIdleWindowHasNoPollAndAnswersARequestAtOnce) {
  auto& f = start();
  backend.advance(*app, 1000);
  ASSERT_FALSE(app->terminated());
  EXPECT_EQ(backend.folder_watch_count(), 1u);
  EXPECT_FALSE(f.CloseTimer->enabled());
  EXPECT_TRUE(f.watching_for_close_request());
  EXPECT_EQ(fast_timers(), 0u);
  // Ten idle minutes: whatever else ticks, nothing ticks ten times a second.
  const std::uint64_t ticks = backend.ticks_fired();
  backend.advance(*app, 600000);
  ASSERT_FALSE(app->terminated());
  EXPECT_LT(backend.ticks_fired() - ticks, 600u);
  EXPECT_EQ(fast_timers(), 0u);

  const std::uint64_t asked = backend.now() + 250;
  request_at(250);
  backend.advance(*app, 5000);
  ASSERT_TRUE(app->terminated());
  EXPECT_EQ(backend.quit_at(), asked);  // the change itself wakes the window
  EXPECT_FALSE(sys.fs.file_exists(request));
  EXPECT_EQ(sys.fs.read_file(answer), "BVClosed.\r\n");
  EXPECT_EQ(backend.folder_watch_count(), 0u);
}

TEST_F(CloseWatch, ARequestWhileAMessageBoxIsOpenIsAnsweredWithin200Ms) {
  start();
  backend.advance(*app, 1000);
  // A box opens at 1 s and stays 20 s; the request comes at 3 s, while the
  // box's own loop runs, which does not wait for the folder's signal.
  const std::uint64_t opened = backend.now() + 1000;
  auto& box = app->make<ui::Timer>("box", 1000, true);
  box.set_on_timer([this](ui::Timer& s) {
    s.set_enabled(false);
    app->message_box("Still there?", "Information", ui::MsgBoxButtons::ok, ui::MsgBoxIcon::information);
  });
  backend.answer_next_box(MsgBoxResult::ok, 20000);
  const std::uint64_t asked = backend.now() + 3000;
  request_at(3000);
  backend.advance(*app, 30000);
  ASSERT_EQ(backend.boxes().size(), 1u);
  EXPECT_EQ(backend.boxes()[0].at_ms, opened);
  ASSERT_TRUE(app->terminated());
  EXPECT_GE(backend.quit_at(), asked);
  EXPECT_LE(backend.quit_at(), asked + 200);
  EXPECT_EQ(sys.fs.read_file(answer), "BVClosed.\r\n");
  // The box's timer went with the box.
  EXPECT_EQ(fast_timers(), 0u);
}

TEST_F(CloseWatch, AFolderThatCannotBeWatchedIsPolledEvery100Ms) {
  backend.refuse_folder_watches = true;
  auto& f = start();
  backend.advance(*app, 1000);
  EXPECT_EQ(backend.folder_watch_count(), 0u);
  EXPECT_TRUE(f.CloseTimer->enabled());
  EXPECT_EQ(f.CloseTimer->interval(), 100u);
  const std::uint64_t asked = backend.now() + 250;
  request_at(250);
  backend.advance(*app, 5000);
  ASSERT_TRUE(app->terminated());
  EXPECT_LE(backend.quit_at(), asked + 100);
  EXPECT_EQ(sys.fs.read_file(answer), "BVClosed.\r\n");
}

TEST_F(CloseWatch, OtherChangesInTheFolderDoNotClose) {
  auto& f = start();
  backend.advance(*app, 1000);
  // Files come and go beside the program; the settings change below it.
  sys.fs.put(std::string(kFolder) + "Other.dat", "x");
  backend.advance(*app, 500);
  sys.fs.delete_file(std::string(kFolder) + "Other.dat");
  backend.advance(*app, 500);
  EXPECT_FALSE(app->terminated());
  EXPECT_TRUE(f.watching_for_close_request());
  request_at(100);
  backend.advance(*app, 1000);
  EXPECT_TRUE(app->terminated());
}

}  // namespace
}  // namespace brevaro::client
