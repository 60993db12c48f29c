// The realtime DVE writers driven by the frame renderer: the render job's
// fields as a writer reads them, and the object callback that begins,
// writes and ends a description.
#include "fxrender.h"
#include "fxrtdve.h"

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
