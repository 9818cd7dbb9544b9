#include <gtest/gtest.h>

#include <stdexcept>
#include <utility>
#include <vector>

#include "base/ascii.h"
#include "base/identifier.h"
#include "base/unique_handle.h"
#include "base/winpath.h"
#include "platform/headless/headless.h"

namespace brevaro {
namespace {

TEST(WinPath, SplitsAndComparesLikeThePlatform) {
  namespace wp = base::winpath;
  EXPECT_EQ(wp::file_name("C:\\Program Files\\brevaro\\Uninstall.exe"), "Uninstall.exe");
  EXPECT_EQ(wp::folder("C:\\Program Files\\brevaro\\Uninstall.exe"), "C:\\Program Files\\brevaro\\");
  EXPECT_EQ(wp::file_name("C:brevaro.exe"), "brevaro.exe");
  EXPECT_EQ(wp::parent("C:\\a\\b\\"), "C:\\a");
  EXPECT_TRUE(wp::equals("c:/A/data\\BREVARO.ini", "C:\\a\\Data\\Brevaro.ini"));
  EXPECT_FALSE(wp::equals("C:\\a\\b", "C:\\a\\bb"));
  EXPECT_TRUE(base::iequals("UNINSTALL.EXE", "uninstall.exe"));
  EXPECT_EQ(base::upper("a\xE4z"), "A\xE4Z");  // bytes outside ASCII are left alone
}

TEST(InstallationId, EighteenDigitsFromDateAndTime) {
  EXPECT_EQ(base::format_installation_id({2001, 3, 5}, {14, 7, 9, 123}), "200103051407090123");
  EXPECT_EQ(base::format_installation_id({2026, 12, 9}, {0, 0, 0, 42}), "202612090000000042");
  EXPECT_EQ(base::format_installation_id({12345, 1, 1}, {1, 1, 1, 1}), "123450101010101000");  // cut to 18
  EXPECT_EQ(base::format_installation_id({1, 1, 1}, {1, 1, 1, 1}), "000101010101010001");
}

TEST(InstallationId, FailuresGiveNoneAndAreRetried) {
  platform::headless::VirtualClock clock;
  auto date = [&] { return clock.date(); };
  auto time = [&] { return clock.time(); };
  clock.fail_next_reads(1);
  EXPECT_EQ(base::make_installation_id(date, time), "NONE");
  clock.fail_next_reads(5);
  EXPECT_EQ(base::generate_installation_id(date, time), "200103051407090123");
  clock.fail_next_reads(1000000);
  EXPECT_EQ(base::generate_installation_id(date, time, 50), std::nullopt);
}

TEST(InstallationId, DateAndTimeAreReadSeparately) {
  // The date is read before the time: across midnight the two reads may
  // belong to different days, exactly as two separate clock reads do.
  platform::headless::VirtualClock clock;
  clock.set_start({{2001, 3, 5}, {23, 59, 59, 999}});
  int reads = 0;
  const auto id = base::make_installation_id(
      [&] {
        ++reads;
        auto d = clock.date();
        clock.advance(1);
        return d;
      },
      [&] {
        ++reads;
        return clock.time();
      });
  EXPECT_EQ(reads, 2);
  EXPECT_EQ(id, "200103050000000000");
}

// Handles whose closing is recorded; 0 is a real handle, -1 none.
std::vector<int> g_closed;
struct RecordingTraits {
  using handle_type = int;
  static constexpr int none() noexcept { return -1; }
  static bool valid(int h) noexcept { return h >= 0; }
  static void close(int h) noexcept { g_closed.push_back(h); }
};

TEST(UniqueHandle, ClosesEachHandleOnceWhereverItMoves) {
  using Owner = base::UniqueHandle<RecordingTraits>;
  g_closed.clear();
  {
    Owner a{1};
    Owner b{std::move(a)};
    EXPECT_FALSE(a);
    Owner c{2};
    c = std::move(b);  // gives 2 up
    EXPECT_EQ(g_closed, std::vector<int>{2});
    c.reset(3);                 // gives 1 up
    EXPECT_EQ(c.release(), 3);  // given away, not closed
    EXPECT_FALSE(c);
    const Owner zero{0};
    EXPECT_TRUE(zero);
    const Owner empty;
  }
  EXPECT_EQ(g_closed, (std::vector<int>{2, 1, 0}));
}

}  // namespace
}  // namespace brevaro
