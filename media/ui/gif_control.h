// TGIFImage: the windowless animated GIF control. The portable model
// (GifImage) does the loading, composition and animation; this control gives
// it a place on a parent window, draws its canvas through the parent's
// canvas (transparent pixels show the parent) and animates it with a
// TTimerEx in window mode.
#pragma once

#include <iosfwd>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "media/gif/gif_image.h"
#include "media/ui/media_platform.h"
#include "ui/control.h"

namespace brevaro::media {

class TGIFImage final : public ui::Control, private GifImageHost {
 public:
  // A new control is 105x105 pixels.
  TGIFImage(ui::Component* owner, std::string_view name, ui::WinControl* parent,
            ui::Rect bounds = ui::Rect{0, 0, 105, 105});
  ~TGIFImage() override;

  // Loading. Files are read through the application's file system port;
  // a file that exists but cannot be read raises GifFileError.
  bool load_from_file(const std::string& path);
  bool load_from_stream(std::istream& stream);
  bool load_from_memory(std::span<const std::uint8_t> bytes);

  // Published properties that touch the control's place or its timer; the
  // rest are the model's (model()).
  bool animate() const { return model_.animate(); }
  void set_animate(bool v) { model_.set_animate(v); }
  bool auto_size() const { return model_.auto_size(); }
  void set_auto_size(bool v);
  bool loop() const { return model_.loop(); }
  void set_loop(bool v) { model_.set_loop(v); }
  bool threaded() const { return model_.threaded(); }
  void set_threaded(bool v);
  int current_frame() const { return model_.current_frame(); }
  void set_current_frame(int n) { model_.set_current_frame(n); }
  GifStatus status() const { return model_.status(); }

  GifImage& model() noexcept { return model_; }
  const GifImage& model() const noexcept { return model_; }

  // ui::Control
  void set_bounds(ui::Rect r) override;
  void set_visible(bool v) override;
  // Repaints the control's area (for the framework and the model alike).
  void invalidate() override;
  void paint(ui::Canvas& canvas) override;

 private:
  // GifImageHost (invalidate() above serves it too). The framework's
  // windows always paint their background before the windowless children,
  // so the opaque style only tells paint() to draw again at once.
  void repaint_now() override;
  void set_opaque_style(bool) override { style_changed_ = true; }
  void sync_bounds_from_model();

  std::unique_ptr<MediaPlatform> platform_;
  GifImage model_;
  bool in_paint_ = false;
  bool style_changed_ = false;
};

}  // namespace brevaro::media
