#include "lumicard_editor.h"

#include <richedit.h>

#include <vector>

#include "olecontrol.h"

namespace lumicard {

namespace {
HMODULE richEdit = nullptr;
const char kBaseProc[] = "LumicardEditorBase";
}  // namespace

// The Rich Edit library stays loaded while the module is; freed at unload.
void FreeRichEditLibrary()
{
    if (richEdit) FreeLibrary(richEdit);
    richEdit = nullptr;
}

LONG EditorLineSpacing(int percent)
{
    return LONG(double(percent) * 0.01 * 20.0);
}

InPlaceEditor::~InPlaceEditor()
{
    if (wnd_ && IsWindow(wnd_)) DestroyWindow(wnd_);
    if (font_) DeleteObject(font_);
}

bool InPlaceEditor::Create(HWND parent)
{
    if (wnd_ && IsWindow(wnd_)) return true;
    if (!richEdit) richEdit = LoadLibraryA("RICHED20.DLL");
    wnd_ = CreateWindowExA(0, "RichEdit20A", "",
                           WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_AUTOHSCROLL | ES_AUTOVSCROLL | ES_WANTRETURN,
                           0, 0, 1, 1, parent, reinterpret_cast<HMENU>(INT_PTR(kEditorId)),
                           cl::OleModule::instance, nullptr);
    if (!wnd_) return false;
    base_ = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(wnd_, GWLP_WNDPROC));
    SetPropA(wnd_, kBaseProc, reinterpret_cast<HANDLE>(base_));
    SetWindowLongPtrA(wnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&InPlaceEditor::Proc));
    SendMessageA(wnd_, EM_SETBKGNDCOLOR, 0, RGB(255, 255, 255));
    MoveWindow(wnd_, 0, 0, 1, 1, FALSE);
    ShowWindow(wnd_, SW_HIDE);
    return true;
}

LRESULT CALLBACK InPlaceEditor::Proc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    auto base = reinterpret_cast<WNDPROC>(GetPropA(w, kBaseProc));
    switch (msg) {
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
        // Escape is swallowed: it neither closes the editor nor changes the text.
        if (wp == VK_ESCAPE) return 0;
        break;
    case WM_GETDLGCODE: {
        // A host dialog hands Escape to the editor instead of cancelling itself.
        const MSG *m = reinterpret_cast<const MSG *>(lp);
        LRESULT code = CallWindowProcA(base, w, msg, wp, lp);
        if (m && (m->message == WM_KEYDOWN || m->message == WM_CHAR) && m->wParam == VK_ESCAPE)
            code |= DLGC_WANTMESSAGE;
        return code;
    }
    case WM_SETCURSOR:
        if (LOWORD(lp) == HTCLIENT) {
            SetCursor(LoadCursorA(nullptr, IDC_IBEAM));
            return TRUE;
        }
        break;
    case WM_NCDESTROY:
        SetWindowLongPtrA(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(base));
        RemovePropA(w, kBaseProc);
        return CallWindowProcA(base, w, msg, wp, lp);
    }
    return CallWindowProcA(base, w, msg, wp, lp);
}

void InPlaceEditor::SetFont(HFONT font)
{
    if (!wnd_) {
        if (font) DeleteObject(font);
        return;
    }
    SendMessageA(wnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    if (font_) DeleteObject(font_);
    font_ = font;
}

void InPlaceEditor::SetText(const std::string &text)
{
    if (wnd_) SetWindowTextA(wnd_, text.c_str());
}

std::string InPlaceEditor::Text() const
{
    if (!wnd_) return std::string();
    const int n = GetWindowTextLengthA(wnd_);
    if (n <= 0) return std::string();
    std::vector<char> buf(size_t(n) + 1, '\0');
    const int got = GetWindowTextA(wnd_, buf.data(), n + 1);
    return std::string(buf.data(), size_t(got > 0 ? got : 0));
}

void InPlaceEditor::Move(const RECT &r)
{
    if (wnd_) MoveWindow(wnd_, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
}

void InPlaceEditor::ApplyCharFormat(DWORD mask, DWORD effects, COLORREF colour, const char *face, DWORD scope)
{
    if (!wnd_) return;
    CHARFORMAT2A cf = {};
    cf.cbSize = sizeof(cf);
    cf.dwMask = mask;
    cf.dwEffects = effects;
    cf.crTextColor = colour;
    if (face) lstrcpynA(cf.szFaceName, face, LF_FACESIZE);
    if (scope == SCF_DEFAULT) {
        SendMessageA(wnd_, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&cf));
        return;
    }
    SendMessageA(wnd_, EM_SETSEL, 0, -1);
    SendMessageA(wnd_, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&cf));
    SendMessageA(wnd_, EM_SETSEL, WPARAM(-1), 0);
}

void InPlaceEditor::SetBold(bool on) { ApplyCharFormat(CFM_BOLD, on ? CFE_BOLD : 0, 0, nullptr, SCF_SELECTION); }
void InPlaceEditor::SetItalic(bool on) { ApplyCharFormat(CFM_ITALIC, on ? CFE_ITALIC : 0, 0, nullptr, SCF_SELECTION); }
void InPlaceEditor::SetUnderline(bool on)
{
    ApplyCharFormat(CFM_UNDERLINE, on ? CFE_UNDERLINE : 0, 0, nullptr, SCF_SELECTION);
}
// The colour is the text's own: automatic colour off.
void InPlaceEditor::SetTextColour(COLORREF c) { ApplyCharFormat(CFM_COLOR, 0, c, nullptr, SCF_SELECTION); }
void InPlaceEditor::SetFaceName(const char *face) { ApplyCharFormat(CFM_FACE, 0, 0, face, SCF_SELECTION); }
void InPlaceEditor::SetDefaultFaceName(const char *face) { ApplyCharFormat(CFM_FACE, 0, 0, face, SCF_DEFAULT); }

void InPlaceEditor::SetAlignment(int align)
{
    if (!wnd_) return;
    PARAFORMAT2 pf = {};
    pf.cbSize = sizeof(pf);
    pf.dwMask = PFM_ALIGNMENT;
    pf.wAlignment = align == 1 ? PFA_CENTER : align == 2 ? PFA_RIGHT : PFA_LEFT;
    SendMessageA(wnd_, EM_SETSEL, 0, -1);
    SendMessageA(wnd_, EM_SETPARAFORMAT, 0, reinterpret_cast<LPARAM>(&pf));
    SendMessageA(wnd_, EM_SETSEL, WPARAM(-1), 0);
}

void InPlaceEditor::SetLineSpacing(int percent)
{
    if (!wnd_) return;
    PARAFORMAT2 pf = {};
    pf.cbSize = sizeof(pf);
    pf.dwMask = PFM_LINESPACING | PFM_SPACEBEFORE | PFM_SPACEAFTER;
    pf.bLineSpacingRule = 5;  // twentieths of a line
    pf.dyLineSpacing = EditorLineSpacing(percent);
    SendMessageA(wnd_, EM_SETSEL, 0, -1);
    SendMessageA(wnd_, EM_SETPARAFORMAT, 0, reinterpret_cast<LPARAM>(&pf));
    SendMessageA(wnd_, EM_SETSEL, WPARAM(-1), 0);
}

void InPlaceEditor::Open(COLORREF back, int lineSpacing, const char *face)
{
    if (!wnd_) return;
    SetLineSpacing(lineSpacing);
    SendMessageA(wnd_, EM_SETBKGNDCOLOR, 0, back);
    SetDefaultFaceName(face);
    ShowWindow(wnd_, SW_SHOW);
}

void InPlaceEditor::Hide()
{
    if (wnd_) ShowWindow(wnd_, SW_HIDE);
}

}  // namespace lumicard
