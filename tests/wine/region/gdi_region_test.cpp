// The GDI backend gives the same regions as the host backend: every
// description of the generated table is evaluated with GDI regions and
// compared with EqualRgn against a region built (ExtCreateRegion) from the
// rectangles the host computed, and rectangle by rectangle after
// canonicalisation.
#include <windows.h>

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <string_view>

#include "platform/win32/handles.h"
#include "region/bitmap_region.h"
#include "region/description.h"
#include "region/shapes.h"
#include "region/win32/native.h"
#include "tests/wine/region/gdi_cases.h"
#include "tests/wine/region/tool_cases.h"
#include "tools/region/region_tool.h"

namespace brevaro::region {
namespace {

using testing::GdiCase;
using testing::kGdiCases;
using testing::parse_rects;

class NoProviders : public EvaluationEnvironment {
 public:
  Geometry geometry() const override { return testing::gdi_case_geometry(); }
  ExternalRegionSource* find_external_region(std::string_view) override { return nullptr; }
  void show_message(const std::string&) override {}
};

HRGN region_from_rects(const std::vector<Rect>& rects) {
  std::vector<unsigned char> buf(sizeof(RGNDATAHEADER) + rects.size() * sizeof(RECT));
  auto* data = reinterpret_cast<RGNDATA*>(buf.data());
  data->rdh.dwSize = sizeof(RGNDATAHEADER);
  data->rdh.iType = RDH_RECTANGLES;
  data->rdh.nCount = static_cast<DWORD>(rects.size());
  data->rdh.nRgnSize = 0;
  data->rdh.rcBound = RECT{0, 0, 0, 0};
  auto* out = reinterpret_cast<RECT*>(data->Buffer);
  for (size_t i = 0; i < rects.size(); ++i) {
    out[i] = RECT{rects[i].left, rects[i].top, rects[i].right, rects[i].bottom};
  }
  return ExtCreateRegion(nullptr, static_cast<DWORD>(buf.size()), data);
}

// GDI's own representation of a region need not be coalesced (Wine's
// CreateRoundRectRgn keeps one rectangle per arc row, equal rows included),
// and EqualRgn compares representations. Rebuilding a region from its own
// region data with ExtCreateRegion gives GDI's normal form.
HRGN normalized(HRGN rgn) {
  const DWORD size = GetRegionData(rgn, 0, nullptr);
  std::vector<unsigned char> buf(size);
  GetRegionData(rgn, size, reinterpret_cast<RGNDATA*>(buf.data()));
  return ExtCreateRegion(nullptr, size, reinterpret_cast<RGNDATA*>(buf.data()));
}

// Equal as sets of pixels, whatever the representation.
bool same_pixels(HRGN a, HRGN b) {
  const platform::win32::UniqueRegion x{CreateRectRgn(0, 0, 0, 0)};
  return CombineRgn(x.get(), a, b, RGN_XOR) == NULLREGION;
}

// A readable test name for a table row: its number, then the start of the
// row's text with every run of characters other than letters and digits as
// one "_".
std::string case_name(std::size_t index, std::string_view text) {
  std::string name = std::to_string(index) + "_";
  for (char c : text.substr(0, 48)) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    if (plain) name += c;
    else if (name.back() != '_') name += '_';
  }
  return name;
}

class GdiTable : public ::testing::TestWithParam<GdiCase> {};

TEST_P(GdiTable, SameRegionAsTheHost) {
  NoProviders env;
  Region got = evaluate_description(GetParam().description, env);
  ASSERT_TRUE(got.valid());
  const auto want = parse_rects(GetParam().rects);
  const platform::win32::UniqueRegion expected{region_from_rects(want)};
  ASSERT_NE(expected.get(), nullptr);
  const platform::win32::UniqueRegion got_normal{normalized(hrgn_of(got))};
  EXPECT_TRUE(EqualRgn(got_normal.get(), expected.get())) << GetParam().description;
  EXPECT_TRUE(same_pixels(hrgn_of(got), expected.get())) << GetParam().description;
  EXPECT_EQ(got.rects(), want) << GetParam().description;
}

INSTANTIATE_TEST_SUITE_P(Cases, GdiTable, ::testing::ValuesIn(kGdiCases),
                         [](const ::testing::TestParamInfo<GdiCase>& row) {
                           return case_name(row.index, row.param.description);
                         });

// The portable scan converters, compiled for Windows too, agree with GDI
// over a sweep of small shapes (the same code computes the host regions).
TEST(GdiShapes, PortableScanConversionMatchesGdi) {
  std::mt19937 rng(5);
  int compared = 0;
  for (int i = 0; i < 3000; ++i) {
    const int x0 = static_cast<int>(rng() % 80) - 40;
    const int y0 = static_cast<int>(rng() % 80) - 40;
    const int x1 = x0 + static_cast<int>(rng() % 120) - 40;
    const int y1 = y0 + static_cast<int>(rng() % 120) - 40;
    std::vector<Rect> mine;
    HRGN gdi = nullptr;
    const int kind = i % 3;
    if (kind == 2) {
      std::vector<Point> pts(3 + rng() % 8);
      for (auto& p : pts) p = Point{static_cast<int>(rng() % 100) - 20, static_cast<int>(rng() % 100) - 20};
      const FillMode mode = (rng() % 2) ? FillMode::Alternate : FillMode::Winding;
      std::vector<POINT> gp;
      for (auto& p : pts) gp.push_back(POINT{p.x, p.y});
      mine = polygon_rects(pts, mode);
      gdi = CreatePolygonRgn(gp.data(), static_cast<int>(gp.size()), static_cast<int>(mode));
    } else {
      // Wide enough corners only: thin arcs leave rows that Wine does not
      // initialise.
      if (std::abs(x1 - x0) < 12 || std::abs(y1 - y0) < 12) continue;
      const int ew = kind == 0 ? x1 - x0 : 8 + static_cast<int>(rng() % 60);
      const int eh = kind == 0 ? y1 - y0 : 8 + static_cast<int>(rng() % 60);
      mine = round_rect_rects(x0, y0, x1, y1, ew, eh);
      gdi = kind == 0 ? CreateEllipticRgn(x0, y0, x1, y1) : CreateRoundRectRgn(x0, y0, x1, y1, ew, eh);
    }
    ASSERT_NE(gdi, nullptr);
    Region g = adopt_hrgn(gdi);
    ASSERT_EQ(g.rects(), canonicalize(mine)) << "case " << i;
    ++compared;
  }
  EXPECT_GT(compared, 1500);
}

TEST(GdiRegion, CombineModesAndOffset) {
  const Region b = Region::rect(5, 0, 15, 10);
  auto with = [&](CombineMode m) {
    Region a = Region::rect(0, 0, 10, 10);
    a.combine(b, m);
    return a.rects();
  };
  EXPECT_EQ(with(CombineMode::And), (std::vector<Rect>{{5, 0, 10, 10}}));
  EXPECT_EQ(with(CombineMode::Or), (std::vector<Rect>{{0, 0, 15, 10}}));
  EXPECT_EQ(with(CombineMode::Xor), (std::vector<Rect>{{0, 0, 5, 10}, {10, 0, 15, 10}}));
  EXPECT_EQ(with(CombineMode::Diff), (std::vector<Rect>{{0, 0, 5, 10}}));
  Region c = Region::ellipse(0, 0, 10, 10);
  Region d = c.copy();
  d.offset(3, -2);
  EXPECT_EQ(d.bbox(), (Rect{3, -2, 12, 7}));
  EXPECT_EQ(c.bbox(), (Rect{0, 0, 9, 9}));
  EXPECT_TRUE(Region::empty().is_empty());
  EXPECT_TRUE(Region::from_rects(std::vector<Rect>{{0, 0, 2, 1}, {2, 0, 4, 1}}).equals(Region::rect(0, 0, 4, 1)));
}

// Bitmap scan with GDI region data (ExtCreateRegion batches of 2000 merged
// by CombineRgn) against the runs all at once.
TEST(GdiBitmap, BatchedScanEqualsAllRuns) {
  std::mt19937 rng(9);
  Bitmap b = Bitmap::indexed(401, 97, 1, {0x000000, 0xFFFFFF});
  for (int32_t y = 0; y < b.height(); ++y)
    for (int32_t x = 0; x < b.width(); ++x) b.set(x, y, rng() % 3 == 0 ? 1 : 0);
  std::vector<Rect> runs;
  scan_runs(b, 0xFFFFFF, false, [&](int32_t l, int32_t r, int32_t y) { runs.push_back({l, y, r, y + 1}); });
  ASSERT_GT(runs.size(), 4000u);
  const Region got = bitmap_to_region(b, 0xFFFFFF, false);
  const platform::win32::UniqueRegion want{region_from_rects(runs)};
  const platform::win32::UniqueRegion got_normal{normalized(hrgn_of(got))};
  EXPECT_TRUE(EqualRgn(got_normal.get(), want.get()));
  EXPECT_TRUE(same_pixels(hrgn_of(got), want.get()));
  EXPECT_EQ(got.rects(), canonicalize(runs));
  // All transparent: empty; inverted: the full rectangle.
  const Bitmap white = Bitmap::rgb(30, 20, 0xFFFFFF);
  EXPECT_TRUE(bitmap_to_region(white, 0xFFFFFF, false).is_empty());
  EXPECT_EQ(bitmap_to_region(white, 0xFFFFFF, true).rects(), (std::vector<Rect>{{0, 0, 30, 20}}));
}

// The Windows build of brevaro-region prints the same lines as the host
// build for the same arguments.
class ToolTable : public ::testing::TestWithParam<testing::ToolCase> {};

TEST_P(ToolTable, SameOutputAsTheHostTool) {
  // The source tree as Wine sees it, on drive Z:.
  const auto args = testing::tool_args(GetParam(), "Z:" BREVARO_REGION_DATA_DIR);
  std::ostringstream out, err;
  EXPECT_EQ(tool::run(args, out, err), GetParam().code) << GetParam().args << "\n" << err.str();
  EXPECT_EQ(out.str(), GetParam().output) << GetParam().args;
}

INSTANTIATE_TEST_SUITE_P(Cases, ToolTable, ::testing::ValuesIn(testing::kToolCases),
                         [](const ::testing::TestParamInfo<testing::ToolCase>& row) {
                           return case_name(row.index, row.param.args);
                         });

}  // namespace
}  // namespace brevaro::region
