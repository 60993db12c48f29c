// libjpeg in memory, for the codec benchmark (plain types only).
#pragma once
#include <cstddef>
#include <vector>

size_t bench_jpeg_compress(const unsigned char *rgb, int w, int h, int quality, std::vector<unsigned char> &out);
void bench_jpeg_decompress(const std::vector<unsigned char> &in, unsigned char *rgb, int w, int h);
