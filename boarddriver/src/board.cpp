// EnableBoard: opens one board for a frame-buffer record, builds the
// board's private block and fills the record's operation slots; the
// frame-buffer operations that are not playback.
#include "quadrel.h"
#include <string.h>
#include <initializer_list>

namespace {

const LONG kPitch = 3072;               // the board's line format

// Board-memory layers find their board through a small record each.
struct LayerLink {
    Layer *layer;
    FrameBufferRecord *record;
    LayerLink *next;
};
LayerLink *g_links;
CRITICAL_SECTION g_linkLock;
struct LinkLockInit {
    LinkLockInit() { InitializeCriticalSection(&g_linkLock); }
} g_linkLockInit;

FrameBufferRecord *record_of(Layer *layer)
{
    EnterCriticalSection(&g_linkLock);
    FrameBufferRecord *r = nullptr;
    for (LayerLink *l = g_links; l; l = l->next)
        if (l->layer == layer) r = l->record;
    LeaveCriticalSection(&g_linkLock);
    return r;
}

enum BoardKind { KIND_NONE, KIND_ONBOARD, KIND_HOST, KIND_PLACEHOLDER };

BoardKind kind_of(DWORD word)
{
    if (word < 32) return KIND_ONBOARD;
    if (word >= 64 && word < 192) return KIND_HOST;
    if (word >= 192 && word < 448) return KIND_PLACEHOLDER;
    return KIND_NONE;
}

} // namespace

BoardState *board_of(FrameBufferRecord *record)
{
    if (!record || g_quadrel.device == INVALID_HANDLE_VALUE) return nullptr;
    return (BoardState *)record->driver;
}

DWORD backplane_of(FrameBufferRecord *record) { return record->board & 3; }

void wait_layer_access(FrameBufferRecord *record, Layer *layer, bool offScreen)
{
    BoardState *b = board_of(record);
    if (!b) return;
    const DWORD word = record->board;
    if (kind_of(word) == KIND_HOST) {
        DWORD bp = backplane_of(record);
        murnak_ioctl(word < 128 ? IOCTL_MURNAK_HOST_ACCESS_LO : IOCTL_MURNAK_HOST_ACCESS_HI, &bp, 4, nullptr, 0);
    }
    // A take still waiting for its trigger gives way to drawing.
    EnterCriticalSection(&b->lock);
    HANDLE trigger = b->trigger;
    LeaveCriticalSection(&b->lock);
    if (trigger && WaitForSingleObject(trigger, 0) != WAIT_OBJECT_0) ControlEffectBoard(record, 1, 0);
    if (offScreen || (layer && (layer == b->memory[1] || layer == b->view[1]))) WaitForSingleObject(b->done, INFINITE);
}

extern "C" LONG PIXAPI BoardLayerAccess(Layer *layer, Layer *)
{
    wait_layer_access(record_of(layer), layer, false);
    return 1;
}

extern "C" LONG PIXAPI BoardLayerUpdate(Layer *layer, Layer *)
{
    FrameBufferRecord *record = record_of(layer);
    if (!board_of(record)) return 1;
    if (kind_of(record->board) == KIND_HOST) {
        DWORD bp = backplane_of(record);
        murnak_ioctl(record->board < 128 ? IOCTL_MURNAK_HOST_UPDATE_LO : IOCTL_MURNAK_HOST_UPDATE_HI, &bp, 4,
                     nullptr, 0);
    }
    return 1;
}

extern "C" LONG PIXAPI BoardLayerDestroy(Layer *layer, Layer *)
{
    EnterCriticalSection(&g_linkLock);
    for (LayerLink **p = &g_links; *p;) {
        if ((*p)->layer == layer) {
            LayerLink *dead = *p;
            *p = dead->next;
            M32_free(dead);
        } else {
            p = &(*p)->next;
        }
    }
    LeaveCriticalSection(&g_linkLock);
    layer->beginAccess = layer->endAccess = layer->destroy = nullptr;
    return 1;
}

static void link_layer(Layer *layer, FrameBufferRecord *record)
{
    if (!layer) return;
    LayerLink *l = (LayerLink *)M32_alloc(sizeof(LayerLink));
    if (!l) return;
    l->layer = layer;
    l->record = record;
    EnterCriticalSection(&g_linkLock);
    l->next = g_links;
    g_links = l;
    LeaveCriticalSection(&g_linkLock);
    layer->beginAccess = BoardLayerAccess;
    layer->endAccess = BoardLayerUpdate;
    layer->destroy = BoardLayerDestroy;
}


extern "C" {

Layer *PIXAPI OnScreenBoardLayer(FrameBufferRecord *record)
{
    BoardState *b = board_of(record);
    return b ? b->view[0] : nullptr;
}

Layer *PIXAPI OffScreenBoardLayer(FrameBufferRecord *record)
{
    BoardState *b = board_of(record);
    return b ? b->view[1] : nullptr;
}

static BYTE *board_line(FrameBufferRecord *record, Layer *memory, LONG_PTR line)
{
    BoardState *b = board_of(record);
    if (!b || !memory || line < 0 || line >= record->frameHeight) return nullptr;
    wait_layer_access(record, memory, false);
    return memory->pixels + (LONG_PTR)line * memory->pitch;
}

BYTE *PIXAPI OnScreenBoardLine(FrameBufferRecord *record, LONG_PTR line)
{
    BoardState *b = board_of(record);
    return b ? board_line(record, b->memory[0], line) : nullptr;
}

BYTE *PIXAPI OffScreenBoardLine(FrameBufferRecord *record, LONG_PTR line)
{
    BoardState *b = board_of(record);
    return b ? board_line(record, b->memory[1], line) : nullptr;
}

static void set_view_windows(BoardState *b)
{
    for (Layer *v : b->view)
        if (v) ClipLayerXYWH(v, b->x0, b->y0, b->x1 - b->x0, b->y1 - b->y0);
}

LONG PIXAPI WindowBoard(FrameBufferRecord *record, LONG_PTR px, LONG_PTR py, LONG_PTR pw, LONG_PTR ph)
{
    BoardState *b = board_of(record);
    if (!b) return 0;
    LONG x = (LONG)px, y = (LONG)py, w = (LONG)pw, h = (LONG)ph;
    if (x < 0) { w += x; x = 0; }
    if (y < 0) { h += y; y = 0; }
    if (w > record->frameWidth - x) w = record->frameWidth - x;
    if (h > record->frameHeight - y) h = record->frameHeight - y;
    if (b->fieldMode) {
        h &= ~1;
        y &= ~1;
    }
    if (w <= 0 || h <= 0) return 0;
    b->x0 = x;
    b->x1 = x + w;
    b->width = w;
    b->y0 = y;
    b->y1 = y + h;
    b->height = h;
    set_view_windows(b);
    DWORD in[5] = { (DWORD)b->handle, (DWORD)b->y0, (DWORD)b->x0, (DWORD)b->y1, (DWORD)b->x1 };
    murnak_ioctl(IOCTL_MURNAK_WINDOW, in, sizeof in, nullptr, 0);
    return 1;
}

LONG PIXAPI WindowHostBoard(FrameBufferRecord *record, LONG_PTR x, LONG_PTR y, LONG_PTR w, LONG_PTR h)
{
    BoardState *b = board_of(record);
    if (!b || record->frameWidth <= 0 || record->frameHeight <= 0) return 0;
    const double fw = record->frameWidth, fh = record->frameHeight;
    DWORD in[5] = { (DWORD)b->handle, fix24((LONG)x / fw), fix24((LONG)y / fh), fix24((LONG)w / fw),
                    fix24((LONG)h / fh) };
    murnak_ioctl(IOCTL_MURNAK_HOST_WINDOW, in, sizeof in, nullptr, 0);
    return 1;
}

LONG PIXAPI GetWindowRectBoard(FrameBufferRecord *record, LONG_PTR rect)
{
    BoardState *b = board_of(record);
    if (!b || !rect) return 0;
    RECT *r = (RECT *)rect;
    r->left = b->x0;
    r->top = b->y0;
    r->right = b->x1;
    r->bottom = b->y1;
    return 1;
}

LONG PIXAPI GetAspectRatioBoard(FrameBufferRecord *record, LONG_PTR x, LONG_PTR y)
{
    BoardState *b = board_of(record);
    if (!b) return 0;
    if (x) *(int *)x = (int)HIWORD(b->aspect);
    if (y) *(int *)y = (int)LOWORD(b->aspect);
    return 1;
}

LONG PIXAPI GetKeyingBoard(FrameBufferRecord *record)
{
    BoardState *b = board_of(record);
    return b ? b->keying : 0;
}

// Four doubles arrive as the bit patterns of four pointer-sized arguments
// (the forwarder passes eight; the last four are unused here).
static double as_double(LONG_PTR v)
{
    double d;
    memcpy(&d, &v, sizeof d);
    return d;
}

LONG PIXAPI MasterDVEBoard(FrameBufferRecord *record, LONG_PTR a, LONG_PTR b_, LONG_PTR c, LONG_PTR d, LONG_PTR,
                           LONG_PTR, LONG_PTR, LONG_PTR)
{
    BoardState *b = board_of(record);
    if (!b) return 0;
    DWORD in[5] = { (DWORD)b->handle, fix24(as_double(b_)), fix24(as_double(a)), fix24(as_double(c)),
                    fix24(as_double(d)) };
    murnak_ioctl(IOCTL_MURNAK_MASTER_DVE, in, sizeof in, nullptr, 0);
    return 1;
}

LONG PIXAPI LiveDVEBoard(FrameBufferRecord *record, LONG_PTR a, LONG_PTR b_, LONG_PTR c, LONG_PTR d, LONG_PTR,
                         LONG_PTR, LONG_PTR, LONG_PTR)
{
    BoardState *b = board_of(record);
    if (!b) return 0;
    DWORD in[5] = { (DWORD)b->handle, fix24(as_double(a)), fix24(as_double(b_)), fix24(as_double(c)),
                    fix24(as_double(d)) };
    murnak_ioctl(IOCTL_MURNAK_LIVE_DVE, in, sizeof in, nullptr, 0);
    return 1;
}

LONG PIXAPI GrabBoard(FrameBufferRecord *record, LONG_PTR mode)
{
    BoardState *b = board_of(record);
    if (!b) return 0;
    const DWORD bp = backplane_of(record);
    const BOOL quadrel = g_quadrel.quadrel[bp];
    auto send_effects = [&](DWORD code, void *in, DWORD len) {
        HANDLE fx = open_effects_device(bp);
        effects_request(fx, code, in, len);
        if (fx != INVALID_HANDLE_VALUE) CloseHandle(fx);
    };
    auto grab = [&](DWORD m) {
        DWORD in[2] = { (DWORD)b->handle, m };
        murnak_ioctl(IOCTL_MURNAK_GRAB, in, sizeof in, nullptr, 0);
    };
    switch (mode) {
    case 0:
        if (b->view[0]) ClearLayer(b->view[0]);
        grab(0);
        if (!quadrel) send_effects(IOCTL_EFFECTS_RELEASE, nullptr, 0);
        return 1;
    case 1:
        GrabBoard(record, 0);
        Sleep(100);
        if (quadrel) grab(1);
        else send_effects(IOCTL_EFFECTS_FREEZE, nullptr, 0);
        Sleep(100);
        return 1;
    case 2: {
        wait_layer_access(record, b->memory[1], true);
        HANDLE fx = open_effects_device(bp);
        const LONG w = record->frameWidth, h = record->frameHeight;
        Layer *host = CreateLayer(w, h, 1);
        Layer *view = host ? CreateClippedLayer(host) : nullptr;
        DWORD param = 0;
        DWORD handle = (DWORD)b->handle;
        murnak_ioctl(IOCTL_MURNAK_CAPTURE_PARAM, &handle, 4, &param, 4);
        if (host && view) {
            // 68 bytes: size, picture address, picture bytes, three plane
            // descriptors {width, rows, 0, 0}, the capture parameter.
            DWORD rec[17] = {};
            void *pixels = host->pixels;
            rec[0] = 68;
            memcpy(&rec[1], &pixels, sizeof pixels);
            rec[3] = (DWORD)((h / 4) * w * 16);
            for (int p = 0; p < 3; ++p) {
                rec[4 + 4 * p] = (DWORD)w;
                rec[5 + 4 * p] = (DWORD)((h / 4) * 4);
            }
            rec[16] = quadrel ? param : 1;
            effects_request(fx, IOCTL_EFFECTS_CAPTURE, rec, sizeof rec);
            SetAlphaLayer(host, 255);
            if (!quadrel) ClipLayerXYWH(view, 0, 1, w, h - 1);
            if (b->view[0]) CopyLayer(b->view[0], view);
            if (b->view[1]) ClearLayer(b->view[1]);
        }
        if (view) DeleteLayer(view);
        if (host) DeleteLayer(host);
        if (fx != INVALID_HANDLE_VALUE) CloseHandle(fx);
        return 1;
    }
    case 4:
        grab(4);
        if (!quadrel) send_effects(IOCTL_EFFECTS_RELEASE, nullptr, 0);
        return 1;
    }
    return 0;
}

LONG PIXAPI EnableBoard(FrameBufferRecord *record)
{
    if (!record || g_quadrel.device == INVALID_HANDLE_VALUE) return 0;
    BoardState *b = (BoardState *)M32_alloc(sizeof(BoardState));
    if (!b) return 0;
    b->record = record;
    record->driver = b;
    const DWORD word = record->board;
    DWORD in = word;
    MurnakOpenBoard open = {};
    // A failed request, like a refused board, leaves no block behind.
    if (!murnak_ioctl(IOCTL_MURNAK_OPEN_BOARD, &in, 4, &open, sizeof open) || open.handle < 0) {
        record->driver = nullptr;
        M32_free(b);
        return 0;
    }
    b->handle = open.handle;
    b->keying = (LONG)open.keying;
    b->aspect = open.aspect;
    record->frameWidth = (LONG)open.width;
    record->frameHeight = (LONG)open.height;
    record->caps = 0;
    b->frameWidth = (LONG)open.width;
    b->frameHeight = (LONG)open.height;
    const LONG w = record->frameWidth, h = record->frameHeight;

    const BoardKind kind = kind_of(word);
    DWORD handle = (DWORD)b->handle;
    switch (kind) {
    case KIND_ONBOARD: {
        BYTE *memory = nullptr;
        if (murnak_ioctl(IOCTL_MURNAK_FRAME_MEMORY, &handle, 4, &memory, sizeof memory) && memory) {
            b->memory[0] = CreateCompatibleLayer(memory, w, h, kPitch);
            b->memory[1] = CreateCompatibleLayer(memory + 0x200000, w, h, kPitch);
            b->memory[2] = CreateCompatibleLayer(memory + 0x200000, w, h, kPitch);
        }
        FB_SLOT(record, FBW_ONSCREEN_LAYER) = (void *)OnScreenBoardLayer;
        FB_SLOT(record, FBW_ONSCREEN_LINE) = (void *)OnScreenBoardLine;
        FB_SLOT(record, FBW_OFFSCREEN_LAYER) = (void *)OffScreenBoardLayer;
        FB_SLOT(record, FBW_OFFSCREEN_LINE) = (void *)OffScreenBoardLine;
        FB_SLOT(record, FBW_ROLL) = (void *)RollBoard;
        FB_SLOT(record, FBW_VEXA) = (void *)VexaBoard;
        FB_SLOT(record, FBW_GRAB) = (void *)GrabBoard;
        FB_SLOT(record, FBW_ROLL_LAYER) = (void *)RollBoardLayer;
        FB_SLOT(record, FBW_WINDOW) = (void *)WindowBoard;
        FB_SLOT(record, FBW_LIVE_DVE) = (void *)LiveDVEBoard;
        b->generator = board_transition_list;
        break;
    }
    case KIND_HOST: {
        b->memory[1] = CreateLayer(w, h, 1);
        if (b->memory[1]) {
            MurnakAttachHost a = { word & 3, 0, b->memory[1]->pixels, (DWORD)(w * h * 4), 0 };
            murnak_ioctl(word < 128 ? IOCTL_MURNAK_ATTACH_HOST_LO : IOCTL_MURNAK_ATTACH_HOST_HI, &a, sizeof a,
                         nullptr, 0);
        }
        FB_SLOT(record, FBW_OFFSCREEN_LAYER) = (void *)OffScreenBoardLayer;
        FB_SLOT(record, FBW_OFFSCREEN_LINE) = (void *)OffScreenBoardLine;
        FB_SLOT(record, FBW_WINDOW) = (void *)WindowHostBoard;
        b->generator = host_transition_list;
        break;
    }
    case KIND_PLACEHOLDER:
        b->memory[1] = CreateLayer(16, 16, 1);
        FB_SLOT(record, FBW_VEXA) = (void *)VexaBoard;
        FB_SLOT(record, FBW_WINDOW) = (void *)WindowHostBoard;
        b->generator = host_transition_list;
        break;
    case KIND_NONE:
        b->generator = host_transition_list;
        break;
    }
    const DWORD option = word & 0xF;
    g_quadrel.optionA[option] = (word >> 28) & 1;
    g_quadrel.optionB[option] = !((word >> 27) & 1);

    FB_SLOT(record, FBW_DISABLE) = (void *)DisableBoard;
    FB_SLOT(record, FBW_TAKE) = (void *)TakeBoard;
    FB_SLOT(record, FBW_TAKE_EVENT) = (void *)TakeBoardEvent;
    FB_SLOT(record, FBW_CONTROL_EFFECT) = (void *)ControlEffectBoard;
    FB_SLOT(record, FBW_MASTER_DVE) = (void *)MasterDVEBoard;
    FB_SLOT(record, FBW_GET_WINDOW_RECT) = (void *)GetWindowRectBoard;
    FB_SLOT(record, FBW_ASPECT) = (void *)GetAspectRatioBoard;
    FB_SLOT(record, FBW_KEYING) = (void *)GetKeyingBoard;
    FB_SLOT(record, FBW_TAKE_EVENT_EX) = (void *)TakeBoardEventEx;
    FB_SLOT(record, FBW_TAKE_AT_TIME) = (void *)TakeBoardAtTime;
    FB_SLOT(record, FBW_GET_NAME) = (void *)GetNameOfBoard;
    if (kind == KIND_ONBOARD || kind == KIND_HOST)
        for (Layer *m : b->memory) link_layer(m, record);

    // Events the driver signals, then the play thread.
    b->done = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    b->rollReady = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    b->rollStep = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    b->extra = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    const struct { DWORD code; HANDLE event; } events[] = {
        { IOCTL_MURNAK_EVENT_DONE, b->done }, { IOCTL_MURNAK_EVENT_ROLL_READY, b->rollReady },
        { IOCTL_MURNAK_EVENT_ROLL_STEP, b->rollStep }, { IOCTL_MURNAK_EVENT_EXTRA, b->extra },
    };
    for (const auto &e : events) {
        MurnakEvent ev = { handle, 0, e.event };
        murnak_ioctl(e.code, &ev, sizeof ev, nullptr, 0);
    }
    b->quit = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    b->queue = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    b->movieId = -1;
    InitializeCriticalSection(&b->lock);
    b->thread = CreateThread(nullptr, 0, board_play_thread, record, 0, nullptr);

    b->x0 = 0;
    b->x1 = w;
    b->width = w;
    b->y0 = 0;
    b->y1 = h;
    b->height = h;
    b->fieldMode = TRUE;
    b->playTime = 0xFFFFFFFF;
    for (int i = 0; i < 3; ++i)
        if (b->memory[i]) b->view[i] = CreateClippedLayer(b->memory[i]);
    return 1;
}

LONG PIXAPI DisableBoard(FrameBufferRecord *record)
{
    BoardState *b = record ? (BoardState *)record->driver : nullptr;
    if (!b) return 0;
    if (g_quadrel.device != INVALID_HANDLE_VALUE) ControlEffectBoard(record, 1, 0);
    if (b->thread) {
        SetEvent(b->quit);
        WaitForSingleObject(b->thread, INFINITE);
        CloseHandle(b->thread);
    }
    if (b->movieId >= 0) {
        DWORD id = (DWORD)b->movieId;
        murnak_ioctl(IOCTL_MURNAK_FREE_LIST, &id, 4, nullptr, 0);
    }
    if (b->movieList) M32_free(b->movieList);
    // A take the thread never took.
    if (b->pendingList) {
        DWORD id = b->submittedId;
        murnak_ioctl(IOCTL_MURNAK_FREE_LIST, &id, 4, nullptr, 0);
        M32_free(b->pendingList);
    }
    if (kind_of(record->board) == KIND_HOST) {
        DWORD bp = record->board & 3;
        murnak_ioctl(record->board < 128 ? IOCTL_MURNAK_DETACH_HOST_LO : IOCTL_MURNAK_DETACH_HOST_HI, &bp, 4,
                     nullptr, 0);
    }
    DWORD handle = (DWORD)b->handle;
    murnak_ioctl(IOCTL_MURNAK_CLOSE_BOARD, &handle, 4, nullptr, 0);
    for (HANDLE e : { b->done, b->rollReady, b->rollStep, b->extra, b->quit, b->queue })
        if (e) CloseHandle(e);
    for (Layer *&l : b->rollLayer)
        if (l) DeleteLayer(l), l = nullptr;
    if (b->rollView) DeleteLayer(b->rollView);
    for (Layer *v : b->view)
        if (v) DeleteLayer(v);
    for (Layer *m : b->memory)
        if (m) DeleteLayer(m);
    DeleteCriticalSection(&b->lock);
    record->driver = nullptr;
    M32_free(b);
    return 1;
}

} // extern "C"
