// The object raster step: each object's image as a core layer, through its
// picture filters, mapped onto its quad and composited into the target.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "fxblur.h"
#include "fxprojective.h"
#include "fxrender.h"

namespace {

constexpr double kTol = 0.00005;
constexpr double kMaxSpareArea = 2048000.0;
const char kCacheKey[] = "RenderCache";

// The values that decide the filtered picture, compared whole between
// frames: filter switch, transparency, emboss, luminance, tint, mosaic,
// softness x and y, crop left, top, right, bottom.
constexpr int kBlockWords = 19;
struct FilterBlock {
    double v[kBlockWords];
    double FilterSwitch() const { return v[0]; }
    int Transparency() const { return int(v[1]); }
    int Emboss(int i) const { return int(v[2 + i]); }
    int Luminance(int i) const { return int(v[5 + i]); }
    int Tint(int i) const { return int(v[7 + i]); }
    int Mosaic(int i) const { return int(v[10 + i]); }
    double Soft(int i) const { return v[12 + i]; }
    double Crop(int i) const { return v[14 + i]; }
    bool operator==(const FilterBlock &o) const { return memcmp(v, o.v, sizeof v) == 0; }
};

// What the raster step keeps per object besides the three layers of the
// object's image block (source, filtered, mapped).
struct RasterCache {
    uintptr_t objectWord;
    Layer *lastMapped;          // identity only; the reference is the image block's
    double savedCorners[8];
    int32_t placement[4];       // left, top, right, bottom in the target
    FilterBlock savedBlock;
    bool saved;
};

void DestroyCache(uintptr_t, uintptr_t value)
{
    free(reinterpret_cast<void *>(value));
}

RasterCache *Cache(FxPath *path, bool make)
{
    if (!path)
        return nullptr;
    auto *c = reinterpret_cast<RasterCache *>(FxListGet(path->props.head, uintptr_t(kCacheKey)));
    if (c || !make)
        return c;
    c = static_cast<RasterCache *>(calloc(1, sizeof(RasterCache)));
    if (c && !FxListSet(&path->props.head, uintptr_t(kCacheKey), uintptr_t(c), DestroyCache)) {
        free(c);
        return nullptr;
    }
    return c;
}

bool Same(double a, double b)
{
    return std::fabs(a - b) <= kTol;
}

double Frac(double v)
{
    return v - std::floor(v);
}

void AddRef(Layer *l)
{
    if (l && g_fxGraphics.AddRefCountLayer)
        g_fxGraphics.AddRefCountLayer(l);
}

void Release(Layer **l)
{
    if (*l && g_fxGraphics.DeleteLayer)
        g_fxGraphics.DeleteLayer(*l);
    *l = nullptr;
}

// Sets *slot to `layer` with a reference of its own.
void Hold(Layer **slot, Layer *layer)
{
    if (*slot == layer)
        return;
    AddRef(layer);
    Release(slot);
    *slot = layer;
}

FilterBlock MakeBlock(const FxKeyframe *s)
{
    FilterBlock b;
    memset(&b, 0, sizeof b);
    b.v[0] = 0;
    int fade = s->fade < 0 ? 0 : s->fade > 100 ? 100 : s->fade;
    b.v[1] = fade;
    for (int i = 0; i < 3; ++i) {
        b.v[2 + i] = s->emboss[i];
        b.v[7 + i] = s->tint[i];
    }
    b.v[5] = s->luminance[0];
    b.v[6] = s->luminance[1];
    b.v[10] = s->mosaic[0];
    b.v[11] = s->mosaic[1];
    b.v[12] = s->blur[0] > 0 ? s->blur[0] : 0;
    b.v[13] = s->blur[1] > 0 ? s->blur[1] : 0;
    // The keyframe keeps its crop as left, right, top, bottom.
    b.v[14] = s->crop[0];
    b.v[15] = s->crop[2];
    b.v[16] = s->crop[1];
    b.v[17] = s->crop[3];
    return b;
}

bool AnyColourFilter(const FilterBlock &b)
{
    return b.Emboss(0) || b.Emboss(1) || b.Emboss(2) || b.Luminance(0) || b.Luminance(1) || b.Tint(0) ||
           b.Tint(1) || b.Tint(2);
}

bool Softened(const FilterBlock &b)
{
    return b.Soft(0) != 0 || b.Soft(1) != 0;
}

bool NoFilters(const FilterBlock &b)
{
    if (b.FilterSwitch() == -1)
        return true;
    return !AnyColourFilter(b) && b.Mosaic(0) <= 1 && b.Mosaic(1) <= 1 && !Softened(b) && b.Crop(0) == 0 &&
           b.Crop(1) == 0 && b.Crop(2) == 0 && b.Crop(3) == 0;
}

// Clears a band of the layer through a clipped child.
void ClearBand(Layer *layer, int x, int y, int w, int h)
{
    if (w <= 0 || h <= 0 || !g_fxGraphics.CreateClippedLayer || !g_fxGraphics.ClipLayerXYWH ||
        !g_fxGraphics.ClearLayer)
        return;
    Layer *band = g_fxGraphics.CreateClippedLayer(layer);
    if (!band)
        return;
    if (g_fxGraphics.ClipLayerXYWH(band, x, y, w, h))
        g_fxGraphics.ClearLayer(band);
    Release(&band);
}

void Crop(Layer *f, const FilterBlock &b)
{
    int W = f->width, H = f->height;
    int left = int(W * b.Crop(0) * 0.01);
    int top = int(H * b.Crop(1) * 0.01);
    int vw = int((100 - b.Crop(2)) * W * 0.01 - left);
    int vh = int((100 - b.Crop(3)) * H * 0.01 - top);
    if (left < 0) left = 0;
    if (top < 0) top = 0;
    if (left > W) left = W;
    if (top > H) top = H;
    if (vw < 0) vw = 0;
    if (vh < 0) vh = 0;
    if (left + vw > W) vw = W - left;
    if (top + vh > H) vh = H - top;
    ClearBand(f, 0, 0, W, top);
    ClearBand(f, 0, top, left, vh);
    ClearBand(f, left + vw, top, W - left - vw, vh);
    ClearBand(f, 0, top + vh, W, H - top - vh);
}

// The filtered layer of an object: the source itself, or a filtered copy.
Layer *BuildFiltered(FxPath *obj, Layer *src, const FilterBlock &b)
{
    Layer **slot = &obj->image.layers[1];
    if (NoFilters(b)) {
        Hold(slot, src);
        return src;
    }
    Layer *f = *slot;
    if (!f || f == src || f->width != src->width || f->height != src->height) {
        Release(slot);
        if (!g_fxGraphics.CreateLayer)
            return nullptr;
        *slot = f = g_fxGraphics.CreateLayer(src->width, src->height, 1);
        if (!f)
            return nullptr;
    }
    const FxGraphicsSlots &R = g_fxGraphics;
    if (g_fxGraphics.CopyLayer)
        g_fxGraphics.CopyLayer(f, src);
    if (AnyColourFilter(b)) {
        if (R.RGBtoYUVLayer)
            R.RGBtoYUVLayer(f, f);
        if ((b.Tint(0) || b.Tint(1) || b.Tint(2)) && R.TintLayer)
            R.TintLayer(f, f, b.Tint(0), b.Tint(1), b.Tint(2));
        if ((b.Luminance(0) || b.Luminance(1)) && R.LuminanceLayer)
            R.LuminanceLayer(f, f, b.Luminance(0), b.Luminance(1));
        if ((b.Emboss(0) || b.Emboss(1) || b.Emboss(2)) && R.EmbossLayer)
            R.EmbossLayer(f, f, b.Emboss(0), b.Emboss(1), b.Emboss(2));
        if (R.YUVtoRGBLayer)
            R.YUVtoRGBLayer(f, f);
    }
    if ((b.Mosaic(0) > 1 || b.Mosaic(1) > 1) && R.MosaicLayer)
        R.MosaicLayer(f, f, b.Mosaic(0) > 1 ? b.Mosaic(0) : 1, b.Mosaic(1) > 1 ? b.Mosaic(1) : 1);
    if (b.Crop(0) || b.Crop(1) || b.Crop(2) || b.Crop(3))
        Crop(f, b);
    if (Softened(b))
        BlurLayer(slot, b.Soft(0), b.Soft(1));
    return *slot;
}

void CornersOf(const ObjectCorners &c, double x[4], double y[4])
{
    x[0] = c.x0;
    y[0] = c.y0;
    x[1] = c.x0 + c.topDx;
    y[1] = c.y0 + c.topDy;
    x[3] = c.x0 + c.leftDx;
    y[3] = c.y0 + c.leftDy;
    x[2] = x[1] + c.leftDx + c.xBend;
    y[2] = y[1] + c.leftDy + c.yBend;
}

void SetFromCorners(ObjectCorners *c, const double x[4], const double y[4])
{
    c->x0 = x[0];
    c->y0 = y[0];
    c->topDx = x[1] - x[0];
    c->topDy = y[1] - y[0];
    c->leftDx = x[3] - x[0];
    c->leftDy = y[3] - y[0];
    c->xBend = (x[2] - x[3]) - (x[1] - x[0]);
    c->yBend = (y[2] - y[1]) - (y[3] - y[0]);
}

void SaveCorners(const ObjectCorners &c, double out[8])
{
    const double v[8] = { c.x0, c.y0, c.topDx, c.leftDy, c.leftDx, c.xBend, c.topDy, c.yBend };
    memcpy(out, v, sizeof v);
}

// The quad grown by half the difference between the filtered and the
// source size on each side, carried through the quad's perspective.
void GrowQuad(ObjectCorners *c, int sw, int sh, int fw, int fh)
{
    double x[4], y[4];
    CornersOf(*c, x, y);
    Quad q;
    for (int i = 0; i < 4; ++i) {
        q.x[i] = x[i];
        q.y[i] = y[i];
    }
    ProjectiveMatrix m;
    SquareToQuad(&q, &m);
    double gx = (fw - sw) / 2.0 / sw, gy = (fh - sh) / 2.0 / sh;
    const double u[4] = { -gx, 1 + gx, 1 + gx, -gx };
    const double v[4] = { -gy, -gy, 1 + gy, 1 + gy };
    for (int i = 0; i < 4; ++i) {
        x[i] = u[i];
        y[i] = v[i];
        MapPointDouble(&x[i], &y[i], &m);
    }
    SetFromCorners(c, x, y);
}

bool IsWhole(double v)
{
    return Same(v, std::floor(v + 0.5));
}

// A view of every second line of `layer`, starting one line down when
// `odd`; none when the core cannot make it.
Layer *FieldView(Layer *layer, bool odd)
{
    if (!g_fxGraphics.CreateCompatibleLayer || !layer || !layer->pixels)
        return nullptr;
    int h = layer->height - (odd ? 1 : 0);
    if (h <= 0)
        return nullptr;
    return g_fxGraphics.CreateCompatibleLayer(layer->pixels + (odd ? layer->pitch : 0), layer->width, (h + 1) / 2,
                                            layer->pitch * 2);
}

int FloorDiv2(int v)
{
    return v >= 0 ? v / 2 : -((-v + 1) / 2);
}

// Maps one object and composites it; the object has passed the
// visibility test and `c` holds its corners.
void DrawObject(FxView *view, FxPath *obj, RasterCache *cache, ObjectCorners c, FxRenderJob *job, Layer *dest,
                int field)
{
    const FxGraphicsSlots &G = g_fxGraphics;
    const FxGraphicsSlots &R = g_fxGraphics;
    FxPathImage &img = obj->image;

    if (!img.layers[0]) {
        if (!img.pixels || !R.CreateCompatibleLayer)
            return;
        img.layers[0] = R.CreateCompatibleLayer(img.pixels, c.imageWidth, c.imageHeight, c.imageWidth * 4);
        if (!img.layers[0])
            return;
        AttachPathImageToAll(obj);
    }
    Layer *src = img.layers[0];
    FilterBlock block = MakeBlock(&obj->work);
    double cornersNow[8];
    SaveCorners(c, cornersNow);

    int32_t place[4];
    Layer *mapped = img.layers[2];
    bool reuse = mapped && cache->saved && mapped == cache->lastMapped && !(view && (view->flags & VIEW_FORCE_RENDER)) &&
                 block == cache->savedBlock && Same(Frac(c.x0), Frac(cache->savedCorners[0])) &&
                 Same(Frac(c.y0), Frac(cache->savedCorners[1]));
    for (int i = 2; reuse && i < 8; ++i)
        reuse = Same(cornersNow[i], cache->savedCorners[i]);
    if (reuse) {
        int dx = int(std::floor(c.x0 - cache->savedCorners[0] + 0.5));
        int dy = int(std::floor(c.y0 - cache->savedCorners[1] + 0.5));
        place[0] = cache->placement[0] + dx;
        place[1] = cache->placement[1] + dy;
        place[2] = cache->placement[2] + dx;
        place[3] = cache->placement[3] + dy;
    } else {
        Layer *filtered = img.layers[1];
        if (!filtered || !cache->saved || !(block == cache->savedBlock))
            filtered = BuildFiltered(obj, src, block);
        if (!filtered)
            return;
        int fw = filtered->width, fh = filtered->height;
        if (fw != src->width || fh != src->height) {
            GrowQuad(&c, src->width, src->height, fw, fh);
            job->corners.x0 = c.x0;
            job->corners.y0 = c.y0;
            job->corners.topDx = c.topDx;
            job->corners.leftDy = c.leftDy;
            job->corners.leftDx = c.leftDx;
            job->corners.xBend = c.xBend;
            job->corners.topDy = c.topDy;
            job->corners.yBend = c.yBend;
        }
        if (IsWhole(c.x0) && IsWhole(c.y0) && Same(c.topDx, fw) && Same(c.leftDy, fh) && Same(c.leftDx, 0) &&
            Same(c.topDy, 0) && Same(c.xBend, 0) && Same(c.yBend, 0)) {
            Hold(&img.layers[2], filtered);
            int x = int(std::floor(c.x0 + 0.5)), y = int(std::floor(c.y0 + 0.5));
            place[0] = x;
            place[1] = y;
            place[2] = x + fw;
            place[3] = y + fh;
        } else {
            double x[4], y[4];
            CornersOf(c, x, y);
            RECT r;
            if (!R.TestFourCorner || !R.FourCornerMapLayer || R.TestFourCorner(&r, x, y) <= 0)
                return;
            int w = r.right - r.left, h = r.bottom - r.top;
            if (w <= 0 || h <= 0)
                return;
            for (int i = 0; i < 4; ++i) {
                x[i] -= r.left;
                y[i] -= r.top;
            }
            Layer *m = img.layers[2];
            if (m && m != filtered && m->width >= w && m->height >= h &&
                double(m->width) * m->height - double(w) * h <= kMaxSpareArea) {
                if (R.ClearLayer)
                    R.ClearLayer(m);
            } else {
                Release(&img.layers[2]);
                img.layers[2] = G.CreateLayer ? G.CreateLayer(w, h, 1) : nullptr;
                if (!img.layers[2])
                    return;
            }
            R.FourCornerMapLayer(img.layers[2], filtered, x, y);
            place[0] = r.left;
            place[1] = r.top;
            place[2] = r.right;
            place[3] = r.bottom;
        }
        if (img.layers[1] != src && !Softened(block))
            Release(&img.layers[1]);
        obj->pathFlags &= ~PATH_NEEDS_RENDER;
        memcpy(cache->placement, place, sizeof place);
        cache->lastMapped = img.layers[2];
        cache->savedBlock = block;
        memcpy(cache->savedCorners, cornersNow, sizeof cornersNow);
        cache->saved = true;
        mapped = img.layers[2];
    }

    int alpha = (100 - block.Transparency()) * 255 / 100;
    Layer *objLayer = nullptr;
    if (field == 0 || field == 1) {
        bool differ = (place[1] & 1) != field;
        objLayer = FieldView(mapped, differ);
        int top = place[1] + (differ ? 1 : 0);
        int height = place[3] - place[1] - (differ ? 1 : 0);
        if (!objLayer || height <= 0 || !G.ClipLayerXYWH ||
            !G.ClipLayerXYWH(dest, place[0], FloorDiv2(top), place[2] - place[0], (height + 1) / 2)) {
            Release(&objLayer);
            return;
        }
    } else {
        objLayer = mapped;
        AddRef(objLayer);
        RECT r = { place[0], place[1], place[2], place[3] };
        if (!R.ClipLayer || !R.ClipLayer(dest, &r)) {
            Release(&objLayer);
            return;
        }
    }
    if (job->flags & RJ_ON_TOP) {
        if (R.CompositOnTopLayerEx)
            R.CompositOnTopLayerEx(dest, objLayer, alpha);
    } else if (R.CompositOnBottomLayerEx) {
        R.CompositOnBottomLayerEx(objLayer, dest, alpha);
    }
    Release(&objLayer);
}

} // namespace

uintptr_t GetObjectWord(FxPath *object)
{
    RasterCache *c = Cache(object, false);
    return c ? c->objectWord : 0;
}

void SetObjectWord(FxPath *object, uintptr_t word)
{
    if (RasterCache *c = Cache(object, word != 0))
        c->objectWord = word;
}

int RasterizeObjects(FxView *view, Layer *target, FxPath **list, FxRenderJob *job, int field)
{
    if (!target || !list)
        return 0;
    FxRenderJob fallback;
    if (!job) {
        memset(&fallback, 0, sizeof fallback);
        fallback.width = target->width;
        fallback.height = target->height;
        fallback.originMode = 5;
        job = &fallback;
    }
    if (view && view->link && view->link->command && view->link->draws) {
        job->drawList = list;
        view->link->target = target;
        view->link->command(view->link, 11, job);
        return 1;
    }
    const FxGraphicsSlots &G = g_fxGraphics;
    const FxGraphicsSlots &R = g_fxGraphics;
    if (!G.CreateClippedLayer)
        return 0;

    Layer *fieldLayer = nullptr;
    Layer *base = target;
    if (field == 0 || field == 1) {
        if (job->flags & RJ_INVERT_FIELDS)
            field ^= 1;
        if (job->flags & RJ_TARGET_ITSELF) {
            fieldLayer = target;
            AddRef(target);
        } else {
            fieldLayer = FieldView(target, field == 1);
        }
        if (!fieldLayer)
            return 0;
        base = fieldLayer;
    } else {
        field = 2;
    }
    Layer *dest = G.CreateClippedLayer(base);
    if (!dest) {
        Release(&fieldLayer);
        return 0;
    }
    if ((job->flags & RJ_CLEAR) && R.ClearLayer)
        R.ClearLayer(dest);

    int counted = 0;
    for (FxPath **p = list; *p; ++p) {
        FxPath *obj = *p;
        FxKeyframe *state = &obj->work;
        if (!ComputeObjectCorners(view, job, &job->corners, obj, state))
            continue;
        ObjectCorners c = job->corners;
        FilterBlock block = MakeBlock(state);
        bool hasImage = obj->image.pixels || obj->image.layers[0];
        if (block.Transparency() >= 100 || c.topDx == 0 || c.leftDy == 0 || !hasImage || c.imageWidth <= 0 ||
            c.imageHeight <= 0)
            continue;
        double x[4], y[4];
        CornersOf(c, x, y);
        double minX = x[0], maxX = x[0], minY = y[0], maxY = y[0];
        for (int i = 1; i < 4; ++i) {
            minX = std::fmin(minX, x[i]);
            maxX = std::fmax(maxX, x[i]);
            minY = std::fmin(minY, y[i]);
            maxY = std::fmax(maxY, y[i]);
        }
        if (maxX < 0 || maxY < 0 || minX > job->width || minY > job->height || maxX - minX <= kTol ||
            maxY - minY <= kTol)
            continue;
        ++counted;
        RasterCache *cache = Cache(obj, true);
        if (!cache)
            continue;
        DrawObject(view, obj, cache, c, job, dest, field);
    }
    Release(&dest);
    Release(&fieldLayer);
    return counted;
}
