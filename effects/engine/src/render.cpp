// The frame renderer: steps, frame times, active objects, depth order,
// callbacks, pacing and the outline preview.
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fxoutput.h"
#include "fxscene.h"

namespace {

// The objects from first to end (inclusive; none = to the list's end).
template <class F> void ForObjects(FxPath *first, FxPath *end, F f)
{
    for (FxPath *p = first; p; p = p == end ? nullptr : p->next)
        f(p);
}

template <class F> void ForKeyframes(FxPath *p, F f)
{
    FxKeyframe *kf = p->head;
    if (!kf)
        return;
    for (;; kf = kf->next) {
        f(kf);
        if (kf->next->index <= kf->index)
            break;
    }
}

bool IsActive(FxPath *p, double t, uint32_t flags)
{
    FxKeyframe *head = p->head;
    FxKeyframe *last = LastKeyframe(p);
    if (!head || !last || (head->flags & KF_HIDDEN))
        return false;
    bool inSpan = t >= head->startTime && t <= last->endTime;
    bool spanOk = (flags & RJ_ALL_OBJECTS) || (!(flags & RJ_SPAN_ONLY) && !(p->pathFlags & PATH_SPAN_LIMITED)) ||
                  inSpan;
    bool startOk = !(flags & (RJ_SPAN_ONLY | RJ_ALL_OBJECTS)) || head->startFrame <= t;
    return spanOk && startOk;
}

double Depth(const FxPath *p)
{
    return p->work.centre3d[2];
}

// One object of the outline preview: its corner polygon, the line from its
// position to its centre, and its number in a circle at the centre; its
// bounds and anchor go into the view's update rectangle.
void DrawOutline(FxView *view, FxPath *p, HFONT font, bool collect)
{
    const FxKeyframe &w = p->work;
    if (HDC dc = view->dc) {
        POINT pts[5];
        for (int i = 0; i < 4; ++i)
            pts[i] = POINT{ LONG(w.screenCorners[i][0]), LONG(w.screenCorners[i][1]) };
        pts[4] = pts[0];
        Polyline(dc, pts, 5);
        DrawKeyframeShape(dc, &w, PathOutlineShape(view, p));
        if (w.screenPos[0] != w.screenCentre[0] || w.screenPos[1] != w.screenCentre[1]) {
            MoveToEx(dc, w.screenPos[0], w.screenPos[1], nullptr);
            LineTo(dc, w.screenCentre[0], w.screenCentre[1]);
        }
        char text[16];
        int n = snprintf(text, sizeof text, "%d", p->number);
        int oldMode = SetBkMode(dc, TRANSPARENT);
        HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
        HGDIOBJ oldFont = font ? SelectObject(dc, font) : nullptr;
        const int cx = w.screenCentre[0], cy = w.screenCentre[1];
        Ellipse(dc, cx - 8, cy - 8, cx + 9, cy + 9);
        SIZE extent = {};
        GetTextExtentPoint32A(dc, text, n, &extent);
        TextOutA(dc, cx - extent.cx / 2, cy - extent.cy / 2, text, n);
        if (oldFont)
            SelectObject(dc, oldFont);
        SelectObject(dc, oldBrush);
        SetBkMode(dc, oldMode);
    }
    if (collect) {
        AddDirtyRect(view, w.screenBounds);
        const int32_t anchor[4] = { w.screenCentre[0] - 6, w.screenCentre[1] - 6, 12, 12 };
        AddDirtyRect(view, anchor);
    }
}

struct Walk {
    FxView *view;
    FxPath *first, *end;
    FxRenderJob *job;
    int base;
    bool cancelled = false;

    // Both callbacks at one step; false once either cancels.
    bool Call(int step)
    {
        if (job->progress && !job->progress(step, job))
            return false;
        if (job->object && !job->object(step, job))
            return false;
        return true;
    }

    // The per-object calls of a step; the object word goes to the callbacks
    // and the object callback's word comes back into the object.
    bool CallObject(int step, FxPath *p, uint32_t position, bool corners)
    {
        if (corners)
            ComputeObjectCorners(view, job, &job->corners, p, &p->work);
        job->corners.objectWord = GetObjectWord(p);
        job->objectNumber = uint32_t(p->number);
        job->positionFlags = position;
        if (job->progress && !job->progress(step, job))
            return false;
        if (job->object) {
            int r = job->object(step, job);
            SetObjectWord(p, job->corners.objectWord);
            if (!r)
                return false;
        }
        return true;
    }

    // The pre- and post-pass: every object at its own first keyframe.
    bool PrePost(int step)
    {
        bool ok = true;
        ForObjects(first, end, [&](FxPath *p) {
            if (!ok || !p->head)
                return;
            EvaluatePathAtTime(view, p, p->head->startTime, 0);
            bool last = p == end || !p->next;
            ok = CallObject(step, p, last ? RP_LAST_OBJECT : 0, true);
            if (step == RS_POST)
                SetObjectWord(p, 0);
        });
        return ok;
    }
};

} // namespace

int ComputeObjectCorners(FxView *, FxRenderJob *job, ObjectCorners *c, FxPath *object, FxKeyframe *state)
{
    if (!state || !job || !c)
        return 0;
    double w = job->width, h = job->height;
    const double(*n)[2] = state->normCorners;
    double x = n[0][0], y = n[0][1];
    switch (job->originMode & 3) {
    case 1: c->x0 = (x + 0.5) * w; break;
    case 2: c->x0 = w - (x + 0.5) * w; break;
    default: c->x0 = x * w; break;
    }
    switch (job->originMode & 0xC) {
    case 4: c->y0 = (y + 0.5) * h; break;
    case 8: c->y0 = h - (y + 0.5) * h; break;
    default: c->y0 = y * h; break;
    }
    c->topDx = (n[1][0] - n[0][0]) * w;
    c->leftDy = (n[3][1] - n[0][1]) * h;
    c->leftDx = (n[3][0] - n[0][0]) * w;
    c->xBend = ((n[2][0] - n[3][0]) - (n[1][0] - n[0][0])) * w;
    c->topDy = (n[1][1] - n[0][1]) * h;
    c->yBend = ((n[2][1] - n[1][1]) - (n[3][1] - n[0][1])) * h;
    if (job->originMode & 2) {
        c->topDx = -c->topDx;
        c->leftDx = -c->leftDx;
        c->xBend = -c->xBend;
    }
    if (job->originMode & 8) {
        c->leftDy = -c->leftDy;
        c->topDy = -c->topDy;
        c->yBend = -c->yBend;
    }
    c->state = state;
    c->identifier = object ? object->imageId : state->identifier;
    c->image = nullptr;
    c->imageWidth = c->imageHeight = 0;
    if (object) {
        const FxPathImage &img = object->image;
        Layer *src = img.layers[0];
        c->image = img.pixels ? img.pixels : src ? src->pixels : nullptr;
        c->imageWidth = img.width ? img.width : src ? src->width : 0;
        c->imageHeight = img.height ? img.height : src ? src->height : 0;
    }
    return 1;
}

int OrderDrawList(FxPath **list, int count, FxPath *first, FxPath *end, uint32_t flags)
{
    if (!list || count < 0)
        return 0;
    bool largest = ((flags & RJ_REVERSE_DEPTH) != 0) == ((flags & RJ_ON_TOP) != 0);
    int n = 0;
    while (n < count) {
        FxPath *pick = nullptr;
        ForObjects(first, end, [&](FxPath *p) {
            if (!(p->pathFlags & PATH_ACTIVE))
                return;
            if (!pick)
                pick = p;
            else if (!(flags & RJ_LIST_ORDER) && (largest ? Depth(p) > Depth(pick) : Depth(p) < Depth(pick)))
                pick = p;
        });
        if (!pick)
            break;
        pick->pathFlags &= ~PATH_ACTIVE;
        list[n++] = pick;
    }
    list[n] = nullptr;
    // Marks left over (a list too short) are cleared as well.
    ForObjects(first, end, [](FxPath *p) { p->pathFlags &= ~PATH_ACTIVE; });
    return n;
}

int FlushViewUpdate(FxView *view)
{
    if (!view || !(view->dirty[2] > 0 && view->dirty[3] > 0))
        return 0;
    int done = 0;
    if (view->dc && view->memDc)
        done = BitBlt(view->dc, view->dirty[0], view->dirty[1], view->dirty[2], view->dirty[3], view->memDc,
                      view->dirty[0], view->dirty[1], SRCCOPY) != 0;
    memset(view->dirty, 0, sizeof view->dirty);
    view->flags &= ~VIEW_DIRTY_VALID;
    return done;
}

int RenderFrames(FxView *view, FxPath *first, FxPath *end, FxRenderJob *job)
{
    if (!job)
        return -1;
    const uint32_t flags0 = job->flags;
    const bool endless = (flags0 & (RJ_LOOP | RJ_PING_PONG)) != 0;
    if (!view || !first)
        return endless ? 0 : -1;
    job->window = view->window;
    job->firstObject = first;

    // Preparation: derived keyframe data, the frame range.
    int count = 0, firstFrame = INT_MAX, lastFrame = 0;
    ForObjects(first, end, [&](FxPath *p) {
        ++count;
        ForKeyframes(p, [](FxKeyframe *kf) { kf->secondFlags &= ~0x50u; });
        RefreshPath(p);
        if (p->head && p->head->startFrame < firstFrame)
            firstFrame = p->head->startFrame;
        if (FxKeyframe *l = LastKeyframe(p))
            if (l->endFrame > lastFrame)
                lastFrame = l->endFrame;
    });
    if (firstFrame == INT_MAX)
        firstFrame = 1;
    job->objectCount = count;
    if (job->rangeStart == 0)
        job->rangeStart = 1;
    if (job->rangeEnd == 0)
        job->rangeEnd = lastFrame;

    // Range: which frames the steps cover.
    int N = job->stepCount;
    if (flags0 & RJ_END_POINT)
        N += 1;
    if ((flags0 & RJ_FIELDS) || (flags0 & (RJ_FIELD_0 | RJ_FIELD_1)))
        N /= 2;
    int first_ = job->rangeStart, last_ = job->rangeEnd;
    if (N > 0) {
        switch (job->rangeMode) {
        case 1: last_ = N; break;
        case 2: first_ = lastFrame - N; break;
        case 3: {
            int surplus = (job->rangeEnd - job->rangeStart) - N;
            if (surplus > 0) {
                first_ = job->rangeStart + surplus / 2;
                last_ = first_ + N;
            }
            break;
        }
        default: break;
        }
    }
    job->firstFrame = first_;
    job->lastFrame = last_;

    // Steps.
    const int base = (flags0 & RJ_ZERO_BASED) ? 0 : 1;
    if (job->frameRate == 0)
        job->frameRate = job->effectFrameRate ? job->effectFrameRate : 30;
    if (job->stepCount == 0) {
        if (flags0 & RJ_FIELD_STEPS) {
            job->stepCount = 2 * job->lastFrame;
            job->frameRate = 2 * (job->effectFrameRate ? job->effectFrameRate : 30);
            job->fromIndex = 2 * job->firstFrame - 1;
        } else {
            job->stepCount = job->lastFrame;
            if (job->fromIndex == 0)
                job->fromIndex = job->firstFrame;
        }
    }
    if (flags0 & RJ_END_POINT)
        job->stepCount += 1;
    const int steps = job->stepCount;
    if (job->toIndex < 0 || (job->toIndex == 0 && !(flags0 & RJ_ZERO_BASED)) || job->toIndex > steps)
        job->toIndex = steps;
    if (job->fromIndex > steps)
        job->fromIndex = steps;
    if (!(flags0 & RJ_ZERO_BASED) && job->fromIndex == 0)
        job->fromIndex = 1;
    if (job->fromIndex < 0)
        job->fromIndex = 0;
    if (job->toIndex < job->fromIndex)
        job->toIndex = job->fromIndex;
    job->frameCount = job->toIndex - job->fromIndex + 1;
    const int d = ((flags0 & RJ_END_POINT) ? 0 : 1) + ((flags0 & RJ_EXTRA_DIVISOR) ? 1 : 0);
    auto timeOf = [&](int i) {
        double t = d < steps ? double(i - base) * (job->lastFrame - job->firstFrame) / double(steps - d) + job->firstFrame
                             : double(job->firstFrame);
        if (flags0 & RJ_JITTER)
            t += rand() * 0.02 / 32767 - 0.01;
        double lo = job->firstFrame, hi = job->lastFrame;
        if (hi < lo)
            hi = lo;
        return t < lo ? lo : t > hi ? hi : t;
    };

    // The device context of the outline preview.
    bool ownDc = false;
    if (flags0 & RJ_DRAW_VIEW) {
        if (!view->dc && view->window) {
            view->dc = GetDC(view->window);
            ownDc = view->dc != nullptr;
        }
        if (!view->dc)
            return -1;
    }
    auto releaseDc = [&] {
        if (ownDc) {
            ReleaseDC(view->window, view->dc);
            view->dc = nullptr;
        }
    };

    job->drawList = static_cast<FxPath **>(calloc(size_t(count) + 1, sizeof(FxPath *)));
    if (!job->drawList) {
        ReportOutOfMemory("RenderFrames");
        releaseDc();
        return -1;
    }

    HFONT numberFont = nullptr;
    if ((flags0 & RJ_DRAW_VIEW) && !(flags0 & RJ_NO_OUTLINE))
        numberFont = CreateFontA(-11, 0, 0, 0, FW_BOLD, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Arial");
    Walk walk{ view, first, end, job, base };
    bool ok = walk.Call(RS_START);
    if (ok && (flags0 & RJ_PREPOST))
        ok = walk.PrePost(RS_PRE);
    int saveDc = 0;
    if (ok && (flags0 & RJ_DRAW_VIEW) && (flags0 & RJ_CLIP_SAFE)) {
        saveDc = SaveDC(view->dc);
        IntersectClipRect(view->dc, view->safeArea[0].x, view->safeArea[0].y, view->safeArea[2].x,
                          view->safeArea[2].y);
    }

    bool backwards = (flags0 & RJ_BACKWARDS) != 0;
    int stoppedAt = 0;
    bool completed = false;
    const bool callbacks = job->progress || job->object;
    while (ok) {
        ++job->pass;
        int inc = job->increment ? std::abs(job->increment) : 1;
        int startIndex = backwards ? job->toIndex : job->fromIndex;
        int endIndex = backwards ? job->fromIndex : job->toIndex;
        if (backwards)
            inc = -inc;
        DWORD passStart = GetTickCount();
        for (int i = startIndex; ok && (backwards ? i >= endIndex : i <= endIndex); i += inc) {
            job->currentIndex = i;
            double t = timeOf(i);
            job->frameTime = t;
            stoppedAt = int(t);
            job->positionFlags = 0;
            job->objectNumber = 0;
            bool lastStep = backwards ? i + inc < endIndex : i + inc > endIndex;
            if (job->progress && !job->progress(RS_FRAME, job)) {
                ok = false;
                break;
            }
            // Active objects, evaluated at the frame time.
            ForObjects(first, end, [&](FxPath *p) {
                if (IsActive(p, t, flags0)) {
                    p->pathFlags |= PATH_ACTIVE;
                    EvaluatePathAtTime(view, p, t, 0);
                } else {
                    p->pathFlags &= ~PATH_ACTIVE;
                }
            });
            int n = 0;
            if (job->target || callbacks || (flags0 & RJ_DRAW_VIEW))
                n = OrderDrawList(job->drawList, count, first, end, flags0);
            else
                ForObjects(first, end, [](FxPath *p) { p->pathFlags &= ~PATH_ACTIVE; });
            job->drawnCount = 0;
            if (job->target) {
                int field = 2;
                if (flags0 & (RJ_FIELDS | RJ_FIELD_STEPS))
                    field = (i - base) & 1;
                if ((flags0 & (RJ_FIELD_0 | RJ_FIELD_1)) == RJ_FIELD_0)
                    field = 0;
                else if ((flags0 & (RJ_FIELD_0 | RJ_FIELD_1)) == RJ_FIELD_1)
                    field = 1;
                else if ((flags0 & (RJ_FIELD_0 | RJ_FIELD_1)) == (RJ_FIELD_0 | RJ_FIELD_1))
                    field = 2;
                job->drawnCount = RasterizeObjects(view, job->target, job->drawList, job, field);
            }
            if (callbacks) {
                if (flags0 & (RJ_ODD_STEPS | RJ_EVEN_STEPS)) {
                    bool odd = ((i - base) & 1) != 0;
                    if ((odd && (flags0 & RJ_ODD_STEPS)) || (!odd && (flags0 & RJ_EVEN_STEPS)))
                        ok = walk.Call(RS_FRAME);
                } else if (n == 0) {
                    job->positionFlags = RP_EMPTY | (lastStep ? RP_LAST_STEP : 0);
                    ok = walk.Call(RS_FRAME);
                } else {
                    for (int k = 0; ok && k < n; ++k) {
                        uint32_t pos = (k == 0 ? RP_FIRST_OBJECT : 0) | (k == n - 1 ? RP_LAST_OBJECT : 0) |
                                       (lastStep ? RP_LAST_STEP : 0);
                        ok = walk.CallObject(RS_FRAME, job->drawList[k], pos, true);
                    }
                }
                if (!ok)
                    break;
            }
            if ((flags0 & RJ_REALTIME) && job->frameRate > 0) {
                double due = std::abs(i - startIndex) / double(std::abs(inc)) / job->frameRate * 1000.0;
                while (double(GetTickCount() - passStart) < due)
                    Sleep(1);
            }
            if ((flags0 & RJ_DRAW_VIEW) && !(flags0 & RJ_NO_OUTLINE)) {
                FlushViewUpdate(view);
                for (int k = 0; k < n; ++k)
                    DrawOutline(view, job->drawList[k], numberFont, !(flags0 & RJ_NO_UPDATE_RECT));
            }
            if (i == endIndex)
                completed = true;
        }
        if (!ok)
            break;
        if (flags0 & RJ_PING_PONG)
            backwards = !backwards;
        if (!((flags0 & (RJ_LOOP | RJ_PING_PONG)) && job->progress))
            break;
        completed = false;
    }

    free(job->drawList);
    job->drawList = nullptr;
    // The closing calls run once each, also after a cancel; a 0 during them
    // ends them.
    bool closing = true;
    if (flags0 & RJ_PREPOST)
        closing = walk.PrePost(RS_POST);
    if (closing)
        walk.Call(RS_END);
    if (saveDc)
        RestoreDC(view->dc, saveDc);
    if (numberFont)
        DeleteObject(numberFont);
    releaseDc();

    if (endless)
        return 0;
    if (!ok)
        return -1;
    return completed ? 0 : stoppedAt;
}
