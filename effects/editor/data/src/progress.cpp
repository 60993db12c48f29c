// Render progress: a modeless box (or the tool bar's pressed "Go!" button)
// and the polling of pending messages between frames.
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fxprogress.h"

namespace {

// The box's own template, used when the module carries none: a caption, one
// line of text and a Cancel button.
struct BoxTemplate {
    DLGTEMPLATE dlg;
    WORD menu, cls, title;
    DLGITEMTEMPLATE text;   // DWORD-aligned: the header above is 18 + 6 bytes
    WORD textClass[2], textTitle, textData;
    WORD pad1;
    DLGITEMTEMPLATE button;
    WORD buttonClass[2];
    WCHAR buttonTitle[7];
    WORD buttonData;
};

INT_PTR CALLBACK BoxProc(HWND box, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_INITDIALOG)
        return TRUE;
    // A click arrives as a sent command; it is queued again so that the
    // polling sees it between frames.
    if (msg == WM_COMMAND && (LOWORD(wp) == FX_ID_GO || LOWORD(wp) == IDCANCEL) && lp) {
        PostMessageA(box, WM_COMMAND, FX_ID_GO, 0);
        return TRUE;
    }
    return FALSE;
}

HWND CreateBox(HINSTANCE module, HWND parent)
{
    HWND box = nullptr;
    if (module && FindResourceA(module, MAKEINTRESOURCEA(FX_ID_PROGRESS_BOX), MAKEINTRESOURCEA(5)))
        box = CreateDialogParamA(module, MAKEINTRESOURCEA(FX_ID_PROGRESS_BOX), parent, BoxProc, 0);
    if (box)
        return box;
    BoxTemplate t;
    memset(&t, 0, sizeof t);
    t.dlg.style = WS_POPUP | WS_CAPTION | DS_MODALFRAME | WS_VISIBLE;
    t.dlg.cdit = 2;
    t.dlg.cx = 160;
    t.dlg.cy = 50;
    t.text.style = WS_CHILD | WS_VISIBLE | SS_LEFT;
    t.text.x = 8;
    t.text.y = 8;
    t.text.cx = 144;
    t.text.cy = 10;
    t.text.id = FX_ID_PROGRESS_TEXT;
    t.textClass[0] = 0xFFFF;
    t.textClass[1] = 0x0082;   // static
    t.button.style = WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON;
    t.button.x = 55;
    t.button.y = 28;
    t.button.cx = 50;
    t.button.cy = 14;
    t.button.id = FX_ID_GO;
    t.buttonClass[0] = 0xFFFF;
    t.buttonClass[1] = 0x0080;   // button
    const char *caption = "Cancel";
    for (int i = 0; caption[i]; ++i)
        t.buttonTitle[i] = WCHAR(caption[i]);
    static_assert(sizeof(DLGTEMPLATE) == 18 && sizeof(DLGITEMTEMPLATE) == 18, "packed dialog records");
    static_assert(offsetof(BoxTemplate, text) == 24 && offsetof(BoxTemplate, textClass) == 42 &&
                      offsetof(BoxTemplate, buttonClass) == 70,
                  "the template is contiguous");
    static_assert(offsetof(BoxTemplate, text) % 4 == 0 && offsetof(BoxTemplate, button) % 4 == 0,
                  "dialog items are DWORD-aligned");
    return CreateDialogIndirectParamA(module ? module : GetModuleHandleA(nullptr), &t.dlg, parent, BoxProc, 0);
}

void UnitWord(HINSTANCE module, uint32_t flags, char *out, int size)
{
    int id = (flags & FXP_UNIT_FIELDS) ? 121 : (flags & FXP_UNIT_STEPS) ? 122 : 123;
    const char *plain = id == 121 ? "Field" : id == 122 ? "Step" : "Frame";
    if (!module || LoadStringA(module, UINT(id), out, size) <= 0)
        snprintf(out, size_t(size), "%s", plain);
}

}  // namespace

namespace {

bool IsMouse(UINT m)
{
    return (m >= WM_MOUSEFIRST && m <= WM_MOUSELAST) || (m >= WM_NCMOUSEMOVE && m <= WM_NCXBUTTONDBLCLK) ||
           m == WM_MOUSEHOVER || m == WM_MOUSELEAVE || m == WM_NCMOUSEHOVER || m == WM_NCMOUSELEAVE;
}

bool IsKey(UINT m)
{
    return m >= WM_KEYFIRST && m <= WM_KEYLAST;
}

}  // namespace

int PollRenderMessages(HWND target, const FxProgressState *state, HWND mainWindow)
{
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE | PM_NOYIELD))
        return 1;
    HWND box = state ? state->box : nullptr;
    HWND cancel = state ? state->cancel : nullptr;
    HWND bar = cancel ? GetParent(cancel) : nullptr;
    switch (msg.message) {
    case WM_PAINT:
        // The render draws the target itself.
        if (msg.hwnd != target)
            DispatchMessageA(&msg);
        return 1;
    case WM_COMMAND:
    case WM_SYSCOMMAND:
        // Commands for the editor's own windows would start editing in the
        // middle of the render: "Go!" cancels, the rest wait for no one.
        if (msg.hwnd && (msg.hwnd == box || (bar && msg.hwnd == bar) || msg.hwnd == mainWindow))
            return msg.message == WM_COMMAND && LOWORD(msg.wParam) == FX_ID_GO ? 0 : 1;
        DispatchMessageA(&msg);
        return 1;
    case WM_KEYDOWN:
        return msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE ? 0 : 1;
    case WM_QUIT:
        // Not ours to take: the thread's loop must still see it.
        PostQuitMessage(int(msg.wParam));
        return 0;
    }
    // Input goes only to the cancel button; every other message (the
    // host's own, timers, messages of other windows) is handled as usual.
    if (IsMouse(msg.message)) {
        if (cancel && msg.hwnd == cancel)
            DispatchMessageA(&msg);
        return 1;
    }
    if (IsKey(msg.message))
        return 1;
    DispatchMessageA(&msg);
    return 1;
}

int RenderCancelStep(const FxProgressJob *job)
{
    return PollRenderMessages(job ? job->target : nullptr, nullptr, nullptr);
}

int RenderProgressStep(FxProgressEditor *ed, int step, const FxProgressJob *job)
{
    if (!ed || !job)
        return 1;
    switch (step) {
    case 1: {
        FxProgressState *s = static_cast<FxProgressState *>(calloc(1, sizeof(FxProgressState)));
        if (!s)
            return 0;
        if (job->flags & FXP_SHOW_BOX) {
            HWND parent = ed->mainWindow ? GetParent(ed->mainWindow) : nullptr;
            s->box = CreateBox(ed->module, parent);
            s->cancel = s->box ? GetDlgItem(s->box, FX_ID_GO) : nullptr;
        } else {
            s->cancel = ed->toolBar ? GetDlgItem(ed->toolBar, FX_ID_GO) : nullptr;
            if (s->cancel)
                SendMessageA(s->cancel, BM_SETCHECK, BST_CHECKED, 0);
        }
        if (!s->cancel) {
            if (s->box)
                DestroyWindow(s->box);
            free(s);
            return 0;
        }
        // A state left by a render that never reached its end goes first.
        if (FxProgressState *left = ed->state) {
            if (left->box)
                DestroyWindow(left->box);
            free(left);
        }
        ed->state = s;
        return 1;
    }
    case 2: {
        FxProgressState *s = ed->state;
        ed->state = nullptr;
        if (s) {
            if (s->box)
                DestroyWindow(s->box);
            else if (s->cancel && IsWindow(s->cancel))
                SendMessageA(s->cancel, BM_SETCHECK, BST_UNCHECKED, 0);
            free(s);
        }
        return 1;
    }
    case 0:
    case 5: {
        if (ed->showFrame)
            ed->showFrame(ed->context, job->frame);
        FxProgressState *s = ed->state;
        if (s && s->box) {
            char unit[64], text[128];
            UnitWord(ed->module, job->flags, unit, sizeof unit);
            snprintf(text, sizeof text, "%s %d of %d", unit, job->current, job->total);
            SetDlgItemTextA(s->box, FX_ID_PROGRESS_TEXT, text);
        }
        return PollRenderMessages(job->target, s, ed->mainWindow);
    }
    }
    return 1;
}

FxProgressEditor *(*g_fxProgressEditor)(void *instance) = nullptr;

FxProgressJob FxProgressJobOf(const FxRenderJob *job)
{
    FxProgressJob p{};
    if (!job)
        return p;
    p.flags = job->flags;
    p.current = job->currentIndex;
    p.total = job->toIndex;
    p.frame = FxRound(job->frameTime);
    p.target = job->window;
    return p;
}

int RenderProgressProc(int step, FxRenderJob *job)
{
    if (!job)
        return 1;
    FxProgressJob p = FxProgressJobOf(job);
    FxProgressEditor *ed = g_fxProgressEditor ? g_fxProgressEditor(job->instance) : nullptr;
    if (!ed)
        return step == 0 || step == 5 ? RenderCancelStep(&p) : 1;
    return RenderProgressStep(ed, step, &p);
}

int RenderCancelProc(int, FxRenderJob *job)
{
    if (!job)
        return 1;
    FxProgressJob p = FxProgressJobOf(job);
    return RenderCancelStep(&p);
}
