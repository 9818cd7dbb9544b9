// Hostile input: clear errors or correct regions, never a crash or a hang.
#include <gtest/gtest.h>

#include "region/description.h"
#include "tests/host/region/test_env.h"
#include "tests/host/region/test_util.h"

namespace brevaro::region {
namespace {

using testing::rects_of;
using testing::TestEnv;

std::string eval(const std::string& text) {
  TestEnv env;
  try {
    Region r = evaluate_description(text, env);
    return r ? rects_of(r) : "none";
  } catch (const ECannotTranslate& e) {
    return std::string("ECannotTranslate: ") + e.what();
  } catch (const EDivByZero& e) {
    return std::string("EDivByZero: ") + e.what();
  }
}

TEST(BadInput, OneMegabyteOfLines) {
  std::string text;
  for (int i = 0; text.size() < (1 << 20); ++i) {
    text += "R" + std::to_string(i % 100) + ",0," + std::to_string(i % 100 + 1) + ",1\r\n";
  }
  EXPECT_EQ(eval(text), "(0,0,100,1)");
}

TEST(BadInput, OneMegabyteExpression) {
  std::string text = "R0,0,1,";
  int ones = 1;
  while (text.size() < (1 << 20)) {
    text += "1+";
    ++ones;
  }
  text += "1";
  EXPECT_EQ(eval(text), "(0,0,1," + std::to_string(ones) + ")");
}

TEST(BadInput, OneMegabyteOfGarbage) {
  std::string text(1 << 20, '\x01');
  EXPECT_EQ(eval(text), "ECannotTranslate: Unknown command in line 1");
  std::string rs = "R" + std::string(1 << 20, ',');
  EXPECT_EQ(eval(rs), "ECannotTranslate: Invalid number of parameters in line 1");
  std::string poly = "L";
  for (int i = 0; i < 60000; ++i) poly += std::to_string(i % 97) + "," + std::to_string((i * 7) % 89) + ",";
  poly += "0,0";
  EXPECT_NE(eval(poly).rfind("ECannotTranslate", 0), 0u);
}

TEST(BadInput, TenThousandLines) {
  std::string text;
  for (int i = 0; i < 10000; ++i) text += (i % 2 ? "X\r\n" : "R0,0,10,10\r\n");
  EXPECT_EQ(eval(text + "R0,0,1,1"), "(0,0,1,1)");
  std::string opens;
  for (int i = 0; i < 10000; ++i) opens += "{\r\n";
  EXPECT_EQ(eval(opens), "ECannotTranslate: Too many brackets in line 15");
  std::string closes;
  for (int i = 0; i < 10000; ++i) closes += "}\r\n";
  EXPECT_EQ(eval(closes), "ECannotTranslate: '}' without '{' in line 1");
}

TEST(BadInput, TenThousandNestedParentheses) {
  const std::string deep = std::string(10000, '(') + "1" + std::string(10000, ')');
  EXPECT_EQ(eval("R0,0,0," + deep), "ECannotTranslate: Syntax error in position 257 in line 1");
  // The deepest nesting still allowed.
  const std::string ok = std::string(256, '(') + "7" + std::string(256, ')');
  EXPECT_EQ(eval("R0,0," + ok + ",1"), "(0,0,7,1)");
  // Unary minus chains need no recursion at all.
  EXPECT_EQ(eval("R0,0," + std::string(100001, '-') + "5,1"), "(-5,0,0,1)");
  // Unbalanced: the missing ')' is reported at the first place it is needed.
  EXPECT_EQ(eval("R0,0,0,((((1"), "ECannotTranslate: ')' expected in position 6 in line 1");
}

TEST(BadInput, NumbersPast32Bits) {
  EXPECT_EQ(eval("R0,0,99999999999999999999,1"), "(0,0,999999999,1)");
  EXPECT_EQ(eval("R0,0,0x1FFFFFFFF,1"), "(0,0,536870911,1)");
  EXPECT_EQ(eval("R0,0,2147483647+2147483647,1"), "(-2,0,0,1)");
  EXPECT_EQ(eval("R-2147483647-1,0,2147483647,1"), "(-2147483648,0,2147483647,1)");
}

TEST(BadInput, HugeShapesAreBounded) {
  // Far beyond what the platform can allocate: an empty operand.
  EXPECT_EQ(eval("E0,0,2000000000,2000000000"), "");
  EXPECT_EQ(eval("W0,0,1,2000000000,-1,5"), "");
  // Small corners on a huge rectangle are fine: only the corner rows count.
  EXPECT_EQ(eval("U-2000000000,-2000000000,2000000000,2000000000,4,4"),
            "(-1999999999,-2000000000,1999999998,-1999999999)"
            "(-2000000000,-1999999999,1999999999,1999999998)"
            "(-1999999999,1999999998,1999999998,1999999999)");
}

TEST(BadInput, ControlCharactersAndLoneLineBreaks) {
  EXPECT_EQ(eval("R0,0,5,5\n"), "(0,0,5,5)");  // lone LF ends the expression
  // A lone CR does not end the line.
  EXPECT_EQ(eval("R0,0,5,5\rR1,1,2,2"), "ECannotTranslate: Invalid number of parameters in line 1");
  EXPECT_EQ(eval("\r\n\r\n"), "none");
  EXPECT_EQ(eval(std::string("R0,0,5,\0", 8)), "ECannotTranslate: Syntax error in position 1 in line 1");
}

}  // namespace
}  // namespace brevaro::region
