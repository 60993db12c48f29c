// FXN_REQUEST: data requests in both record forms, by phase.
#include <cstring>

#include "fxhost.h"

namespace {

constexpr uintptr_t Pack(int width, int height)
{
    return (uintptr_t(uint32_t(height) & 0xFFFF) << 16) | (uint32_t(width) & 0xFFFF);
}
int PackedWidth(uintptr_t v)
{
    return int(v & 0xFFFF);
}
int PackedHeight(uintptr_t v)
{
    return int((v >> 16) & 0xFFFF);
}

// The block of the last prepare phase, freed by its release phase.
struct Prepared {
    FxInstance *inst;
    void *block;
};
Prepared g_prepared;

void ReleasePrepared(FxInstance *inst, FxRequest &r)
{
    if (g_prepared.inst != inst || !g_prepared.block) return;
    if (r.data == g_prepared.block) r.data = nullptr;
    FxFree(g_prepared.block);
    g_prepared = {};
}

INT_PTR Receive(FxInstance *inst, WPARAM phase, FxRequest &r)
{
    if (!(phase & FXP_TRANSFER) || !r.data) return 0;
    switch (r.code) {
    case FXD_EFFECT_TEXT:
        if (r.unit == FXM_TEXT || r.unit == FXM_WIDE)
            return FxLoadEffectText(inst, static_cast<const char *>(r.data), false);
        return 0;
    case FXD_EFFECT_LOAD:
        return r.unit == FXM_TEXT ? FxLoadEffectText(inst, static_cast<const char *>(r.data), true) : 0;
    case FXD_EFFECT_BLOCK: {
        if (r.unit != FXM_WIDE) return 0;
        // The size word bounds the block when the host gives it.
        FxEffectBlock h;
        std::memcpy(&h, r.data, sizeof h);
        size_t size = r.second;
        if (!size) size = size_t(h.textOffset) + h.dataLength;
        return FxLoadEffectBlock(inst, r.data, size);
    }
    default:
        return 0;
    }
}

INT_PTR Give(FxInstance *inst, WPARAM phase, FxRequest &r)
{
    INT_PTR result = 0;
    const bool sizeQuery = phase & FXP_SIZE;
    const bool transfer = (phase & FXP_TRANSFER) && r.data;
    const bool zeroSize = !PackedWidth(r.second) || !PackedHeight(r.second);
    switch (r.code) {
    case FXD_EFFECT_TEXT: {
        if (r.unit != FXM_TEXT && r.unit != FXM_WIDE) return 0;
        const int length = FxEffectTextLength(inst);
        if (length <= 0) return 0;
        if (sizeQuery) {
            r.second = uintptr_t(length) + 1;
            result = 1;
        }
        if (transfer) {
            // Never past the buffer the host sized.
            if (r.second < uintptr_t(length) + 1) return 0;
            result = FxWriteEffectText(inst, static_cast<char *>(r.data));
        }
        return result;
    }
    case FXD_EFFECT_BLOCK: {
        const int length = FxEffectTextLength(inst);
        if (length <= 0) return 0;
        const size_t size = size_t(length) + sizeof(FxEffectBlock) + 1;
        if (phase & FXP_PREPARE) {
            ReleasePrepared(inst, r);
            void *block = FxAlloc(size);
            if (!block) return 0;
            g_prepared = {inst, block};
            r.data = block;
            r.second = size;
            result = 1;
        }
        if ((phase & FXP_TRANSFER) && r.data) {
            if (r.second < size) return 0;
            result = FxWriteEffectBlock(inst, r.data, size);
        }
        if (phase & FXP_RELEASE) ReleasePrepared(inst, r);
        return result;
    }
    case FXD_PREVIEW_FRAME:
        if (sizeQuery && zeroSize) {
            r.second = Pack(400, 300);
            return 1;
        }
        return 0;  // frames are rendered by the frame renderer
    case FXD_THUMBNAIL:
    case FXD_EXPORT:
        if (sizeQuery && zeroSize) {
            r.second = Pack(inst->frameWidth, inst->frameHeight);
            return 1;
        }
        return 0;
    default:
        return 0;
    }
}

}  // namespace

INT_PTR FxRequestEntry(FxInstance *inst, WPARAM phase, void *record)
{
    if (!inst || !record) return 0;
    const bool current = FxIsCurrentForm(record);
    FxRequest r;
    if (current)
        std::memcpy(&r, record, sizeof r);
    else
        FxFromOld(&r, static_cast<const FxRequestOld *>(record));
    const INT_PTR result = (phase & FXP_RECEIVE) ? Receive(inst, phase, r) : Give(inst, phase, r);
    if (current)
        std::memcpy(record, &r, sizeof r);
    else
        FxToOld(static_cast<FxRequestOld *>(record), &r);
    return result;
}
