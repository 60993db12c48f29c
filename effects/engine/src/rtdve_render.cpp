// The realtime DVE writers driven by the frame renderer: the render job's
// fields as a writer reads them, and the object callback that begins,
// writes and ends a description.
#include "fxrender.h"
#include "fxrtdve.h"
#include "fxutil.h"

#include <cstdlib>

void RtJobFromRender(const FxRenderJob *job, FxRtJob *out)
{
    *out = FxRtJob{};
    if (!job)
        return;
    const FxRtRenderContext *ctx = static_cast<const FxRtRenderContext *>(job->user);
    out->width = job->width;
    out->height = job->height;
    // The description is counted at the rate the render runs at.
    out->frameRate = job->frameRate ? job->frameRate : (job->effectFrameRate ? job->effectFrameRate : 30);
    out->originMode = job->originMode;
    out->frameCount = job->frameCount;
    out->currentIndex = job->currentIndex;
    out->positionFlags = job->positionFlags;
    out->objectNumber = job->objectNumber;
    out->x0 = job->corners.x0;
    out->y0 = job->corners.y0;
    out->topDx = job->corners.topDx;
    out->leftDy = job->corners.leftDy;
    out->state = (job->positionFlags & RT_EMPTY_FRAME) ? nullptr : job->corners.state;
    out->firstObject = job->firstObject;
    out->hostKind = ctx ? ctx->hostKind : 0;
}

void RtPrepareRenderJob(FxRenderJob *job, uint32_t kind)
{
    if (!job)
        return;
    if (kind == RT_LAYERED) {
        job->originMode = 5;
    } else if (kind == RT_MATRIX || kind == RT_MATRIX_MEMORY) {
        job->width = 8.0;
        job->height = 6.0;
        job->originMode = 0;
    }
}

int RealtimeFrameCallback(int step, FxRenderJob *job)
{
    const FxRtRenderContext *ctx = job ? static_cast<const FxRtRenderContext *>(job->user) : nullptr;
    if (!ctx || !ctx->writer)
        return 0;
    FxRtJob rt;
    RtJobFromRender(job, &rt);
    switch (step) {
    case RS_START:
        return ctx->writer->BeginDescription(&rt);
    case RS_FRAME:
    case RS_FRAME_EXTRA:
        return ctx->writer->WriteFrame(&rt);
    case RS_END:
        return ctx->writer->EndDescription(&rt);
    default:
        return 1;
    }
}

LONG_PTR(WINAPI *g_fxRtPackFrame)(LONG_PTR codec, void *block, LONG_PTR zero) = nullptr;

void BuildCropWindowRecord(const FxRtJob *job, const FxKeyframe *s, RtWindowRecord *out)
{
    const bool placed = s && !(job->positionFlags & RT_EMPTY_FRAME) && job->width != 0 && job->height != 0;
    if (!placed) {
        *out = RtWindowRecord{ 0, 0, 0, 0x1000000, 0x1000000 };
        return;
    }
    double L = s->crop[0], R = s->crop[1], T = s->crop[2], B = s->crop[3];
    double l, t, w, h;
    if (s->cropMode != 0) {
        double W = job->width, H = job->height, dx = job->topDx, dy = job->leftDy;
        l = (job->x0 + L * dx / 100) / W;
        t = (job->y0 + T * dy / 100) / H;
        w = (100 - L - R) * dx / 100 / W;
        h = (100 - T - B) * dy / 100 / H;
    } else {
        l = L / 100;
        t = T / 100;
        w = (100 - L - R) / 100;
        h = (100 - T - B) / 100;
    }
    if (l < 0) {
        w += l;
        l = 0;
    }
    if (t < 0) {
        h += t;
        t = 0;
    }
    *out = RtWindowRecord{ 0, RtFixed824(l), RtFixed824(t), RtFixed824(w), RtFixed824(h) };
}

int WritePackedFrame(int step, FxRenderJob *job)
{
    if (!job || (step != RS_FRAME && step != RS_FRAME_EXTRA))
        return 1;
    const FxRtRenderContext *ctx = static_cast<const FxRtRenderContext *>(job->user);
    void *block = std::calloc(1, RT_PACKED_BLOCK);
    if (!block)
        return 1;
    FxBufferedFile *file = OpenMemoryBf(block, int(RT_PACKED_BLOCK));
    if (!file) {
        std::free(block);
        return 1;
    }
    FxRtJob rt;
    RtJobFromRender(job, &rt);
    FxKeyframe *first = rt.firstObject ? rt.firstObject->head : nullptr;
    RtWindowRecord crop;
    RtDveRecord dve;
    BuildCropWindowRecord(&rt, rt.state, &crop);
    BuildDveRecord(&rt, rt.state, first ? first->attributeMode : 0, &dve);

    const uint32_t cropLead = RT_PACKED_CROP, dveLead = RT_PACKED_DVE;
    BeginBfChunk(file, 1);
    BeginBfChunk(file, 2);
    WriteBfBytes(file, &cropLead, 4);
    WriteBfBytes(file, &crop, sizeof crop);
    EndBfChunk(file, RT_PACKED_CLOSE);
    BeginBfChunk(file, 2);
    WriteBfBytes(file, &dveLead, 4);
    WriteBfBytes(file, &dve, sizeof dve);
    EndBfChunk(file, RT_PACKED_CLOSE);
    EndBfChunk(file, 0);
    CloseBf(file);

    // The codec's entry is looked up while its library is bound, never kept.
    auto pack = g_fxRtPackFrame;
    if (!pack && g_fxVexacodecLib.module)
        pack = reinterpret_cast<decltype(pack)>(GetProcAddress(g_fxVexacodecLib.module, MAKEINTRESOURCEA(107)));
    if (pack)
        pack(ctx ? ctx->codec : 0, block, 0);
    std::free(block);
    return 1;
}
