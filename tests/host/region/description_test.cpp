// The region description language.
#include <gtest/gtest.h>

#include "region/description.h"
#include "tests/host/region/test_env.h"
#include "tests/host/region/test_util.h"

namespace brevaro::region {
namespace {

using testing::FixedSource;
using testing::rects_of;
using testing::TestEnv;
using testing::to_string;

std::string join(const std::vector<std::string>& lines) {
  std::string s;
  for (size_t i = 0; i < lines.size(); ++i) s += (i ? "\r\n" : "") + lines[i];
  return s;
}

std::string eval(const std::string& text, TestEnv& env) {
  try {
    Region r = evaluate_description(text, env);
    if (!r) return "none";
    return rects_of(r);
  } catch (const ECannotTranslate& e) {
    return std::string("ECannotTranslate: ") + e.what();
  } catch (const EDivByZero& e) {
    return std::string("EDivByZero: ") + e.what();
  }
}

std::string expected(Region r) { return rects_of(r); }

struct Case {
  const char* name;
  std::vector<std::string> lines;
  std::string want;
};

class DescriptionTable : public ::testing::TestWithParam<Case> {};

TEST_P(DescriptionTable, Evaluates) {
  TestEnv env;
  env.geo = Geometry{100, 80, 4, 20, 90, 55, 18};  // X=4 C=20 R=94 B=75 W=100 H=80 Y=2
  EXPECT_EQ(eval(join(GetParam().lines), env), GetParam().want);
}

std::string window_minus_ellipse() {
  Region r = Region::rect(0, 0, 100, 80);
  r.combine(Region::ellipse(10, 10, 50, 50), CombineMode::Diff);
  return rects_of(r);
}

std::string window_minus_squares() {
  Region r = Region::rect(0, 0, 100, 80);
  r.combine(Region::rect(0, 0, 5, 5), CombineMode::Diff);
  r.combine(Region::rect(10, 10, 15, 15), CombineMode::Diff);
  return rects_of(r);
}

INSTANTIATE_TEST_SUITE_P(
    Language, DescriptionTable,
    ::testing::Values(
        Case{"rect", {"R0,0,10,10"}, "(0,0,10,10)"},
        Case{"first_operand_after_mode", {"D", "R0,0,10,10"}, "(0,0,10,10)"},
        Case{"window_minus_ellipse", {"R0,0,W,H", "D", "E10,10,50,50"}, window_minus_ellipse()},
        Case{"block_union_subtracted", {"R0,0,W,H", "D", "{", "R0,0,5,5", "R10,10,15,15", "}"}, window_minus_squares()},
        Case{"and_mode", {"R0,0,10,10", "A", "R5,5,20,20"}, "(5,5,10,10)"},
        Case{"xor_mode", {"R0,0,10,10", "X", "R5,0,15,10"}, "(0,0,5,10)(10,0,15,10)"},
        Case{"or_again", {"R0,0,10,10", "D", "R0,0,5,10", "O", "R20,0,30,10"}, "(5,0,10,10)(20,0,30,10)"},
        Case{"mode_stays", {"R0,0,30,10", "D", "R0,0,5,10", "R25,0,30,10"}, "(5,0,25,10)"},
        Case{"new_block_starts_with_or", {"D", "{", "R0,0,5,5", "R5,0,10,5", "}"}, "(0,0,10,5)"},
        Case{"empty_block", {"R0,0,5,5", "{", "}"}, "(0,0,5,5)"},
        Case{"unclosed_block_discarded", {"R0,0,5,5", "{", "R10,10,20,20"}, "(0,0,5,5)"},
        Case{"only_unclosed_block", {"{", "R10,10,20,20"}, "none"}, Case{"mode_alone", {"D"}, "none"},
        Case{"expression", {"R-(2*3),0,10/3,W-X"}, "(-6,0,3,96)"}, Case{"letters", {"RX,C,R,B"}, "(4,20,94,75)"},
        Case{"caption_letter", {"R0,Y,W,C"}, "(0,2,100,20)"}, Case{"hex", {"R0,0,0x1f,0X0A"}, "(0,0,31,10)"},
        Case{"lower_case", {"r0,0,w,h", "d", "e10,10,50,50"}, window_minus_ellipse()},
        Case{"trailing_text_ignored", {"R0,0,5 ,5"}, "(0,0,5,5)"},
        Case{"close_paren_ignored", {"R0,0,5),5"}, "(0,0,5,5)"},
        Case{"unknown_command", {"R0,0,5,5", "Q"}, "ECannotTranslate: Unknown command in line 2"},
        Case{"too_few", {"R0,0,10"}, "ECannotTranslate: Invalid number of parameters in line 1"},
        Case{"too_many", {"E0,0,10,10,5"}, "ECannotTranslate: Invalid number of parameters in line 1"},
        Case{"round_rect_count", {"U0,0,10,10,5"}, "ECannotTranslate: Invalid number of parameters in line 1"},
        Case{"two_point_polygon", {"L0,0,10,0"}, "ECannotTranslate: Invalid number of parameters in line 1"},
        Case{"odd_values_polygon", {"W0,0,10,0,5"}, "ECannotTranslate: Invalid number of parameters in line 1"},
        Case{"paren_expected", {"R0,0,(5,5"}, "ECannotTranslate: ')' expected in position 3 in line 1"},
        Case{"space_first", {"R0,0, 5,5"}, "ECannotTranslate: Syntax error in position 1 in line 1"},
        Case{"empty_piece", {"R0,,5,5"}, "ECannotTranslate: Syntax error in position 1 in line 1"},
        Case{"bad_letter", {"R0,0,Q,5"}, "ECannotTranslate: Syntax error in position 1 in line 1"},
        Case{"bad_after_op", {"R0,0,5+*2,5"}, "ECannotTranslate: Syntax error in position 3 in line 1"},
        Case{"close_without_open", {"R0,0,5,5", "}"}, "ECannotTranslate: '}' without '{' in line 2"},
        Case{"fourteen_open", std::vector<std::string>(14, "{"), "none"},
        Case{"fifteen_open", std::vector<std::string>(15, "{"), "ECannotTranslate: Too many brackets in line 15"},
        Case{"error_in_line_3",
             {"R0,0,5,5", "R0,0,5,5", "Rx"},
             "ECannotTranslate: Invalid number of parameters in line 3"},
        Case{"division_by_zero", {"R0,0,5,5", "R0,0,5/0,5"}, "EDivByZero: Division by zero"},
        Case{"division_by_zero_expression", {"R0,0,5/(W-W),5"}, "EDivByZero: Division by zero"},
        Case{"polygon",
             {"L0,0,10,0,0,10"},
             expected(Region::polygon(std::vector<Point>{{0, 0}, {10, 0}, {0, 10}}, FillMode::Alternate))},
        Case{"polygon_winding",
             {"W50,0,79,90,2,35,98,35,21,90"},
             expected(Region::polygon(std::vector<Point>{{50, 0}, {79, 90}, {2, 35}, {98, 35}, {21, 90}},
                                      FillMode::Winding))},
        Case{"round_rect", {"U0,0,10,10,4,4"}, "(1,0,8,1)(0,1,9,8)(1,8,8,9)"},
        Case{"t_short", {"TL"}, "ECannotTranslate: Syntax error in line 1"},
        Case{"t_missing_comma", {"TLT0,0"}, "ECannotTranslate: Invalid number of parameters in line 1"},
        Case{"t_missing_both", {"TLT0"}, "ECannotTranslate: Invalid number of parameters in line 1"},
        Case{"empty_lines_skipped", {"R0,0,5,5", "", "R5,0,10,5", ""}, "(0,0,10,5)"}),
    [](const ::testing::TestParamInfo<Case>& param_info) { return std::string(param_info.param.name); });

TEST(Description, EmptyYieldsNoRegion) {
  TestEnv env;
  EXPECT_FALSE(evaluate_description("", env).valid());
}

struct ExprCase {
  const char* text;
  int32_t want;
};

TEST(Expression, Values) {
  const Geometry g{871, 488, 3, 22, 865, 460, 19};
  const ExprCase cases[] = {
      {"-7/2", -3},
      {"7/-2", -3},
      {"0x1f", 31},
      {"0X1F", 31},
      {"0x", 0},
      {"0xg", 0},
      {"1+2*3", 7},
      {"(1+2)*3", 9},
      {"10-3-2", 5},
      {"100/10/5", 2},
      {"--5", 5},
      {"-(-(5))", 5},
      {"2*-3", -6},
      {"W", 871},
      {"H", 488},
      {"X", 3},
      {"C", 22},
      {"R", 868},
      {"B", 482},
      {"Y", 3},
      {"W-X", 868},
      {"5)", 5},
      {"5 +1", 5},
      {"07", 7},
      {"2147483647", 2147483647},
      {"2147483647+1", -2147483647 - 1},  // wraps
      {"-2147483647-1", -2147483647 - 1},
      {"(-2147483647-1)/-1", -2147483647 - 1},  // wraps, no trap
      {"65536*65536", 0},                       // wraps
      {"0xFFFFFFFF", -1},
      {"0x7FFFFFFF", 2147483647},
      {"99999999999", 999999999},  // longest valid 32-bit literal
      {"2147483648", 214748364},
      {"0x123456789", 0x12345678},
      {"00000000000000000042", 42},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(evaluate_expression(c.text, g), c.want) << c.text;
  }
}

TEST(Expression, Errors) {
  const Geometry g = Geometry::whole_window(10, 10);
  auto err = [&](const char* t) {
    try {
      evaluate_expression(t, g);
      return std::string("ok");
    } catch (const ECannotTranslate& e) {
      return std::string(e.what());
    }
  };
  EXPECT_EQ(err("(5"), "')' expected in position 3");
  EXPECT_EQ(err("((1+2)"), "')' expected in position 7");
  EXPECT_EQ(err(""), "Syntax error in position 1");
  EXPECT_EQ(err(" 5"), "Syntax error in position 1");
  EXPECT_EQ(err("5*"), "Syntax error in position 3");
  EXPECT_EQ(err("-"), "Syntax error in position 2");
  EXPECT_EQ(err("Z"), "Syntax error in position 1");
  EXPECT_THROW(evaluate_expression("1/0", g), EDivByZero);
}

// ---- T: external regions ----------------------------------------------------

TEST(DescriptionExternal, AlignsLeftTopOnSourceSize) {
  TestEnv env;
  // Non-transparent pixels only from (10,5); the source picture is 582x488.
  FixedSource pict("PictExtRgn1", {{10, 5, 20, 15}}, SourceSize{582, 488});
  env.providers = {&pict};
  EXPECT_EQ(eval("TLT0,0,PictExtRgn1", env), "(10,5,20,15)");
  EXPECT_EQ(eval("tlt0,0,pictextrgn1", env), "(10,5,20,15)");
  EXPECT_EQ(eval("TRB582,488,PICTEXTRGN1", env), "(10,5,20,15)");
  EXPECT_EQ(eval("TLT7,3,PictExtRgn1", env), "(17,8,27,18)");
}

TEST(DescriptionExternal, AlignsOnBoundingBoxWithoutSourceSize) {
  TestEnv env;
  FixedSource pict("P", {{10, 5, 20, 15}});
  env.providers = {&pict};
  EXPECT_EQ(eval("TLT0,0,P", env), "(0,0,10,10)");
  EXPECT_EQ(eval("TRB100,50,P", env), "(90,40,100,50)");
  EXPECT_EQ(eval("TCC0,0,P", env), "(-5,-5,5,5)");
  // Centre with an odd size: (left + right) / 2 truncates toward zero.
  FixedSource odd("O", {{-7, -7, 0, 0}});
  env.providers = {&odd};
  EXPECT_EQ(eval("TCC0,0,O", env), "(-4,-4,3,3)");
}

TEST(DescriptionExternal, MixedAxes) {
  TestEnv env;
  FixedSource pict("P", {{10, 5, 20, 15}}, SourceSize{-1, 100});
  env.providers = {&pict};
  EXPECT_EQ(eval("TLB0,0,P", env), "(0,-95,10,-85)");
}

TEST(DescriptionExternal, UnknownNameShowsMessageAndGoesOn) {
  TestEnv env;
  EXPECT_EQ(eval(join({"R0,0,10,10", "TLT0,0,NoSuch", "R10,0,20,10"}), env), "(0,0,20,10)");
  ASSERT_EQ(env.messages.size(), 1u);
  EXPECT_EQ(env.messages[0], "External region NOSUCH not found");
}

TEST(DescriptionExternal, NameIsTheRestOfTheLine) {
  TestEnv env;
  FixedSource pict("A,B", {{0, 0, 1, 1}});
  env.providers = {&pict};
  EXPECT_EQ(eval("TLT0,0,a,b", env), "(0,0,1,1)");
}

TEST(DescriptionExternal, BadAlignmentLetters) {
  TestEnv env;
  FixedSource pict("P", {{0, 0, 1, 1}});
  env.providers = {&pict};
  EXPECT_EQ(eval("TQT0,0,P", env), "ECannotTranslate: Syntax error in line 1");
  EXPECT_EQ(eval("TLQ0,0,P", env), "ECannotTranslate: Syntax error in line 1");
  // A missing provider is not an error, whatever the letters.
  EXPECT_EQ(eval("TQQ0,0,Nope", env), "none");
}

TEST(DescriptionExternal, ProviderWithoutRegionContributesNothing) {
  TestEnv env;
  FixedSource pict("P", {{0, 0, 1, 1}});
  pict.none = true;
  env.providers = {&pict};
  EXPECT_EQ(eval(join({"R0,0,3,3", "D", "TLT0,0,P"}), env), "(0,0,3,3)");
  EXPECT_EQ(pict.calls, 1);
}

TEST(DescriptionExternal, EmptyRegionIsStillAnOperand) {
  TestEnv env;
  FixedSource pict("P", {});
  env.providers = {&pict};
  EXPECT_EQ(eval(join({"TLT0,0,P", "R0,0,3,3"}), env), "(0,0,3,3)");
  EXPECT_EQ(eval(join({"TLT0,0,P", "A", "R0,0,3,3"}), env), "");
}

}  // namespace
}  // namespace brevaro::region
