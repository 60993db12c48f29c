// Writes an animation-data record from plain objects (hosts and tests that
// make records).  Header-only.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "mobra.h"

struct MobraSource {
    MobraBox box;
    std::string name;
    std::vector<uint32_t> pixels;   // box.width x box.height
    std::vector<int32_t> points;    // box.points x 2
};

inline std::vector<uint8_t> MobraWrite(int32_t width, int32_t height, int32_t number,
                                       const std::vector<MobraSource> &objects)
{
    size_t at = sizeof(MobraHeader) + objects.size() * sizeof(MobraObject);
    std::vector<MobraObject> table(objects.size());
    for (size_t i = 0; i < objects.size(); ++i) {
        MobraObject &o = table[i];
        std::memset(&o, 0, sizeof o);
        o.box = objects[i].box;
        std::strncpy(o.name, objects[i].name.c_str(), sizeof o.name - 1);
        o.pixelOffset = uint32_t(at);
        at += objects[i].pixels.size() * 4;
        o.pointOffset = objects[i].points.empty() ? 0 : uint32_t(at);
        at += objects[i].points.size() * 4;
    }
    std::vector<uint8_t> out(at);
    MobraHeader h = {MOBRA_MAGIC, uint32_t(at), uint32_t(objects.size()), width, height, number, 0, 0};
    std::memcpy(out.data(), &h, sizeof h);
    for (size_t i = 0; i < objects.size(); ++i) {
        std::memcpy(out.data() + sizeof h + i * sizeof(MobraObject), &table[i], sizeof(MobraObject));
        if (!objects[i].pixels.empty())
            std::memcpy(out.data() + table[i].pixelOffset, objects[i].pixels.data(), objects[i].pixels.size() * 4);
        if (!objects[i].points.empty())
            std::memcpy(out.data() + table[i].pointOffset, objects[i].points.data(), objects[i].points.size() * 4);
    }
    return out;
}
