// The brevaro-gif tool: its output format and exit codes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/host/gif/gif_writer.h"

namespace {

std::string run(const std::string& args, int& status) {
  const std::string cmd = std::string(BREVARO_GIF_TOOL) + " " + args + " 2>&1";
  std::FILE* p = popen(cmd.c_str(), "r");
  std::string out;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  status = pclose(p);
  status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return out;
}

std::filesystem::path temp_dir(const std::string& name) {
  auto d = std::filesystem::temp_directory_path() / ("brevaro-gif-tool-" + name + "-" + std::to_string(getpid()));
  std::filesystem::remove_all(d);
  std::filesystem::create_directories(d);
  return d;
}

TEST(GifTool, InfoPrintsTheFileAndItsFrames) {
  using namespace brevaro::gif::testing;
  const auto dir = temp_dir("info");
  GifWriter w(10, 6, 2);
  WriterFrame a = solid_frame(4, 3, 1);
  a.delay_cs = 12;
  a.disposal = 5;
  a.transparent = true;
  a.transparent_index = 2;
  WriterFrame b = solid_frame(10, 6, 3);
  b.left = 0;
  b.interlaced = true;
  b.local_palette = {1, 2, 3, 4, 5, 6};
  w.loop(0).frame(a).frame(b).trailer();
  {
    std::ofstream out(dir / "a.gif", std::ios::binary);
    out.write(reinterpret_cast<const char*>(w.bytes().data()), static_cast<std::streamsize>(w.bytes().size()));
  }
  int status = 0;
  const std::string out = run("info " + (dir / "a.gif").string(), status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out,
            "version 89a\n"
            "screen 10 6\n"
            "loop 0\n"
            "frames 2\n"
            "frame 1 left 0 top 0 width 4 height 3 delay 120 disposal 2 transparent 1 index 2 interlaced 0 "
            "localpalette 0\n"
            "frame 2 left 0 top 0 width 10 height 6 delay 0 disposal 0 transparent 0 index 0 interlaced 1 "
            "localpalette 1\n");
  std::filesystem::remove_all(dir);
}

TEST(GifTool, InfoOfTheCorpus87aWithoutLoopBlock) {
  int status = 0;
  const std::string out = run(std::string("info ") + BREVARO_GIF_CORPUS + "/v87a.gif", status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out.rfind("version 87a\nscreen 29 19\nloop 1\nframes 1\nframe 1 left 0 top 0 width 29 height 19", 0), 0u)
      << out;
}

TEST(GifTool, FailuresExitOneWithAnError) {
  const auto dir = temp_dir("bad");
  {
    std::ofstream out(dir / "bad.gif", std::ios::binary);
    out << "this is not a gif";
  }
  int status = 0;
  std::string out = run("info " + (dir / "bad.gif").string(), status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(out.rfind("error: ", 0), 0u) << out;
  out = run("info " + (dir / "missing.gif").string(), status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(out.rfind("error: ", 0), 0u) << out;
  out = run("frames " + (dir / "bad.gif").string() + " " + (dir / "out").string(), status);
  EXPECT_EQ(status, 1);
  std::filesystem::remove_all(dir);
}

TEST(GifTool, FramesWritesComposedPamFiles) {
  const auto dir = temp_dir("frames");
  int status = 0;
  run(std::string("frames ") + BREVARO_GIF_CORPUS + "/anim-transparent-bg.gif " + (dir / "out").string(), status);
  ASSERT_EQ(status, 0);
  for (const char* name : {"frame-001.pam", "frame-002.pam"}) {
    std::ifstream in(dir / "out" / name, std::ios::binary);
    ASSERT_TRUE(in) << name;
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string header = "P7\nWIDTH 60\nHEIGHT 60\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    ASSERT_EQ(data.rfind(header, 0), 0u);
    ASSERT_EQ(data.size(), header.size() + 60 * 60 * 4);
    // Corner: transparent (alpha 0, black); centre: opaque.
    EXPECT_EQ(static_cast<unsigned char>(data[header.size() + 3]), 0);
    EXPECT_EQ(data[header.size() + 0], 0);
    const std::size_t centre = header.size() + (30 * 60 + 30) * 4;
    EXPECT_EQ(static_cast<unsigned char>(data[centre + 3]), 255);
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "out" / "frame-003.pam"));
  std::filesystem::remove_all(dir);
}

}  // namespace
