// The wireframe text dump: the corner geometry of every object at every
// rendered step, as plain text for hosts that draw rectangles themselves.
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "fxoutput.h"

namespace {

void Put(FxRenderJob *job, const char *format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n <= 0)
        return;
    if (n >= int(sizeof text))
        n = int(sizeof text) - 1;
    g_fxStolid.bfWrite(static_cast<FxBufferedFile *>(job->user), text, n);
}

// Values that print as zero are zero: no "-0.0000", and the line kind
// follows what the text shows.
double Shown(double v)
{
    return std::fabs(v) < 0.00005 ? 0.0 : v;
}

} // namespace

int WriteWireFrame(int step, FxRenderJob *job)
{
    if (!job || !job->user || !g_fxStolid.bfWrite)
        return 1;
    switch (step) {
    case RS_START:
        Put(job, "DVEv0x100 Tarvo Works Technologies Inc\r\n\r\n");
        Put(job, "WireFrame Render: (%d, %d)\r\n\r\n", job->frameCount, job->objectCount);
        break;
    case RS_FRAME:
    case RS_FRAME_EXTRA: {
        const ObjectCorners &c = job->corners;
        double x0 = Shown(c.x0), y0 = Shown(c.y0), w = Shown(c.topDx), h = Shown(c.leftDy);
        double dx = Shown(c.leftDx), dw = Shown(c.xBend), dy = Shown(c.topDy), dh = Shown(c.yBend);
        Put(job, "Field %d {\r\n\t1: ", job->currentIndex);
        if (dy == 0 && dh == 0 && dx == 0 && dw == 0)
            Put(job, "rect %.4f, %.4f, %.4f, %.4f\r\n", x0, y0, w, h);
        else if (dy == 0 && dh == 0)
            Put(job, "rectdxdw %.4f, %.4f, %.4f, %.4f, %.4f, %.4f\r\n", x0, y0, w, h, dx, dw);
        else
            Put(job, "rectdxdwdydh %.4f, %.4f, %.4f, %.4f, %.4f, %.4f, %.4f, %.4f\r\n", x0, y0, w, h, dx, dw, dy,
                dh);
        Put(job, "}\r\n");
        break;
    }
    case RS_END:
        Put(job, "\r\n// End of WireFrame Render\r\n");
        break;
    default:
        break;
    }
    return 1;
}

int RenderWireFrame(FxView *view, FxPath *first, FxBufferedFile *file)
{
    FxRenderJob j;
    memset(&j, 0, sizeof j);
    j.object = WriteWireFrame;
    j.user = file;
    j.width = 1.0;
    j.height = 1.0;
    // Centred origin: the frame runs from 0 to 1 both ways.
    j.originMode = 5;
    return RenderFrames(view, first, nullptr, &j);
}
