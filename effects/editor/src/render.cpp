// Frame requests: the effect rendered into a host's buffer or layer
// through the engine's output paths, in a view made for the request.
#include <cstdint>
#include <cstring>

#include "fxhost.h"
#include "fxoutput.h"
#include "fxview.h"

namespace {

// A view of the frame's pixel size over the effect's own space: the
// effect's view, else the space its FX script gave, else the frame's
// pixels themselves.
struct RequestView {
    FxView *view = nullptr;
    RequestView(FxInstance *inst, int width, int height)
    {
        int32_t d[13] = {};
        d[0] = width;
        d[1] = height;
        if (FxEffect *e = FxCurrentEffect(inst)) {
            if (e->view && e->view->virtualWidth > 0 && e->view->virtualHeight > 0) {
                d[0] = FxRound(e->view->virtualWidth);
                d[1] = FxRound(e->view->virtualHeight);
            } else if (e->virtualWidth > 0 && e->virtualHeight > 0) {
                d[0] = e->virtualWidth;
                d[1] = e->virtualHeight;
            }
        }
        SIZE client = {width, height};
        view = CreateView(d, nullptr, VIEW_NO_LAYER, nullptr, &client, nullptr);
    }
    ~RequestView()
    {
        if (view) DestroyView(view);
    }
};

void FillSource(FxInstance *inst, FxView *view, FxRenderSource *s)
{
    std::memset(s, 0, sizeof *s);
    FxEffect *e = FxCurrentEffect(inst);
    s->view = view;
    s->first = e ? e->first : nullptr;
    s->currentFrame = e ? e->currentFrame : 0;
    s->length = e && e->endFrame ? e->endFrame : inst->hostDuration;
    s->flagWord = e ? e->flags : 0;
    s->frameRate = inst->frameRate;
    s->invertFields = (inst->displayFlags & FXDF_INVERT_FIELDS) ? 1 : 0;
    s->instance = inst;
}

// Bytes of the host's buffer that a frame request covers; 0 when the
// request is not one.
size_t RequestBytes(const uint32_t *request)
{
    if (request[FF_SIZE] < (FF_STEPS + 1) * 4) return 0;
    const uint64_t width = request[FF_WIDTH], height = request[FF_HEIGHT];
    const uint64_t stride = request[FF_SIZE] >= 40 && request[FF_STRIDE] ? request[FF_STRIDE] : width * 4;
    const uint64_t rows = (request[FF_FLAGS] & FF_FIELD_ROWS) ? height / 2 : height;
    if (!width || !rows || width > 0x7FFFFFF || stride > 0x7FFFFFFF) return 0;
    return size_t((rows - 1) * stride + width * 4);
}

// Whether every byte of [p, p + bytes) may be written, asked of the memory
// manager (no probing write).  Memory it does not manage (the C run-time's
// own heap of a winelib host) is taken as the host's to give; reserved,
// read-only, guard and no-access pages are refused.
bool Writable(void *p, size_t bytes)
{
    uint8_t *at = static_cast<uint8_t *>(p);
    uint8_t *const end = at + bytes;
    while (at < end) {
        MEMORY_BASIC_INFORMATION mi;
        if (!VirtualQuery(at, &mi, sizeof mi) || mi.State == MEM_RESERVE) return false;
        if (mi.State == MEM_FREE) {
            at = static_cast<uint8_t *>(mi.BaseAddress) + mi.RegionSize;
            continue;
        }
        const DWORD writable = PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
        if (!(mi.Protect & writable) || (mi.Protect & (PAGE_GUARD | PAGE_NOACCESS))) return false;
        at = static_cast<uint8_t *>(mi.BaseAddress) + mi.RegionSize;
    }
    return true;
}

bool Readable(const void *p, size_t bytes)
{
    const uint8_t *at = static_cast<const uint8_t *>(p);
    const uint8_t *const end = at + bytes;
    while (at < end) {
        MEMORY_BASIC_INFORMATION mi;
        if (!VirtualQuery(at, &mi, sizeof mi) || mi.State == MEM_RESERVE) return false;
        if (mi.State == MEM_COMMIT && (mi.Protect & (PAGE_GUARD | PAGE_NOACCESS))) return false;
        at = static_cast<const uint8_t *>(mi.BaseAddress) + mi.RegionSize;
    }
    return true;
}

INT_PTR RenderInto(FxInstance *inst, void *pixels, const uint32_t *request)
{
    const size_t bytes = RequestBytes(request);
    // The host's memory must take every byte the frame writes.
    if (!bytes || !pixels || !Writable(pixels, bytes)) return 0;
    if (!FxCurrentEffect(inst)) return 0;
    RequestView v{inst, int(request[FF_WIDTH]), int(request[FF_HEIGHT])};
    if (!v.view) return 0;
    FxRenderSource s;
    FillSource(inst, v.view, &s);
    return RenderToHostPixels(&s, pixels, bytes, request) ? 1 : 0;
}

}  // namespace

bool FxHostMemory(void *p, size_t bytes, bool writable)
{
    return p && (writable ? Writable(p, bytes) : Readable(p, bytes));
}

INT_PTR FxRenderFrameRequest(FxInstance *inst, FxRequest &r)
{
    // The size word points at the host's frame description.
    if (!r.second || r.unit != FXM_WIDE) return 0;
    uint32_t request[10] = {};
    const uint32_t *given = reinterpret_cast<const uint32_t *>(r.second);
    if (!Readable(given, 4)) return 0;
    const uint32_t n = given[0] < sizeof request ? given[0] : sizeof request;
    if (n < 4 || !Readable(given, n)) return 0;
    std::memcpy(request, given, n);
    return RenderInto(inst, r.data, request);
}

INT_PTR FxRenderPreview(FxInstance *inst, FxRequest &r, int width, int height)
{
    const uint32_t request[10] = {40, 0x90072004, uint32_t(width), uint32_t(height), 0, 15, 25,
                                  uint32_t(width) * 4, 0, 0};
    return RenderInto(inst, r.data, request);
}

INT_PTR FxRenderToLayer(FxInstance *inst, Layer *layer, int width, int height, int frame)
{
    if (!layer || !FxCurrentEffect(inst)) return 0;
    RequestView v{inst, width, height};
    if (!v.view) return 0;
    FxRenderSource s;
    FillSource(inst, v.view, &s);
    return RenderRangeToLayer(&s, layer, width, height, 0, frame) ? 1 : 0;
}
