// Effect data blocks: checking a block before its text is trusted, and
// making one from an effect (header copy, counted script text).
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "fxdata.h"
#include "fxdata_internal.h"

int g_fxDvePlacement = 0;

const char *FxBlockErrorText(int error)
{
    switch (error) {
    case FXB_OK: return "no error";
    case FXB_ERR_NULL: return "no effect data block";
    case FXB_ERR_TRUNCATED: return "effect data block shorter than its header";
    case FXB_ERR_VERSION: return "effect data block of an unknown version";
    case FXB_ERR_NO_DATA: return "effect data block without data";
    case FXB_ERR_LENGTH: return "effect data block with a bad text length";
    case FXB_ERR_OFFSET: return "effect data block whose text starts inside its header";
    case FXB_ERR_OUTSIDE: return "effect data block whose text runs past its end";
    case FXB_ERR_UNTERMINATED: return "effect data block whose text is not terminated";
    }
    return "unknown effect data block error";
}

int FxCheckBlock(const void *block, size_t available)
{
    if (!block)
        return FXB_ERR_NULL;
    if (available < sizeof(FxEffectBlock))
        return FXB_ERR_TRUNCATED;
    FxEffectBlock h;
    memcpy(&h, block, sizeof h);
    if (h.version != FXB_VERSION && h.version != FXB_VERSION_OLD)
        return FXB_ERR_VERSION;
    if (h.dataLength == 0)
        return FXB_ERR_NO_DATA;
    if (h.textLength == 0 || h.textLength > FXB_TEXT_MAX)
        return FXB_ERR_LENGTH;
    if (h.textOffset < sizeof(FxEffectBlock) || h.textOffset > FXB_TEXT_MAX)
        return FXB_ERR_OFFSET;
    size_t end = size_t(h.textOffset) + h.textLength;
    if (end > available)
        return FXB_ERR_OUTSIDE;
    // The text must end within its stated length: the reader runs to the
    // first NUL and must not leave the block looking for one.
    const char *text = static_cast<const char *>(block) + h.textOffset;
    if (!memchr(text, 0, h.textLength))
        return FXB_ERR_UNTERMINATED;
    return FXB_OK;
}

void FillScriptHeader(FxEffectHost *host, FxEffect *e, FxHeader *h)
{
    memset(h, 0, sizeof *h);
    h->version = e->header.version ? e->header.version : FXB_VERSION;
    h->flags = int32_t(e->flags & 0xFFFF0000u);
    memcpy(h->description, e->header.description, sizeof h->description);
    h->description[sizeof h->description - 1] = 0;
    if (e->view) {
        h->virtualWidth = FxRound(e->view->virtualWidth);
        h->virtualHeight = FxRound(e->view->virtualHeight);
    }
    h->markOut = e->endFrame;
    h->whoAmI = host ? host->personality : 0;
    memcpy(h->renderFile, e->renderFile, sizeof h->renderFile);
    h->renderFile[sizeof h->renderFile - 1] = 0;
    h->timeStamp = e->renderTimeStamp;
    h->thumbnailFrame = e->thumbnailFrame;
}

uint32_t FxBlockSize(FxEffectHost *host, FxEffect *e)
{
    if (!e || !e->first)
        return 0;
    FxHeader h;
    FillScriptHeader(host, e, &h);
    int count = WriteFxScript(nullptr, e->first, &h, FXW_COUNT);
    if (count <= 0 || uint32_t(count) >= FXB_TEXT_MAX)
        return 0;
    return sizeof(FxEffectBlock) + uint32_t(count) + 1;
}

int FillBlock(FxEffectHost *host, FxEffect *e, FxEffectBlock *b, uint32_t capacity, int forHost)
{
    if (!e || !e->first || !b)
        return 0;
    FxHeader h;
    FillScriptHeader(host, e, &h);
    int count = WriteFxScript(nullptr, e->first, &h, FXW_COUNT);
    if (count <= 0 || uint32_t(count) >= FXB_TEXT_MAX)
        return 0;
    uint32_t textLength = uint32_t(count) + 1;
    if (capacity < sizeof(FxEffectBlock) + textLength)
        return 0;

    memcpy(b, &e->header, sizeof *b);
    b->size = FXB_HEADER_SIZE;
    b->flags = 0;
    b->textLength = b->dataLength = textLength;
    b->textOffset = sizeof(FxEffectBlock);
    int end = e->endFrame;
    if (!end && host)
        end = host->hostLength;
    if (!end)
        end = GetEffectLastFrame(e->first);
    b->endFrame = uint32_t(end);

    char *text = reinterpret_cast<char *>(b) + b->textOffset;
    int written = WriteFxScript(text, e->first, &h, FXW_BUFFER);
    // The second pass must agree with the count, or the block's lengths lie.
    if (written != count)
        return 0;
    text[count] = 0;

    if (forHost) {
        if (e->flags & FXE_UNSTORED)
            b->flags |= FXB_FLAG_UNSTORED;
        if (e->flags & FXE_UNCARDED)
            b->cardId = FXB_NO_CARD;
        if (host && (host->personality == 1 || host->personality == 7) && g_fxDvePlacement)
            b->flags |= FXB_FLAG_PLACEMENT;
        if (e->timeStamp == 0xFFFFFFFFu)
            e->timeStamp = uint32_t(time(nullptr));
        b->timeStamp = e->timeStamp;
        b->currentFrame = uint16_t(e->currentFrame);
        b->effectFlagsHigh = uint16_t(e->flags >> 16);
    }
    return 1;
}

FxEffectBlock *FxMakeBlock(FxEffectHost *host, FxEffect *e, int forHost, uint32_t *size)
{
    uint32_t need = FxBlockSize(host, e);
    if (!need)
        return nullptr;
    FxEffectBlock *b = static_cast<FxEffectBlock *>(malloc(need));
    if (!b)
        return nullptr;
    if (!FillBlock(host, e, b, need, forHost)) {
        free(b);
        return nullptr;
    }
    if (size)
        *size = need;
    return b;
}
