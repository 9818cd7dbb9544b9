// A tiny PNG writer: 8-bit greyscale, zlib "stored" (uncompressed) blocks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brevaro::region::tool {

// `pixels` holds width * height grey values, row by row.
std::vector<uint8_t> encode_png_grey(uint32_t width, uint32_t height, const std::vector<uint8_t>& pixels);
bool write_file(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace brevaro::region::tool
