// Keyframes through the system clipboard as plain text, and path lists
// from effect data blocks (cards and templates).
#include <cstdlib>
#include <cstring>
#include <string>

#include "fxclip.h"
#include "fxedit.h"

namespace {

FxKeyframe *CurrentKeyframe(FxEffect *e)
{
    if (!e)
        return nullptr;
    FxPath *p = e->current ? e->current : e->first;
    if (!p)
        return nullptr;
    return p->current ? p->current : p->head;
}

// The clipboard's text, read no further than its memory block reaches:
// another program's block need not end with a NUL.
bool ClipboardText(std::string *out)
{
    HANDLE h = GetClipboardData(CF_TEXT);
    if (!h)
        return false;
    SIZE_T size = GlobalSize(h);
    const char *p = static_cast<const char *>(GlobalLock(h));
    if (!p)
        return false;
    const void *nul = size ? memchr(p, 0, size) : nullptr;
    size_t n = nul ? size_t(static_cast<const char *>(nul) - p) : size_t(size);
    bool ok = true;
    try {
        out->assign(p, n);
    } catch (...) {
        ok = false;
    }
    GlobalUnlock(h);
    return ok;
}

}  // namespace

int CopyKeyframe(FxEffect *effect, int cut)
{
    FxKeyframe *kf = CurrentKeyframe(effect);
    if (!kf)
        return 0;
    char *text = nullptr;
    int length = KeyframeToScript(kf, &text);
    if (length <= 0 || !text) {
        free(text);
        return 0;
    }
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, size_t(length) + 1);
    if (!mem) {
        free(text);
        return 0;
    }
    char *dst = static_cast<char *>(GlobalLock(mem));
    memcpy(dst, text, size_t(length));
    dst[length] = 0;
    GlobalUnlock(mem);
    free(text);

    HWND main = effect->host ? effect->host->mainWindow : nullptr;
    if (!OpenClipboard(main)) {
        GlobalFree(mem);
        return 0;
    }
    EmptyClipboard();
    bool set = SetClipboardData(CF_TEXT, mem) != nullptr;
    CloseClipboard();
    if (!set) {
        GlobalFree(mem);
        return 0;
    }
    if (cut && main)
        SendMessageA(main, WM_COMMAND, FX_CMD_DELETE_KEYFRAME, 0);
    return 1;
}

bool ReadClipboardText(HWND owner, std::string *text)
{
    if (!text || !OpenClipboard(owner))
        return false;
    bool have = ClipboardText(text);
    CloseClipboard();
    return have;
}

int PasteKeyframe()
{
    std::string text;
    if (!ReadClipboardText(GetActiveWindow(), &text))
        return 0;
    FxKeyframe *scratch = NewKeyframe();
    if (!scratch)
        return 0;
    int result = ApplyScriptToKeyframe(scratch, text.c_str());
    if (result)
        CopyKeyframeToClipboard(scratch);
    FreeKeyframe(scratch);
    return result;
}

FxPath *PathsFromBlock(const FxEffectBlock *block, size_t available)
{
    if (FxCheckBlock(block, available) != FXB_OK)
        return nullptr;
    return ParseEffectText(FxBlockText(block));
}

int ApplyCardPaths(const FxCardRecord *record, FxEffect *target)
{
    if (!record || !target || !target->first)
        return 2;
    size_t available = record->blockSize ? record->blockSize : SIZE_MAX;
    FxPath *paths = PathsFromBlock(record->block, available);
    if (!paths)
        return 2;
    FxApplyOptions options{};
    options.count = 1;
    FxPath *current = target->current ? target->current : target->first;
    ApplyRegistryPath(target->first, current, paths, &options);
    FreeEffect(paths);
    return 1;
}
