// Views: the virtual space of an effect fitted into a window.
#include <cstdlib>
#include <cstring>

#include "fxview.h"

namespace {

int RoundHalfAway(double v)
{
    return FxRound(v);
}

double Clamp(double v, double lo, double hi)
{
    return v < lo ? lo : v > hi ? hi : v;
}

void Outline(POINT out[5], int l, int t, int r, int b)
{
    out[0] = POINT{ l, t };
    out[1] = POINT{ r, t };
    out[2] = POINT{ r, b };
    out[3] = POINT{ l, b };
    out[4] = POINT{ l, t };
}

}  // namespace

FxView *CreateView(const int32_t descriptor[13], void *styleTable, uint32_t flags, HWND window, const SIZE *client,
                   void *)
{
    FxView *v = static_cast<FxView *>(calloc(1, sizeof(FxView)));
    if (!v)
        return nullptr;
    v->flags = flags & VIEW_CREATE_MASK;
    v->styleTable = styleTable;
    if (descriptor)
        memcpy(v->descriptor, descriptor, sizeof v->descriptor);
    v->distance = 1000.0;
    int ax = v->descriptor[VD_ASPECT_X], ay = v->descriptor[VD_ASPECT_Y];
    int vw, vh;
    if (ax == 4 && ay == 3)
        vw = 1200, vh = 900;
    else if (ax == 16 && ay == 9)
        vw = 1600, vh = 900;
    else if (ax == 1 && ay == 1)
        vw = 1000, vh = 1000;
    else
        vw = v->descriptor[VD_FRAME_W], vh = v->descriptor[VD_FRAME_H];
    if (vw == 0 || vh == 0)
        vw = 640, vh = 480;
    v->virtualWidth = vw;
    v->virtualHeight = vh;
    SetDefaultKeyframeSize(vw, vh);
    if (!(flags & VIEW_NO_LAYER) && g_fxGraphics.CreateLayer)
        v->coreLayer = g_fxGraphics.CreateLayer(v->descriptor[VD_FRAME_W], v->descriptor[VD_FRAME_H], 1);
    if (window) {
        AttachViewToWindow(v, window);
    } else if (client) {
        SetViewRect(v, client);
    }
    return v;
}

void DestroyView(FxView *v)
{
    if (!v)
        return;
    if (v->link) {
        if (v->link->command)
            v->link->command(v->link, 2, nullptr);
        if (v->link->destroy)
            v->link->destroy(v->link);
    }
    if (v->memDc) {
        if (v->prevBitmap)
            SelectObject(v->memDc, v->prevBitmap);
        DeleteDC(v->memDc);
    }
    if (v->memBitmap)
        DeleteObject(v->memBitmap);
    // A core that has gone away is not called: its layer is abandoned.
    if (v->coreLayer && g_fxGraphics.DeleteLayer && g_fxGraphics.PixmoorAreYouThere &&
        g_fxGraphics.PixmoorAreYouThere())
        g_fxGraphics.DeleteLayer(v->coreLayer);
    free(v);
}

int AttachViewToWindow(FxView *v, HWND window)
{
    if (!v || !window)
        return 0;
    v->window = window;
    RECT rc = {};
    GetClientRect(window, &rc);
    SIZE size = { rc.right - rc.left, rc.bottom - rc.top };
    return SetViewRect(v, &size);
}

int SetViewRect(FxView *v, const SIZE *size)
{
    if (!v || !size)
        return 0;
    int w = size->cx, h = size->cy;
    if ((v->flags & VIEW_RECT_SET) && w == v->width && h == v->height)
        return 1;
    if (!v->memDc)
        v->memDc = CreateCompatibleDC(v->dc);
    v->width = w;
    v->height = h;
    v->originX = w * 0.5;
    v->originY = h * 0.5;
    v->distance = 1000.0;
    double mx = Clamp(w * 0.05, 1, 40), my = Clamp(h * 0.05, 1, 40);
    double uw = w - mx, uh = h - my;
    int fw = v->descriptor[VD_FRAME_W], fh = v->descriptor[VD_FRAME_H];
    if (fw < uw)
        uw = fw;
    if (fh < uh)
        uh = fh;
    int ax = v->descriptor[VD_ASPECT_X], ay = v->descriptor[VD_ASPECT_Y];
    if (ax && ay) {
        if (ay * uw <= ax * uh)
            uh = ay * uw / ax;
        else
            uw = ax * uh / ay;
    }
    v->scaleX = uw / v->virtualWidth;
    v->scaleY = uh / v->virtualHeight;
    int l = RoundHalfAway(v->originX - v->virtualWidth / 2 * v->scaleX);
    int t = RoundHalfAway(v->originY - v->virtualHeight / 2 * v->scaleY);
    int r = RoundHalfAway(v->originX + v->virtualWidth / 2 * v->scaleX);
    int b = RoundHalfAway(v->originY + v->virtualHeight / 2 * v->scaleY);
    Outline(v->picture, l, t, r, b);
    v->blit[0] = l;
    v->blit[1] = t;
    v->blit[2] = r - l;
    v->blit[3] = b - t;
    auto safe = [&](int word, double scale, double extent) {
        return RoundHalfAway(v->descriptor[word] * scale * extent * 0.01);
    };
    Outline(v->safeArea, l + safe(VD_SAFE_L, v->scaleX, v->virtualWidth), t + safe(VD_SAFE_T, v->scaleY, v->virtualHeight),
            l + safe(VD_SAFE_R, v->scaleX, v->virtualWidth), t + safe(VD_SAFE_B, v->scaleY, v->virtualHeight));
    v->flags |= VIEW_RECT_SET;
    return 1;
}

void WindowToVirtual(const FxView *v, POINT *pt, int width, int height)
{
    if (!v || !pt || v->scaleX == 0 || v->scaleY == 0)
        return;
    double x = (pt->x - v->picture[0].x) / v->scaleX * (width / v->virtualWidth);
    double y = (pt->y - v->picture[0].y) / v->scaleY * (height / v->virtualHeight);
    pt->x = RoundHalfAway(x);
    pt->y = RoundHalfAway(y);
}
