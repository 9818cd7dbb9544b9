// Loading from a stream, in a unit of its own: a program that never calls it
// links none of the iostream library.
#include <istream>
#include <iterator>

#include "media/gif/gif_image.h"

namespace brevaro::media {

bool GifImage::load_from_stream(std::istream& stream) {
  stream.clear();
  stream.seekg(0, std::ios::beg);
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
  return load_bytes(std::move(bytes));
}

}  // namespace brevaro::media
