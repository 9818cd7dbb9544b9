#include <gtest/gtest.h>

#include <string>

#include "platform/close_request.h"
#include "platform/headless/headless.h"

namespace brevaro::platform {
namespace {

constexpr const char* kDir = "C:\\Program Files\\brevaro\\";

std::string at(const char* name) { return std::string(kDir) + name; }

TEST(CloseRequest, AnsweringSideActsOnceAndWritesItsLine) {
  headless::MemoryFileSystem fs;
  fs.put(at("brevaro.exe"), "MZ");
  EXPECT_FALSE(answer_close_request(fs, kDir, kClientMarkers));
  EXPECT_FALSE(fs.file_exists(at("BVClosed.dat")));

  fs.put(at("Close.dat"), "Close Now.\r\n");
  EXPECT_TRUE(answer_close_request(fs, kDir, kClientMarkers));
  EXPECT_FALSE(fs.file_exists(at("Close.dat")));
  EXPECT_EQ(fs.read_file(at("BVClosed.dat")), "BVClosed.\r\n");
  EXPECT_FALSE(answer_close_request(fs, kDir, kClientMarkers));  // the request is gone: acted on once

  fs.put(at("TClose.dat"), "x");
  EXPECT_FALSE(answer_close_request(fs, kDir, kClientMarkers));  // not the client's request
  EXPECT_TRUE(answer_close_request(fs, kDir, kTrayMarkers));
  EXPECT_EQ(fs.read_file(at("TClosed.dat")), "TrayClosed.\r\n");
}

TEST(CloseRequest, AnsweringSideClosesEvenWhenTheFilesResist) {
  struct Case {
    const char* what;
    void (*arrange)(headless::MemoryFileSystem&);
    bool answer_written;
  } cases[] = {
      {"locked request", [](headless::MemoryFileSystem& fs) { fs.set_in_use(at("Close.dat"), true); }, true},
      {"answer in use",
       [](headless::MemoryFileSystem& fs) {
         fs.put(at("BVClosed.dat"), "old");
         fs.set_in_use(at("BVClosed.dat"), true);
       },
       false},
      {"read-only folder",
       [](headless::MemoryFileSystem& fs) { fs.set_read_only_folder("C:\\Program Files\\brevaro", true); }, false},
  };
  for (const auto& c : cases) {
    headless::MemoryFileSystem fs;
    fs.put(at("Close.dat"), "Close Now.\r\n");
    c.arrange(fs);
    EXPECT_TRUE(answer_close_request(fs, kDir, kClientMarkers)) << c.what;
    EXPECT_EQ(fs.read_file(at("BVClosed.dat")) == "BVClosed.\r\n", c.answer_written) << c.what;
  }
  // A folder named like the request is no request.
  headless::MemoryFileSystem fs;
  fs.create_directory("C:\\Program Files");
  fs.create_directory("C:\\Program Files\\brevaro");
  fs.create_directory(at("Close.dat"));
  EXPECT_FALSE(answer_close_request(fs, kDir, kClientMarkers));
}

struct Asking : ::testing::Test {
  headless::MemoryFileSystem fs;
  headless::VirtualClock clock;
  int pauses = 0;
  int questions = 0;
  std::function<void()> on_pause;
  std::function<bool()> answer = [] { return false; };

  CloseWait wait() {
    return CloseWait{[this] {
                       ++pauses;
                       clock.advance(kCloseRetryMs);
                       if (on_pause) on_pause();
                     },
                     [this] { return clock.ticks_ms(); },
                     [this] {
                       ++questions;
                       return answer();
                     }};
  }
};

TEST_F(Asking, ProgramNotRunningLosesItsExecutableAtTheFirstTry) {
  fs.put(at("Tray.exe"), "MZ");
  fs.put(at("TClosed.dat"), "TrayClosed.\r\n");
  EXPECT_EQ(ask_to_close(fs, kDir, kTrayMarkers, "Tray.exe", wait()), CloseOutcome::closed);
  EXPECT_FALSE(fs.file_exists(at("Tray.exe")));
  EXPECT_FALSE(fs.file_exists(at("TClosed.dat")));              // the stale answer went first
  EXPECT_EQ(fs.read_file(at("TClose.dat")), "Close Now.\r\n");  // stays for the later removal steps
  EXPECT_EQ(pauses, 0);
}

TEST_F(Asking, WaitsUntilTheProgramAnswersAndExits) {
  fs.put(at("brevaro.exe"), "MZ");
  fs.set_running(at("brevaro.exe"), true);
  // The client sees the request on its third look and exits.
  on_pause = [this] {
    if (pauses == 3 && answer_close_request(fs, kDir, kClientMarkers)) fs.set_running(at("brevaro.exe"), false);
  };
  EXPECT_EQ(ask_to_close(fs, kDir, kClientMarkers, "brevaro.exe", wait()), CloseOutcome::closed);
  EXPECT_EQ(pauses, 3);
  EXPECT_FALSE(fs.file_exists(at("brevaro.exe")));
  EXPECT_EQ(fs.read_file(at("BVClosed.dat")), "BVClosed.\r\n");
  EXPECT_EQ(questions, 0);
}

TEST_F(Asking, ProgramThatNeverExitsBringsTheQuestionEveryThirtySeconds) {
  fs.put(at("brevaro.exe"), "MZ");
  fs.set_running(at("brevaro.exe"), true);
  int asked = 0;
  answer = [&] { return ++asked < 2; };  // "keep waiting" once, then give up
  EXPECT_EQ(ask_to_close(fs, kDir, kClientMarkers, "brevaro.exe", wait()), CloseOutcome::gave_up);
  EXPECT_EQ(questions, 2);
  EXPECT_EQ(clock.ticks_ms(), 60000u);
  EXPECT_TRUE(fs.file_exists(at("brevaro.exe")));
}

}  // namespace
}  // namespace brevaro::platform
