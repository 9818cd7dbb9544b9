#include "region/components.h"

#include <algorithm>

namespace brevaro::region {

// ---- RegionOwner -----------------------------------------------------------

void RegionOwner::insert_component(RegionComponent* c) {
  components_.push_back(c);
  const auto list = components_;
  for (RegionComponent* each : list) each->notification(c, Operation::Insert);
}

void RegionOwner::remove_component(RegionComponent* c) {
  const auto it = std::find(components_.begin(), components_.end(), c);
  if (it == components_.end()) return;
  components_.erase(it);
  const auto list = components_;
  // The removed component hears of its own removal too, as in the framework.
  c->notification(c, Operation::Remove);
  for (RegionComponent* each : list) each->notification(c, Operation::Remove);
}

RegionComponent* RegionOwner::find_component(std::string_view name) const {
  for (RegionComponent* c : components_) {
    if (ascii_iequals(c->name(), name)) return c;
  }
  return nullptr;
}

void RegionOwner::validate_name(const RegionComponent* component, const std::string& name) const {
  if (name.empty()) return;
  const RegionComponent* other = find_component(name);
  if (other && other != component) throw EComponentError::duplicate_name(name);
}

// ---- helpers ---------------------------------------------------------------

std::string replace_all_ci(const std::string& text, const std::string& from, const std::string& to) {
  if (from.empty()) return text;
  const std::string upper_text = ascii_upper(text);
  const std::string upper_from = ascii_upper(from);
  std::string out;
  out.reserve(text.size());
  size_t pos = 0;
  for (;;) {
    const size_t hit = upper_text.find(upper_from, pos);
    if (hit == std::string::npos) break;
    out.append(text, pos, hit - pos);
    out.append(to);
    pos = hit + from.size();
  }
  out.append(text, pos, std::string::npos);
  return out;
}

namespace {
void check_owner(RegionOwner* owner, const char* class_name) {
  if (!owner || !owner->is_form()) throw EOwnerMustBeForm(class_name);
}
}  // namespace

// ---- TRegionComp -----------------------------------------------------------

class TRegionComp::Environment : public EvaluationEnvironment {
 public:
  explicit Environment(TRegionComp& c) : c_(c) {}
  Geometry geometry() const override { return c_.owner_->geometry(); }
  ExternalRegionSource* find_external_region(std::string_view name) override {
    for (TExternalRegion* p = c_.first_; p; p = p->successor_) {
      if (ascii_iequals(p->name_, name)) return p;
    }
    return nullptr;
  }
  void show_message(const std::string& text) override { c_.owner_->show_message(text); }

 private:
  TRegionComp& c_;
};

TRegionComp::TRegionComp(RegionOwner* owner, const char* class_name) : RegionComponent(owner) {
  if (owner) {
    for (RegionComponent* c : owner->region_components()) {
      if (dynamic_cast<TFormRegion*>(c)) throw EDuplicateComponent();
    }
  }
  check_owner(owner, class_name);
  owner->insert_component(this);
}

TRegionComp::~TRegionComp() {
  detach();
  if (owner_) owner_->remove_component(this);
}

void TRegionComp::set_region(const std::string& text) {
  description_ = text;
  if (!loading_ && build_region()) apply_region();
}

void TRegionComp::loaded() {
  RegionComponent::loaded();
  set_region(description_);
}

bool TRegionComp::build_region() {
  built_ = Region();
  if (description_.empty()) return true;
  Environment env(*this);
  built_ = evaluate_description(description_, env);
  return true;
}

void TRegionComp::install_hook() {
  if (!hooked_ && owner_) {
    owner_->install_hook(&hook_);
    hooked_ = true;
  }
}

void TRegionComp::attach() {
  install_hook();
  set_region(description_);
}

void TRegionComp::detach() {
  if (hooked_) {
    owner_->remove_hook(&hook_);
    hooked_ = false;
  }
}

void TRegionComp::notification(RegionComponent* component, Operation op) {
  auto* ext = dynamic_cast<TExternalRegion*>(component);
  if (!ext) return;
  if (op == Operation::Insert) {
    if (!first_) first_ = ext;
  } else if (first_ == ext) {
    first_ = ext->successor_;
  }
}

TExternalRegion* TRegionComp::provider_from(intptr_t lparam) const {
  // Only a provider of this form: another program may send these numbers.
  if (!owner_) return nullptr;
  for (RegionComponent* c : owner_->region_components()) {
    auto* provider = dynamic_cast<TExternalRegion*>(c);
    if (provider && reinterpret_cast<intptr_t>(provider) == lparam) return provider;
  }
  return nullptr;
}

intptr_t TRegionComp::handle_message(uint32_t msg, uintptr_t /*wparam*/, intptr_t lparam,
                                     const std::function<intptr_t()>& pass_on) {
  try {
    if (msg == kMsgExternalRegionChanged) {
      const TExternalRegion* sender = provider_from(lparam);
      if (sender && !sender->name().empty() &&
          ascii_upper(description_).find(ascii_upper(sender->name())) != std::string::npos) {
        set_region(description_);
      }
    } else if (msg == kMsgExternalRegionNameChanged) {
      const TExternalRegion* sender = provider_from(lparam);
      if (sender && !sender->previous_name().empty()) {
        set_region(replace_all_ci(description_, sender->previous_name(), sender->name()));
      }
    }
  } catch (...) {
    pass_on();  // the saved procedure still sees the message once
    throw;
  }
  return pass_on();
}

// ---- TFormRegion -----------------------------------------------------------

TFormRegion::TFormRegion(RegionOwner* owner) : TRegionComp(owner, "TFormRegion") {
  // The window hook only: the description is still empty.
  install_hook();
}

TFormRegion::~TFormRegion() = default;

void TFormRegion::apply_region() {
  bool applied = false;
  if (owner_ && !owner_->designing() && built_) {
    owner_->set_window_region(built_.copy(), owner_->visible());
    applied = true;
  }
  if (!applied && draw_on_designing_ && owner_) owner_->invalidate();
}

intptr_t TFormRegion::handle_message(uint32_t msg, uintptr_t wparam, intptr_t lparam,
                                     const std::function<intptr_t()>& pass_on) {
  if (msg == kWmSize) {
    try {
      std::string copy = description_;
      if (on_size_changed_) on_size_changed_(*this, copy);
      set_region(copy);
    } catch (...) {
      pass_on();  // the form's own WM_SIZE handling still runs, once
      throw;
    }
    return pass_on();
  }
  if (msg == kWmNcHitTest) {
    intptr_t result = pass_on();
    if (owner_ && !owner_->designing() && client_drag_ && result == kHtClient) result = kHtCaption;
    return result;
  }
  return TRegionComp::handle_message(msg, wparam, lparam, pass_on);
}

// ---- TExternalRegion -------------------------------------------------------

TExternalRegion::TExternalRegion(RegionOwner* owner, const char* class_name) : RegionComponent(owner) {
  check_owner(owner, class_name);
  owner->insert_component(this);
}

TExternalRegion::~TExternalRegion() {
  if (owner_) owner_->remove_component(this);
}

void TExternalRegion::set_name(const std::string& name) {
  std::string previous = name_;
  RegionComponent::set_name(name);
  previous_name_ = std::move(previous);
  if (owner_ && owner_->is_form()) {
    owner_->send_message(kMsgExternalRegionNameChanged, 0, reinterpret_cast<intptr_t>(this));
  }
  previous_name_.clear();
}

Region TExternalRegion::get_region() {
  if (!cached_) {
    if (!own_region_) return create_region();
    cached_ = create_region();
  }
  return cached_ ? cached_.copy() : Region();
}

void TExternalRegion::changed() {
  cached_ = Region();
  if (owner_ && owner_->is_form()) {
    owner_->send_message(kMsgExternalRegionChanged, 0, reinterpret_cast<intptr_t>(this));
  }
}

void TExternalRegion::notification(RegionComponent* component, Operation op) {
  if (op == Operation::Insert) {
    if (auto* ext = dynamic_cast<TExternalRegion*>(component)) {
      if (ext != this && !successor_) {
        successor_ = ext;
        ext->first_ = false;
      }
    } else if (auto* consumer = dynamic_cast<TRegionComp*>(component)) {
      if (first_) consumer->first_ = this;
    }
    return;
  }
  auto* ext = dynamic_cast<TExternalRegion*>(component);
  if (!ext || ext == this) return;
  if (ext->first_ && ext->successor_ == this) first_ = true;
  if (successor_ == ext) successor_ = ext->successor_;
}

// ---- TPictExtRgn -----------------------------------------------------------

TPictExtRgn::TPictExtRgn(RegionOwner* owner) : TExternalRegion(owner, "TPictExtRgn") {}

TPictExtRgn::~TPictExtRgn() { glyph_ = Bitmap(); }

void TPictExtRgn::set_glyph(const Bitmap& b) {
  glyph_ = b;
  changed();
}

void TPictExtRgn::set_trans_color(Color c) {
  if (c == trans_color_) return;
  trans_color_ = c;
  changed();
}

void TPictExtRgn::set_inverted(bool v) {
  if (v == inverted_) return;
  inverted_ = v;
  changed();
}

void TPictExtRgn::set_hor_align(RegionAlignment a) {
  if (a == hor_align_) return;
  hor_align_ = a;
  if (!glyph_.empty()) changed();
}

void TPictExtRgn::set_vert_align(RegionAlignment a) {
  if (a == vert_align_) return;
  vert_align_ = a;
  if (!glyph_.empty()) changed();
}

SourceSize TPictExtRgn::get_source_size() const {
  SourceSize s;
  if (!glyph_.empty() && hor_align_ == RegionAlignment::raSource) s.width = glyph_.width();
  if (!glyph_.empty() && vert_align_ == RegionAlignment::raSource) s.height = glyph_.height();
  return s;
}

Region TPictExtRgn::create_region() {
  if (glyph_.empty()) return Region();
  const RegionOwner* o = owner_;
  const Color rgb = resolve_color(trans_color_, [o](int index) { return o->system_color(index); });
  return bitmap_to_region(glyph_, color_to_pixel(rgb), inverted_);
}

}  // namespace brevaro::region
