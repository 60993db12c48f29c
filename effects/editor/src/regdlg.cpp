// The "DVE Templates" dialog, the DVE placement pass, and the clip-length
// and insert questions.
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fxclip.h"
#include "fxregdlg.h"
#include "fxview.h"

// "X:", "Y:", "cx:", "cy:", "x:", "y:": left, top, width, height, right, bottom.
const int g_fxPlacementReadouts[6] = {3280, 3285, 3725, 3727, 3729, 3731};
int g_fxGapChoice = 0;
int g_fxCardDialogOpen = 0;
FxPlacementMessage g_fxLastPlacement = {FX_PLACE_EFFECT, 0, {0, 0, 0, 0}, 0, 1.0, 1.0};

int FxRegistryKind(int personality)
{
    if (personality == 4)
        return 11;
    if (personality == 5)
        return 7;
    return 2;
}

namespace {

HINSTANCE ResourceModule()
{
    return GetFxInstance();
}

// A string of the library's resources; `fallback` when it has none (a
// library linked statically without them).
void LoadText(UINT id, const char *fallback, char *out, int size)
{
    if (!LoadStringA(ResourceModule(), id, out, size))
        lstrcpynA(out, fallback, size);
}

bool IsDvePersonality(const FxInstance *inst)
{
    return inst && (inst->personality == 1 || inst->personality == 7);
}

FxPlacementMessage IdentityPlacement()
{
    FxPlacementMessage m;
    std::memset(&m, 0, sizeof m);
    m.code = g_fxCardDialogOpen ? FX_PLACE_IN_DIALOG : FX_PLACE_EFFECT;
    m.scaleX = m.scaleY = 1.0;
    return m;
}

// The frame the placement is measured in: the host's video format, else
// the effect's view, else PAL-sized.
void FrameSize(FxInstance *inst, int *w, int *h)
{
    *w = inst->frameWidth;
    *h = inst->frameHeight;
    FxEffect *e = FxCurrentEffect(inst);
    if ((*w <= 0 || *h <= 0) && e && e->view && e->view->descriptor[0] > 0 && e->view->descriptor[1] > 0) {
        *w = e->view->descriptor[0];
        *h = e->view->descriptor[1];
    }
    if (*w <= 0 || *h <= 0) {
        *w = 720;
        *h = 576;
    }
}

void ShowPlacement(HWND dialog, const FxPlacementMessage &m)
{
    if (!dialog || !IsWindow(dialog))
        return;
    // Each value in its own field: the rectangle is left, top, right, bottom.
    const int32_t *r = m.rect;
    const int32_t shown[6] = {r[0], r[1], r[2] - r[0], r[3] - r[1], r[2], r[3]};
    for (int i = 0; i < 6; ++i)
        SetDlgItemInt(dialog, g_fxPlacementReadouts[i], UINT(shown[i]), TRUE);
}

HWND g_cardDialog;   // the open "DVE Templates" dialog

void SendPlacement(FxInstance *inst, FxPlacementMessage m)
{
    m.code = g_fxCardDialogOpen ? FX_PLACE_IN_DIALOG : FX_PLACE_EFFECT;
    FxCallHost(inst, FXN_VIDEO_SERVICE, 0, &m);
    ShowPlacement(g_cardDialog, m);
}

} // namespace

// ---------------------------------------------------------------- placement

int ObjectRectangleCallback(int step, FxRenderJob *job)
{
    if (!job)
        return 0;
    if ((step == RS_FRAME || step == RS_FRAME_EXTRA) && job->user) {
        int32_t *r = static_cast<int32_t *>(job->user);
        const ObjectCorners &c = job->corners;
        r[0] = int32_t(c.x0);
        r[1] = int32_t(c.y0);
        r[2] = int32_t(c.x0 + c.topDx);
        r[3] = int32_t(c.y0 + c.leftDy);
    }
    return 1;
}

int ReportPlacement(int step, FxRenderJob *job)
{
    if (!job)
        return 0;
    if (step != RS_FRAME && step != RS_FRAME_EXTRA)
        return 1;
    // Frame steps without an object (the renderer's call before the
    // objects of a step) carry no rectangle.
    if (!job->objectNumber)
        return 1;
    const FxPlacementRecord *rec = static_cast<const FxPlacementRecord *>(job->user);
    if (!rec || !rec->instance)
        return 1;
    FxPlacementMessage m = IdentityPlacement();
    if (rec->flag) {
        const ObjectCorners &c = job->corners;
        m.rect[0] = int32_t(c.x0);
        m.rect[1] = int32_t(c.y0);
        m.rect[2] = int32_t(c.x0 + c.topDx);
        m.rect[3] = int32_t(c.y0 + c.leftDy);
        m.scaleX = job->width > 0 ? c.topDx / job->width : 1.0;
        m.scaleY = job->height > 0 ? c.leftDy / job->height : 1.0;
        g_fxLastPlacement = m;
    }
    SendPlacement(rec->instance, m);
    return 1;
}

int RunPlacementPass(FxInstance *inst, int mode)
{
    if (!IsDvePersonality(inst))
        return 0;
    FxEffect *e = FxCurrentEffect(inst);
    if (!e || !e->first)
        return 0;
    FxPlacementRecord rec = {mode == -1 ? g_fxDvePlacement : mode, inst};
    int w, h;
    FrameSize(inst, &w, &h);
    // A view whose virtual space is the frame's pixel size.
    int32_t d[13] = {};
    d[0] = w;
    d[1] = h;
    SIZE client = {w, h};
    FxView *view = CreateView(d, nullptr, VIEW_NO_LAYER, nullptr, &client, nullptr);
    if (!view)
        return 0;
    FxRenderJob job;
    std::memset(&job, 0, sizeof job);
    job.object = ReportPlacement;
    job.user = &rec;
    job.instance = inst;
    job.width = w;
    job.height = h;
    job.originMode = 5;
    job.effectFrameRate = inst->frameRate;
    job.rangeEnd = e->endFrame ? e->endFrame : inst->hostDuration;
    job.rangeMode = FxClipLengthMethod(e);
    const int r = RenderFrames(view, e->first, nullptr, &job);
    DestroyView(view);
    return r >= 0 ? 1 : 0;
}

void FxPlaceDveHook(FxEffectHost *host)
{
    if (!host)
        return;
    FxInstance *inst = reinterpret_cast<FxInstance *>(reinterpret_cast<char *>(host) - offsetof(FxInstance, host));
    RunPlacementPass(inst, -1);
}

int PlaceFirstObject(FxInstance *inst, const RECT *rect)
{
    if (!inst)
        return 0;
    FxEffect *e = FxCurrentEffect(inst);
    if (!rect) {
        g_fxDvePlacement = 0;
    } else if (e && e->first && e->first->head) {
        // Host pixels into the view's virtual space, origin at the centre.
        double viewW = inst->frameWidth, viewH = inst->frameHeight;
        if (e->view && e->view->virtualWidth > 0 && e->view->virtualHeight > 0) {
            viewW = e->view->virtualWidth;
            viewH = e->view->virtualHeight;
        }
        const double hostW = inst->frameWidth, hostH = inst->frameHeight;
        const double fx = (hostW > 0 && viewW > 0 && viewW != hostW) ? viewW / hostW : 1.0;
        const double fy = (hostH > 0 && viewH > 0 && viewH != hostH) ? viewH / hostH : 1.0;
        const double x = rect->left * fx - viewW / 2, y = rect->top * fy - viewH / 2;
        const double w = (rect->right - rect->left) * fx, h = (rect->bottom - rect->top) * fy;
        InitKeyframeRect(e->first->head, x, y, w, h);
        NoteKeyframeChange(e->first, FXC_POSITION | FXC_SHAPE);
        g_fxDvePlacement = 1;
    } else {
        g_fxDvePlacement = 1;
    }
    return RunPlacementPass(inst, -1);
}

// ---------------------------------------------------------------- clip length

extern "C" INT_PTR WINAPI ClipLenDlg(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_INITDIALOG: {
        FxEffect *e = FxCurrentEffect(reinterpret_cast<FxInstance *>(lparam));
        const int method = FxClipLengthMethod(e);
        CheckRadioButton(dialog, FX_ID_CLIP_METHOD_0, FX_ID_CLIP_METHOD_0 + 3, FX_ID_CLIP_METHOD_0 + method);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wparam) == IDOK) {
            int method = 0;
            for (int i = 0; i < 4; ++i)
                if (IsDlgButtonChecked(dialog, FX_ID_CLIP_METHOD_0 + i) == BST_CHECKED)
                    method = i;
            EndDialog(dialog, method);
            return TRUE;
        }
        if (LOWORD(wparam) == IDCANCEL) {
            EndDialog(dialog, -1);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

// ---------------------------------------------------------------- gap choice

namespace {

// Formats a control's own text with one number.
void FormatItem(HWND dialog, int id, int value)
{
    char format[160], text[200];
    if (!GetDlgItemTextA(dialog, id, format, sizeof format))
        return;
    std::snprintf(text, sizeof text, format, value);
    SetDlgItemTextA(dialog, id, text);
}

} // namespace

extern "C" INT_PTR WINAPI GapDlg(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_INITDIALOG: {
        FxGapQuestion q = {};
        if (lparam)
            q = *reinterpret_cast<const FxGapQuestion *>(lparam);
        char format[256], text[320];
        if (q.framesThatFit >= 1)
            LoadText(FX_STR_GAP_FITS,
                     "Adding %d frames will cause one or more keyframes to go beyond the End Frame.\n"
                     "Adding %d frames will set last Keyframe at End Frame.",
                     format, sizeof format);
        else
            LoadText(FX_STR_GAP_NEVER_FITS,
                     "Adding %d frames will cause one or more keyframes to go beyond the End Frame.\n"
                     "Adding %d frames would set last Keyframe at End Frame, if that were possible!.",
                     format, sizeof format);
        std::snprintf(text, sizeof text, format, q.framesToAdd, q.framesThatFit);
        SetDlgItemTextA(dialog, FX_ID_GAP_TEXT, text);
        FormatItem(dialog, FX_ID_GAP_EXTEND, q.framesToAdd);
        FormatItem(dialog, FX_ID_GAP_EXTEND + 1, q.framesToEnd);
        FormatItem(dialog, FX_ID_GAP_EXTEND + 2, q.framesThatFit);
        FormatItem(dialog, FX_ID_GAP_EXTEND + 3, q.framesToAdd);
        EnableWindow(GetDlgItem(dialog, FX_ID_GAP_EXTEND + 2), q.framesThatFit >= 1);
        EnableWindow(GetDlgItem(dialog, FX_ID_GAP_EXTEND + 3), q.scaleAllowed != 0);
        // The remembered choice, unless its button is disabled now.
        int choice = g_fxGapChoice & 3;
        if (!IsWindowEnabled(GetDlgItem(dialog, FX_ID_GAP_EXTEND + choice)))
            choice = 0;
        CheckRadioButton(dialog, FX_ID_GAP_EXTEND, FX_ID_GAP_EXTEND + 3, FX_ID_GAP_EXTEND + choice);
        SendDlgItemMessageA(dialog, FX_ID_GAP_ICON, STM_SETICON, WPARAM(LoadIconA(nullptr, (LPCSTR)IDI_WARNING)), 0);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wparam) == IDOK) {
            int choice = 0;
            for (int i = 0; i < 4; ++i)
                if (IsDlgButtonChecked(dialog, FX_ID_GAP_EXTEND + i) == BST_CHECKED &&
                    IsWindowEnabled(GetDlgItem(dialog, FX_ID_GAP_EXTEND + i)))
                    choice = i;
            g_fxGapChoice = choice;
            EndDialog(dialog, choice);
            return TRUE;
        }
        if (LOWORD(wparam) == IDCANCEL) {
            EndDialog(dialog, -1);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

// ---------------------------------------------------------------- cards

namespace {

struct CardDialog {
    FxInstance *inst;
    FxCardButtonRecord buttons;
    FxPlacementRecord placement;
    int savedDveFlag;
    FxEffectBlock *kept;          // the effect as it was when the dialog opened
    uint32_t keptSize;
    HWND savedWindows[3];
    HACCEL accel;
    HHOOK hook;
};

CardDialog *StateOf(HWND dialog)
{
    return reinterpret_cast<CardDialog *>(GetWindowLongPtrA(dialog, DWLP_USER));
}

// The accelerators of the dialog, while it is open: a message hook on the
// dialog's own loop.
HHOOK g_accelHook;
LRESULT CALLBACK AccelHook(int code, WPARAM wparam, LPARAM lparam)
{
    if (code == MSGF_DIALOGBOX && g_cardDialog) {
        MSG *msg = reinterpret_cast<MSG *>(lparam);
        CardDialog *d = StateOf(g_cardDialog);
        if (d && d->accel && (msg->hwnd == g_cardDialog || IsChild(g_cardDialog, msg->hwnd)) &&
            TranslateAcceleratorA(g_cardDialog, d->accel, msg))
            return 1;
    }
    return CallNextHookEx(g_accelHook, code, wparam, lparam);
}

// Every other top-level window of the thread is disabled while the store's
// own dialogs run, and enabled again afterwards.
struct DisabledWindows {
    HWND keep;
    HWND list[64];
    int count = 0;
    static BOOL CALLBACK Visit(HWND w, LPARAM p)
    {
        DisabledWindows *self = reinterpret_cast<DisabledWindows *>(p);
        if (w != self->keep && IsWindowEnabled(w) && self->count < 64) {
            EnableWindow(w, FALSE);
            self->list[self->count++] = w;
        }
        return TRUE;
    }
    explicit DisabledWindows(HWND dialog) : keep(dialog)
    {
        EnumThreadWindows(GetCurrentThreadId(), Visit, LPARAM(this));
    }
    ~DisabledWindows()
    {
        for (int i = 0; i < count; ++i)
            if (IsWindow(list[i]))
                EnableWindow(list[i], TRUE);
    }
};

// The paths of the block become the effect's path list again.
void RestoreKept(CardDialog *d)
{
    FxEffect *e = FxCurrentEffect(d->inst);
    if (!e || !d->kept)
        return;
    FxPath *paths = PathsFromBlock(d->kept, d->keptSize);
    if (!paths)
        return;
    FreeEffect(e->first);
    e->first = e->current = paths;
}

void DropKept(CardDialog *d)
{
    std::free(d->kept);
    d->kept = nullptr;
}

// Stores the effect into the record: with more than one path the user is
// asked whether only the current path goes in.
INT_PTR StoreCard(HWND dialog, FxInstance *inst, FxCardRecord *rec)
{
    FxEffect *e = FxCurrentEffect(inst);
    if (!e || !rec)
        return 0;
    if (CountPaths(e->first) > 1 && e->current) {
        char text[256];
        LoadText(FX_STR_ADD_TEMPLATE,
                 "Add Template\n\nInclude selected path only?.\n\n(Choose \"No\" to include all paths.)", text,
                 sizeof text);
        const int answer = MessageBoxA(dialog, text, "FX", MB_YESNOCANCEL);
        if (answer == IDCANCEL)
            return 0;
        if (answer == IDYES) {
            // The list is cut to the current path for the save only.
            FxPath *first = e->first, *cur = e->current, *prev = cur->prev, *next = cur->next;
            cur->prev = cur->next = nullptr;
            e->first = cur;
            FxSyncEffectHost(inst);
            const int ok = SaveEffect(&inst->host, dialog, FXSV_CARD, rec);
            cur->prev = prev;
            cur->next = next;
            e->first = first;
            return ok;
        }
    }
    FxSyncEffectHost(inst);
    return SaveEffect(&inst->host, dialog, FXSV_CARD, rec);
}

// A card was stored or renamed: the effect now is that card.
void NoteCard(FxInstance *inst, const FxCardRecord *rec)
{
    FxEffect *e = FxCurrentEffect(inst);
    if (!e || !rec)
        return;
    e->flags &= ~(FXE_UNCARDED | FXE_UNSAVED);
    char name[64];
    lstrcpynA(name, rec->name, sizeof name);   // at most 63 characters
    if (e->header.cardId == rec->cardNumber && std::strcmp(e->header.description, name) == 0)
        return;
    std::memcpy(e->header.description, name, sizeof name);
    e->header.cardId = rec->cardNumber;
    e->flags |= FXE_UNSTORED;
}

INT_PTR CardRequestOf(HWND dialog, FxInstance *inst, WPARAM code, FxCardRecord *rec)
{
    FxEffect *e = FxCurrentEffect(inst);
    switch (code) {
    case FX_CARD_STORE:
        return StoreCard(dialog, inst, rec);
    case FX_CARD_LOAD: {
        if (!rec)
            return 0;
        FxSyncEffectHost(inst);
        const int ok = LoadEffect(&inst->host, dialog, FXL_CARD, rec);
        if (ok)
            SendDlgItemMessageA(dialog, FX_ID_PLACEMENT_VIEW, FX_MSG_REFRESH, 17, 0);
        return ok;
    }
    case FX_CARD_NUMBER:
        if (rec && e)
            rec->cardNumber = e->header.cardId;
        return 1;
    case FX_CARD_STORED:
    case FX_CARD_RENAMED:
        NoteCard(inst, rec);
        return 1;
    default:
        return 0;
    }
}

void CloseCards(HWND dialog, CardDialog *d, INT_PTR result)
{
    g_fxCardDialogOpen = 0;
    EndDialog(dialog, result);
}

BOOL InitCards(HWND dialog, FxInstance *inst)
{
    CardDialog *d = static_cast<CardDialog *>(std::calloc(1, sizeof(CardDialog)));
    if (!d || !inst) {
        std::free(d);
        EndDialog(dialog, 0);
        return TRUE;
    }
    SetWindowLongPtrA(dialog, DWLP_USER, LONG_PTR(d));
    d->inst = inst;
    d->buttons = {dialog, FxRegistryKind(inst->personality)};
    // The dialog stands in for the editor while it is open.
    d->savedWindows[0] = inst->mainWindow;
    d->savedWindows[1] = inst->editorWindows[0];
    d->savedWindows[2] = inst->editorWindows[1];
    inst->mainWindow = inst->editorWindows[0] = inst->editorWindows[1] = dialog;
    g_cardDialog = dialog;
    d->accel = LoadAcceleratorsA(ResourceModule(), "CARTEACCEL");
    if (d->accel && !g_accelHook)
        g_accelHook = SetWindowsHookExA(WH_MSGFILTER, AccelHook, nullptr, GetCurrentThreadId());
    d->savedDveFlag = g_fxDvePlacement;
    g_fxDvePlacement = 1;
    d->placement = {g_fxDvePlacement, inst};
    g_fxCardDialogOpen = 1;
    FxMarkChange(inst, 0x15FFFFFF);
    CheckDlgButton(dialog, FX_ID_DVE_ON, BST_CHECKED);
    FxEffect *e = FxCurrentEffect(inst);
    if (e) {
        FxSyncEffectHost(inst);
        d->kept = FxMakeBlock(&inst->host, e, 0, &d->keptSize);
    }
    HWND list = GetDlgItem(dialog, FX_ID_CARD_LIST);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    if (g_fxTallyset.RegFillLBEx)
        g_fxTallyset.RegFillLBEx(list, d->buttons.kind, 0x8004, 0, reinterpret_cast<void *>(&ApplyCardPaths),
                                 reinterpret_cast<void *>(uintptr_t(inst->editorOptions)));
    ShowPlacement(dialog, g_fxLastPlacement);
    return TRUE;
}

INT_PTR CardButton(HWND dialog, CardDialog *d, int id)
{
    HWND list = GetDlgItem(dialog, FX_ID_CARD_LIST);
    int(__cdecl * button)(HWND, HWND, DWORD, void *) = nullptr;
    switch (id) {
    case FX_ID_CARD_ADD: button = g_fxTallyset.RegBtnAdd; break;
    case FX_ID_CARD_UPDATE: button = g_fxTallyset.RegBtnUpdate; break;
    case FX_ID_CARD_RENAME: button = g_fxTallyset.RegBtnRename; break;
    default: button = g_fxTallyset.RegBtnDelete; break;
    }
    if (button) {
        DisabledWindows off(dialog);
        button(dialog, list, 0, &d->buttons);
    }
    SetWindowLongPtrA(dialog, DWLP_MSGRESULT, FX_CARD_BUTTON_ANSWER);
    return FX_CARD_BUTTON_ANSWER;
}

} // namespace

INT_PTR FxCardRequest(HWND window, FxInstance *inst, WPARAM code, FxCardRecord *record)
{
    return inst ? CardRequestOf(window, inst, code, record) : 0;
}

extern "C" INT_PTR WINAPI CarteRegDlg(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_INITDIALOG)
        return InitCards(dialog, reinterpret_cast<FxInstance *>(lparam));
    CardDialog *d = StateOf(dialog);
    if (!d)
        return FALSE;
    switch (message) {
    case FX_MSG_CARD_REQUEST: {
        const INT_PTR r = FxCardRequest(dialog, d->inst, wparam, reinterpret_cast<FxCardRecord *>(lparam));
        SetWindowLongPtrA(dialog, DWLP_MSGRESULT, r);
        return TRUE;
    }
    case WM_COMMAND: {
        const int id = LOWORD(wparam), note = HIWORD(wparam);
        switch (id) {
        case FX_ID_CARD_LIST:
            if (note == LBN_SELCHANGE && g_fxTallyset.RegBtnLoad)
                g_fxTallyset.RegBtnLoad(dialog, HWND(lparam), &d->buttons, 0x30000);
            else if (note == LBN_DBLCLK)
                PostMessageA(dialog, WM_COMMAND, IDOK, 0);
            return TRUE;
        case IDOK:
            DropKept(d);
            CloseCards(dialog, d, 1);
            return TRUE;
        case IDCANCEL:
            RestoreKept(d);
            DropKept(d);
            g_fxDvePlacement = d->savedDveFlag;
            RunPlacementPass(d->inst, -1);
            CloseCards(dialog, d, 0);
            return TRUE;
        case FX_ID_DVE_ON: {
            g_fxDvePlacement = IsDlgButtonChecked(dialog, FX_ID_DVE_ON) == BST_CHECKED;
            d->placement = {g_fxDvePlacement, d->inst};
            SendPlacement(d->inst, g_fxDvePlacement ? g_fxLastPlacement : IdentityPlacement());
            return TRUE;
        }
        case FX_ID_CARD_ADD:
        case FX_ID_CARD_UPDATE:
        case FX_ID_CARD_RENAME:
        case FX_ID_CARD_DELETE:
            return CardButton(dialog, d, id);
        case FX_CMD_CARD_DELETE_KEY:
            return CardButton(dialog, d, FX_ID_CARD_DELETE);
        case FX_CMD_CARD_INSERT_KEY:
            return CardButton(dialog, d, FX_ID_CARD_ADD);
        }
        break;
    }
    case WM_DESTROY:
        d->inst->mainWindow = d->savedWindows[0];
        d->inst->editorWindows[0] = d->savedWindows[1];
        d->inst->editorWindows[1] = d->savedWindows[2];
        if (g_accelHook) {
            UnhookWindowsHookEx(g_accelHook);
            g_accelHook = nullptr;
        }
        if (d->accel)
            DestroyAcceleratorTable(d->accel);
        g_cardDialog = nullptr;
        g_fxCardDialogOpen = 0;
        DropKept(d);
        SetWindowLongPtrA(dialog, DWLP_USER, 0);
        std::free(d);
        return TRUE;
    }
    return FALSE;
}
