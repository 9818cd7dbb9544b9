// Fuzzes the region description language: any text evaluates to a region,
// to none, or fails with ECannotTranslate or the division-by-zero error;
// nothing else escapes, nothing leaks, nothing hangs. The result is always
// in canonical banded form.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "region/description.h"
#include "region/shapes.h"

namespace {

using namespace brevaro::region;

class FuzzSource : public ExternalRegionSource {
 public:
  FuzzSource(std::string name, SourceSize size, bool none) : name_(std::move(name)), size_(size), none_(none) {}
  std::string name() const override { return name_; }
  Region get_region() override {
    if (none_) return Region();
    Region r = Region::ellipse(3, 5, 40, 30);
    r.combine(Region::rect(10, 0, 12, 50), CombineMode::Xor);
    return r;
  }
  SourceSize get_source_size() const override { return size_; }

 private:
  std::string name_;
  SourceSize size_;
  bool none_;
};

class FuzzEnv : public EvaluationEnvironment {
 public:
  Geometry geometry() const override { return Geometry{871, 488, 3, 22, 865, 460, 19}; }
  ExternalRegionSource* find_external_region(std::string_view name) override {
    for (auto* p : {&a_, &b_, &c_}) {
      if (ascii_iequals(p->name(), name)) return p;
    }
    return nullptr;
  }
  void show_message(const std::string& text) override { messages_ += text.size(); }

 private:
  FuzzSource a_{"P", SourceSize{582, 488}, false};
  FuzzSource b_{"Q", SourceSize{}, false};
  FuzzSource c_{"N", SourceSize{}, true};
  size_t messages_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Keep each input fast: shapes of at most 1024 rows.
  set_shape_limits(ShapeLimits{1024, 1 << 18});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  const std::string text(reinterpret_cast<const char*>(data), size);
  FuzzEnv env;
  try {
    Region r = evaluate_description(text, env);
    if (r) {
      const auto rects = r.rects();
      if (!is_canonical(rects)) std::abort();
      const Rect box = r.bbox();
      if (!rects.empty() && (box.top != rects.front().top || box.bottom != rects.back().bottom)) std::abort();
    }
  } catch (const ECannotTranslate&) {
  } catch (const EDivByZero&) {
  }
  return 0;
}
