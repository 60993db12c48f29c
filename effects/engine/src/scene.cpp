// Editor scene drawing: the preview picture, motion lines, frame ticks,
// keyframe outlines with their shapes, and the picture and title-safe
// outlines, drawn into a view's device context.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fxprojective.h"
#include "fxscene.h"

const FxSceneColour g_fxSceneColours[FX_SCENE_COLOURS] = {
    { "Default", 0xC0C0C0 },
    { "Animate", 0x008000 },
    { "Background", 0x606060 },
    { "Border", 0x0000F8 },
    { "SafeTitle", 0x80C000 },
    { "ActiveKF", 0xFFFFFF },
    { "SelPath", 0xC0C0C0 },
    { "SelPathSelKF", 0x00FFFF },
    { "SelPathUnSelKF", FX_SYSTEM_COLOUR | 6 },
    { "SelPathCurrFrame", FX_SYSTEM_COLOUR | 1 },
    { "SelPathLine", FX_SYSTEM_COLOUR | 6 },
    { "SelPathDots", FX_SYSTEM_COLOUR | 11 },
    { "SelPathNumbers", 0xFFFFFF },
    { "SelPathGhosts", FX_NO_COLOUR },
    { "UnSelPath", 0xC0C0C0 },
    { "UnSelPathSelKF", 0x00FFFF },
    { "UnSelPathUnSelKF", FX_SYSTEM_COLOUR | 14 },
    { "UnSelPathCurrFrame", FX_SYSTEM_COLOUR | 1 },
    { "UnSelPathLine", FX_SYSTEM_COLOUR | 14 },
    { "UnSelPathDots", FX_SYSTEM_COLOUR | 19 },
    { "UnSelPathNumbers", 0xFFFFFF },
    { "UnSelPathGhosts", FX_NO_COLOUR },
};

namespace {

enum {
    C_DEFAULT, C_ANIMATE, C_BACKGROUND, C_BORDER, C_SAFE, C_ACTIVE, C_SELPATH, C_SEL_SELKF, C_SEL_UNSELKF,
    C_SEL_CURR, C_SEL_LINE, C_SEL_DOTS, C_SEL_NUMBERS, C_SEL_GHOSTS, C_UNSELPATH, C_UN_SELKF, C_UN_UNSELKF,
    C_UN_CURR, C_UN_LINE, C_UN_DOTS, C_UN_NUMBERS, C_UN_GHOSTS
};

bool IsLast(const FxKeyframe *kf)
{
    return kf->next->index <= kf->index;
}

template <class F>
void ForRing(FxKeyframe *head, F f)
{
    if (!head)
        return;
    for (FxKeyframe *k = head;; k = k->next) {
        bool last = IsLast(k);
        f(k);
        if (last)
            break;
    }
}

FxSceneStyle *StyleOf(const FxView *view)
{
    return view ? static_cast<FxSceneStyle *>(view->styleTable) : nullptr;
}

HPEN Pen(const FxView *view, int n)
{
    FxSceneStyle *s = StyleOf(view);
    return s ? s->pens[n] : nullptr;
}

// Selects a pen into the view's context (nothing for a missing pen).
void Use(FxView *view, HPEN pen)
{
    if (pen && view->dc)
        SelectObject(view->dc, pen);
}

void CornerOutline(POINT pts[5], const FxKeyframe *kf)
{
    for (int i = 0; i < 4; ++i)
        pts[i] = POINT{ LONG(kf->screenCorners[i][0]), LONG(kf->screenCorners[i][1]) };
    pts[4] = pts[0];
}

bool IsTag(int32_t w)
{
    return uint32_t(w) >= SHAPE_TAG_FIRST && uint32_t(w) <= SHAPE_TAG_LAST;
}

void MotionLine(FxView *view, FxKeyframe *kf)
{
    if (!IsLast(kf) && (kf->secondFlags & KF2_CURVE)) {
        POINT pts[64];
        for (int i = 0; i < 64; ++i)
            pts[i] = POINT{ kf->curvePoints[i][0], kf->curvePoints[i][1] };
        Polyline(view->dc, pts, 64);
    }
    kf->drawFlags &= ~KD_CURVE;
}

// The object outline primitive of the evaluated state: the corner polygon,
// the line between its reference points and its number in a circle.
void ObjectOutline(HDC dc, FxPath *p)
{
    FxKeyframe &w = p->work;
    POINT pts[5];
    CornerOutline(pts, &w);
    Polyline(dc, pts, 5);
    MoveToEx(dc, w.screenPos[0], w.screenPos[1], nullptr);
    LineTo(dc, w.screenCentre[0], w.screenCentre[1]);
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    Ellipse(dc, w.screenCentre[0] - 10, w.screenCentre[1] - 10, w.screenCentre[0] + 10, w.screenCentre[1] + 10);
    SelectObject(dc, oldBrush);
    char text[16];
    int n = snprintf(text, sizeof text, "%d", p->number);
    RECT box = { w.screenCentre[0] - 10, w.screenCentre[1] - 8, w.screenCentre[0] + 10, w.screenCentre[1] + 12 };
    int oldMode = SetBkMode(dc, TRANSPARENT);
    DrawTextA(dc, text, n, &box, DT_CENTER | DT_TOP | DT_SINGLELINE | DT_NOCLIP);
    SetBkMode(dc, oldMode);
}

bool ActiveAt(FxPath *p, double t)
{
    FxKeyframe *head = p->head;
    FxKeyframe *last = LastKeyframe(p);
    if (!head || !last || (head->flags & KF_HIDDEN))
        return false;
    if (p->pathFlags & PATH_SPAN_LIMITED)
        return t >= head->startTime && t <= last->endTime;
    return true;
}

void DeleteHandle(HGDIOBJ h)
{
    if (h)
        DeleteObject(h);
}

void RemoveShape(uintptr_t, uintptr_t value)
{
    free(reinterpret_cast<void *>(value));
}

const char kShapeKey[] = "OutlineShape";

// At most two keyframes before `kf` and two after it, never across the wrap.
void Stretch(FxKeyframe *kf, FxKeyframe **start, FxKeyframe **end)
{
    *start = *end = kf;
    for (int i = 0; i < 2 && (*start)->prev->index < (*start)->index; ++i)
        *start = (*start)->prev;
    for (int i = 0; i < 2 && (*end)->next->index > (*end)->index; ++i)
        *end = (*end)->next;
}

} // namespace

// ---------------------------------------------------------------- style

uint32_t ResolveSceneColour(uint32_t value)
{
    if (value == FX_NO_COLOUR)
        return value;
    if ((value & 0xFF000000u) == FX_SYSTEM_COLOUR)
        return GetSysColor(int(value & 0xFFFFFF));
    return value & 0xFFFFFF;
}

uint32_t DefaultSceneColour(const char *name)
{
    if (!name)
        return FX_NO_COLOUR;
    for (const FxSceneColour &c : g_fxSceneColours)
        if (lstrcmpiA(c.name, name) == 0)
            return c.colour;
    return FX_NO_COLOUR;
}

FxSceneStyle *MakeSceneStyle(const uint32_t *values, int tickInterval)
{
    auto *s = static_cast<FxSceneStyle *>(calloc(1, sizeof(FxSceneStyle)));
    if (!s)
        return nullptr;
    auto colour = [&](int n) { return ResolveSceneColour(values ? values[n] : g_fxSceneColours[n].colour); };
    auto pen = [&](int n) -> HPEN {
        uint32_t c = colour(n);
        return c == FX_NO_COLOUR ? CreatePen(PS_NULL, 0, 0) : CreatePen(PS_SOLID, 1, c);
    };
    s->text[0] = colour(C_SEL_NUMBERS);
    s->text[1] = colour(C_UN_NUMBERS);
    s->text[2] = colour(C_DEFAULT);
    s->pens[SP_HIDDEN] = pen(C_SEL_GHOSTS);
    s->pens[SP_LOCKED] = pen(C_DEFAULT);
    s->pens[SP_SELECTED_MARK] = pen(C_ACTIVE);
    s->pens[SP_SELECTED] = pen(C_SEL_SELKF);
    s->pens[SP_UNSELECTED] = pen(C_SEL_UNSELKF);
    s->pens[SP_SELECTED_CURRENT] = pen(C_SEL_CURR);
    s->pens[SP_UNSELECTED_CURRENT] = pen(C_UN_CURR);
    s->pens[SP_PICTURE] = pen(C_BORDER);
    s->pens[SP_SAFE_AREA] = pen(C_SAFE);
    s->pens[SP_SINGLE] = pen(C_ANIMATE);
    uint32_t b = colour(C_BACKGROUND);
    s->brushes[0] = CreateSolidBrush(b == FX_NO_COLOUR ? 0 : b);
    s->brushes[1] = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    s->tickInterval = tickInterval < 0 ? 0 : tickInterval;
    s->flags = SS_OWNED;
    return s;
}

void FreeSceneStyle(FxSceneStyle *s)
{
    if (!s)
        return;
    if (s->flags & SS_OWNED) {
        for (HPEN p : s->pens)
            DeleteHandle(p);
        DeleteHandle(s->brushes[0]);
    }
    free(s);
}

// ---------------------------------------------------------------- shapes

const FxShape *GetPathShape(FxPath *path)
{
    if (!path || !path->props.get)
        return nullptr;
    return reinterpret_cast<const FxShape *>(path->props.get(path, uintptr_t(kShapeKey)));
}

int SetPathShape(FxPath *path, const int32_t *words, int count, uint32_t flags)
{
    if (!path || !path->props.set || count < 0 || (count > 0 && !words))
        return 0;
    if (count == 0) {
        if (path->props.remove)
            path->props.remove(path, uintptr_t(kShapeKey));
        return 1;
    }
    if (count > (1 << 24))
        return 0;
    size_t bytes = offsetof(FxShape, words) + size_t(count) * 2 * sizeof(int32_t);
    auto *s = static_cast<FxShape *>(malloc(bytes));
    if (!s)
        return 0;
    s->count = count;
    s->flags = flags;
    memcpy(s->words, words, size_t(count) * 2 * sizeof(int32_t));
    if (!path->props.set(path, uintptr_t(kShapeKey), uintptr_t(s), RemoveShape)) {
        free(s);
        return 0;
    }
    return 1;
}

namespace {

// Points i = 0 .. n-1 along one edge from (x0, y0) towards (x1, y1), the
// end point left to the next edge.
void EdgePoints(std::vector<int32_t> &w, int n, int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    for (int i = 0; i < n; ++i) {
        w.push_back(int32_t(x0 + int64_t(x1 - x0) * i / n));
        w.push_back(int32_t(y0 + int64_t(y1 - y0) * i / n));
    }
}

// The closed rectangle of the default space with `perSide` points to a side.
void RectangleRun(std::vector<int32_t> &w, int perSide)
{
    const int32_t s = SHAPE_DEFAULT_SIZE;
    w.push_back(int32_t(SHAPE_CLOSED));
    w.push_back(4 * perSide);
    EdgePoints(w, perSide, 0, 0, s, 0);
    EdgePoints(w, perSide, s, 0, s, s);
    EdgePoints(w, perSide, s, s, 0, s);
    EdgePoints(w, perSide, 0, s, 0, 0);
}

// An open line of n points from (x0, y0) to (x1, y1), both ends included.
void LineRun(std::vector<int32_t> &w, int n, int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    w.push_back(int32_t(SHAPE_OPEN));
    w.push_back(n);
    for (int i = 0; i < n; ++i) {
        w.push_back(int32_t(x0 + int64_t(x1 - x0) * i / (n - 1)));
        w.push_back(int32_t(y0 + int64_t(y1 - y0) * i / (n - 1)));
    }
}

// A shape record of the words; never freed (the defaults live as long as
// the module).
FxShape *MakeShape(const std::vector<int32_t> &w)
{
    const int count = int(w.size() / 2);
    auto *s = static_cast<FxShape *>(malloc(offsetof(FxShape, words) + w.size() * sizeof(int32_t)));
    if (!s)
        return nullptr;
    s->count = count;
    s->flags = 0;
    memcpy(s->words, w.data(), w.size() * sizeof(int32_t));
    return s;
}

}  // namespace

const FxShape *DefaultPathShape(const FxView *view)
{
    // The rectangle at five points to a side: {tag, 20} and 20 points.
    static const FxShape *plain = [] {
        std::vector<int32_t> w;
        RectangleRun(w, 5);
        return MakeShape(w);
    }();
    // The alternate style: the rectangle at ten points to a side and the two
    // centre lines of ten points each, 41 + 11 + 11 pairs.
    static const FxShape *alternate = [] {
        const int32_t s = SHAPE_DEFAULT_SIZE, h = SHAPE_DEFAULT_SIZE / 2;
        std::vector<int32_t> w;
        RectangleRun(w, 10);
        LineRun(w, 10, 0, h, s, h);
        LineRun(w, 10, h, 0, h, s);
        return MakeShape(w);
    }();
    return view && (view->flags & VIEW_ALTERNATE_SHAPE) ? alternate : plain;
}

const FxShape *PathOutlineShape(const FxView *view, FxPath *path)
{
    const FxShape *own = GetPathShape(path);
    return own && own->count > 0 ? own : DefaultPathShape(view);
}

int DrawShapePoints(HDC dc, const int32_t *w, int count)
{
    if (!dc || !w || count <= 0)
        return 0;
    int runs = 0;
    int i = 0;
    POINT buf[256];
    while (i < count) {
        uint32_t tag = uint32_t(w[2 * i]);
        if (tag == SHAPE_END || !IsTag(int32_t(tag)))
            break;
        int32_t n = w[2 * i + 1];
        ++i;
        if (tag == SHAPE_HEADER || tag == SHAPE_WIDTH || tag == SHAPE_HEIGHT)
            continue;
        if (tag != SHAPE_CLOSED && tag != SHAPE_OPEN && tag != SHAPE_BEZIER)
            break;
        if (n < 0 || n > count - i)
            break;
        POINT *pts = n <= 256 ? buf : static_cast<POINT *>(malloc(sizeof(POINT) * size_t(n)));
        if (!pts)
            break;
        for (int k = 0; k < n; ++k)
            pts[k] = POINT{ w[2 * (i + k)], w[2 * (i + k) + 1] };
        if (n > 0) {
            if (tag == SHAPE_CLOSED) {
                MoveToEx(dc, pts[0].x, pts[0].y, nullptr);
                if (n > 1)
                    PolylineTo(dc, pts + 1, DWORD(n - 1));
                LineTo(dc, pts[0].x, pts[0].y);
            } else if (tag == SHAPE_OPEN) {
                Polyline(dc, pts, n);
            } else if (n >= 4) {
                PolyBezier(dc, pts, DWORD(1 + (n - 1) / 3 * 3));
            }
        }
        if (pts != buf)
            free(pts);
        i += n;
        ++runs;
    }
    return runs;
}

void TransformShape(const FxKeyframe *kf, int32_t *w, int count)
{
    if (!kf || !w || count <= 0)
        return;
    double sw = SHAPE_DEFAULT_SIZE, sh = SHAPE_DEFAULT_SIZE;
    bool tagged = uint32_t(w[0]) == SHAPE_HEADER;
    if (tagged) {
        for (int i = 0; i < count; ++i) {
            uint32_t tag = uint32_t(w[2 * i]);
            if (tag == SHAPE_WIDTH && w[2 * i + 1] > 0)
                sw = w[2 * i + 1];
            else if (tag == SHAPE_HEIGHT && w[2 * i + 1] > 0)
                sh = w[2 * i + 1];
            else if (tag == SHAPE_CLOSED || tag == SHAPE_OPEN || tag == SHAPE_BEZIER || tag == SHAPE_END)
                break;
        }
    }
    Quad q;
    for (int i = 0; i < 4; ++i) {
        q.x[i] = kf->screenCorners[i][0];
        q.y[i] = kf->screenCorners[i][1];
    }
    // A quad without area (or a failed inversion) collapses the shape.
    double area = 0;
    for (int i = 0; i < 4; ++i)
        area += q.x[i] * q.y[(i + 1) % 4] - q.x[(i + 1) % 4] * q.y[i];
    ProjectiveMatrix m;
    bool ok = area != 0 && SquareToQuad(&q, &m);
    for (int i = 0; i < count; ++i) {
        int32_t *pt = w + 2 * i;
        if (IsTag(pt[0]))
            continue;   // a tag and its value
        double x = ok ? pt[0] / sw : 0, y = ok ? pt[1] / sh : 0;
        if (ok)
            MapPointDouble(&x, &y, &m);
        else
            x = q.x[0], y = q.y[0];
        pt[0] = int32_t(x < 0 ? x - 0.5 : x + 0.5);
        pt[1] = int32_t(y < 0 ? y - 0.5 : y + 0.5);
    }
}

// ---------------------------------------------------------------- drawing

HPEN SelectKeyframePen(const FxView *view, const FxKeyframe *kf, int currentFrame)
{
    if (!view || !kf || !StyleOf(view) || (kf->flags & KF_HIDDEN))
        return nullptr;
    if (view->flags & VIEW_SINGLE_PEN)
        return Pen(view, SP_SINGLE);
    bool selected = (kf->flags & KF_SELECTED) != 0;
    if (kf->startFrame == currentFrame)
        return Pen(view, selected ? SP_SELECTED_CURRENT : SP_UNSELECTED_CURRENT);
    if (kf->flags & KF_LOCKED)
        return Pen(view, SP_LOCKED);
    if (selected) {
        if (kf->flags & KF_WORK)
            return Pen(view, SP_SELECTED_CURRENT);
        return Pen(view, (kf->flags & KF_MARKED) ? SP_SELECTED_MARK : SP_SELECTED);
    }
    return Pen(view, (kf->flags & KF_WORK) ? SP_UNSELECTED_CURRENT : SP_UNSELECTED);
}

void DrawKeyframeShape(HDC dc, const FxKeyframe *kf, const FxShape *shape)
{
    if (!dc || !kf || !shape || shape->count <= 0)
        return;
    size_t words = size_t(shape->count) * 2;
    auto *copy = static_cast<int32_t *>(malloc(words * sizeof(int32_t)));
    if (!copy)
        return;
    memcpy(copy, shape->words, words * sizeof(int32_t));
    TransformShape(kf, copy, shape->count);
    // A list that starts with a tag is made of runs; the header is optional.
    if (IsTag(shape->words[0])) {
        DrawShapePoints(dc, copy, shape->count);
    } else if (shape->flags & SHAPE_POLYLINE) {
        auto *p = reinterpret_cast<POINT *>(copy);
        Polyline(dc, p, shape->count);
    } else {
        // Separate segments, one per pair of points; an odd last point
        // stands alone.
        for (int i = 0; i < shape->count; i += 2) {
            int j = i + 1 < shape->count ? i + 1 : i;
            MoveToEx(dc, copy[2 * i], copy[2 * i + 1], nullptr);
            LineTo(dc, copy[2 * j], copy[2 * j + 1]);
        }
    }
    free(copy);
}

void DrawKeyframeOutline(FxView *view, FxKeyframe *kf, const FxShape *shape)
{
    if (!view || !kf || !view->dc || (kf->flags & KF_HIDDEN))
        return;
    HDC dc = view->dc;
    FxSceneStyle *style = StyleOf(view);
    HBRUSH fill = style ? style->brushes[0] : nullptr;
    POINT pts[5];
    CornerOutline(pts, kf);
    if (((view->flags & VIEW_FILLED) || (kf->drawFlags & KD_FILLED)) && fill) {
        HGDIOBJ old = SelectObject(dc, fill);
        Polygon(dc, pts, 5);
        SelectObject(dc, old);
    } else {
        Polyline(dc, pts, 5);
        DrawKeyframeShape(dc, kf, shape);
    }
    if (!(kf->drawFlags & KD_NO_ANCHOR_LINE)) {
        MoveToEx(dc, kf->screenPos[0], kf->screenPos[1], nullptr);
        LineTo(dc, kf->screenCentre[0], kf->screenCentre[1]);
    }
    if (kf->drawFlags & KD_NUMBER) {
        const int ax = kf->screenCentre[0], ay = kf->screenCentre[1];
        RECT box = { ax - 10, ay - 8, ax + 10, ay + 12 };
        if (fill)
            FillRect(dc, &box, fill);
        HGDIOBJ old = SelectObject(dc, GetStockObject(NULL_BRUSH));
        Ellipse(dc, ax - 10, ay - 10, ax + 10, ay + 10);
        SelectObject(dc, old);
    }
    kf->drawFlags &= ~(KD_NUMBER | KD_DRAWN);
}

void DrawFrameTicks(FxView *view, FxKeyframe *kf, int currentFrame)
{
    if (!view || !kf || !(kf->drawFlags & KD_TICKS))
        return;
    kf->drawFlags &= ~KD_TICKS;
    FxSceneStyle *style = StyleOf(view);
    int k = style ? style->tickInterval : 0;
    if (k <= 0 || !view->dc || view->width < 481 || view->height < 361 || !kf->ownedBuffer)
        return;
    const int n = kf->tickCount;
    if (n / k > 64)
        k = n / 64;
    const int h = k == 1 ? 3 : 2;
    auto *pts = static_cast<const int32_t(*)[2]>(kf->ownedBuffer);
    HDC dc = view->dc;
    for (int i = k; i < n; i += k) {
        // Sample i lies i frames after the end of the keyframe's hold.
        if (kf->endFrame + i == currentFrame)
            continue;
        POINT was;
        const int x = pts[i][0], y = pts[i][1];
        MoveToEx(dc, x - h, y - h, &was);
        LineTo(dc, x + h, y - h);
        LineTo(dc, x + h, y + h);
        LineTo(dc, x - h, y + h);
        LineTo(dc, x - h, y - h);
        MoveToEx(dc, was.x, was.y, nullptr);
    }
}

void DrawPaths(FxView *view, const FxEditContext *state, uint32_t flags)
{
    if (!view || !state || !view->dc)
        return;
    HDC dc = view->dc;
    auto onePath = [&](FxPath *p) {
        ForRing(p->head, [&](FxKeyframe *kf) {
            HPEN pen = SelectKeyframePen(view, kf, state->frame);
            if (!pen)
                return;
            SelectObject(dc, pen);
            MotionLine(view, kf);
            if ((flags & SD_TICKS) && !(flags & SD_ALL_PATHS))
                DrawFrameTicks(view, kf, state->frame);
        });
        const FxShape *shape = PathOutlineShape(view, p);
        ForRing(p->head, [&](FxKeyframe *kf) {
            HPEN pen = SelectKeyframePen(view, kf, state->frame);
            if (!pen)
                return;
            SelectObject(dc, pen);
            Rectangle(dc, kf->screenPos[0] - 1, kf->screenPos[1] - 1, kf->screenPos[0] + 2, kf->screenPos[1] + 2);
            DrawKeyframeOutline(view, kf, shape);
        });
    };
    if (flags & SD_EVERY_PATH) {
        for (FxPath *p = state->first; p; p = p->next)
            onePath(p);
    } else if (state->path) {
        onePath(state->path);
    }
    if ((flags & SD_PICTURE) && !((view->flags & VIEW_MEMORY) && view->memDc && view->coreLayer)) {
        Use(view, Pen(view, SP_PICTURE));
        Polyline(dc, view->picture, 5);
    }
    if (view->flags & VIEW_SAFE_TITLE) {
        Use(view, Pen(view, SP_SAFE_AREA));
        Polyline(dc, view->safeArea, 5);
    }
}

uint32_t DrawPathSet(FxView *view, const FxEditContext *state, uint32_t flags)
{
    if (!view || !state || !view->dc)
        return flags;
    HDC dc = view->dc;
    auto pen5 = [&] { Use(view, Pen(view, SP_SELECTED_CURRENT)); };
    if (flags & (SD_PATH_SET | SD_ALL_PATHS)) {
        for (FxPath *p = state->first; p; p = p->next) {
            const FxShape *shape = PathOutlineShape(view, p);
            ForRing(p->head, [&](FxKeyframe *kf) {
                pen5();
                MotionLine(view, kf);
                if (kf->drawFlags & KD_TICKS)
                    DrawFrameTicks(view, kf, state->frame);
                DrawKeyframeOutline(view, kf, shape);
            });
            pen5();
            DrawKeyframeOutline(view, &p->work, shape);
        }
    } else if (flags & 0x2000) {
        pen5();
        for (FxPath *p = state->first; p; p = p->next)
            ObjectOutline(dc, p);
    } else if ((flags & SD_PICTURE) && state->path) {
        const FxShape *shape = PathOutlineShape(view, state->path);
        ForRing(state->path->head, [&](FxKeyframe *kf) {
            DrawKeyframeOutline(view, kf, shape);
            pen5();
            MotionLine(view, kf);
        });
        pen5();
        ObjectOutline(dc, state->path);
    } else if ((flags & 0x1000) && state->kf) {
        pen5();
        DrawKeyframeOutline(view, state->kf, state->path ? PathOutlineShape(view, state->path) : nullptr);
    }
    if ((flags & SD_EVERY_PATH) && state->kf) {
        // The stretch round the current keyframe: at most two before it
        // and two after it, never across the wrap.
        FxKeyframe *start, *end;
        Stretch(state->kf, &start, &end);
        for (FxKeyframe *k = start;; k = k->next) {
            pen5();
            MotionLine(view, k);
            DrawFrameTicks(view, k, state->frame);
            if (k == end)
                break;
        }
        if (IsLast(state->kf))
            DrawFrameTicks(view, state->kf, state->frame);
    }
    return flags;
}

namespace {

// The objects active at the frame, evaluated, ordered and rasterised into
// the view's core layer; 1 when the layer holds the picture.
int RenderPreview(FxView *view, const FxEditContext *state, bool clear)
{
    Layer *layer = view->coreLayer;
    if (!layer)
        return 0;
    if (clear) {
        if (g_fxGraphics.ClearLayer)
            g_fxGraphics.ClearLayer(layer);
    } else if (g_fxGraphics.CreateBitmapLayerBackground && g_fxGraphics.GetStockLayer) {
        HBITMAP b = g_fxGraphics.CreateBitmapLayerBackground(layer, layer->width, layer->height,
                                                              g_fxGraphics.GetStockLayer(1));
        DeleteHandle(b);
    } else if (g_fxGraphics.ClearLayer) {
        g_fxGraphics.ClearLayer(layer);
    }
    int count = 0;
    for (FxPath *p = state->first; p; p = p->next) {
        EvaluatePathAtTime(view, p, state->frame, 0);
        if (ActiveAt(p, state->frame)) {
            p->pathFlags |= PATH_ACTIVE;
            ++count;
        }
    }
    auto **list = static_cast<FxPath **>(calloc(size_t(count) + 1, sizeof(FxPath *)));
    if (!list) {
        for (FxPath *p = state->first; p; p = p->next)
            p->pathFlags &= ~PATH_ACTIVE;
        return 0;
    }
    OrderDrawList(list, count, state->first, nullptr, 0);
    FxRenderJob job;
    memset(&job, 0, sizeof job);
    job.width = layer->width;
    job.height = layer->height;
    job.originMode = 5;
    job.target = layer;
    job.frameTime = state->frame;
    RasterizeObjects(view, layer, list, &job, 2);
    free(list);
    return 1;
}

// The view's device bitmap made anew from its core layer and selected into
// its memory context.
void RebuildBitmap(FxView *view)
{
    if (!view->memDc || !view->coreLayer || !g_fxGraphics.CreateBitmapLayerEx)
        return;
    HBITMAP b = g_fxGraphics.CreateBitmapLayerEx(view->coreLayer, view->coreLayer->width, view->coreLayer->height);
    if (!b)
        return;
    HGDIOBJ old = SelectObject(view->memDc, b);
    if (view->memBitmap)
        DeleteObject(view->memBitmap);
    else
        view->prevBitmap = static_cast<HBITMAP>(old);
    view->memBitmap = b;
}

// The objects other than the current one into the memory bitmap.
void DrawOthersIntoBitmap(FxView *view, const FxEditContext *state, uint32_t flags)
{
    if (!view->memDc || !(view->flags & VIEW_MEMORY) || !view->memBitmap)
        return;
    HDC mem = view->memDc;
    POINT oldOrigin;
    SetViewportOrgEx(mem, -view->blit[0], -view->blit[1], &oldOrigin);
    HGDIOBJ oldPen = GetCurrentObject(mem, OBJ_PEN);
    for (FxPath *p = state->first; p; p = p->next) {
        if (p == state->path || (p->pathFlags & 0x8) || !p->head || (p->head->flags & KF_HIDDEN))
            continue;
        if (!(view->flags & VIEW_ALL_SHOWN) && !ActiveAt(p, state->frame))
            continue;
        HPEN pen = SelectKeyframePen(view, &p->work, state->frame);
        if (pen)
            SelectObject(mem, pen);
        ObjectOutline(mem, p);
        p->work.drawFlags &= ~KD_IMAGE_MARK;
        if ((view->flags & VIEW_MEMORY) && !(view->flags & 0x2400000) &&
            !((p->pathFlags & 0x1) && (view->flags & 0x8000000)) && (p->image.pixels || p->image.layers[0]))
            p->work.drawFlags |= KD_IMAGE_MARK;
    }
    if (state->path) {
        ForRing(state->path->head, [&](FxKeyframe *kf) {
            if (kf == state->kf || (kf->flags & KF_HIDDEN))
                return;
            Rectangle(mem, kf->screenPos[0] - 1, kf->screenPos[1] - 1, kf->screenPos[0] + 2, kf->screenPos[1] + 2);
        });
        HPEN pen = Pen(view, SP_SELECTED_CURRENT);
        if (pen)
            SelectObject(mem, pen);
        ObjectOutline(mem, state->path);
    }
    SelectObject(mem, oldPen);
    SetViewportOrgEx(mem, oldOrigin.x, oldOrigin.y, nullptr);
    view->flags |= 0x8000000;
    if (flags & 0x80000000u)
        view->flags |= 0x400000;
    if (flags & 0x8000000)
        view->flags |= 0x200000;
}

} // namespace

int DrawSceneThroughLink(FxView *view, FxPath *path, const FxEditContext *state, uint32_t flags)
{
    if (!view || !view->link || !view->link->command)
        return 0;
    FxRendererLink *link = view->link;
    const int code = (view->flags & 0x200000) ? 10 : (view->flags & 0x400000) ? 9 : 5;
    FxRenderJob job;
    memset(&job, 0, sizeof job);
    job.flags = flags;
    job.frameTime = state ? state->frame : 0;
    if (!path) {
        // The given state alone, as object 1.
        job.objectNumber = 1;
        job.positionFlags = RP_FIRST_OBJECT | RP_LAST_OBJECT;
        if (state && state->kf)
            ComputeObjectCorners(view, &job, &job.corners, nullptr, state->kf);
        link->command(link, code, &job);
        return 1;
    }
    FxPath *first = path;
    while (first->prev)
        first = first->prev;
    job.firstObject = first;
    // The objects active at the frame, in drawing order.
    int count = 0;
    for (FxPath *p = first; p; p = p->next) {
        EvaluatePathAtTime(view, p, job.frameTime, 0);
        if (ActiveAt(p, job.frameTime)) {
            p->pathFlags |= PATH_ACTIVE;
            ++count;
        }
    }
    auto **list = static_cast<FxPath **>(calloc(size_t(count) + 1, sizeof(FxPath *)));
    if (!list) {
        for (FxPath *p = first; p; p = p->next)
            p->pathFlags &= ~PATH_ACTIVE;
        return 0;
    }
    const int n = OrderDrawList(list, count, first, nullptr, 0);
    job.drawList = list;
    job.drawnCount = n;
    for (int i = 0; i < n; ++i) {
        FxPath *object = list[i];
        memset(&job.corners, 0, sizeof job.corners);
        ComputeObjectCorners(view, &job, &job.corners, object, &object->work);
        job.corners.objectWord = GetObjectWord(object);
        job.objectNumber = uint32_t(object->number);
        job.positionFlags = (i == 0 ? RP_FIRST_OBJECT : 0u) | (i == n - 1 ? RP_LAST_OBJECT : 0u);
        link->command(link, code, &job);
        SetObjectWord(object, job.corners.objectWord);
    }
    free(list);
    return n;
}

uint32_t DrawScene(FxView *view, const FxEditContext *state, uint32_t flags)
{
    if (!view || !state)
        return flags;
    // Step 1: the update rectangle round the current keyframe.
    if ((flags & SD_UPDATE_RECT) && state->path && state->kf) {
        FxKeyframe *start, *end;
        Stretch(state->kf, &start, &end);
        for (FxKeyframe *k = start;; k = k->next) {
            AddDirtyRect(view, k->screenBounds);
            if (k == end)
                break;
        }
        AddKeyframeDirty(view, state->kf);
    }
    // Step 6: the other objects into the memory bitmap.
    if ((flags & 0x20000000) && !(flags & 0x40000000))
        DrawOthersIntoBitmap(view, state, flags);
    else if (flags & 0x40000000)
        view->flags &= ~0x8600000u;
    // Step 5.
    if (view->flags & VIEW_RECT_SET) {
        flags |= 0x2008;
        view->flags &= ~VIEW_RECT_SET;
    }
    if (!state->first)
        flags &= ~0x200Au;
    if (!state->path)
        flags &= ~0x6040u;
    // Step 7.
    uint32_t result = CollectDirty(view, state->first, state->path, state->kf, flags);
    bool ownDc = false;
    if (!view->dc && view->window) {
        view->dc = GetDC(view->window);
        ownDc = view->dc != nullptr;
    }
    if (!view->dc)
        return flags;
    HGDIOBJ oldPen = GetCurrentObject(view->dc, OBJ_PEN);
    const bool memory = view->memDc && (view->flags & VIEW_MEMORY);
    if (!memory) {
        if (result & SD_FLUSHED)
            FlushViewUpdate(view);
        DrawPathSet(view, state, flags);
    }
    result = UpdateAfterEdit(view, state, result);
    Use(view, Pen(view, SP_SELECTED_CURRENT));
    // Step 8: the preview picture in the memory bitmap.
    if (memory && !(view->flags & 0x8400000)) {
        if (result & SD_NO_OUTLINES) {
            RebuildBitmap(view);
        } else if (!(view->flags & VIEW_NO_PREVIEW) && ((result & 0x40006000) || !view->memBitmap)) {
            if (RenderPreview(view, state, (flags & SD_NO_OUTLINES) != 0))
                RebuildBitmap(view);
        }
        if (FlushViewUpdate(view))
            result |= SD_FLUSHED;
    }
    // Step 4: the outlines over the picture.
    if (!(result & SD_NO_OUTLINES)) {
        if (view->link && view->link->command && (view->flags & 0xC0000)) {
            DrawSceneThroughLink(view, state->path ? state->path : state->first, state, result);
        } else {
            DrawPaths(view, state, result);
        }
    }
    SelectObject(view->dc, oldPen);
    if (ownDc) {
        ReleaseDC(view->window, view->dc);
        view->dc = nullptr;
    }
    return result;
}
