// TShockwaveFlash: our movie banner control. Setting Movie reads the movie
// file's header (media/swf/); the control then shows the stage background
// colour placed in its bounds by `scale` ("ExactFit" fills them). Windowless:
// it is drawn on its parent like the GIF control it alternates with.
#pragma once

#include <string>
#include <string_view>

#include "media/swf/swf_header.h"
#include "ui/control.h"

namespace brevaro::media {

class TShockwaveFlash final : public ui::Control {
 public:
  TShockwaveFlash(ui::Component* owner, std::string_view name, ui::WinControl* parent, ui::Rect bounds = {});

  const std::string& scale() const { return model_.scale(); }
  void set_scale(std::string_view s);
  const std::string& movie() const { return model_.movie(); }
  // Reads the movie through the application's file system port; a missing
  // or broken movie shows nothing.
  void set_movie(std::string_view path);
  const MovieModel& model() const noexcept { return model_; }

  void paint(ui::Canvas& canvas) override;

 private:
  MovieModel model_;
};

}  // namespace brevaro::media
