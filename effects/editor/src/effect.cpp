// The effect an instance holds, and its text and block forms.
#include <cstring>
#include <vector>

#include "fxhost.h"

namespace {

FxHostEffect *MakeEffect(int softBorder)
{
    FxHostEffect *fx = static_cast<FxHostEffect *>(FxAlloc(sizeof(FxHostEffect)));
    if (!fx) return nullptr;
    if (!AppendNewPath(&fx->paths)) {
        FxFree(fx);
        return nullptr;
    }
    fx->paths->pathFlags |= 0x1;
    fx->paths->head->flags |= 0x1000000;
    fx->paths->head->softness = softBorder;
    fx->header.thumbnailFrame = -1;
    fx->flags = 0xC008;
    return fx;
}

// Parses NUL-terminated text into a new effect; null when no keyframe was
// read.
FxHostEffect *ParseEffect(FxInstance *inst, const char *text)
{
    FxHostEffect *fx = MakeEffect(FxReadSetting(inst, 11));
    if (!fx) return nullptr;
    FxHeader h;
    std::memset(&h, 0, sizeof h);
    h.thumbnailFrame = -1;
    if (!parsefx(text, fx->paths, &h, FXS_MEMORY)) {
        FxDeleteEffect(fx);
        return nullptr;
    }
    fx->header = h;
    fx->flags = (fx->flags & 0xFFFF) | (uint32_t(h.flags) & 0xFFFF0000u);
    fx->frameCount = h.markOut ? h.markOut : h.clipLength;
    return fx;
}

void Replace(FxInstance *inst, FxHostEffect *fx)
{
    FxDeleteEffect(inst->effect);
    inst->effect = fx;
}

}  // namespace

FxHostEffect *FxNewEffect(FxInstance *inst)
{
    return MakeEffect(inst ? FxReadSetting(inst, 11) : 8);
}

void FxDeleteEffect(FxHostEffect *fx)
{
    if (!fx) return;
    FreeEffect(fx->paths);
    FxFree(fx);
}

void FxMarkChange(FxInstance *inst, uint32_t mask)
{
    if (!inst || !inst->effect) return;
    inst->effect->changeMask |= mask;
    inst->effect->flags |= FXE_CHANGED | FXE_CARD_CHANGED | FXE_UNSTORED;
}

int FxLoadEffectText(FxInstance *inst, const char *text, bool append)
{
    if (!inst || !text) return 0;
    FxHostEffect *fx = ParseEffect(inst, text);
    if (!fx) return 0;
    if (append && inst->effect) {
        AppendPath(&inst->effect->paths, fx->paths);
        fx->paths = nullptr;
        FxDeleteEffect(fx);
    } else {
        Replace(inst, fx);
    }
    FxMarkChange(inst, 0x1FFFFFF);
    return 1;
}

void FxFillHeader(FxInstance *inst, FxHeader *h)
{
    std::memset(h, 0, sizeof *h);
    FxHostEffect *fx = inst->effect;
    h->version = 0x40000;
    h->whoAmI = inst->personality;
    h->virtualWidth = inst->frameWidth;
    h->virtualHeight = inst->frameHeight;
    h->clipLength = inst->hostDuration;
    if (!fx) return;
    h->flags = int32_t(fx->flags & 0xFFFF0000u);
    h->markOut = fx->frameCount;
    std::memcpy(h->description, fx->header.description, sizeof h->description);
    std::memcpy(h->renderFile, fx->header.renderFile, sizeof h->renderFile);
    h->timeStamp = fx->header.timeStamp;
    h->thumbnailFrame = fx->header.thumbnailFrame;
}

int FxEffectTextLength(FxInstance *inst)
{
    if (!inst || !inst->effect) return 0;
    FxHeader h;
    FxFillHeader(inst, &h);
    return WriteFxScript(nullptr, inst->effect->paths, &h, FXW_COUNT);
}

int FxWriteEffectText(FxInstance *inst, char *out)
{
    if (!inst || !inst->effect || !out) return 0;
    FxHeader h;
    FxFillHeader(inst, &h);
    return WriteFxScript(out, inst->effect->paths, &h, FXW_BUFFER);
}

int FxLoadEffectBlock(FxInstance *inst, const void *block, size_t size)
{
    if (!inst || !block || size < sizeof(FxEffectBlock)) return 0;
    FxEffectBlock h;
    std::memcpy(&h, block, sizeof h);
    if (h.dataLength == 0 || (h.version != 2 && h.version != 11)) return 0;
    // The text must lie inside the block the host gave.
    if (h.textOffset < sizeof h || h.textOffset > size || h.dataLength > size - h.textOffset) return 0;
    const char *text = static_cast<const char *>(block) + h.textOffset;
    std::vector<char> copy(text, text + h.dataLength);
    copy.push_back(0);
    FxHostEffect *fx = ParseEffect(inst, copy.data());
    if (!fx) return 0;
    if (h.description[0]) {
        std::memcpy(fx->header.description, h.description, sizeof fx->header.description);
        fx->header.description[sizeof fx->header.description - 1] = 0;
    }
    fx->header.timeStamp = int32_t(h.timeStamp);
    fx->flags &= ~FXE_CARD_CHANGED;
    Replace(inst, fx);
    FxMarkChange(inst, 0x1FFFFFF);
    fx->flags &= ~FXE_CARD_CHANGED;
    return 1;
}

int FxWriteEffectBlock(FxInstance *inst, void *out, size_t size)
{
    if (!inst || !inst->effect || !out) return 0;
    const int count = FxEffectTextLength(inst);
    if (count <= 0 || size < sizeof(FxEffectBlock) + size_t(count) + 1) return 0;
    FxHostEffect *fx = inst->effect;
    FxEffectBlock h;
    std::memset(&h, 0, sizeof h);
    h.size = sizeof h;
    h.version = 2;
    h.textLength = h.dataLength = uint32_t(count) + 1;
    h.textOffset = sizeof h;
    h.timeStamp = uint32_t(fx->header.timeStamp ? fx->header.timeStamp : -1);
    h.endFrame = uint32_t(fx->frameCount ? fx->frameCount
                          : inst->hostDuration ? inst->hostDuration
                                               : GetEffectLastFrame(fx->paths));
    h.cardId = 0xFFFF;
    std::memcpy(h.description, fx->header.description, sizeof h.description);
    h.description[sizeof h.description - 1] = 0;
    h.effectFlagsHigh = uint16_t(fx->flags >> 16);
    h.currentFrame = 1;
    std::memcpy(out, &h, sizeof h);
    return FxWriteEffectText(inst, static_cast<char *>(out) + sizeof h) > 0;
}
