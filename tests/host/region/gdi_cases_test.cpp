// The host backend still computes the regions recorded in
// tests/data/region/gdi_cases.inc (which tests/wine/region checks against
// GDI). After a deliberate change, regenerate the file with
// tests/data/region/make_gdi_cases.py.
#include <gtest/gtest.h>

#include "region/description.h"
#include "tests/wine/region/gdi_cases.h"

namespace brevaro::region {
namespace {

class NoProviders : public EvaluationEnvironment {
 public:
  Geometry geometry() const override { return testing::gdi_case_geometry(); }
  ExternalRegionSource* find_external_region(std::string_view) override { return nullptr; }
  void show_message(const std::string&) override {}
};

TEST(GdiCases, HostMatchesTheRecordedTable) {
  size_t n = 0;
  for (const auto& c : testing::kGdiCases) {
    NoProviders env;
    Region r = evaluate_description(c.description, env);
    ASSERT_TRUE(r.valid()) << c.description;
    EXPECT_EQ(r.rects(), testing::parse_rects(c.rects)) << c.description;
    ++n;
  }
  EXPECT_GE(n, 150u);
}

}  // namespace
}  // namespace brevaro::region
