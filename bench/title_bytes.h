// Title files for the benchmarks, built in memory: the header, the layer
// records and the blocks (a text layer's header and its bottom-up pixel
// blocks), as the combiner reads them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace benchtitle {

struct Bytes {
    std::vector<uint8_t> b;
    void i32(int32_t v) { for (int i = 0; i < 4; i++) b.push_back((uint8_t)((uint32_t)v >> (8 * i))); }
    void raw(const void *p, size_t n) { b.insert(b.end(), (const uint8_t *)p, (const uint8_t *)p + n); }
};

inline void Block(Bytes &b, const std::vector<uint32_t> &px, int w, int h)
{
    for (int row = h - 1; row >= 0; row--) b.raw(&px[(size_t)row * w], (size_t)w * 4);
}

inline std::vector<uint8_t> TextHeader(const std::string &text, int32_t shadowType)
{
    Bytes b;
    b.i32(-96); b.i32(0); b.i32(0); b.i32(0); b.i32(700);
    for (int i = 0; i < 8; i++) b.b.push_back(0);
    char face[32] = "Arial";
    b.raw(face, 32);
    const int32_t words[] = {1, 0x00FFFFFF, 0, 0, shadowType, 100, 6, 6, 0, 0, 0, 0};
    for (int32_t v : words) b.i32(v);
    const int32_t n = (int32_t)((text.size() + 3) / 4 * 4 + 4);
    b.i32(n);
    b.raw(text.data(), text.size());
    b.b.insert(b.b.end(), n - text.size(), 0);
    return b.b;
}

struct LayerSpec { int32_t type, w, h, x, y; std::vector<uint8_t> block; };

inline std::vector<uint8_t> TitleFile(const std::vector<LayerSpec> &layers)
{
    Bytes b;
    int32_t total = 0;
    for (const auto &l : layers) total += (int32_t)l.block.size();
    b.i32(4737); b.i32((int32_t)layers.size()); b.i32(total); b.i32(0);
    for (const auto &l : layers) {
        const int32_t r[13] = {l.type, l.w, l.h, 0, l.x, l.y, l.x, l.y, 0, 0, 0, 0, (int32_t)l.block.size()};
        for (int32_t v : r) b.i32(v);
    }
    for (const auto &l : layers) b.raw(l.block.data(), l.block.size());
    return b.b;
}

}  // namespace benchtitle
