// TFormRegion, TExternalRegion and TPictExtRgn on a headless owner form.
#include <gtest/gtest.h>

#include "region/components.h"
#include "tests/host/region/fake_form.h"
#include "tests/host/region/test_util.h"

namespace brevaro::region {
namespace {

using testing::FakeForm;
using testing::rects_of;

Bitmap skin_like(int32_t w, int32_t h) {
  // One-bit picture: white border of 3 pixels around a black interior.
  Bitmap b = Bitmap::indexed(w, h, 1, {0x000000, 0xFFFFFF});
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) b.set(x, y, (x < 3 || y < 3 || x >= w - 3 || y >= h - 3) ? 1 : 0);
  return b;
}

TEST(FormRegion, ConstructionChecks) {
  FakeForm form;
  TFormRegion first(&form);
  try {
    TFormRegion second(&form);
    FAIL();
  } catch (const EDuplicateComponent& e) {
    EXPECT_STREQ(e.what(), "Only one TFormRegion component on a form is allowed");
  }
  FakeForm not_a_form;
  not_a_form.form = false;
  try {
    TFormRegion r(&not_a_form);
    FAIL();
  } catch (const EOwnerMustBeForm& e) {
    EXPECT_STREQ(e.what(), "The owner of TFormRegion component must be the TForm descendant");
  }
  EXPECT_THROW(TFormRegion(nullptr), EOwnerMustBeForm);
  try {
    TPictExtRgn p(&not_a_form);
    FAIL();
  } catch (const EOwnerMustBeForm& e) {
    EXPECT_STREQ(e.what(), "The owner of TPictExtRgn component must be the TForm descendant");
  }
}

TEST(FormRegion, SetRegionAppliesACopy) {
  FakeForm form;
  TFormRegion fr(&form);
  EXPECT_EQ(form.hooks.size(), 1u);
  fr.set_region("R0,0,10,10");
  ASSERT_TRUE(form.window_region.valid());
  EXPECT_EQ(rects_of(form.window_region), "(0,0,10,10)");
  EXPECT_TRUE(form.last_redraw);
  EXPECT_EQ(rects_of(fr.built_region()), "(0,0,10,10)");
  form.is_visible = false;
  fr.set_region("R0,0,5,5");
  EXPECT_FALSE(form.last_redraw);
}

TEST(FormRegion, EmptyDescriptionLeavesTheWindowRegion) {
  FakeForm form;
  TFormRegion fr(&form);
  fr.set_region("R0,0,10,10");
  const int sets = form.region_sets;
  const int invalidations = form.invalidations;
  fr.set_region("");
  EXPECT_EQ(form.region_sets, sets);
  EXPECT_EQ(rects_of(form.window_region), "(0,0,10,10)");
  EXPECT_FALSE(fr.built_region().valid());
  // DrawOnDesigning: a repaint when nothing was applied.
  EXPECT_EQ(form.invalidations, invalidations + 1);
}

TEST(FormRegion, FailedEvaluationKeepsTheWindowRegion) {
  FakeForm form;
  TFormRegion fr(&form);
  fr.set_region("R0,0,10,10");
  EXPECT_THROW(fr.set_region("R0,0,10"), ECannotTranslate);
  EXPECT_FALSE(fr.built_region().valid());
  EXPECT_EQ(rects_of(form.window_region), "(0,0,10,10)");
}

TEST(FormRegion, ErrorsInTheHookStillPassTheMessageOnOnce) {
  FakeForm form;
  TFormRegion fr(&form);
  fr.set_region("R0,0,W,H");
  fr.set_on_size_changed([](TFormRegion&, std::string& text) { text = "R0,0,W/0,H"; });
  const int before = form.default_proc_calls;
  EXPECT_THROW(form.resize(10, 10), EDivByZero);
  EXPECT_EQ(form.default_proc_calls, before + 1);
  EXPECT_EQ(rects_of(form.window_region), "(0,0,871,488)");  // kept
}

TEST(FormRegion, ForeignSendersAreIgnored) {
  FakeForm form;
  TFormRegion fr(&form);
  fr.set_region("R0,0,1,1");
  const int sets = form.region_sets;
  int not_a_component = 0;
  form.send_message(kMsgExternalRegionChanged, 0, reinterpret_cast<intptr_t>(&not_a_component));
  form.send_message(kMsgExternalRegionNameChanged, 0, 12345);
  EXPECT_EQ(form.region_sets, sets);
  EXPECT_EQ(form.default_proc_calls, 2);
}

TEST(FormRegion, DesignModeAppliesNothing) {
  FakeForm form;
  form.is_designing = true;
  TFormRegion fr(&form);
  fr.set_region("R0,0,10,10");
  EXPECT_FALSE(form.window_region.valid());
}

TEST(FormRegion, LoadingDefersUntilLoaded) {
  FakeForm form;
  TFormRegion fr(&form);
  fr.begin_loading();
  fr.set_region("R0,0,W,H");
  EXPECT_EQ(form.region_sets, 0);
  fr.loaded();
  EXPECT_EQ(rects_of(form.window_region), "(0,0,871,488)");
}

TEST(FormRegion, ResizeRebuildsThroughOnSizeChanged) {
  FakeForm form;
  TFormRegion fr(&form);
  fr.set_region("R0,0,W,H");
  form.resize(300, 200);
  EXPECT_EQ(rects_of(form.window_region), "(0,0,300,200)");
  fr.set_on_size_changed([](TFormRegion&, std::string& text) { text = "E0,0,W,H"; });
  form.resize(40, 20);
  EXPECT_EQ(rects_of(form.window_region), rects_of(Region::ellipse(0, 0, 40, 20)));
  EXPECT_EQ(fr.region_text(), "E0,0,W,H");
  // Each message reached the saved procedure exactly once.
  EXPECT_EQ(form.default_proc_calls, 2);
}

TEST(FormRegion, ClientDragTurnsClientIntoCaption) {
  FakeForm form;
  TFormRegion fr(&form);
  EXPECT_EQ(form.send_message(kWmNcHitTest, 0, 0), kHtClient);
  fr.set_client_drag(true);
  EXPECT_EQ(form.send_message(kWmNcHitTest, 0, 0), kHtCaption);
  form.default_result = 5;
  EXPECT_EQ(form.send_message(kWmNcHitTest, 0, 0), 5);
  form.default_result = kHtClient;
  form.is_designing = true;
  EXPECT_EQ(form.send_message(kWmNcHitTest, 0, 0), kHtClient);
}

TEST(FormRegion, DestructionRemovesTheHookAndKeepsTheRegion) {
  FakeForm form;
  {
    TFormRegion fr(&form);
    fr.set_region("R0,0,3,3");
  }
  EXPECT_TRUE(form.hooks.empty());
  EXPECT_EQ(rects_of(form.window_region), "(0,0,3,3)");
  EXPECT_TRUE(form.region_components().empty());
}

TEST(PictExtRgn, MainWindowShape) {
  FakeForm form;
  TFormRegion fr(&form);
  TPictExtRgn pict(&form);
  pict.set_name("PictExtRgn1");
  pict.set_glyph(skin_like(582, 488));
  pict.set_trans_color(clWhite);
  pict.set_hor_align(RegionAlignment::raSource);
  pict.set_vert_align(RegionAlignment::raSource);
  fr.set_draw_on_designing(false);
  fr.set_region("TLT0,0,PictExtRgn1");
  // Pixel (0,0) of the picture at window (0,0), whatever the bounding box.
  EXPECT_EQ(rects_of(form.window_region), "(3,3,579,485)");
  EXPECT_EQ(pict.get_source_size(), (SourceSize{582, 488}));
  // raResult: aligned on the bounding box of the black pixels.
  pict.set_hor_align(RegionAlignment::raResult);
  EXPECT_EQ(pict.get_source_size(), (SourceSize{-1, 488}));
  EXPECT_EQ(rects_of(form.window_region), "(0,3,576,485)");
}

TEST(PictExtRgn, NotificationsAndCache) {
  FakeForm form;
  TPictExtRgn pict(&form);
  form.sent.clear();
  pict.set_hor_align(RegionAlignment::raSource);  // empty glyph: no notification
  EXPECT_TRUE(form.sent.empty());
  pict.set_glyph(Bitmap());  // Glyph always notifies, even when equal
  EXPECT_EQ(form.sent, (std::vector<uint32_t>{kMsgExternalRegionChanged}));
  pict.set_glyph(skin_like(10, 10));
  pict.set_glyph(skin_like(10, 10));
  EXPECT_EQ(form.sent.size(), 3u);
  pict.set_vert_align(RegionAlignment::raSource);  // glyph not empty now
  EXPECT_EQ(form.sent.size(), 4u);
  pict.set_vert_align(RegionAlignment::raSource);  // unchanged: nothing
  pict.set_inverted(false);
  pict.set_trans_color(clOlive);
  EXPECT_EQ(form.sent.size(), 4u);
  pict.set_trans_color(clWhite);
  EXPECT_EQ(form.sent.size(), 5u);

  EXPECT_FALSE(pict.has_cached_region());
  Region a = pict.get_region();
  EXPECT_TRUE(pict.has_cached_region());
  Region b = pict.get_region();
  EXPECT_TRUE(a.equals(b));
  EXPECT_NE(a.native_handle(), b.native_handle());
  pict.set_inverted(true);
  EXPECT_FALSE(pict.has_cached_region());
  Region ring = Region::rect(0, 0, 10, 10);
  ring.combine(Region::rect(3, 3, 7, 7), CombineMode::Diff);
  EXPECT_TRUE(pict.get_region().equals(ring));
  pict.set_own_region(false);
  pict.set_inverted(false);
  Region c = pict.get_region();
  EXPECT_FALSE(pict.has_cached_region());
  EXPECT_EQ(rects_of(c), "(3,3,7,7)");
}

TEST(PictExtRgn, EmptyGlyphContributesNothing) {
  FakeForm form;
  TFormRegion fr(&form);
  TPictExtRgn pict(&form);
  pict.set_name("P");
  EXPECT_FALSE(pict.get_region().valid());
  fr.set_region("R0,0,5,5\r\nTLT0,0,P");
  EXPECT_EQ(rects_of(form.window_region), "(0,0,5,5)");
}

TEST(PictExtRgn, SystemTransColourResolvedThroughOwner) {
  struct Form : FakeForm {
    Color system_color(int index) const override { return index == 15 ? 0x00123456u : 0u; }
  } form;
  TPictExtRgn pict(&form);
  Bitmap b = Bitmap::rgb(3, 1, 0x563412);  // RGB of 0x00123456 (BBGGRR)
  b.set(1, 0, 0x000000);
  pict.set_glyph(b);
  pict.set_trans_color(clBtnFace);
  EXPECT_EQ(rects_of(pict.get_region()), "(1,0,2,1)");
}

TEST(PictExtRgn, ChangedRebuildsTheFormRegionWhenNamed) {
  FakeForm form;
  TFormRegion fr(&form);
  TPictExtRgn pict(&form);
  pict.set_name("PictExtRgn1");
  pict.set_trans_color(clWhite);
  pict.set_glyph(skin_like(10, 10));
  fr.set_region("TLT0,0,PictExtRgn1");
  EXPECT_EQ(rects_of(form.window_region), "(0,0,4,4)");
  pict.set_inverted(true);
  EXPECT_EQ(rects_of(form.window_region), rects_of([] {
              Region r = Region::rect(0, 0, 10, 10);
              r.combine(Region::rect(3, 3, 7, 7), CombineMode::Diff);
              return r;
            }()));
  // A description that does not name the provider is not rebuilt.
  fr.set_region("R0,0,1,1");
  const int sets = form.region_sets;
  pict.set_inverted(false);
  EXPECT_EQ(form.region_sets, sets);
}

TEST(PictExtRgn, RenameRewritesEachOccurrenceOnceAndTerminates) {
  FakeForm form;
  TFormRegion fr(&form);
  TPictExtRgn pict(&form);
  pict.set_name("A");
  pict.set_glyph(skin_like(10, 10));
  pict.set_trans_color(clWhite);
  fr.set_region("TLT0,0,A\r\nTLT1,1,a");
  pict.set_name("AB");
  EXPECT_EQ(fr.region_text(), "TLT0,0,AB\r\nTLT1,1,AB");
  EXPECT_EQ(pict.previous_name(), "");
  EXPECT_EQ(replace_all_ci("aAa", "A", "AB"), "ABABAB");
  EXPECT_EQ(replace_all_ci("xyz", "", "Q"), "xyz");
}

TEST(PictExtRgn, NamesAreUniqueOnTheForm) {
  FakeForm form;
  TPictExtRgn a(&form);
  TPictExtRgn b(&form);
  a.set_name("Pict");
  EXPECT_EQ(form.find_component("PICT"), &a);
  try {
    b.set_name("pict");
    FAIL();
  } catch (const EComponentError& e) {
    EXPECT_STREQ(e.what(), "A component named pict already exists");
  }
  EXPECT_EQ(b.name(), "");
  a.set_name("Pict");  // its own name again is fine
  b.set_name("Other");
  EXPECT_EQ(form.find_component("other"), &b);
  EXPECT_EQ(form.find_component("none"), nullptr);
  // The form region follows the same rules, in both directions.
  TFormRegion fr(&form);
  EXPECT_THROW(fr.set_name("OTHER"), EComponentError);
  EXPECT_EQ(fr.name(), "");
  fr.set_name("FormRegion1");
  EXPECT_THROW(a.set_name("formregion1"), EComponentError);
  EXPECT_EQ(a.name(), "Pict");
}

TEST(PictExtRgn, FirstNamingDuringLoadingIsIgnored) {
  FakeForm form;
  TFormRegion fr(&form);
  fr.begin_loading();
  fr.set_region("TLT0,0,P");
  TPictExtRgn pict(&form);
  pict.set_name("P");  // previous name empty: nothing rewritten
  pict.set_glyph(skin_like(8, 8));
  EXPECT_EQ(form.region_sets, 0);
  pict.set_trans_color(clWhite);
  fr.loaded();
  EXPECT_EQ(rects_of(form.window_region), "(0,0,2,2)");
}

TEST(ProviderChain, OrderInsertRemove) {
  FakeForm form;
  auto a = std::make_unique<TPictExtRgn>(&form);
  auto b = std::make_unique<TPictExtRgn>(&form);
  // Form region added after the providers: the first one registers itself.
  auto fr = std::make_unique<TFormRegion>(&form);
  auto c = std::make_unique<TPictExtRgn>(&form);
  EXPECT_EQ(fr->first_external_region(), a.get());
  EXPECT_TRUE(a->first());
  EXPECT_FALSE(b->first());
  EXPECT_FALSE(c->first());
  EXPECT_EQ(a->successor(), b.get());
  EXPECT_EQ(b->successor(), c.get());
  EXPECT_EQ(c->successor(), nullptr);
  // Remove a middle element.
  b.reset();
  EXPECT_EQ(a->successor(), c.get());
  // Remove the first element: its successor becomes first.
  a.reset();
  EXPECT_EQ(fr->first_external_region(), c.get());
  EXPECT_TRUE(c->first());
  c.reset();
  EXPECT_EQ(fr->first_external_region(), nullptr);
  // New providers after all were removed.
  auto d = std::make_unique<TPictExtRgn>(&form);
  EXPECT_EQ(fr->first_external_region(), d.get());
}

TEST(ProviderChain, LookupTakesTheFirstMatchInChainOrder) {
  // The framework keeps names unique; an owner without that rule still gets
  // a defined answer: the first match in chain order.
  struct Form : FakeForm {
    void validate_name(const RegionComponent*, const std::string&) const override {}
  } form;
  TFormRegion fr(&form);
  TPictExtRgn p1(&form);
  TPictExtRgn p2(&form);
  p1.set_name("Same");
  p2.set_name("SAME");
  p1.set_trans_color(clWhite);
  p2.set_trans_color(clWhite);
  p1.set_glyph(skin_like(10, 10));
  p2.set_glyph(skin_like(20, 20));
  fr.set_region("TLT0,0,same");
  EXPECT_EQ(rects_of(form.window_region), "(0,0,4,4)");
}

}  // namespace
}  // namespace brevaro::region
