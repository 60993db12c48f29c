// FXNotify: the one entry through which a host drives the library.
#include <cstring>

#include "fxedit.h"
#include "fxeditor.h"
#include "fxhost.h"
#include "fxrender.h"

#include <commctrl.h>

namespace {

constexpr UINT WM_FX_REFRESH = WM_USER + 10;

void TellMain(FxInstance *inst, LPARAM what)
{
    if (inst->mainWindow && IsWindow(inst->mainWindow)) SendMessageA(inst->mainWindow, WM_FX_REFRESH, 0, what);
}

int SetFrameCount(FxInstance *inst, int32_t count, LPARAM notice)
{
    FxEffect *fx = FxCurrentEffect(inst);
    if (!fx || count <= 0 || count == fx->endFrame) return 0;
    fx->endFrame = count;
    fx->flags &= ~FXE_COUNT_FIXED;
    TellMain(inst, notice);
    FxMarkChange(inst, 0x1000000);
    return 1;
}

INT_PTR Close(CubbyNode *own, FxInstance *inst)
{
    FxCloseEditor(inst, own);
    return 1;
}

INT_PTR Enable(CubbyNode *own, FxInstance *inst, BOOL on)
{
    HWND windows[] = {own ? own->window : nullptr, own ? own->toolWindow : nullptr,
                      inst ? inst->mainWindow : nullptr, inst ? inst->barDialog : nullptr};
    for (HWND w : windows)
        if (w && IsWindow(w)) EnableWindow(w, on);
    return 0;
}

INT_PTR Activate(FxInstance *inst)
{
    const int32_t count = int32_t(FxGetHostData(inst, -3));
    FxEffect *fx = FxCurrentEffect(inst);
    if (count > 0 && fx && count != fx->endFrame) {
        fx->endFrame = count;
        TellMain(inst, 0x40002010);
        FxMarkChange(inst, 0x1000000);
    }
    inst->flags |= FXI_ACTIVE;
    TellMain(inst, 0x40000010);
    if (inst->mainWindow && IsWindow(inst->mainWindow)) SetFocus(inst->mainWindow);
    return 0;
}

// Stores the effect in the host's store unless nothing changed.
INT_PTR Store(FxInstance *inst, bool force)
{
    FxEffect *fx = FxCurrentEffect(inst);
    if (!fx) return 0;
    if (!force && !(fx->flags & FXE_UNSTORED)) return 1;
    FxSyncEffectHost(inst);
    return SaveEffect(&inst->host, inst->peer ? inst->peer->window : nullptr, FXSV_HOST, nullptr);
}

// Loads the effect: mode 0 a new empty one, mode 3 from the host's store.
INT_PTR Load(FxInstance *inst, uint32_t mode)
{
    FxSyncEffectHost(inst);
    return LoadEffect(&inst->host, inst->hostWindow, mode, nullptr);
}

// The editor's message handler: commands go to the editor's command
// handler (with or without its windows), other messages to the main
// window's procedure, or get the default answer of the window given.
LRESULT MainProc(FxInstance *inst, HWND window, UINT message, WPARAM wp, LPARAM lp)
{
    // Commands answer whether the editor carried them out.
    // The command's notify code and lParam go with it (3099 tells by its
    // lParam which registry the host asks for).
    if (message == WM_COMMAND) return FxMainCommand(inst, wp, lp);
    if (inst->mainWindow && IsWindow(inst->mainWindow)) return MainWndProc(inst->mainWindow, message, wp, lp);
    return window && IsWindow(window) ? DefWindowProcA(window, message, wp, lp) : 0;
}

// The effect's duration from the host: the keyframes follow by the
// effect's clip-length method (bits 28-29), the zoom slider of the bar
// shows the whole duration.
INT_PTR SetDuration(FxInstance *inst, int32_t frames)
{
    FxEffect *fx = FxCurrentEffect(inst);
    if (fx) {
        if (frames > 0 && fx->first && fx->endFrame != frames)
            SetEffectClipLength(fx->first, int((fx->flags >> 28) & 3), fx->endFrame, frames);
        fx->endFrame = frames;
    }
    inst->hostDuration = frames;
    inst->host.hostLength = frames;
    HWND zoom = inst->barDialog ? GetDlgItem(inst->barDialog, 3341) : nullptr;
    if (zoom && frames > 0) {
        RECT rc = {};
        GetClientRect(zoom, &rc);
        SendMessageA(zoom, TBM_SETPOS, TRUE, LPARAM(1000LL * (rc.right - rc.left) / frames));
    }
    return 1;
}

// Relay 874: the current frame into the host's layer at the view's size.
INT_PTR RenderCurrentFrame(FxInstance *inst, Layer *layer)
{
    FxEffect *fx = FxCurrentEffect(inst);
    int w = 640, h = 480;
    if (fx && fx->view && fx->view->width > 0 && fx->view->height > 0) {
        w = fx->view->width;
        h = fx->view->height;
    }
    return FxRenderToLayer(inst, layer, w, h);
}

// Relay codes of FXN_WINDOW_MESSAGE that the host link answers itself;
// any other code goes to the editor's handler as that message.
INT_PTR Relay(FxInstance *inst, const uintptr_t *words)
{
    switch (words[0]) {
    case 857:
        return FxCurrentEffect(inst) ? FxCurrentEffect(inst)->endFrame : 0;
    case 858:
        SetFrameCount(inst, int32_t(words[1]), 0x80002010);
        return 1;
    case 859:
        SetFrameCount(inst, int32_t(words[1]), 0x40002010);
        return 1;
    case 876:
        return FxStateCode(inst, 9, reinterpret_cast<void *>(words[1]));
    case 874:
        return RenderCurrentFrame(inst, reinterpret_cast<Layer *>(words[1]));
    case 894:
        FxReadHostFormat(inst);
        return 0;
    default: {
        INT_PTR result = 0;
        if (FxRelayCode(inst, words, &result)) return result;
        return MainProc(inst, nullptr, UINT(words[0]), WPARAM(words[1]), LPARAM(words[2]));
    }
    }
}

// Gives the objects in order the ids and names of the entries, making
// objects while the effect has fewer.
INT_PTR NameObjects(FxInstance *inst, const FxObjectNames *names)
{
    FxEffect *fx = FxCurrentEffect(inst);
    if (!fx || !names || (names->count && !names->entries)) return 0;
    FxPath *path = fx->first;
    FxPath *last = nullptr;
    for (uint32_t i = 0; i < names->count; ++i) {
        if (!path) {
            FxPath *slot = last;
            if (!AppendNewPath(last ? &slot : &fx->first)) return 0;
            path = last ? last->next : fx->first;
            if (!path) return 0;
        }
        const FxObjectName &e = names->entries[i];
        path->imageId = int32_t(e.id);
        size_t n = 0;
        while (n < 63 && e.name[n]) ++n;
        std::memcpy(path->name, e.name, n);
        path->name[n] = 0;
        last = path;
        path = path->next;
    }
    FxMarkChange(inst, 0x1000000);
    return 1;
}

// State codes 2 and 3: {at, frames} of time put into or taken out of
// every path.
INT_PTR EditTime(FxInstance *inst, const void *record, bool insert)
{
    FxEffect *fx = FxCurrentEffect(inst);
    if (!record || !fx || !fx->first) return 0;
    int32_t words[2];
    std::memcpy(words, record, sizeof words);
    const int r = insert ? InsertEffectTime(fx->first, words[0], words[1])
                         : RemoveEffectTime(fx->first, words[0], words[1]);
    if (r) {
        TellMain(inst, 0x109);
        FxMarkChange(inst, 0x15FFFFFF);
    }
    return r;
}

// State code 11: {word, FX script text or null, export code, the host's
// parameter block, word, frames (from in the low half, to in the high
// half)}.  With text the frames come from a temporary effect made of it.
// Without a block the bytes the description needs go to the last word.
INT_PTR ExportFrames(FxInstance *inst, void *record)
{
    if (!record) return 0;
    uintptr_t words[6];
    std::memcpy(words, record, sizeof words);
    const uint32_t code = uint32_t(words[2]);
    if (code != FXD_FRAME_EXPORT && code != FXD_FRAME_EXPORT_2) return 0;
    FxEffect *temp = nullptr;
    if (words[1]) {
        FxPath *paths = ParseEffectText(reinterpret_cast<const char *>(words[1]));
        if (!paths) return 0;
        temp = NewEffect(&inst->host, 0);
        if (!temp) {
            FreeEffect(paths);
            return 0;
        }
        FreeEffect(temp->first);
        temp->first = temp->current = paths;
        temp->endFrame = GetEffectLastFrame(paths);
    }
    FxEffect *e = temp ? temp : FxCurrentEffect(inst);
    FxRequest r;
    std::memset(&r, 0, sizeof r);
    r.code = code;
    r.data = reinterpret_cast<void *>(words[3]);
    r.second = words[5];
    RtParamBlock *block = static_cast<RtParamBlock *>(r.data);
    const uint32_t flags = inst->hostKind == FX_HOST_KIND_95 ? 0x100000 : 0;
    const bool ok = code == FXD_FRAME_EXPORT ? RenderRealtimeSequence(nullptr, inst, e, r, block, flags)
                                             : RenderRealtimeStill(nullptr, inst, e, r, block, flags);
    if (ok && !block) static_cast<uintptr_t *>(record)[5] = r.second;
    if (temp) DeleteEffect(temp);
    return ok ? 1 : 0;
}

// State codes 13 and 17: a bit of the first object's option word.
INT_PTR FirstObjectBit(FxInstance *inst, uintptr_t bit)
{
    FxEffect *fx = FxCurrentEffect(inst);
    return fx && fx->first && (GetObjectWord(fx->first) & bit) ? 1 : 0;
}

}  // namespace

INT_PTR FxCallHost(FxInstance *inst, UINT message, WPARAM wparam, void *record)
{
    if (!inst || !inst->peer || !inst->peer->notify) return 0;
    return inst->peer->notify(inst->peer, inst->own, message, wparam, record);
}

uintptr_t FxGetHostData(FxInstance *inst, int32_t selector)
{
    FxHostDataRecord rec;
    std::memset(&rec, 0, sizeof rec);
    rec.selector = selector;
    FxCallHost(inst, FXN_GET_DATA, 0, &rec);
    return selector == -3 ? rec.size : rec.value;
}

INT_PTR FxStateCode(FxInstance *inst, WPARAM code, void *record)
{
    FxEffect *fx = FxCurrentEffect(inst);
    const uintptr_t value = reinterpret_cast<uintptr_t>(record);
    switch (code) {
    case 1:
        return SetFrameCount(inst, int32_t(value), 0x40002010);
    case 2:
    case 3:
        return EditTime(inst, record, code == 2);
    case 6:
        return fx && fx->first && fx->first->head ? fx->first->head->startFrame : 0;
    case 11:
        return ExportFrames(inst, record);
    case 13:
        return FirstObjectBit(inst, 0x1);
    case 17:
        return FirstObjectBit(inst, 0x2);
    case 14:
        // Personality 2 keeps the value as every object's option word.
        if (inst->personality == 2 && fx) {
            inst->objectOptions = value;
            for (FxPath *p = fx->first; p; p = p->next) SetObjectWord(p, value);
        }
        return 0;
    case 7: {
        if (!record) return 0;
        uint32_t words[2];
        std::memcpy(words, record, sizeof words);
        inst->flags = words[0] & 0xFFFF0000u;
        inst->features = inst->featuresCopy = words[1] & 0x7FFFFFFFu;
        return 1;
    }
    case 4: {
        // {start, count}: the current path starts there and keeps its length.
        if (!record || !fx || !fx->current || !fx->current->head) return 0;
        int32_t words[2];
        std::memcpy(words, record, sizeof words);
        FxPath *path = fx->current;
        ShiftPathFrames(path, words[0] - path->head->startFrame);
        TellMain(inst, 0x109);
        FxMarkChange(inst, 0x15FFFFFF);
        return 0;
    }
    case 9:
        return SetDuration(inst, int32_t(value));
    case 16:
        return MainProc(inst, nullptr, WM_COMMAND, 3062, 0);
    case 32:
        return NameObjects(inst, static_cast<const FxObjectNames *>(record));
    default:
        return 0;
    }
}

extern "C" INT_PTR WINAPI FXNotify(CubbyNode *own, CubbyNode *peer, UINT message, WPARAM wparam, void *record)
{
    FxInstance *inst = FxInstanceOf(own);
    switch (message) {
    case FXN_ATTACH:
        return FxAttach(own, peer);
    case FXN_DETACH:
        // An editor left open goes with its node.
        if (inst && FxEditorOf(inst)) FxCloseEditor(inst, own);
        return FxDetach(own);
    case FXN_CLOSE:
        return own ? Close(own, inst) : 1;
    case FXN_ENABLE:
        return Enable(own, inst, BOOL(wparam));
    default:
        break;
    }
    if (!inst) return 0;
    switch (message) {
    case FXN_DEACTIVATE:
        inst->flags &= ~FXI_ACTIVE;
        return 0;
    case FXN_ACTIVATE:
        return Activate(inst);
    case FXN_STORE_EFFECT:
        return Store(inst, wparam != 0);
    case FXN_LOAD_EFFECT:
        return Load(inst, INT_PTR(wparam) == -1 || uint32_t(wparam) == 0xFFFFFFFFu ? FXL_NEW : FXL_HOST);
    case FXN_RELOAD_EFFECT:
        return Load(inst, FXL_NEW);
    case FXN_REQUEST:
        return FxRequestEntry(inst, wparam, record);
    case FXN_STATE:
        return FxStateCode(inst, wparam, record);
    case FXN_WINDOW_MESSAGE:
        if (!record) return 0;
        if (wparam == 0 || wparam == WM_COMMAND) return Relay(inst, static_cast<const uintptr_t *>(record));
        {
            // {wParam, lParam, window}: any other message for the editor.
            const uintptr_t *words = static_cast<const uintptr_t *>(record);
            return MainProc(inst, reinterpret_cast<HWND>(words[2]), UINT(wparam), WPARAM(words[0]),
                            LPARAM(words[1]));
        }
    case FXN_SET_HOST_DATA:
        if (record) {
            inst->hostData = record;
            FxMarkChange(inst, 0x4000000);
        }
        return 0;
    case FXN_CREATE_EDITOR:
    case FXN_PREPARE_EDITOR:
        return FxOpenEditor(inst, own, message, record);
    case FXN_COMMAND: {
        // {command id with the notify code in its high 16 bits, lParam}.
        if (!record) return 0;
        const uintptr_t *words = static_cast<const uintptr_t *>(record);
        return MainProc(inst, nullptr, WM_COMMAND, WPARAM(words[0]), LPARAM(words[1]));
    }
    default:
        return 0;
    }
}
