// FXN_REQUEST: data requests in both record forms, by phase.
#include <cstdint>
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

// Loads text or a block through the data layer and marks the change.
INT_PTR Loaded(FxInstance *inst, int ok)
{
    if (ok) FxMarkChange(inst, 0x1FFFFFF);
    return ok ? 1 : 0;
}

INT_PTR Receive(FxInstance *inst, WPARAM phase, FxRequest &r)
{
    if (!(phase & FXP_TRANSFER) || !r.data) return 0;
    FxSyncEffectHost(inst);
    FxEffectHost *host = &inst->host;
    switch (r.code) {
    case FXD_EFFECT_TEXT:
        if (r.unit == FXM_TEXT || r.unit == FXM_WIDE)
            return Loaded(inst, LoadEffect(host, inst->hostWindow, FXL_TEXT, r.data));
        return 0;
    case FXD_EFFECT_LOAD: {
        if (r.unit != FXM_TEXT) return 0;
        // Appends to the current effect.
        const int32_t merge = host->mergeOption;
        host->mergeOption = 1;
        const int ok = LoadEffect(host, inst->hostWindow, FXL_TEXT | FXL_MERGE, r.data);
        host->mergeOption = merge;
        return Loaded(inst, ok);
    }
    case FXD_EFFECT_BLOCK:
        // The size word, when the host gives it, bounds the block.
        if (r.unit != FXM_WIDE || FxCheckBlock(r.data, r.second ? size_t(r.second) : SIZE_MAX) != FXB_OK) return 0;
        return Loaded(inst, LoadEffect(host, inst->hostWindow, FXL_BLOCK, r.data));
    case FXD_EFFECT_SCRIPT:
        return FxTemplateReceive(inst, r);
    case FXD_OBJECT_DATA:
        if (r.unit != FXM_WIDE) return 0;
        return FxAddObjectData(inst, r.data, size_t(r.second));
    case FXD_OBJECT_POSITION:
    case FXD_OBJECT_IMAGE: {
        // 32-bit pixels of the size word's width and height; a layer made
        // over the host's memory (wide medium) must be writable.
        if (r.unit != FXM_MEMORY && r.unit != FXM_WIDE) return 0;
        const int w = PackedWidth(r.second), h = PackedHeight(r.second);
        if (!w || !h || !FxHostMemory(r.data, size_t(w) * h * 4, r.unit == FXM_WIDE)) return 0;
        return FxAddImageObject(inst, r.data, w, h);
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
    FxSyncEffectHost(inst);
    switch (r.code) {
    case FXD_EFFECT_TEXT: {
        if (r.unit != FXM_TEXT && r.unit != FXM_WIDE) return 0;
        const uint32_t size = FxEffectTextSize(inst);
        if (!size) return 0;
        if (sizeQuery) {
            r.second = size;
            result = 1;
        }
        if (transfer) {
            // Never past the buffer the host sized.
            if (!FxWriteEffectText(inst, static_cast<char *>(r.data), size_t(r.second))) return 0;
            result = int(size - 1);
        }
        return result;
    }
    case FXD_EFFECT_BLOCK: {
        FxEffect *e = FxCurrentEffect(inst);
        const uint32_t size = e ? FxBlockSize(&inst->host, e) : 0;
        if (!size) return 0;
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
            result = FxSaveBlock(&inst->host, e, r.data, uint32_t(r.second));
        }
        if (phase & FXP_RELEASE) ReleasePrepared(inst, r);
        return result;
    }
    case FXD_PREVIEW_FRAME:
        if (sizeQuery && zeroSize) {
            r.second = Pack(400, 300);
            result = 1;
        }
        if (transfer && !zeroSize) result = FxRenderPreview(inst, r, PackedWidth(r.second), PackedHeight(r.second));
        return result;
    case FXD_EXPORT:
        if (sizeQuery && zeroSize) {
            r.second = Pack(inst->frameWidth, inst->frameHeight);
            result = 1;
        }
        if (transfer && !zeroSize)
            result = FxRenderToLayer(inst, static_cast<Layer *>(r.data), PackedWidth(r.second), PackedHeight(r.second));
        return result;
    case FXD_THUMBNAIL:
        if (sizeQuery && zeroSize) {
            r.second = Pack(inst->frameWidth, inst->frameHeight);
            result = 1;
        }
        if (transfer && !zeroSize) result = FxThumbnailRequest(inst, r, PackedWidth(r.second), PackedHeight(r.second));
        return result;
    case FXD_EFFECT_SCRIPT:
        return FxTemplateGive(inst, phase, r);
    case FXD_RENDER_FRAME:
        return transfer ? FxRenderFrameRequest(inst, r) : 0;
    case FXD_WIREFRAME:
        return transfer ? FxWireframeRequest(inst, r) : 0;
    case FXD_REALTIME_PARAMS:
    case FXD_REALTIME_PARAMS_2D:
        return transfer ? FxRealtimeParamsRequest(inst, r) : 0;
    case FXD_FRAME_EXPORT:
    case FXD_FRAME_EXPORT_2:
        return FxFrameExportRequest(inst, phase, r);
    case FXD_MOVIE:
        return transfer ? FxMovieRequest(inst, r) : 0;
    case FXD_IMAGE_SEQUENCE:
        return sizeQuery ? FxImageSequenceRequest(inst) : 0;
    default:
        return 0;
    }
}

}  // namespace

void FxForgetRequests(FxInstance *inst)
{
    if (g_prepared.inst != inst) return;
    FxFree(g_prepared.block);
    g_prepared = {};
}

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
