// Rendering tests: the graphics core bound into the engine's slots, a view
// whose virtual space is the target's pixel size, and effects built from
// coloured rectangles.
#pragma once

#include <catch2/catch.hpp>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "fxrender.h"
#include "pixmoor.h"

extern "C" {
LONG PIXAPI RGBtoYUVLayer(Layer *destination, Layer *source);
LONG PIXAPI YUVtoRGBLayer(Layer *destination, Layer *source);
LONG PIXAPI LuminanceLayer(Layer *destination, Layer *source, LONG brightness, LONG contrast);
LONG PIXAPI TintLayer(Layer *destination, Layer *source, LONG vOffset, LONG uOffset, LONG saturation);
LONG PIXAPI MosaicLayer(Layer *destination, Layer *source, LONG cellWidth, LONG cellHeight);
LONG PIXAPI EmbossLayer(Layer *destination, Layer *source, LONG azimuth, LONG elevation, LONG depth);
LONG PIXAPI TestFourCorner(RECT *rect, const double *xs, const double *ys);
LONG PIXAPI FourCornerMapLayer(Layer *destination, Layer *source, const double *xs, const double *ys);
void PixmoorProcessAttach(void);
}

namespace {

constexpr DWORD kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF;

// Binds the real graphics core into the slots for the fixture's life.
struct Core {
    Core()
    {
        // The core's tables, as its start-up makes them.
        static bool started = (PixmoorProcessAttach(), true);
        (void)started;
        FxGraphicsSlots &g = g_fxGraphics;
        g.PixmoorAreYouThere = PixmoorAreYouThere;
        g.AddRefCountLayer = AddRefCountLayer;
        g.DeleteLayer = DeleteLayer;
        g.CreateLayer = CreateLayer;
        g.CreateClippedLayer = CreateClippedLayer;
        g.ClipLayerXYWH = ClipLayerXYWH;
        g.CopyLayer = CopyLayer;
        g.BeginLayerAccess = BeginLayerAccess;
        g.EndLayerAccess = EndLayerAccess;
        FxGraphicsSlots &r = g_fxGraphics;
        r.CreateCompatibleLayer = CreateCompatibleLayer;
        r.ClearLayer = ClearLayer;
        r.ClipLayer = ClipLayer;
        r.RefreshLayerEx = RefreshLayerEx;
        r.UpdateLayerEx = UpdateLayerEx;
        r.RGBtoYUVLayer = RGBtoYUVLayer;
        r.YUVtoRGBLayer = YUVtoRGBLayer;
        r.TintLayer = TintLayer;
        r.LuminanceLayer = LuminanceLayer;
        r.EmbossLayer = EmbossLayer;
        r.MosaicLayer = MosaicLayer;
        r.TestFourCorner = TestFourCorner;
        r.FourCornerMapLayer = FourCornerMapLayer;
        r.CompositOnBottomLayerEx = CompositOnBottomLayerEx;
        r.CompositOnTopLayerEx = CompositOnTopLayerEx;
    }
    ~Core()
    {
        g_fxGraphics = {};
    }
};

// An effect in a view of w x h virtual units, rendered into w x h pixels.
struct Scene {
    Core core;
    int w, h;
    FxView *view = nullptr;
    FxPath *list = nullptr;
    Layer *target = nullptr;

    Scene(int width, int height) : w(width), h(height)
    {
        int32_t d[13] = {};
        d[0] = w;
        d[1] = h;
        SIZE client = { w, h };
        view = CreateView(d, nullptr, VIEW_NO_LAYER, nullptr, &client, nullptr);
        REQUIRE(view);
        target = CreateLayer(w, h, 1);
        REQUIRE(target);
    }
    ~Scene()
    {
        // The paths' layers go while the core is still bound.
        FreeEffect(list);
        DestroyView(view);
        DeleteLayer(target);
    }

    // A new object: a rectangle whose top-left corner lies at (x, y) in
    // target pixels, held at frame `frame`, with an image of its size in
    // one colour (or none when colour is 0).
    FxPath *Add(double x, double y, int iw, int ih, DWORD colour, double z = 1000, int frame = 1)
    {
        FxPath *slot = list;
        REQUIRE(AppendNewPath(&slot));
        if (!list)
            list = slot;
        FxPath *p = slot;
        FxKeyframe *kf = p->head;
        kf->startFrame = kf->endFrame = frame;
        kf->startTime = kf->endTime = frame;
        SetKeyframeSize(kf, iw, ih);
        kf->position[0] = x + iw / 2.0 - w / 2.0;
        kf->position[1] = y + ih / 2.0 - h / 2.0;
        kf->position[2] = z;
        if (colour)
            SetImage(p, iw, ih, colour);
        return p;
    }

    static void SetImage(FxPath *p, int iw, int ih, DWORD colour)
    {
        auto *px = static_cast<DWORD *>(malloc(size_t(iw) * ih * 4));
        REQUIRE(px);
        for (int i = 0; i < iw * ih; ++i)
            px[i] = colour;
        p->image.width = iw;
        p->image.height = ih;
        p->image.pixels = px;
        p->image.pixelSize = uint32_t(iw * ih * 4);
        p->image.layerFlags[0] |= 1;
    }

    // A keyframe appended to the object's ring, at `frame`, moved by
    // (dx, dy) pixels from the previous one.
    static FxKeyframe *AddKey(FxPath *p, int frame, double dx, double dy)
    {
        FxKeyframe *last = p->head->prev;
        FxKeyframe *kf = NewKeyframe();
        REQUIRE(kf);
        CopyKeyframe(kf, last);
        last->next = kf;
        kf->prev = last;
        kf->next = p->head;
        p->head->prev = kf;
        kf->index = last->index + 1;
        kf->startFrame = kf->endFrame = frame;
        kf->startTime = kf->endTime = frame;
        kf->delay = 0;
        kf->position[0] += dx;
        kf->position[1] += dy;
        NoteKeyframeChange(p, FXC_POSITION);
        return kf;
    }

    FxRenderJob Job(uint32_t flags = 0) const
    {
        FxRenderJob j;
        memset(&j, 0, sizeof j);
        j.flags = flags;
        j.width = w;
        j.height = h;
        j.originMode = 5;
        j.target = target;
        return j;
    }

    // Renders one frame of the effect into the cleared target.
    int Frame(int frame, uint32_t flags = 0)
    {
        ClearLayer(target);
        FxRenderJob j = Job(flags);
        j.fromIndex = j.toIndex = frame;
        return RenderFrames(view, list, nullptr, &j);
    }

    DWORD At(int x, int y) const { return GetPelInLayer(target, x, y); }
};

} // namespace
