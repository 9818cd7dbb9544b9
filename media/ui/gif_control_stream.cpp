// Loading from a stream, in a unit of its own: a program that never calls it
// links none of the iostream library.
#include "media/ui/gif_control.h"

namespace brevaro::media {

bool TGIFImage::load_from_stream(std::istream& stream) {
  const bool ok = model_.load_from_stream(stream);
  sync_bounds_from_model();
  return ok;
}

}  // namespace brevaro::media
