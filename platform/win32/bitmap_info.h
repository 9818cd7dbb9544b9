// The header that describes a 32-bit picture stored top row first, the form
// every ui::Bitmap is handed to GDI in.
#pragma once

#include <windows.h>

namespace brevaro::platform::win32 {

inline BITMAPINFO top_down_32bit(int width, int height) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = -height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  return bi;
}

}  // namespace brevaro::platform::win32
