// Whole-file reads through the C library on the real file system.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "base/file_read.h"

namespace brevaro {
namespace {

namespace fs = std::filesystem;
using base::FileReadStatus;

TEST(ReadWholeFile, StatusAndBytesForEachKindOfPath) {
  const fs::path dir = fs::temp_directory_path() / ("brevaro-read-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "folder");
  const std::string bytes("GIF89a\0\r\n\xFF", 10);
  std::ofstream(dir / "file.gif", std::ios::binary) << bytes;
  std::ofstream(dir / "empty.gif", std::ios::binary).flush();
  const std::string big(100000, 'b');  // more than one read chunk
  std::ofstream(dir / "big.bin", std::ios::binary) << big;

  const struct {
    const char* name;
    FileReadStatus status;
    std::string bytes;
  } cases[] = {
      {"file.gif", FileReadStatus::ok, bytes},
      {"empty.gif", FileReadStatus::ok, ""},
      {"big.bin", FileReadStatus::ok, big},
      {"missing.gif", FileReadStatus::missing, ""},
      {"no-folder/missing.gif", FileReadStatus::missing, ""},
      {"file.gif/inside", FileReadStatus::missing, ""},  // a file taken for a folder
      {"folder", FileReadStatus::cannot_open, ""},
  };
  for (const auto& c : cases) {
    const auto got = base::read_whole_file((dir / c.name).string());
    EXPECT_EQ(got.status, c.status) << c.name;
    EXPECT_EQ(std::string(got.bytes.begin(), got.bytes.end()), c.bytes) << c.name;
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace brevaro
