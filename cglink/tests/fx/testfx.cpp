// A small effects library for the CG link's tests.  It answers the node
// protocol the way the real one does (attach, detach, state, requests in
// both forms, frame rendering), with a toy effect, and keeps a log of every
// call for the tests to read through TestFxLog.
//
// The toy effect block is two words: a background colour and a bar step.
// A frame is the background with a 3-pixel bar at column (position * step)
// mod width, and its top row in the colour of the object data's first word.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "cubby.h"

namespace {

std::string g_log;
int g_attaches, g_detaches;
uint32_t g_state[2];
uint32_t g_effect[2] = {0xFF000000, 1};
uint32_t g_object;
uintptr_t g_position;
FxFrameFormat g_lastFormat;
CuelinkVideoEntry g_video;
CubbyFormatEntry g_caps[1] = {{FXD_EFFECT_BLOCK, 0x10, 0x4002, 0x20000001, 0x10000007, 0, 0, nullptr}};

void Log(const char* fmt, ...)
{
    char line[512];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(line, sizeof line, fmt, ap);
    va_end(ap);
    g_log += line;
    g_log += '\n';
}

INT_PTR Request(CubbyNode* node, WPARAM phase, void* record)
{
    if (!record) return 0;
    const bool current = FxIsCurrentForm(record);
    FxRequest r;
    if (current)
        std::memcpy(&r, record, sizeof r);
    else
        FxFromOld(&r, static_cast<const FxRequestOld*>(record));
    Log("request %08x phase %u %s marker %08x", r.code, unsigned(phase), current ? "current" : "old", r.marker);
    INT_PTR result = 0;
    if (phase == FXP_DIRECT_SET) {
        switch (r.code) {
        case FXD_EFFECT_BLOCK:
        case FXD_EFFECT_TEXT:
            if (r.data) std::memcpy(g_effect, r.data, sizeof g_effect);
            result = 1;
            break;
        case FXD_OBJECT_DATA:
            if (r.data) std::memcpy(&g_object, r.data, sizeof g_object);
            result = 1;
            break;
        case FXD_OBJECT_POSITION:
            g_position = r.second;
            result = 1;
            break;
        }
    } else if (phase == FXP_DIRECT_GET && r.code == FXD_RENDER_FRAME && r.data && r.second) {
        const FxFrameFormat* f = reinterpret_cast<const FxFrameFormat*>(r.second);
        g_lastFormat = *f;
        const bool bottomUp = (f->format >> 24) == 0x50;
        const uint32_t bar = f->width ? (f->position * g_effect[1]) % f->width : 0;
        for (uint32_t y = 0; y < f->height; ++y) {
            uint32_t* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(r.data) +
                                                        size_t(bottomUp ? f->height - 1 - y : y) * f->stride);
            for (uint32_t x = 0; x < f->width; ++x)
                row[x] = y == 0 ? (g_object | 0xFF000000u)
                                : (x >= bar && x < bar + 3) ? 0xFFFFFFFFu : g_effect[0];
        }
        r.second = uintptr_t(f->width) | (uintptr_t(f->height) << 16);  // answer: the size drawn
        result = 1;
    } else if (phase != FXP_DIRECT_GET && phase != FXP_DIRECT_SET) {
        // Phased exchange: the library gives an effect block.
        if (r.code == FXD_EFFECT_BLOCK && (phase & FXP_SIZE)) {
            r.second = sizeof g_effect;
            result = 1;
        } else if (r.code == FXD_EFFECT_BLOCK && (phase & FXP_TRANSFER) && r.data) {
            std::memcpy(r.data, g_effect, sizeof g_effect);
            result = 1;
        }
    }
    (void)node;
    if (current)
        std::memcpy(record, &r, sizeof r);
    else
        FxToOld(static_cast<FxRequestOld*>(record), &r);
    return result;
}

}  // namespace

extern "C" INT_PTR WINAPI FXNotify(CubbyNode* node, CubbyNode* peer, UINT message, WPARAM wparam, void* record)
{
    switch (message) {
    case FXN_ATTACH: {
        ++g_attaches;
        const char* ini = peer ? reinterpret_cast<const char*>(peer->notify(peer, node, FXN_SETTINGS_PATH, 0, nullptr)) : nullptr;
        const char* reg = peer ? reinterpret_cast<const char*>(peer->notify(peer, node, FXN_SETTINGS_PATH, 1, nullptr)) : nullptr;
        FxVideoFormatQuery q = {17, 0, 1, &g_video};
        std::memset(&g_video, 0, sizeof g_video);
        const INT_PTR vf = peer ? peer->notify(peer, node, FXN_VIDEO_FORMAT, 0, &q) : 0;
        const CubbyPrivateData* priv = static_cast<const CubbyPrivateData*>(node->privateData);
        Log("attach id %08x name %s ini %s reg %s video %d %ux%u@%u private %u", node->id, node->name,
            ini ? ini : "-", reg ? reg : "-", int(vf), g_video.width, g_video.height, g_video.frameRate,
            priv ? priv->type : 0);
        node->flags |= 1;
        node->capCount = 1;
        node->caps = g_caps;
        return 1;
    }
    case FXN_DETACH:
        ++g_detaches;
        Log("detach");
        return 1;
    case FXN_STATE:
        if (record) std::memcpy(g_state, record, sizeof g_state);
        Log("state %u %08x %08x", unsigned(wparam), g_state[0], g_state[1]);
        return 1;
    case FXN_REQUEST:
        return Request(node, wparam, record);
    default:
        return 0;
    }
}

// The log since the last reset; returns its length.
extern "C" int WINAPI TestFxLog(char* out, int size)
{
    if (out && size > 0) lstrcpynA(out, g_log.c_str(), size);
    return int(g_log.size());
}

extern "C" void WINAPI TestFxReset(void)
{
    g_log.clear();
}

// Counters and the last frame description.
extern "C" void WINAPI TestFxState(int* attaches, int* detaches, FxFrameFormat* lastFormat)
{
    if (attaches) *attaches = g_attaches;
    if (detaches) *detaches = g_detaches;
    if (lastFormat) *lastFormat = g_lastFormat;
}
