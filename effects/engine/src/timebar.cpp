// Time-bar callbacks (see fxtimebar.h).
#include "fxtimebar.h"

#include <algorithm>
#include <climits>
#include <new>

#include "fxedit.h"

FxTimeBarHost g_fxTimeBarHost = {};

namespace {

void *InstanceOf(HWND row)
{
    HWND parent = row ? GetParent(row) : nullptr;
    return parent ? reinterpret_cast<void *>(GetWindowLongPtrW(parent, GWLP_USERDATA)) : nullptr;
}

// The path shown on a row, or none.
FxPath *RowPath(HWND row)
{
    if (!row)
        return nullptr;
    int id = GetDlgCtrlID(row);
    if (id < TIMEBAR_FIRST_ROW || id >= TIMEBAR_FIRST_ROW + TIMEBAR_ROWS)
        return nullptr;
    void *instance = InstanceOf(row);
    if (!instance || !g_fxTimeBarHost.firstPath)
        return nullptr;
    HWND scroll = GetDlgItem(GetParent(row), TIMEBAR_SCROLL);
    LRESULT top = scroll ? SendMessageW(scroll, TIMEBAR_GET_POS, 4096, 0) : 0;
    long long index = (long long)(id - TIMEBAR_FIRST_ROW) + (long long)(int)top;
    if (index < 0)
        return nullptr;
    FxPath *p = g_fxTimeBarHost.firstPath(instance);
    for (; p && index > 0; --index)
        p = p->next;
    return p;
}

bool IsLast(const FxKeyframe *kf)
{
    return kf->next->index <= kf->index;   // the ring wraps after it
}

void UpdateEditor(void *instance, WPARAM what)
{
    HWND w = g_fxTimeBarHost.editorWindow ? g_fxTimeBarHost.editorWindow(instance) : nullptr;
    if (w)
        SendMessageW(w, FX_EDITOR_UPDATE, what, 0);
}

} // namespace

SpanruleCursor *__stdcall SpanruleFirstItem(HWND row)
{
    FxPath *p = RowPath(row);
    if (!p || !p->head)
        return nullptr;
    SpanruleCursor *c = new (std::nothrow) SpanruleCursor;
    if (c)
        *c = SpanruleCursor{ p, nullptr };
    return c;
}

int __stdcall SpanruleNextItem(void *, SpanruleCursor *cursor, SpanruleItem *item)
{
    if (!cursor || !cursor->path || !cursor->path->head || !item)
        return 0;
    FxKeyframe *kf;
    uint32_t flags = 0;
    if (!cursor->last) {
        kf = cursor->path->head;
        flags |= SPAN_FIRST;
    } else {
        if (IsLast(cursor->last))
            return 0;
        kf = cursor->last->next;
    }
    if (IsLast(kf))
        flags |= SPAN_LAST;
    if (kf->flags & (1u << 20))
        flags |= SPAN_MARK1;
    if (kf->flags & (1u << 26))
        flags |= SPAN_MARK2;
    cursor->last = kf;
    item->flags = flags;
    item->start = kf->startFrame;
    item->length = double(kf->endFrame) - kf->startFrame;
    return kf->index;
}

int __stdcall SpanruleFreeItem(SpanruleCursor *cursor)
{
    delete cursor;
    return 1;
}

int MoveKeyframeStart(FxPath *path, FxKeyframe *kf, int frame)
{
    if (!path || !kf)
        return 0;
    bool head = kf == path->head;
    FxKeyframe *next = IsLast(kf) ? nullptr : kf->next;
    int hold = kf->endFrame - kf->startFrame;
    int lo = head ? 1 : kf->prev->endFrame + 1;
    int hi = next ? next->startFrame - 1 - hold : INT_MAX / 2;
    int target = std::max(lo, std::min(hi, frame));
    if (target == kf->startFrame || hi < lo)
        return kf->startFrame;
    int nextStart = next ? next->startFrame : 0;
    if (head)
        ShiftPathFrames(path, target - kf->startFrame);
    else
        SetKeyframeDuration(kf, target - kf->prev->endFrame);
    if (next)
        SetKeyframeDuration(next, nextStart - kf->endFrame);
    NoteKeyframeChange(path, FXC_POSITION | FXC_ROTATION | FXC_SHAPE);
    return kf->startFrame;
}

int __stdcall SpanruleNotify(HWND row, int keyframeIndex, uint32_t event, int value)
{
    switch (event) {
    case SPAN_CURSOR_EDGE:
        SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_SIZEWE)));
        return 1;
    case SPAN_CURSOR_BAR:
        SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW)));
        return 1;
    default:
        break;
    }
    void *instance = InstanceOf(row);
    FxPath *path = RowPath(row);
    if (!instance || !path)
        return 0;
    FxKeyframe *kf = FindKeyframeByIndex(path, keyframeIndex);
    uint32_t *flags = g_fxTimeBarHost.effectFlags ? g_fxTimeBarHost.effectFlags(instance) : nullptr;
    switch (event) {
    case SPAN_SELECT:
        if (!kf)
            return 0;
        if (flags && (*flags & FX_EFFECT_CHANGED) && g_fxTimeBarHost.flushPending)
            g_fxTimeBarHost.flushPending(instance);
        path->current = kf;
        if (g_fxTimeBarHost.makeCurrent)
            g_fxTimeBarHost.makeCurrent(instance, path, kf);
        UpdateEditor(instance, 0x20000C00);
        return 1;
    case SPAN_CHANGED:
        UpdateEditor(instance, 0x50000400);
        if (flags)
            *flags |= FX_EFFECT_CHANGED;
        return 1;
    case SPAN_MOVE:
        if (!kf)
            return 0;
        MoveKeyframeStart(path, kf, value);
        if (flags)
            *flags |= FX_EFFECT_CHANGED;
        UpdateEditor(instance, 0x50000400);
        return 1;
    default:
        return 0;
    }
}
