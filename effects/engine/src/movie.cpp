// Movie export: every frame is rendered straight into the layer that the
// encoder hands out, then given back to it; the thumbnail is taken from the
// frame chosen on the way.
#include <cstring>

#include "fxmedia.h"
#include "fxoutput.h"

int (*g_fxWriteMovieThumbnail)(void *instance, const char *fileName, int width, int height, int step) = nullptr;

namespace {

constexpr uint32_t kExportFlags = 0x1018200;
constexpr uint32_t kNormNoFieldSteps = 0x18000;
constexpr uint32_t kNormOddEven = 0x3000000;

// Steps the callbacks come on: every second one when only odd or only even
// steps are called back.
int CallbackStride(uint32_t flags)
{
    uint32_t oe = flags & (RJ_ODD_STEPS | RJ_EVEN_STEPS);
    return oe == RJ_ODD_STEPS || oe == RJ_EVEN_STEPS ? 2 : 1;
}

int StartEncoder(FxRenderJob *job, MovieExportContext *ctx)
{
    if (!ctx->movie && !(ctx->fileName && *ctx->fileName))
        return 0;
    LONG_PTR w = LONG_PTR(job->width), h = LONG_PTR(job->height);
    ctx->encoder = 0;
    if (!ctx->movie) {
        const FxVexacodecSlots &C = g_fxVexacodec;
        if (C.EncodeStart)
            ctx->encoder = C.EncodeStart(LONG_PTR(ctx->fileName), LONG_PTR(ctx->fileName), w, h, ctx->fields);
        ctx->getLayer = C.EncodeGetLayer;
        ctx->encodeFrame = C.EncodeFrame;
        ctx->encodeEnd = C.EncodeEnd;
        ctx->thumbnail = C.EncodeThumbnail;
        ctx->pauseFrame = C.EncodePauseFrame;
    } else {
        const FxVexaSlots &V = g_fxVexa;
        LONG_PTR total = job->frameCount;
        if (CallbackStride(job->flags) == 2)
            total /= 2;
        if (V.EncodeStart)
            ctx->encoder = V.EncodeStart(ctx->movie, 0, ctx->fieldOrder, 0, total, w, h, ctx->fields);
        ctx->getLayer = V.EncodeGetLayer;
        ctx->encodeFrame = V.EncodeFrame;
        ctx->encodeEnd = V.EncodeEnd;
        ctx->thumbnail = V.EncodeThumbnail;
        ctx->pauseFrame = nullptr;
    }
    if (!ctx->encoder)
        return 0;
    job->target = ctx->getLayer ? ctx->getLayer(ctx->encoder, LONG_PTR(&ctx->layerWord)) : nullptr;
    // Every object starts the export with a fresh count.
    for (FxPath *p = job->firstObject; p; p = p->next)
        SetObjectWord(p, 0);
    return 1;
}

} // namespace

int WriteMovieFrame(int step, FxRenderJob *job)
{
    if (!job || !job->user)
        return 0;
    auto *ctx = static_cast<MovieExportContext *>(job->user);
    switch (step) {
    case RS_START:
        return StartEncoder(job, ctx);
    case RS_FRAME:
    case RS_FRAME_EXTRA: {
        if (!ctx->encoder)
            return 0;
        int i = job->currentIndex, last = job->toIndex;
        if ((ctx->thumbnailStep < 0 || ctx->thumbnailStep > last) &&
            ((i <= job->fromIndex + 2 && job->drawnCount > 0) || i == last))
            ctx->thumbnailStep = i;
        if (i == ctx->thumbnailStep && ctx->thumbnail &&
            (ctx->movie || !g_fxVexacodec.ChangeThumbnail || (i == last && (job->flags & RJ_EXTRA_DIVISOR)))) {
            ctx->thumbnail(ctx->encoder, LONG_PTR(job->target));
            ctx->thumbnailWritten = 1;
        }
        int position = i == last ? 8 : i == last - CallbackStride(job->flags) ? 4 : 0;
        if (ctx->encodeFrame)
            ctx->encodeFrame(ctx->encoder, ctx->layerWord, position);
        if (i != last)
            job->target = ctx->getLayer ? ctx->getLayer(ctx->encoder, LONG_PTR(&ctx->layerWord)) : nullptr;
        return 1;
    }
    case RS_END:
        if (ctx->encoder && ctx->encodeEnd)
            ctx->encodeEnd(ctx->encoder);
        ctx->encoder = 0;
        if (ctx->movie && ctx->movie != ctx->callerMovie && g_fxVexa.quibClose)
            g_fxVexa.quibClose(ctx->movie);
        return 1;
    default:
        return 1;
    }
}

bool ExportMovie(HWND window, const FxMovieSource *source, LONG_PTR movie, const char *fileName, double width,
                 double height, uint32_t flags, uint32_t normSettings)
{
    if (!source || !source->render.view || !source->render.first)
        return false;
    if (!movie && !(fileName && *fileName))
        fileName = "fx.vexa";
    // A new file replaces one of the same name.
    if (!movie)
        DeleteFileA(fileName);
    if (!(width > 0))
        width = source->defaultWidth;
    if (!(height > 0))
        height = source->defaultHeight;
    if (!(width > 0) || !(height > 0))
        return false;

    MovieExportContext ctx;
    memset(&ctx, 0, sizeof ctx);
    ctx.movie = movie;
    ctx.callerMovie = movie;
    ctx.fileName = fileName;
    ctx.fieldOrder = source->fieldOrder;
    ctx.fields = normSettings & 0xFFFF;
    if (ctx.fields == 0)
        ctx.fields = 2;
    ctx.thumbnailStep = source->thumbnailFrame >= 0 ? source->thumbnailFrame * 2 : source->thumbnailFrame;

    FxRenderJob j;
    memset(&j, 0, sizeof j);
    j.flags = flags | kExportFlags;
    if (normSettings & 0x80000000u)
        j.flags = (j.flags & ~kNormNoFieldSteps) | kNormOddEven;
    if (normSettings & 0x40000000u)
        j.flags &= ~RJ_DRAW_VIEW;
    if (source->render.flagWord & 0x80000000u)
        j.flags |= RJ_ALL_OBJECTS;
    if (source->render.invertFields) {
        j.flags |= RJ_INVERT_FIELDS;
        ctx.fields |= 0x200;
    }
    j.progress = source->render.progress;
    j.object = WriteMovieFrame;
    j.user = &ctx;
    j.instance = source->render.instance;
    j.effectFrameRate = source->render.frameRate;
    j.rangeEnd = source->render.length;
    j.rangeMode = int((source->render.flagWord >> 28) & 3);
    j.width = width;
    j.height = height;
    j.originMode = 5;
    if (j.flags & RJ_DRAW_VIEW)
        source->render.view->window = window;

    int r = RenderFrames(source->render.view, source->render.first, nullptr, &j);
    if (!movie && r == 0 && !ctx.thumbnailWritten && g_fxWriteMovieThumbnail) {
        int step = ctx.thumbnailStep;
        if (j.flags & RJ_FIELD_STEPS)
            step /= 2;
        g_fxWriteMovieThumbnail(source->render.instance, fileName, int(width), int(height), step);
    }
    if (window)
        SendMessageA(window, FX_MSG_REFRESH, FX_REFRESH_AFTER_EXPORT, 0);
    return r >= 0;
}

bool ExportMovieWithNorm(HWND window, const FxMovieSource *source, LONG_PTR movie, const char *fileName,
                         double width, double height, uint32_t flags)
{
    uint32_t norm = 0;
    if (source && source->iniFile && source->iniSection)
        norm = uint32_t(GetPrivateProfileIntA(source->iniSection, "NormSettings", 0, source->iniFile));
    return ExportMovie(window, source, movie, fileName, width, height, flags, norm);
}
