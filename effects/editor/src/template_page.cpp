// The "Templates" page: stored motions (effect blocks kept by the store
// library under the personality's registry kind), listed as the store
// lists them ("%5d name"), previewed, applied to the current path with the
// page's options, and added from FX script files dropped on the page or
// from the current effect by the list buttons.
#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fxclip.h"
#include "fxedit.h"
#include "fxeditor.h"
#include "fxregdlg.h"

namespace {

enum : int {
    ID_LIST = 3740,
    ID_REFILL = 3741,
    ID_OVERWRITE = 3742,
    ID_RELATIVE = 3743,
    ID_BLENDED = 3744,
    ID_ABSOLUTE = 3745,
    ID_REVERSE = 3746,
    ID_BEGINNING = 3747,
    ID_END = 3748,
    ID_PREVIEW = 3749,
    ID_START = 3750,
    ID_APPLY = 3752,
    ID_LENGTH = 3755,
    ID_CLIP_LENGTH = 3757,
    ID_STAGGER = 3760,
    ID_WORDS = 3762,
    ID_COUNT = 3765,
    ID_ALL = 3767,
    ID_APPLIED = 3782
};

// Dropped files larger than this are no FX script.
constexpr DWORD kMaxScript = 16u << 20;

const char kPreviewProp[] = "FxTemplatePreview";
const char kWidthProp[] = "FxTemplatePreviewW";
const char kHeightProp[] = "FxTemplatePreviewH";

FxInstance *InstanceOf(HWND page)
{
    return reinterpret_cast<FxInstance *>(GetWindowLongPtrA(page, GWLP_USERDATA));
}

int Kind(FxInstance *inst)
{
    return FxRegistryKind(inst->personality);
}

bool Checked(HWND page, int id)
{
    return IsDlgButtonChecked(page, id) == BST_CHECKED;
}

int Number(HWND page, int id)
{
    BOOL ok = FALSE;
    const int v = int(GetDlgItemInt(page, id, &ok, TRUE));
    return ok ? v : 0;
}

// The selected entry's number (read back from the item's text), or -1.
int SelectedEntry(HWND page)
{
    HWND list = GetDlgItem(page, ID_LIST);
    const LRESULT at = SendMessageA(list, LB_GETCURSEL, 0, 0);
    if (at < 0) return -1;
    char text[128] = "";
    if (SendMessageA(list, LB_GETTEXTLEN, WPARAM(at), 0) >= LRESULT(sizeof text)) return -1;
    SendMessageA(list, LB_GETTEXT, WPARAM(at), LPARAM(text));
    return std::atoi(text);
}

// The entry's paths, or null when it is missing or its block fails the
// version or length test.
FxPath *EntryPaths(FxInstance *inst, int number, int32_t *endFrame = nullptr)
{
    if (number < 0 || !g_fxTallyset.RegGetData || !g_fxTallyset.RegFreeData) return nullptr;
    char name[80] = "";
    int length = 0;
    // The store hands out a copy of the record: its entry answers a pointer.
    using GetData = void *(__cdecl *)(int, int, char *, int *);
    auto get = reinterpret_cast<GetData>(g_fxTallyset.RegGetData);
    auto *rec = static_cast<FxCardRecord *>(get(Kind(inst), number, name, &length));
    if (!rec) return nullptr;
    FxPath *paths = nullptr;
    if (size_t(length) >= sizeof(FxCardRecord) && rec->type == FX_CARD_TYPE && rec->block) {
        paths = PathsFromBlock(rec->block, rec->blockSize ? rec->blockSize : SIZE_MAX);
        if (paths && endFrame) *endFrame = int32_t(rec->block->endFrame);
    }
    g_fxTallyset.RegFreeData(rec);
    return paths;
}

// The apply options as the page shows them.
FxApplyOptions ReadTemplateOptions(HWND page, FxInstance *inst)
{
    FxApplyOptions o = {};
    o.flags = APPLY_STEP | APPLY_CYCLE;
    if (Checked(page, ID_REVERSE)) o.flags |= APPLY_REVERSE;
    if (Checked(page, ID_ALL))
        o.flags |= APPLY_ALL;
    else if (Checked(page, ID_WORDS))
        o.flags |= APPLY_TEXT_GROUP;
    if (Checked(page, ID_OVERWRITE)) o.flags |= APPLY_OVERWRITE;
    if (Checked(page, ID_END)) o.flags |= APPLY_AFTER;
    o.count = Number(page, ID_COUNT);
    if (o.count < 1) o.count = 1;
    o.relative = Checked(page, ID_RELATIVE) ? 100 : 0;
    o.startFrame = Number(page, ID_START);
    if (Checked(page, ID_CLIP_LENGTH)) {
        FxEffect *fx = FxCurrentEffect(inst);
        int len = fx && fx->endFrame > 0 ? fx->endFrame : inst->hostDuration;
        if (len <= 0 && fx) len = GetEffectLastFrame(fx->first);
        o.length = len < 2 ? 0 : len;
    } else {
        o.length = Number(page, ID_LENGTH);
        if (inst->hostKind == FX_HOST_EMBEDDED && inst->hostDuration > 0 && o.length > inst->hostDuration)
            o.length = inst->hostDuration;
    }
    o.stagger = Number(page, ID_STAGGER);
    return o;
}

// A copy of the current effect's paths with the template applied to the
// copy of the current path.
FxPath *ApplyTemplatePreview(HWND page, FxInstance *inst, FxPath *tmpl)
{
    FxEffect *fx = FxCurrentEffect(inst);
    if (!fx || !fx->first || !tmpl) return nullptr;
    FxPath *copy = DuplicateEffect(fx->first);
    if (!copy) return nullptr;
    FxPath *current = copy;
    for (FxPath *p = fx->first, *q = copy; p && q; p = p->next, q = q->next)
        if (p == fx->current) current = q;
    const FxApplyOptions o = ReadTemplateOptions(page, inst);
    ApplyRegistryPath(copy, current, tmpl, &o);
    return copy;
}

void SetPreview(HWND page, HBITMAP picture)
{
    HWND preview = GetDlgItem(page, ID_PREVIEW);
    if (preview) SendMessageA(preview, STM_SETIMAGE, IMAGE_BITMAP, LPARAM(picture));
    if (HANDLE old = RemovePropA(page, kPreviewProp)) DeleteObject(old);
    if (picture) SetPropA(page, kPreviewProp, picture);
    if (preview) InvalidateRect(preview, nullptr, TRUE);
}

// The preview: the selected template's own paths, or with "Applied" the
// current effect with the template applied.
void RefreshPreview(HWND page, FxInstance *inst)
{
    const int w = int(reinterpret_cast<INT_PTR>(GetPropA(page, kWidthProp)));
    const int h = int(reinterpret_cast<INT_PTR>(GetPropA(page, kHeightProp)));
    FxPath *tmpl = EntryPaths(inst, SelectedEntry(page));
    HBITMAP picture = nullptr;
    if (tmpl && w > 0 && h > 0) {
        if (Checked(page, ID_APPLIED)) {
            if (FxPath *applied = ApplyTemplatePreview(page, inst, tmpl)) {
                picture = RenderPathThumbnail(&inst->host, applied, w, h, 0);
                FreeEffect(applied);
            }
        } else {
            picture = RenderPathThumbnail(&inst->host, tmpl, w, h, 0);
        }
    }
    if (tmpl) FreeEffect(tmpl);
    SetPreview(page, picture);
}

// The option controls for the selected template: a single path takes one
// round, overwriting; the length follows the template's end frame.
void UpdateTemplateControls(HWND page, FxInstance *inst)
{
    int32_t end = 0;
    FxPath *tmpl = EntryPaths(inst, SelectedEntry(page), &end);
    if (!tmpl) return;
    if (!tmpl->next) {
        SetDlgItemInt(page, ID_COUNT, 1, FALSE);
        CheckDlgButton(page, ID_WORDS, BST_UNCHECKED);
    }
    CheckDlgButton(page, ID_OVERWRITE, BST_CHECKED);
    if (end > 0) SetDlgItemInt(page, ID_LENGTH, UINT(end), FALSE);
    FreeEffect(tmpl);
}

// The list refilled; the entry `number` (else the one selected before)
// selected again by its "%5d" text.
void FillList(HWND page, FxInstance *inst, int number = -1)
{
    if (number < 0) number = SelectedEntry(page);
    HWND list = GetDlgItem(page, ID_LIST);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    if (!g_fxTallyset.RegFillLBEx) return;
    g_fxTallyset.RegFillLBEx(list, Kind(inst), 0x8004, 0, nullptr, nullptr);
    if (number < 0) return;
    char key[16];
    wsprintfA(key, "%5d ", number);
    const LRESULT at = SendMessageA(list, LB_FINDSTRING, WPARAM(-1), LPARAM(key));
    if (at >= 0) SendMessageA(list, LB_SETCURSEL, WPARAM(at), 0);
}

void Apply(HWND page, FxInstance *inst)
{
    FxEffect *fx = FxCurrentEffect(inst);
    FxPath *tmpl = EntryPaths(inst, SelectedEntry(page));
    if (!fx || !fx->first || !tmpl) {
        if (tmpl) FreeEffect(tmpl);
        return;
    }
    const FxApplyOptions o = ReadTemplateOptions(page, inst);
    ApplyRegistryPath(fx->first, fx->current ? fx->current : fx->first, tmpl, &o);
    FreeEffect(tmpl);
    if (inst->mainWindow && IsWindow(inst->mainWindow))
        SendMessageA(inst->mainWindow, FX_MSG_REFRESH, 0x10002809, 0);
    UpdateEditor(inst, 0x1DFFFFFF);
}

// The store's list buttons over the current effect, every other window of
// the thread disabled meanwhile.
void ListButton(HWND page, FxInstance *inst, int id)
{
    int(__cdecl * button)(HWND, HWND, DWORD, void *) = nullptr;
    switch (id) {
    case 2000: button = g_fxTallyset.RegBtnAdd; break;
    case 2001: button = g_fxTallyset.RegBtnUpdate; break;
    case 2002: button = g_fxTallyset.RegBtnRename; break;
    default: button = g_fxTallyset.RegBtnDelete; break;
    }
    if (!button) return;
    FxCardButtonRecord rec = {page, Kind(inst)};
    HWND top = GetAncestor(page, GA_ROOT);
    const BOOL wasEnabled = IsWindowEnabled(top);
    if (top && top != page) EnableWindow(top, FALSE);
    button(page, GetDlgItem(page, ID_LIST), 0x3F000, &rec);
    if (top && top != page && wasEnabled) EnableWindow(top, TRUE);
    UpdateEditor(inst, FXU_TEMPLATES);
    UpdateTemplateControls(page, inst);
    RefreshPreview(page, inst);
}

std::string BaseName(const char *path)
{
    const char *base = path;
    for (const char *p = path; *p; ++p)
        if (*p == '\\' || *p == '/') base = p + 1;
    std::string name = base;
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name;
}

int __cdecl HighestEntry(int, int number, void *highest)
{
    if (number > *static_cast<int *>(highest)) *static_cast<int *>(highest) = number;
    return 1;
}

void Drop(HWND page, FxInstance *inst, HDROP drop)
{
    const UINT n = DragQueryFileA(drop, 0xFFFFFFFFu, nullptr, 0);
    int added = 0;
    for (UINT i = 0; i < n; ++i) {
        char name[MAX_PATH] = "";
        if (!DragQueryFileA(drop, i, name, sizeof name)) continue;
        if (const int number = AddTemplateFromFile(inst, name)) added = number;
    }
    DragFinish(drop);
    if (!added) return;
    FillList(page, inst, added);
    UpdateEditor(inst, FXU_TEMPLATES);
    UpdateTemplateControls(page, inst);
    RefreshPreview(page, inst);
}

}  // namespace

int AddTemplateFromFile(FxInstance *inst, const char *fileName)
{
    if (!inst || !fileName || !g_fxTallyset.RegSetData) return 0;
    HANDLE f = CreateFileA(fileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return 0;
    const DWORD size = GetFileSize(f, nullptr);
    std::string text;
    bool ok = size != INVALID_FILE_SIZE && size > 0 && size <= kMaxScript;
    if (ok) {
        text.resize(size);
        DWORD got = 0;
        ok = ReadFile(f, &text[0], size, &got, nullptr) && got == size;
    }
    CloseHandle(f);
    if (!ok || text.find('\0') != std::string::npos) return 0;
    FxPath *paths = ParseEffectText(text.c_str());
    if (!paths) return 0;
    // A scratch effect around the file's paths: the current effect's header
    // with the file's base name as its description.
    FxEffect scratch;
    std::memset(&scratch, 0, sizeof scratch);
    if (FxEffect *fx = FxCurrentEffect(inst)) scratch.header = fx->header;
    scratch.header.version = FXB_VERSION;
    scratch.header.cardId = FXB_NO_CARD;
    const std::string base = BaseName(fileName);
    lstrcpynA(scratch.header.description, base.c_str(), sizeof scratch.header.description);
    scratch.first = scratch.current = paths;
    scratch.thumbnailFrame = -1;
    scratch.timeStamp = 0xFFFFFFFFu;
    // Fitted to the host's length when it has one.
    if (inst->hostDuration > 1) SetEffectClipLength(paths, 0, 0, inst->hostDuration);
    uint32_t blockSize = 0;
    FxEffectBlock *block = FxMakeBlock(&inst->host, &scratch, 0, &blockSize);
    FreeEffect(paths);
    if (!block) return 0;
    int highest = 0;
    if (g_fxTallyset.RegEnumData) g_fxTallyset.RegEnumData(Kind(inst), 0, 0xFFFE, reinterpret_cast<void *>(&HighestEntry), &highest);
    const int number = highest + 1;
    FxCardRecord rec = {};
    rec.type = FX_CARD_TYPE;
    rec.cardNumber = uint16_t(number);
    rec.blockSize = blockSize;
    rec.block = block;
    lstrcpynA(rec.name, base.c_str(), sizeof rec.name);
    const int stored = number < 0xFFFF && g_fxTallyset.RegSetData(Kind(inst), number, rec.name, &rec, int(sizeof rec));
    std::free(block);
    return stored ? number : 0;
}

extern "C" INT_PTR WINAPI PathRegDlg(HWND page, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_INITDIALOG) {
        auto *inst = reinterpret_cast<FxInstance *>(lparam);
        SetWindowLongPtrA(page, GWLP_USERDATA, lparam);
        if (!inst) return FALSE;
        if (HWND preview = GetDlgItem(page, ID_PREVIEW)) {
            RECT r;
            GetClientRect(preview, &r);
            SetPropA(page, kWidthProp, reinterpret_cast<HANDLE>(INT_PTR(r.right)));
            SetPropA(page, kHeightProp, reinterpret_cast<HANDLE>(INT_PTR(r.bottom)));
        }
        CheckDlgButton(page, ID_OVERWRITE, BST_CHECKED);
        const bool absolute = (FxPersonalityRow(inst->personality).initialFlags & 0x2) != 0;
        CheckRadioButton(page, ID_RELATIVE, ID_ABSOLUTE, absolute ? ID_ABSOLUTE : ID_RELATIVE);
        CheckRadioButton(page, ID_BEGINNING, ID_END, ID_BEGINNING);
        EnableWindow(GetDlgItem(page, ID_BLENDED), FALSE);
        SetDlgItemInt(page, ID_COUNT, 1, FALSE);
        DragAcceptFiles(page, TRUE);
        FillList(page, inst);
        return FALSE;
    }
    FxInstance *inst = InstanceOf(page);
    if (!inst) return FALSE;
    switch (message) {
    case WM_DROPFILES:
        Drop(page, inst, reinterpret_cast<HDROP>(wparam));
        return TRUE;
    case FX_MSG_CARD_REQUEST:
        SetWindowLongPtrA(page, DWLP_MSGRESULT,
                          FxCardRequest(page, inst, wparam, reinterpret_cast<FxCardRecord *>(lparam)));
        return TRUE;
    case FX_MSG_REFRESH:
        UpdateTemplateControls(page, inst);
        RefreshPreview(page, inst);
        return TRUE;
    case WM_COMMAND: {
        const int id = LOWORD(wparam), note = HIWORD(wparam);
        switch (id) {
        case ID_LIST:
            if (note == LBN_SELCHANGE) {
                UpdateTemplateControls(page, inst);
                RefreshPreview(page, inst);
            } else if (note == LBN_DBLCLK) {
                Apply(page, inst);
            }
            return TRUE;
        case ID_REFILL:
            FillList(page, inst);
            return TRUE;
        case ID_APPLY:
            Apply(page, inst);
            return TRUE;
        case ID_REVERSE:
            // Reverse swaps the ends the template is laid from.
            CheckRadioButton(page, ID_BEGINNING, ID_END, Checked(page, ID_END) ? ID_BEGINNING : ID_END);
            RefreshPreview(page, inst);
            return TRUE;
        case ID_ALL:
        case ID_WORDS:
            if (!Checked(page, id)) SetDlgItemInt(page, ID_COUNT, 1, FALSE);
            RefreshPreview(page, inst);
            return TRUE;
        case ID_OVERWRITE:
        case ID_RELATIVE:
        case ID_BLENDED:
        case ID_ABSOLUTE:
        case ID_APPLIED:
            RefreshPreview(page, inst);
            return TRUE;
        case ID_COUNT:
            if (note == EN_KILLFOCUS) RefreshPreview(page, inst);
            return TRUE;
        case 2000:
        case 2001:
        case 2002:
        case 2003:
            ListButton(page, inst, id);
            return TRUE;
        default:
            // Everything else is the panel's.
            PanelCommand(inst, page, id, reinterpret_cast<HWND>(lparam), note);
            return TRUE;
        }
    }
    case WM_DESTROY:
        SetPreview(page, nullptr);
        RemovePropA(page, kWidthProp);
        RemovePropA(page, kHeightProp);
        return FALSE;
    default:
        return FALSE;
    }
}
