#pragma once

#include <map>
#include <string>
#include <vector>

#include "region/description.h"

namespace brevaro::region::testing {

// A provider with a fixed region and source size.
class FixedSource : public ExternalRegionSource {
 public:
  FixedSource(std::string name, std::vector<Rect> rects, SourceSize size = {})
      : name_(std::move(name)), rects_(std::move(rects)), size_(size) {}
  std::string name() const override { return name_; }
  Region get_region() override {
    ++calls;
    if (none) return Region();
    return Region::from_rects(rects_);
  }
  SourceSize get_source_size() const override { return size_; }
  int calls = 0;
  bool none = false;

 private:
  std::string name_;
  std::vector<Rect> rects_;
  SourceSize size_;
};

class TestEnv : public EvaluationEnvironment {
 public:
  Geometry geo = Geometry::whole_window(871, 488);
  std::vector<ExternalRegionSource*> providers;
  std::vector<std::string> messages;

  Geometry geometry() const override { return geo; }
  ExternalRegionSource* find_external_region(std::string_view name) override {
    for (auto* p : providers)
      if (ascii_iequals(p->name(), name)) return p;
    return nullptr;
  }
  void show_message(const std::string& text) override { messages.push_back(text); }
};

}  // namespace brevaro::region::testing
