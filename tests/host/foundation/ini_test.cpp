#include <gtest/gtest.h>

#include <string>

#include "base/ini.h"
#include "platform/headless/headless.h"

namespace brevaro {
namespace {

using base::IniDocument;

TEST(IniDocument, LooksUpLikePrivateProfileFiles) {
  const auto doc = IniDocument::parse(
      "; settings\r\n[Other]\r\nTop=1\r\n[  default ]\r\n  top =  42  "
      "\r\nLEFT=\"-7\"\r\nTop=99\r\nnoequals\r\n[Default]\r\nNextAd=3\r\n");
  EXPECT_EQ(doc.read_integer("Default", "Top", -1000), 42);   // section and key ignore case and blanks
  EXPECT_EQ(doc.read_integer("DEFAULT", "left", -1000), -7);  // quotes around a value are dropped
  EXPECT_EQ(doc.read_integer("Default", "NextAd", 0), 0);     // only the first matching section counts
  EXPECT_EQ(doc.read_string("Default", "UN", "NONE"), "NONE");
  EXPECT_EQ(doc.read_integer("Other", "Top", 0), 1);
}

TEST(IniDocument, IntegerValuesThatDoNotParseGiveTheDefault) {
  struct Case {
    const char* value;
    int expected;
  } cases[] = {
      {"abc", -1000}, {"", -1000}, {"12x", -1000}, {"2147483648", -1000}, {"-2147483648", INT32_MIN}, {"$1F", 31},
      {"0x10", 16},   {" 7 ", 7},  {"-0", 0}};
  for (const auto& c : cases) {
    const auto doc = IniDocument::parse(std::string("[Default]\nTop=") + c.value + "\n");
    EXPECT_EQ(doc.read_integer("Default", "Top", -1000), c.expected) << c.value;
  }
  const auto huge = IniDocument::parse("[Default]\nTop=" + std::string(10240, '7') + "\n");
  EXPECT_EQ(huge.read_integer("Default", "Top", -1000), -1000);
}

TEST(IniDocument, NonIniTextReadsAsDefaults) {
  std::string binary;
  for (int i = 0; i < 4096; ++i) binary.push_back(static_cast<char>((i * 7919) & 0xFF));
  const std::string utf16("\xFF\xFE[\0D\0e\0f\0a\0u\0l\0t\0]\0\r\0\n\0T\0o\0p\0=\0\x35\0", 34);
  for (const std::string& text : {binary, utf16, std::string(10 * 1024 * 1024, 'x'), std::string("Top=5\nLeft=6\n")}) {
    const auto doc = IniDocument::parse(text);
    EXPECT_EQ(doc.read_integer("Default", "Top", -1000), -1000);
    EXPECT_EQ(doc.read_string("Default", "UN", "NONE"), "NONE");
  }
}

TEST(IniDocument, ByteOrderMarksAtTheStartAreNotPartOfTheFirstLine) {
  for (const std::string marks : {"\xEF\xBB\xBF", "\xEF\xBB\xBF\xEF\xBB\xBF\xEF\xBB\xBF"}) {
    const auto doc = IniDocument::parse(marks + "[Default]\r\nTop=5\r\n");
    EXPECT_EQ(doc.read_integer("Default", "Top", 0), 5);
    EXPECT_EQ(doc.text(), "[Default]\r\nTop=5\r\n");  // saved and read again: the same document
  }
}

TEST(IniDocument, WritingChangesOnlyTheKeyAndKeepsEverythingElse) {
  auto doc = IniDocument::parse("; keep me\r\n[Default]\r\nTop=1\r\nUN=123\r\n\r\n[Other]\r\nx = y \r\n");
  doc.write_integer("default", "TOP", 250);
  doc.write_integer("Default", "NextAd", 4);
  doc.write_string("New", "Key", "a\r\nb");
  EXPECT_EQ(
      doc.text(),
      "; keep me\r\n[Default]\r\nTOP=250\r\nUN=123\r\nNextAd=4\r\n\r\n[Other]\r\nx = y \r\n\r\n[New]\r\nKey=a  b\r\n");
  doc.erase_section("OTHER");
  EXPECT_EQ(doc.text(), "; keep me\r\n[Default]\r\nTOP=250\r\nUN=123\r\nNextAd=4\r\n\r\n[New]\r\nKey=a  b\r\n");
  // Written and read back.
  const auto again = IniDocument::parse(doc.text());
  EXPECT_EQ(again.read_integer("Default", "Top", 0), 250);
  EXPECT_EQ(again.read_string("Default", "UN", ""), "123");
}

TEST(AtomicWrite, AFailedWriteLeavesTheOldFileIntact) {
  platform::headless::MemoryFileSystem fs;
  const std::string path = "C:\\prog\\Data\\Brevaro.ini";
  const std::string old_text = "[Default]\r\nTop=10\r\nLeft=20\r\nUN=200103051407090123\r\n";
  fs.put(path, old_text);
  const std::string new_text = old_text + "NextAd=7\r\n";

  fs.set_free_space(10);  // the disk fills in the middle of the write
  EXPECT_THROW(platform::write_file_atomically(fs, path, new_text), platform::FileError);
  EXPECT_EQ(fs.read_file(path), old_text);
  EXPECT_FALSE(fs.file_exists(path + ".tmp"));

  fs.set_free_space(-1);
  fs.set_in_use(path, true);  // another program holds the file
  EXPECT_THROW(platform::write_file_atomically(fs, path, new_text), platform::FileError);
  fs.set_in_use(path, false);
  EXPECT_EQ(fs.read_file(path), old_text);

  fs.set_read_only_folder("C:\\prog\\Data", true);
  EXPECT_THROW(platform::write_file_atomically(fs, path, new_text), platform::FileError);
  EXPECT_EQ(fs.read_file(path), old_text);
  fs.set_read_only_folder("C:\\prog\\Data", false);

  platform::write_file_atomically(fs, path, new_text);
  EXPECT_EQ(fs.read_file(path), new_text);
  EXPECT_FALSE(fs.file_exists(path + ".tmp"));
}

}  // namespace
}  // namespace brevaro
