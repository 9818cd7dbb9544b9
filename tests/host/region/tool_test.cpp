// The brevaro-region tool, run in-process.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "region/bitmap.h"
#include "tests/wine/region/tool_cases.h"
#include "tools/region/region_tool.h"

namespace brevaro::region {
namespace {

struct Result {
  int code;
  std::string out;
  std::string err;
};

Result run(std::vector<std::string> args) {
  std::ostringstream out, err;
  const int code = tool::run(args, out, err);
  return {code, out.str(), err.str()};
}

std::string temp_path(const std::string& name) {
  return (std::filesystem::temp_directory_path() / ("brevaro-region-test-" + std::to_string(::getpid()) + "-" + name))
      .string();
}

void write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

TEST(Tool, PrintsRectsAndBbox) {
  const auto r = run({"R0,0,10,10\\nD\\nR2,2,4,4"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "rect 0 0 10 2\nrect 0 2 2 4\nrect 4 2 10 4\nrect 0 4 10 10\nbbox 0 0 10 10\n");
}

TEST(Tool, DefaultsAndGeometryOptions) {
  EXPECT_EQ(run({"R0,0,W,H"}).out, "rect 0 0 871 488\nbbox 0 0 871 488\n");
  EXPECT_EQ(run({"--window", "100,50", "RX,C,R,B"}).out, "rect 0 0 100 50\nbbox 0 0 100 50\n");
  EXPECT_EQ(run({"--window", "100,50", "--client", "3,20,94,27", "--caption", "17", "RX,Y,R,B"}).out,
            "rect 3 3 97 47\nbbox 3 3 97 47\n");
}

TEST(Tool, Errors) {
  const auto r = run({"R0,0,(5,5"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, "error: ')' expected in position 3 in line 1\n");
  EXPECT_EQ(run({"R0,0,5/0,5"}).out, "error: Division by zero\n");
  EXPECT_EQ(run({"--window", "1,2,3", "R0,0,1,1"}).code, 2);
  EXPECT_EQ(run({}).code, 2);
  EXPECT_EQ(run({"--bitmap", "P=/nonexistent.bmp", "TLT0,0,P"}).code, 2);
  const std::string data = BREVARO_REGION_DATA_DIR;
  const auto dup =
      run({"--bitmap", "P=" + data + "/palette8.bmp", "--bitmap", "p=" + data + "/palette8.bmp", "TLT0,0,P"});
  EXPECT_EQ(dup.code, 2);
  EXPECT_EQ(dup.err, "brevaro-region: A component named p already exists\n");
}

TEST(Tool, NoRegionBuiltStillEndsWithTheBoundingBox) {
  for (const char* description : {"", "D", "{\\nR0,0,5,5", "TLT0,0,Missing"}) {
    const auto r = run({description});
    EXPECT_EQ(r.code, 0) << description;
    EXPECT_EQ(r.out, "bbox 0 0 0 0\n") << description;
  }
}

TEST(Tool, BitmapProviderWithSourceAlignment) {
  Bitmap b = Bitmap::indexed(6, 3, 1, {0x000000, 0xFFFFFF});
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 6; ++x) b.set(x, y, 1);
  b.set(2, 1, 0);
  b.set(3, 1, 0);
  const std::string path = temp_path("p.bmp");
  write_file(path, write_bmp(b));
  EXPECT_EQ(run({"--bitmap", "Pict=" + path + ",trans=FFFFFF,source", "tlt0,0,pict"}).out,
            "rect 2 1 4 2\nbbox 2 1 4 2\n");
  EXPECT_EQ(run({"--bitmap", "Pict=" + path + ",trans=FFFFFF", "TLT0,0,Pict"}).out, "rect 0 0 2 1\nbbox 0 0 2 1\n");
  EXPECT_EQ(run({"--bitmap", "Pict=" + path + ",trans=FFFFFF,inverted,source", "TLT0,0,Pict"}).out,
            "rect 0 0 6 1\nrect 0 1 2 2\nrect 4 1 6 2\nrect 0 2 6 3\nbbox 0 0 6 3\n");
  const auto missing = run({"TLT0,0,Nope\\nR0,0,1,1"});
  EXPECT_EQ(missing.out, "rect 0 0 1 1\nbbox 0 0 1 1\n");
  EXPECT_EQ(missing.err, "message: External region NOPE not found\n");
  std::remove(path.c_str());
}

TEST(Tool, WritesPng) {
  const std::string path = temp_path("out.png");
  EXPECT_EQ(run({"--window", "20,10", "--png", path, "E0,0,20,10"}).code, 0);
  std::ifstream f(path, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  ASSERT_GT(bytes.size(), 8u + 25u + 12u);
  EXPECT_EQ(std::string(bytes.data() + 1, 3), "PNG");
  std::remove(path.c_str());
}

TEST(Tool, UnescapeDescription) { EXPECT_EQ(tool::unescape_description("A\\nB\\\\n"), "A\r\nB\\\r\n"); }

// The recorded outputs (which the Windows build must print too) are still
// what the host build prints.
TEST(Tool, RecordedCasesStillHold) {
  for (const auto& c : testing::kToolCases) {
    const auto r = run(testing::tool_args(c, BREVARO_REGION_DATA_DIR));
    EXPECT_EQ(r.code, c.code) << c.args;
    EXPECT_EQ(r.out, c.output) << c.args;
  }
}

}  // namespace
}  // namespace brevaro::region
