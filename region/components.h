// The region components as portable classes:
// TRegionComp / TFormRegion (the consumer that sets the owner window's
// region from a description) and TExternalRegion / TPictExtRgn (providers).
//
// They reach their owner form only through RegionOwner, which the UI layer
// adapts to its form class (window size and client rect, caption height,
// window region, window subclassing, synchronous sends to the form's window,
// the form's component list and its insert/remove notifications). Tests use
// a headless implementation.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/winapi_numbers.h"
#include "region/bitmap.h"
#include "region/bitmap_region.h"
#include "region/description.h"
#include "region/errors.h"
#include "region/region.h"

namespace brevaro::region {

inline constexpr uint32_t kWmSize = winapi::msg::size;
inline constexpr uint32_t kWmNcHitTest = winapi::msg::nc_hit_test;
inline constexpr intptr_t kHtClient = winapi::ht_client;
inline constexpr intptr_t kHtCaption = winapi::ht_caption;
// Sent synchronously to the owner form's window, wParam 0, lParam = the
// sending TExternalRegion*.
inline constexpr uint32_t kMsgExternalRegionChanged = 2240;      // 0x08C0
inline constexpr uint32_t kMsgExternalRegionNameChanged = 2241;  // 0x08C1

class RegionComponent;

// A subclassing window procedure: sees every message of the owner window
// before the saved procedure; `pass_on` calls the saved procedure once.
class MessageHook {
 public:
  virtual ~MessageHook() = default;
  virtual intptr_t window_proc(uint32_t msg, uintptr_t wparam, intptr_t lparam,
                               const std::function<intptr_t()>& pass_on) = 0;
};

enum class Operation { Insert, Remove };

// What the region components need of their owner form.
class RegionOwner {
 public:
  virtual ~RegionOwner() = default;

  // False for an owner that is not a form: the components refuse it.
  virtual bool is_form() const { return true; }
  virtual bool designing() const { return false; }
  virtual bool visible() const = 0;
  // Frame geometry now (window size, client rect, caption height: the small
  // caption for tool-window border styles).
  virtual Geometry geometry() const = 0;
  // The window takes ownership of `region` (SetWindowRgn).
  virtual void set_window_region(Region region, bool redraw) = 0;
  virtual void invalidate() {}
  // The information message box.
  virtual void show_message(const std::string& text) = 0;
  // System colour index -> 0x00BBGGRR (GetSysColor).
  virtual Color system_color(int index) const {
    return resolve_color(clSystemColor | static_cast<Color>(index), nullptr);
  }

  // Window subclassing: install creates the window if needed; remove
  // restores the saved window procedure.
  virtual void install_hook(MessageHook* hook) = 0;
  virtual void remove_hook(MessageHook* hook) = 0;
  // Synchronous send to the form's window (creating it if needed).
  virtual intptr_t send_message(uint32_t msg, uintptr_t wparam, intptr_t lparam) = 0;

  // The form's component of that name (ASCII case-insensitive), or nullptr.
  // The default looks at the region components only; a form adapter looks
  // at all of its components.
  virtual RegionComponent* find_component(std::string_view name) const;
  // The framework's naming rules, applied before a component takes a new
  // name: by default an empty name is allowed and any other must be unique
  // on the form (EComponentError "A component named X already exists").
  virtual void validate_name(const RegionComponent* component, const std::string& name) const;

  // Component ownership. The owner keeps a list of its region components
  // and tells every one of them (the new one included) of each insertion
  // and removal, as the framework's Notification does.
  void insert_component(RegionComponent* c);
  void remove_component(RegionComponent* c);
  const std::vector<RegionComponent*>& region_components() const { return components_; }

 private:
  std::vector<RegionComponent*> components_;
};

// Base of the region components: name, owner, loading state, notification.
class RegionComponent {
 public:
  RegionComponent(const RegionComponent&) = delete;
  RegionComponent& operator=(const RegionComponent&) = delete;
  virtual ~RegionComponent() = default;

  const std::string& name() const { return name_; }
  // The framework's naming rules apply to every component of the form.
  virtual void set_name(const std::string& name) {
    if (owner_) owner_->validate_name(this, name);
    name_ = name;
  }
  RegionOwner* owner() const { return owner_; }
  bool loading() const { return loading_; }
  // The form loader brackets the reading of stored properties with these.
  void begin_loading() { loading_ = true; }
  virtual void loaded() { loading_ = false; }
  virtual void notification(RegionComponent* component, Operation op) = 0;
  virtual const char* class_name() const = 0;

 protected:
  explicit RegionComponent(RegionOwner* owner) : owner_(owner) {}
  std::string name_;
  RegionOwner* owner_ = nullptr;
  bool loading_ = false;
};

class TExternalRegion;

// Base of region consumers.
class TRegionComp : public RegionComponent {
 public:
  ~TRegionComp() override;

  const std::string& region_text() const { return description_; }
  // Setter of `Region`: store; unless loading, BuildRegion then ApplyRegion.
  void set_region(const std::string& text);
  void loaded() override;
  virtual bool build_region();
  virtual void apply_region() = 0;
  virtual void attach();
  virtual void detach();
  const Region& built_region() const { return built_; }
  TExternalRegion* first_external_region() const { return first_; }

  void notification(RegionComponent* component, Operation op) override;

 protected:
  TRegionComp(RegionOwner* owner, const char* class_name);
  // Message handling of the window hook; `pass_on` calls the saved procedure.
  virtual intptr_t handle_message(uint32_t msg, uintptr_t wparam, intptr_t lparam,
                                  const std::function<intptr_t()>& pass_on);
  void install_hook();
  // The provider of this form that lParam names, or nullptr.
  TExternalRegion* provider_from(intptr_t lparam) const;

  std::string description_;
  Region built_;

 private:
  class Hook : public MessageHook {
   public:
    explicit Hook(TRegionComp& c) : c_(c) {}
    intptr_t window_proc(uint32_t msg, uintptr_t wparam, intptr_t lparam,
                         const std::function<intptr_t()>& pass_on) override {
      return c_.handle_message(msg, wparam, lparam, pass_on);
    }

   private:
    TRegionComp& c_;
  };
  class Environment;

  friend class TExternalRegion;
  Hook hook_{*this};
  bool hooked_ = false;
  TExternalRegion* first_ = nullptr;
};

// The form region: sets its owner form's window region.
class TFormRegion : public TRegionComp {
 public:
  using SizeChangedEvent = std::function<void(TFormRegion& sender, std::string& region)>;

  // Raises EDuplicateComponent, then EOwnerMustBeForm.
  explicit TFormRegion(RegionOwner* owner);
  ~TFormRegion() override;

  bool draw_on_designing() const { return draw_on_designing_; }
  void set_draw_on_designing(bool v) { draw_on_designing_ = v; }
  bool client_drag() const { return client_drag_; }
  void set_client_drag(bool v) { client_drag_ = v; }
  void set_on_size_changed(SizeChangedEvent e) { on_size_changed_ = std::move(e); }

  void apply_region() override;
  const char* class_name() const override { return "TFormRegion"; }

 protected:
  intptr_t handle_message(uint32_t msg, uintptr_t wparam, intptr_t lparam,
                          const std::function<intptr_t()>& pass_on) override;

 private:
  bool draw_on_designing_ = true;
  bool client_drag_ = false;
  SizeChangedEvent on_size_changed_;
};

enum class RegionAlignment { raResult = 0, raSource = 1 };

// Base of region providers.
class TExternalRegion : public RegionComponent, public ExternalRegionSource {
 public:
  ~TExternalRegion() override;

  std::string name() const override { return name_; }
  void set_name(const std::string& name) override;
  const std::string& previous_name() const { return previous_name_; }

  bool own_region() const { return own_region_; }
  void set_own_region(bool v) { own_region_ = v; }

  Region get_region() override;
  SourceSize get_source_size() const override { return {}; }
  virtual void changed();

  TExternalRegion* successor() const { return successor_; }
  bool first() const { return first_; }
  bool has_cached_region() const { return cached_.valid(); }

  void notification(RegionComponent* component, Operation op) override;

 protected:
  TExternalRegion(RegionOwner* owner, const char* class_name);
  virtual Region create_region() = 0;

 private:
  friend class TRegionComp;
  TExternalRegion* successor_ = nullptr;
  bool first_ = true;
  bool own_region_ = true;
  Region cached_;
  std::string previous_name_;
};

// The picture-derived region.
class TPictExtRgn : public TExternalRegion {
 public:
  explicit TPictExtRgn(RegionOwner* owner);
  ~TPictExtRgn() override;

  const Bitmap& glyph() const { return glyph_; }
  void set_glyph(const Bitmap& b);  // always Changed
  Color trans_color() const { return trans_color_; }
  void set_trans_color(Color c);
  bool inverted() const { return inverted_; }
  void set_inverted(bool v);
  RegionAlignment hor_align() const { return hor_align_; }
  void set_hor_align(RegionAlignment a);
  RegionAlignment vert_align() const { return vert_align_; }
  void set_vert_align(RegionAlignment a);

  SourceSize get_source_size() const override;
  const char* class_name() const override { return "TPictExtRgn"; }

 protected:
  Region create_region() override;

 private:
  Bitmap glyph_;
  Color trans_color_ = clOlive;
  bool inverted_ = false;
  RegionAlignment hor_align_ = RegionAlignment::raResult;
  RegionAlignment vert_align_ = RegionAlignment::raResult;
};

// Replaces every occurrence of `from` (ASCII case-insensitive) by `to`,
// scanning left to right and continuing after each inserted text.
std::string replace_all_ci(const std::string& text, const std::string& from, const std::string& to);

}  // namespace brevaro::region
