// The portable part of the movie banner control TShockwaveFlash (design
// section 9): reading an SWF file's header — uncompressed "FWS" and
// zlib-compressed "CWS" — for the stage size, frame rate and background
// colour, and the stage placement for the control's `scale` modes.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace brevaro::media {

enum class SwfStatus {
  ok,
  too_short,        // cut inside the header
  not_swf,          // no FWS / CWS signature ("ZWS", LZMA, is not supported)
  bad_compression,  // the zlib stream of a CWS file is broken
};

struct SwfHeader {
  bool compressed = false;
  int version = 0;
  std::uint32_t file_length = 0;  // as declared (uncompressed length)
  // Stage rectangle in twips (1/20 pixel).
  std::int32_t x_min = 0, x_max = 0, y_min = 0, y_max = 0;
  int stage_width = 0, stage_height = 0;  // pixels
  double frame_rate = 0;                  // frames per second (8.8 fixed point)
  std::uint16_t frame_count = 0;
  bool has_background = false;                                              // a SetBackgroundColor tag was found
  std::uint8_t background_r = 255, background_g = 255, background_b = 255;  // white when none
};

// Parses the header and scans the first tags for SetBackgroundColor (tag 9).
// Only a bounded prefix of a compressed file is inflated (256 KiB).
SwfStatus parse_swf_header(std::span<const std::uint8_t> data, SwfHeader& out);

// Where the stage goes in a control of the given size, by the `scale`
// property (case-insensitive): "ExactFit" fills the control; "NoScale" keeps
// the stage size, centred; "NoBorder" fills while keeping the aspect ratio
// (cropping); anything else ("ShowAll", the default) fits the whole stage
// keeping the aspect ratio.
struct StageRect {
  int left = 0, top = 0, width = 0, height = 0;
};
StageRect stage_rect(const std::string& scale, int control_w, int control_h, int stage_w, int stage_h);

// The movie control's portable model: owner/parent/bounds/cursor/visibility
// belong to ui/; this keeps `scale`, `Movie` and what setting it read.
class MovieModel {
 public:
  // Reads a whole file: none when it cannot be read.
  using FileReader = std::function<std::optional<std::vector<std::uint8_t>>(const std::string& path)>;
  explicit MovieModel(FileReader reader);

  const std::string& scale() const { return scale_; }
  void set_scale(const std::string& s) { scale_ = s; }
  const std::string& movie() const { return movie_; }
  // Setting Movie reads the file's header; a missing or unreadable movie
  // shows nothing (status says why).
  void set_movie(const std::string& path);
  bool loaded() const { return loaded_; }
  SwfStatus status() const { return status_; }
  const SwfHeader& header() const { return header_; }
  // The stage background (0x00RRGGBB) placed in a control of the given size.
  std::uint32_t background() const;
  StageRect stage_in(int control_w, int control_h) const;

 private:
  FileReader reader_;
  std::string scale_ = "ShowAll";
  std::string movie_;
  bool loaded_ = false;
  SwfStatus status_ = SwfStatus::too_short;
  SwfHeader header_;
};

}  // namespace brevaro::media
