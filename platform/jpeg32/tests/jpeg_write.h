// JPEG files for the tests, written with libjpeg (kept apart from the
// Windows headers).
#pragma once
#include <vector>

// pixels: rows top first, `components` bytes per pixel (1 grey, 3 RGB,
// 4 CMYK).  restartRows: a restart marker every that many MCU rows (0 none).
std::vector<unsigned char> JpegTestWrite(const unsigned char *pixels, int width, int height, int components,
                                         int quality, bool progressive, int restartRows);
