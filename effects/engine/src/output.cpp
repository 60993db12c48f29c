// Rendering one frame into a layer or a host's buffer, and the error box.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "fxoutput.h"

HINSTANCE g_fxResourceModule;

namespace {

FxRenderJob BaseJob(const FxRenderSource *s)
{
    FxRenderJob j;
    memset(&j, 0, sizeof j);
    j.progress = s->progress;
    j.instance = s->instance;
    j.effectFrameRate = s->frameRate;
    j.rangeEnd = s->length;
    j.rangeMode = int((s->flagWord >> 28) & 3);
    if (s->flagWord & 0x80000000u)
        j.flags |= RJ_ALL_OBJECTS;
    return j;
}

bool Usable(const FxRenderSource *s)
{
    return s && s->view && s->first;
}

} // namespace

bool RenderRangeToLayer(const FxRenderSource *source, Layer *target, double width, double height, uint32_t flags,
                        int frame)
{
    if (!Usable(source) || !target || !(width > 0) || !(height > 0))
        return false;
    FxRenderJob j = BaseJob(source);
    j.flags |= flags;
    j.width = width;
    j.height = height;
    j.originMode = 5;
    j.target = target;
    if (frame < 1)
        frame = source->currentFrame > 0 ? source->currentFrame : 1;
    j.fromIndex = j.toIndex = frame;
    return RenderFrames(source->view, source->first, nullptr, &j) >= 0;
}

int RenderAllFrames(HWND window, const FxRenderSource *source, uint32_t options, FxPath *current, bool realtimeOn)
{
    if (!Usable(source))
        return -1;
    FxView *view = source->view;
    FxRenderJob j = BaseJob(source);
    view->window = window;
    view->dc = nullptr;
    j.flags |= RJ_DRAW_VIEW | 0x40 | RJ_REALTIME;
    if (source->invertFields)
        j.flags |= RJ_INVERT_FIELDS;
    j.fromIndex = (options & PLAY_FROM_CURRENT) ? source->currentFrame : 0;
    FxPath *first = source->first, *end = nullptr;
    if (options & PLAY_CURRENT_OBJECT) {
        if (!current)
            return -1;
        first = end = current;
    }
    if (options & PLAY_NO_UPDATE_RECT)
        j.flags |= RJ_NO_UPDATE_RECT;
    if (options & PLAY_CLIP_SAFE)
        j.flags |= RJ_CLIP_SAFE;
    if (options & PLAY_LOOP)
        j.flags |= RJ_LOOP;
    if (options & PLAY_PING_PONG)
        j.flags |= RJ_PING_PONG;
    if (options & PLAY_BACKWARDS)
        j.flags |= RJ_BACKWARDS;
    bool realtime = realtimeOn && ((view->flags & VIEW_REALTIME) || (options & PLAY_REALTIME));
    uint32_t viewFlags = view->flags;
    if (realtime) {
        j.progress = source->cancel;
        j.flags = (j.flags & ~uint32_t(RJ_DRAW_VIEW | RJ_REALTIME)) | 0x18002;
        view->flags |= VIEW_REALTIME;
    }
    FxRendererLink *link = view->link;
    if (link && link->command)
        link->command(link, 12, &j);
    int r = RenderFrames(view, first, end, &j);
    if (link && link->command)
        link->command(link, 13, &j);
    view->flags = (view->flags & ~VIEW_REALTIME) | (viewFlags & VIEW_REALTIME);
    if (j.flags & (RJ_LOOP | RJ_PING_PONG))
        return j.currentIndex > 0 ? j.currentIndex : -1;
    if (r > 0)
        return r;
    if (r == 0)
        return realtime && source->currentFrame > 0 ? source->currentFrame : j.lastFrame;
    // Cancelled: where it stopped, when it got that far.
    return j.currentIndex > 0 ? j.currentIndex : -1;
}

bool RenderToHostBuffer(const FxRenderSource *source, Layer *target, const uint32_t *request)
{
    // The record must reach its step word.
    if (!Usable(source) || !target || !request || request[FF_SIZE] < (FF_STEPS + 1) * 4)
        return false;
    if (request[FF_WIDTH] == 0 || request[FF_HEIGHT] == 0)
        return false;
    FxRenderJob j = BaseJob(source);
    j.flags |= request[FF_FLAGS] & 0x8FFF806u;
    if (source->invertFields)
        j.flags |= RJ_INVERT_FIELDS;
    j.originMode = request[FF_FLAGS] >> 28;
    j.width = request[FF_WIDTH];
    j.height = request[FF_HEIGHT];
    j.target = target;
    j.fromIndex = j.toIndex = int32_t(request[FF_FRAME]);
    j.stepCount = int32_t(request[FF_STEPS]);
    return RenderFrames(source->view, source->first, nullptr, &j) >= 0;
}

bool RenderToHostPixels(const FxRenderSource *source, void *buffer, size_t bytes, const uint32_t *request)
{
    if (!buffer || !request || request[FF_SIZE] < (FF_STEPS + 1) * 4 || !g_fxGraphics.CreateCompatibleLayer)
        return false;
    uint64_t width = request[FF_WIDTH], height = request[FF_HEIGHT];
    if (width == 0 || height == 0 || width > 0x7FFFFFF || height > 0x7FFFFFF)
        return false;
    uint64_t stride = request[FF_SIZE] >= 40 && request[FF_STRIDE] ? request[FF_STRIDE] : width * 4;
    uint64_t rows = (request[FF_FLAGS] & FF_FIELD_ROWS) ? height / 2 : height;
    if (rows == 0 || stride < width * 4 || stride > 0x7FFFFFFF || (rows - 1) * stride + width * 4 > bytes)
        return false;
    Layer *l = g_fxGraphics.CreateCompatibleLayer(buffer, LONG(width), LONG(rows), LONG(stride));
    if (!l)
        return false;
    bool ok = RenderToHostBuffer(source, l, request);
    if (g_fxGraphics.DeleteLayer)
        g_fxGraphics.DeleteLayer(l);
    return ok;
}

namespace {

// A string resource or the text itself.
const char *Resolve(const char *p, char *buffer, int size)
{
    uintptr_t id = reinterpret_cast<uintptr_t>(p);
    if (id >= 0x10000)
        return p;
    buffer[0] = 0;
    if (g_fxTundrix.iLoadString)
        g_fxTundrix.iLoadString(g_fxResourceModule, UINT(id), buffer, size, 0);
    else
        LoadStringA(g_fxResourceModule, UINT(id), buffer, size);
    return buffer;
}

} // namespace

int ShowErrorBox(HWND window, const char *title, UINT style, const char *text, ...)
{
    if (!g_fxTundrix.iErrMessageBox)
        return 0;
    char titleBuffer[256], textBuffer[256], format[256];
    const char *caption = title ? Resolve(title, titleBuffer, sizeof titleBuffer) : "";
    const char *fmt = text ? Resolve(text, format, sizeof format) : "";
    va_list args;
    va_start(args, text);
    vsnprintf(textBuffer, sizeof textBuffer, fmt, args);
    va_end(args);
    // The box takes its text as a format once more: every '%' of the
    // finished text is doubled so that it shows as written.
    char shown[512];
    size_t n = 0;
    for (const char *c = textBuffer; *c && n + 2 < sizeof shown; ++c) {
        if (*c == '%')
            shown[n++] = '%';
        shown[n++] = *c;
    }
    shown[n] = 0;
    return g_fxTundrix.iErrMessageBox(window, shown, caption, style);
}

void ReportOutOfMemory(const char *where)
{
    ShowErrorBox(nullptr, "FX", MB_ICONSTOP, "Out of Memory in %s", where ? where : "");
}
