// The effect record, the host link, and loading and saving an effect by
// mode.  A load builds a complete new record first and only then replaces
// the current effect, so a failed load leaves everything as it was.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fxdata.h"
#include "fxdata_internal.h"
#include "fxview.h"

namespace {

void CopyName(char *dst, size_t size, const char *src, size_t max)
{
    size_t n = 0;
    if (src)
        while (n < max && n + 1 < size && src[n])
            ++n;
    if (n)
        memcpy(dst, src, n);
    dst[n] = 0;
}

const char *Caption(FxEffectHost *host)
{
    return host && host->product[0] ? host->product : "Effects";
}

// The record a load fills: the current effect's flags with the change bits
// set, the save bit cleared except for loads from the host.
FxEffect *StartLoad(FxEffectHost *host, int mode)
{
    FxEffect *e = NewEffect(host, 0);
    if (!e)
        return nullptr;
    uint32_t flags = host->effect ? host->effect->flags : e->flags;
    if (mode != FXL_HOST)
        flags &= ~FXE_UNSAVED;
    e->flags = flags | FXE_UNWRITTEN | FXE_UNCARDED | FXE_UNSTORED | FXE_RENDER_STALE;
    return e;
}

}  // namespace

// Parses script text into the effect's path list and takes over its header.
int ParseInto(FxEffectHost *host, FxEffect *e, const void *source, uint32_t kind, uint32_t mode)
{
    FxHeader h;
    FillScriptHeader(host, e, &h);
    h.flags = 0;
    h.markOut = h.clipLength = 0;
    uint32_t readMode = kind;
    if (mode & FXL_FOREIGN)
        readMode |= 0xC0000000u;
    if (!parsefx(source, e->first, &h, readMode))
        return 0;
    uint32_t high = uint32_t(h.flags) & ((mode & FXL_FOREIGN) ? 0x10000u : 0xFFFF0000u);
    e->flags = (e->flags & 0xFFFFu) | high;
    CopyName(e->header.description, sizeof e->header.description, h.description, sizeof h.description);
    if (h.markOut)
        e->endFrame = h.markOut;
    else if (h.clipLength)
        e->endFrame = h.clipLength;
    CopyName(e->renderFile, sizeof e->renderFile, h.renderFile, sizeof h.renderFile);
    e->thumbnailFrame = h.thumbnailFrame;
    e->renderTimeStamp = h.timeStamp;
    if (h.virtualWidth > 0 && h.virtualHeight > 0 && h.virtualWidth <= 0x10000 && h.virtualHeight <= 0x10000) {
        e->virtualWidth = h.virtualWidth;
        e->virtualHeight = h.virtualHeight;
    }
    return 1;
}

namespace {

// Reads a checked block's text; the header copy is the block's with its
// lengths cleared.
int ReadBlock(FxEffectHost *host, FxEffect *e, const FxEffectBlock *b, size_t available, uint32_t mode)
{
    if (FxCheckBlock(b, available) != FXB_OK)
        return 0;
    memcpy(&e->header, b, sizeof e->header);
    e->header.textLength = e->header.dataLength = 0;
    if (!ParseInto(host, e, FxBlockText(b), FXS_MEMORY, mode))
        return 0;
    if (host->hooks.fitRange)
        host->hooks.fitRange(host, e);
    return 1;
}

bool FileReadable(const char *name)
{
    HANDLE h = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(h);
    return true;
}

// A yes/no setting of the settings file, read once for the library's life:
// a number, or any text but "FALSE".
int IniSwitch(FxEffectHost *host, const char *key, int *cache)
{
    if (*cache >= 0)
        return *cache;
    char text[64] = "";
    const char *section = host->own && host->own->name[0] ? host->own->name : "Effects";
    char sec[65];
    CopyName(sec, sizeof sec, section, 64);
    GetPrivateProfileStringA(sec, key, "", text, sizeof text, host->settingsFile[0] ? host->settingsFile : "quillon.ini");
    char *end = nullptr;
    long v = strtol(text, &end, 0);
    if (!text[0])
        *cache = 0;
    else if (end && end != text && !*end)
        *cache = v != 0;
    else
        *cache = lstrcmpiA(text, "FALSE") != 0;
    return *cache;
}

int g_doesMeshes = -1, g_doesRealtime = -1;

void UnregisterPaths(FxEffectHost *host, FxEffect *e)
{
    if (e->view && e->view->link && host->hooks.rendererPaths)
        host->hooks.rendererPaths(host, e, 0);
}

void PickCurrentPath(FxEffect *e)
{
    e->current = e->first;
    if (e->first && (e->first->pathFlags & 0x10) && e->first->next)
        e->current = e->first->next;
}

// Makes `e` the current effect (or merges its paths into it).
void Replace(FxEffectHost *host, FxEffect *e, uint32_t mode)
{
    FxEffect *cur = host->effect;
    if (cur && e != cur && (mode & FXL_MERGE) && host->mergeOption) {
        while (FxPath *p = e->first) {
            e->first = p->next;
            if (e->first)
                e->first->prev = nullptr;
            AppendPath(&cur->first, p);
        }
        DeleteEffect(e);
        e = cur;
    } else if (e != cur) {
        FxRendererLink *aside = nullptr;
        if (cur) {
            if (cur->view) {
                UnregisterPaths(host, cur);
                aside = cur->view->link;
                cur->view->link = nullptr;
            }
            if (!e->view) {
                e->view = cur->view;
                cur->view = nullptr;
            }
            DeleteEffect(cur);
        }
        e->host = host;
        host->effect = e;
        PickCurrentPath(e);

        int putBack = 1;
        if (host->personality == 0) {
            int meshes;
            if (host->options & FXO_MESHES) {
                meshes = 1;
            } else {
                uint32_t v = uint32_t(GetHostData(host, FX_HOST_VERSION));
                if ((v >> 24) > 4 && ((v >> 16) & 0xFF) > 3)
                    meshes = 1;
                else
                    meshes = IniSwitch(host, "FXRDoesMeshes", &g_doesMeshes);
            }
            if (meshes && host->hooks.enableMeshes)
                host->hooks.enableMeshes(host, 1);
            putBack = IniSwitch(host, "FXRDoesRealtime", &g_doesRealtime);
        }
        if (e->view && putBack && aside)
            e->view->link = aside;
        if (e->view && e->view->link && host->hooks.rendererPaths)
            host->hooks.rendererPaths(host, e, 1);
    }

    if (e->view) {
        RecomputeEffect(e->view, e->first);
    } else {
        FxView scratch{};
        scratch.virtualWidth = scratch.virtualHeight = 1;
        scratch.scaleX = scratch.scaleY = 1;
        RecomputeEffect(&scratch, e->first);
    }
    if (host->personality != 4 && host->mainWindow)
        PostMessageA(host->mainWindow, FX_MSG_REFRESH, FX_REFRESH_LOADED, 0);
}

// Load mode 3: the host's block, then (for animation personalities) its
// animation-data record.
int LoadFromHost(FxEffectHost *host, uint32_t mode)
{
    int result = 0;
    FxEffect *made = nullptr;
    bool parsed = false, replaced = false;
    const bool dve = host->personality == 1 || host->personality == 7;
    // The host may say how large its block is; then the text must lie
    // within it, else only the block's own lengths bound it.
    FxHostDataRecord ask;
    memset(&ask, 0, sizeof ask);
    ask.selector = int32_t(host->dataType);
    CallHost(host, FXN_GET_DATA, WPARAM(ask.selector), &ask);
    FxEffectBlock *b = reinterpret_cast<FxEffectBlock *>(ask.value);
    size_t available = ask.size >= sizeof(FxEffectBlock) ? size_t(ask.size) : SIZE_MAX;
    if (!b) {
        made = StartLoad(host, FXL_HOST);
        if (!made)
            return 0;
        made->flags &= ~FXE_FROM_HOST;
        Replace(host, made, mode);
        replaced = true;
        result = 1;
    } else {
        // Equal stamps mean the effect is loaded already; a block that
        // never got a stamp is no proof of that and is read.
        if (host->effect && b->timeStamp == host->effect->timeStamp && b->timeStamp != 0xFFFFFFFFu) {
            result = 1;
        } else if (b->version != FXB_VERSION && b->version != FXB_VERSION_OLD) {
            if (dve)
                g_fxDvePlacement = (b->flags & FXB_FLAG_PLACEMENT) != 0;
        } else {
            made = StartLoad(host, FXL_HOST);
            if (!made) {
                CallHost(host, FXN_EFFECT_LOADED, WPARAM(b), b);
                return 0;
            }
            made->timeStamp = b->timeStamp;
            if (ReadBlock(host, made, b, available, mode)) {
                made->currentFrame = b->currentFrame;
                made->flags = (made->flags | FXE_FROM_HOST) & ~FXE_UNSTORED;
                made->fileName[0] = 0;
                if (dve)
                    g_fxDvePlacement = (b->flags & FXB_FLAG_PLACEMENT) != 0;
                Replace(host, made, mode);
                parsed = replaced = true;
                result = 1;
            } else {
                DeleteEffect(made);
            }
        }
        CallHost(host, FXN_EFFECT_LOADED, WPARAM(b), b);
    }

    FxEffect *e = host->effect;
    if (e && (host->personality == 0 || host->personality == 3)) {
        if (void *rec = reinterpret_cast<void *>(GetHostData(host, FX_HOST_ANIMATION_DATA))) {
            e->flags = (e->flags | FXE_FROM_HOST) & ~FXE_UNSTORED;
            e->fileName[0] = 0;
            if (host->hooks.addAnimationObjects)
                host->hooks.addAnimationObjects(host, e, rec, parsed ? 2 : 3);
            if (e->animationRecord < e->renderTimeStamp && int32_t(e->timeStamp) < e->renderTimeStamp)
                e->flags &= ~FXE_RENDER_STALE;
            else
                e->flags |= FXE_RENDER_STALE | FXE_UNSTORED;
            CallHost(host, FXN_EFFECT_LOADED, WPARAM(rec), rec);
        }
    }
    if (replaced && e && (e->flags & FXE_UNSTORED)) {
        FreeUndoList(&e->undo);
        FreeUndoList(&e->redo);
        e->undoCount = 0;
        PushUndoSnapshot(host, &e->undo, &e->redo, &e->undoCount);
    }
    if (result && dve && host->hostKind == FX_HOST_KIND_PLAIN && host->hooks.placeDve)
        host->hooks.placeDve(host);
    return result;
}

}  // namespace

FxEffect *NewEffect(FxEffectHost *host, int withView)
{
    FxEffect *e = static_cast<FxEffect *>(calloc(1, sizeof(FxEffect)));
    if (!e)
        return nullptr;
    if (!AppendNewPath(&e->first)) {
        free(e);
        return nullptr;
    }
    e->first->pathFlags |= 0x1;
    e->first->head->flags |= 0x1000000;
    e->current = e->first;
    e->flags = FXE_NEW;
    e->currentFrame = 1;
    e->thumbnailFrame = -1;
    e->header.size = FXB_HEADER_SIZE;
    e->header.version = FXB_VERSION;
    e->header.flags = 7;
    e->header.textOffset = FXB_HEADER_SIZE;
    e->header.timeStamp = 0xFFFFFFFFu;
    e->header.cardId = FXB_NO_CARD;
    e->timeStamp = 0xFFFFFFFFu;
    e->host = host;
    if (host && host->hostKind == FX_HOST_KIND_EMBED)
        e->flags |= 1u << 28;
    if (host && withView) {
        uint32_t vf = host->personalityViewFlags | (host->options & FXO_VIEW_BITS) | 0x10 | 0x40 | (host->fieldOption & 1);
        if (host->personalityViewFlags & 0x2) {
            vf &= ~(0x200u | 0x800u);
            e->flags |= FXE_NO_REALTIME;
        }
        if (host->options & 0x4)
            vf |= 0x40000;
        if (host->options & 0x8)
            vf |= 0x80000;
        if (host->hostKind == FX_HOST_KIND_EMBED)
            vf |= 0x8000;
        if (host->options & 0x20)
            vf |= 0x100000;
        if (host->hooks.createView) {
            e->view = host->hooks.createView(host, vf);
            if (!e->view) {
                DeleteEffect(e);
                return nullptr;
            }
        }
    }
    return e;
}

void DeleteEffect(FxEffect *e)
{
    if (!e)
        return;
    if (e->host)
        UnregisterPaths(e->host, e);
    FreeEffect(e->first);
    e->first = e->current = nullptr;
    DestroyView(e->view);
    FreeUndoList(&e->undo);
    FreeUndoList(&e->redo);
    free(e);
}

INT_PTR CallHost(FxEffectHost *host, UINT message, WPARAM wparam, void *record)
{
    if (!host || !host->peer || !host->peer->notify)
        return 0;
    return host->peer->notify(host->peer, host->own, message, wparam, record);
}

uintptr_t GetHostData(FxEffectHost *host, int32_t selector)
{
    FxHostDataRecord r;
    memset(&r, 0, sizeof r);
    r.selector = selector;
    if (!CallHost(host, FXN_GET_DATA, WPARAM(selector), &r) && !r.value)
        return 0;
    return r.value;
}

INT_PTR PutHostData(FxEffectHost *host, int32_t selector, void *pointer, uint32_t size)
{
    FxHostDataRecord r;
    memset(&r, 0, sizeof r);
    r.selector = selector;
    r.size = size;
    r.value = reinterpret_cast<uintptr_t>(pointer);
    return CallHost(host, FXN_PUT_DATA, 0, &r);
}

int LoadEffect(FxEffectHost *host, HWND owner, uint32_t mode, const void *source)
{
    if (!host)
        return 0;
    const int kind = int(mode & 0xFFFF);
    if (kind == FXL_HOST)
        return LoadFromHost(host, mode);

    if (kind == FXL_RESET) {
        char text[64];
        snprintf(text, sizeof text, "Reset %s?", host->objectName);
        if (MessageBoxA(owner, text, Caption(host), MB_YESNO | MB_ICONQUESTION) != IDYES)
            return 0;
    }
    if (kind > FXL_TEXT)
        return 0;

    FxEffect *e = StartLoad(host, kind);
    if (!e)
        return 0;
    int ok = 0;
    switch (kind) {
    case FXL_NEW:
        ok = 1;
        break;
    case FXL_RESET:
        e->flags |= FXE_UNSAVED;
        ok = 1;
        break;
    case FXL_FILE: {
        const char *name = static_cast<const char *>(source);
        if (!name || !*name)
            break;
        if (!FileReadable(name)) {
            char text[300];
            snprintf(text, sizeof text, "Could not open file (%s)", name);
            MessageBoxA(owner, text, Caption(host), MB_OK | MB_ICONEXCLAMATION);
            break;
        }
        if (ParseInto(host, e, name, FXS_FILE, mode)) {
            CopyName(e->fileName, sizeof e->fileName, name, sizeof e->fileName - 1);
            e->flags &= ~FXE_UNWRITTEN;
            ok = 1;
        }
        break;
    }
    case FXL_CARD: {
        FxCardRecord *rec = const_cast<FxCardRecord *>(static_cast<const FxCardRecord *>(source));
        if (!rec)
            break;
        size_t available = rec->blockSize ? rec->blockSize : SIZE_MAX;
        if (rec->block && ReadBlock(host, e, rec->block, available, mode)) {
            e->header.version = FXB_VERSION;
            e->header.cardId = rec->cardNumber;
            CopyName(e->header.description, sizeof e->header.description, rec->name, 63);
            e->flags &= ~FXE_UNCARDED;
            ok = 1;
        }
        if (host->hooks.regFreeData)
            host->hooks.regFreeData(rec);
        break;
    }
    case FXL_BLOCK: {
        const FxEffectBlock *b = static_cast<const FxEffectBlock *>(source);
        if (ReadBlock(host, e, b, SIZE_MAX, mode)) {
            e->header.version = FXB_VERSION;
            e->currentFrame = b->currentFrame;
            e->flags &= ~FXE_UNCARDED;
            ok = 1;
        }
        break;
    }
    case FXL_BUFFERED:
    case FXL_TEXT:
        if (source && ParseInto(host, e, source, kind == FXL_TEXT ? FXS_MEMORY : FXS_BUFFERED, mode)) {
            e->flags &= ~FXE_UNWRITTEN;
            ok = 1;
        }
        break;
    }
    if (!ok) {
        DeleteEffect(e);
        return 0;
    }
    Replace(host, e, mode);
    return 1;
}

int FxSaveBlock(FxEffectHost *host, FxEffect *e, void *target, uint32_t capacity)
{
    return FillBlock(host, e, static_cast<FxEffectBlock *>(target), capacity, 0);
}

int SaveEffect(FxEffectHost *host, HWND, uint32_t mode, void *target)
{
    if (!host || !host->effect)
        return 0;
    FxEffect *e = host->effect;
    switch (mode & 0xFFFF) {
    case FXSV_FILE: {
        if (!e->fileName[0])
            return 0;
        FxHeader h;
        FillScriptHeader(host, e, &h);
        if (!WriteFxScript(e->fileName, e->first, &h, FXW_FILE))
            return 0;
        e->flags &= ~(FXE_UNWRITTEN | FXE_UNSAVED);
        return 1;
    }
    case FXSV_CARD: {
        FxCardRecord *rec = static_cast<FxCardRecord *>(target);
        if (!rec)
            return 0;
        uint32_t size = FxBlockSize(host, e);
        if (!size)
            return 0;
        FxEffectBlock *b = static_cast<FxEffectBlock *>(GlobalAlloc(0, size));
        if (!b)
            return 0;
        if (!FillBlock(host, e, b, size, 0)) {
            GlobalFree(b);
            return 0;
        }
        rec->type = FX_CARD_TYPE;
        rec->blockSize = size;
        rec->block = b;
        e->flags = (e->flags & ~(FXE_UNCARDED | FXE_UNSAVED)) | FXE_UNSTORED;
        return 1;
    }
    case FXSV_HOST: {
        uint32_t size = 0;
        FxEffectBlock *b = FxMakeBlock(host, e, 1, &size);
        if (!b)
            return 0;
        INT_PTR answer = PutHostData(host, int32_t(host->dataType), b, size);
        free(b);
        if (!answer)
            return 0;
        e->flags &= ~(FXE_UNSTORED | FXE_UNSAVED);
        return 1;
    }
    case FXSV_BLOCK:
        if (!target)
            return 0;
        return FillBlock(host, e, static_cast<FxEffectBlock *>(target), 0xFFFFFFFFu, 0);
    case FXSV_BUFFERED:
    case FXSV_TEXT: {
        if (!target)
            return 0;
        FxHeader h;
        FillScriptHeader(host, e, &h);
        int kind = (mode & 0xFFFF) == FXSV_TEXT ? FXW_BUFFER : FXW_BUFFERED;
        if (!WriteFxScript(target, e->first, &h, kind))
            return 0;
        e->flags &= ~(FXE_UNWRITTEN | FXE_UNSAVED);
        return 1;
    }
    }
    return 0;
}
