#include "title_panel.h"
#include "engine_calls.h"
#include "folder_dialogs.h"
#include "mixer_dlg.h"
#include "resource.h"
#include "title_preview.h"
#include <commdlg.h>
#include <cstdlib>
#include <vector>

const char kDefaultTitleFace[] = "\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E";

TitleStyle DefaultTitleStyle()
{
    TitleStyle s;
    s.face = kDefaultTitleFace;
    return s;
}

/* ---- the hand-off ---- */

void TitleSwitch::Toggle()
{
    if (!titleOn) {
        titleOn = 1;
        applyPending = 1;
        view.ShowTitleSwitch(1);
        view.ExportTitle();
    } else {
        titleOn = 0;
        view.ApplyTitle(FALSE);
        view.ShowTitleSwitch(0);
    }
}

void TitleSwitch::Apply()
{
    applyPending = 1;
    view.ExportTitle();
}

void TitleSwitch::OnExported(BOOL result)
{
    if (!titleOn || !applyPending || !result) return;
    view.ApplyTitle(TRUE);
    view.ShowTitleSwitch(1);
    applyPending = 0;
}

/* ---- the colour buttons: filled with their colour, their three letters centred ---- */

class CTitlePanel::ColourButton : public cl::CWnd {
public:
    ColourButton(const TitleStyle &s, UINT id) : style_(s), id_(id) {}
    BOOL OnChildNotify(UINT msg, WPARAM, LPARAM lp, LRESULT *result) override
    {
        if (msg != WM_DRAWITEM) return FALSE;
        const DRAWITEMSTRUCT *d = (const DRAWITEMSTRUCT *)lp;
        COLORREF fill = Fill(), ink = style_.textColour;
        const char *label = "bak";
        switch (id_) {
        case IDC_STYLE_TEXT_COLOUR: label = "txt"; ink = style_.outColour; break;
        case IDC_STYLE_OUT_COLOUR: label = "out"; break;
        case IDC_STYLE_SHADOW_COLOUR: label = "shd"; break;
        default: break;
        }
        if (d->itemState & ODS_SELECTED) fill = RGB(255, 255, 255);
        HBRUSH b = CreateSolidBrush(fill);
        FillRect(d->hDC, &d->rcItem, b);
        DeleteObject(b);
        SetBkMode(d->hDC, TRANSPARENT);
        SetTextColor(d->hDC, ink);
        RECT r = d->rcItem;
        DrawTextA(d->hDC, label, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        *result = TRUE;
        return TRUE;
    }

private:
    COLORREF Fill() const
    {
        switch (id_) {
        case IDC_STYLE_TEXT_COLOUR: return style_.textColour;
        case IDC_STYLE_OUT_COLOUR: return style_.outColour;
        case IDC_STYLE_SHADOW_COLOUR: return style_.shadowColour;
        default: return style_.backColour;
        }
    }
    const TitleStyle &style_;
    UINT id_;
};

/* ---- the panel ---- */

CTitlePanel::CTitlePanel(CMixerDlg &dlg, CLumicard &box, int &titleOn)
    : titleSwitch(titleOn, *this), dlg_(dlg), box_(box)
{
}

CTitlePanel::~CTitlePanel()
{
    for (ColourButton *&b : colourButtons_) {
        delete b;
        b = nullptr;
    }
}

/* The operator's title commands rest while the scheduler drives the mixer,
 * also while one of its requests runs. */
bool CTitlePanel::Guarded() const { return dlg_.m_bRemoteMode != 0; }
bool CTitlePanel::Selected() { return box_.HasControl() && box_.GetSelected(); }
HWND CTitlePanel::Item(UINT id) const { return parent_ ? ::GetDlgItem(parent_, id) : nullptr; }

int CTitlePanel::ComboIndex(UINT id) const
{
    HWND c = Item(id);
    return c ? (int)::SendMessageW(c, CB_GETCURSEL, 0, 0) : -1;
}

void CTitlePanel::Bind(cl::HandlerTable &h)
{
    h.Command(IDC_TITLE_NEW, [this] { OnNew(); });
    h.Command(IDC_TITLE_OPEN, [this] { OnOpen(); });
    h.Command(IDC_TITLE_SAVE, [this] { OnSave(); });
    h.Command(IDC_TITLE_IMAGE, [this] { OnImage(); });
    h.Command(IDC_TITLE_ALPHA, [this] { OnAlpha(); });
    h.Command(IDC_TITLE_MOTIONFILE, [this] { OnMotionFile(); });
    h.Command(IDC_TITLE_PREVIEW, [this] { OnPreview(); });
    h.Command(IDC_TITLE_APPLY, [this] { OnApply(); });
    h.Command(IDC_TITLE_ONOFF, [this] { titleSwitch.Toggle(); });
    h.CommandCode(IDC_STYLE_FONT, CBN_SELCHANGE, [this] { OnFontChange(); });
    h.CommandCode(IDC_STYLE_SIZE, CBN_SELCHANGE, [this] { OnSizeChange(); });
    h.CommandCode(IDC_STYLE_OUTWIDTH, CBN_SELCHANGE, [this] { OnOutWidthChange(); });
    h.CommandCode(IDC_STYLE_LINESPACE, CBN_SELCHANGE, [this] { OnLineSpaceChange(); });
    h.CommandCode(IDC_STYLE_SHADOW_TYPE, CBN_SELCHANGE, [this] { OnShadowType(); });
    h.CommandCode(IDC_STYLE_ALIGNMENT, CBN_SELCHANGE, [this] { OnAlignment(); });
    h.CommandCode(IDC_STYLE_ORIENTATION, CBN_SELCHANGE, [this] { OnOrientation(); });
    for (UINT id : {IDC_STYLE_BOLD, IDC_STYLE_ITALIC, IDC_STYLE_UNDERLINE, IDC_STYLE_OUTLINE})
        h.CommandCode(id, BN_CLICKED, [this, id] { OnCheck(id); });
    h.CommandCode(IDC_STYLE_OPAQUE, BN_CLICKED, [this] { OnOpaque(); });
    h.CommandCode(IDC_STYLE_OPACITY, EN_CHANGE, [this] { OnOpacityChange(); });
    for (UINT id : {IDC_STYLE_TEXT_COLOUR, IDC_STYLE_OUT_COLOUR, IDC_STYLE_SHADOW_COLOUR, IDC_STYLE_BACK_COLOUR})
        h.CommandCode(id, BN_CLICKED, [this, id] { OnColourButton(id); });
    for (UINT id : {IDC_STYLE_DEPTH_X, IDC_STYLE_DEPTH_Y})
        h.Notify(id, UDN_DELTAPOS, [this, id](NMHDR *n) {
            OnDepthSpin(id, ((NMUPDOWN *)n)->iDelta);
            return (LRESULT)TRUE;   /* the spin keeps no position of its own */
        });
}

void CTitlePanel::CreateControls(HWND parent)
{
    parent_ = parent;
    HINSTANCE inst = GetModuleHandleA(nullptr);
    HFONT font = (HFONT)GetStockObject(DEFAULT_GUI_FONT);
    auto make = [&](const wchar_t *cls, const wchar_t *text, DWORD style, int x, int y, int w, int h, UINT id) {
        HWND c = CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent, (HMENU)(UINT_PTR)id,
                                 inst, nullptr);
        if (c) ::SendMessageW(c, WM_SETFONT, (WPARAM)font, FALSE);
        return c;
    };
    const DWORD combo = CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
    /* Row 1: face, size, outline width, line spacing. */
    make(L"ComboBox", L"", combo, 418, 527, 150, 240, IDC_STYLE_FONT);
    make(L"ComboBox", L"", combo, 572, 527, 46, 240, IDC_STYLE_SIZE);
    make(L"ComboBox", L"", combo, 622, 527, 42, 120, IDC_STYLE_OUTWIDTH);
    make(L"ComboBox", L"", combo, 668, 527, 50, 240, IDC_STYLE_LINESPACE);
    /* Row 2: the four ticks, shadow type, alignment, orientation. */
    make(L"Button", L"B", BS_AUTOCHECKBOX, 418, 551, 28, 16, IDC_STYLE_BOLD);
    make(L"Button", L"I", BS_AUTOCHECKBOX, 448, 551, 28, 16, IDC_STYLE_ITALIC);
    make(L"Button", L"U", BS_AUTOCHECKBOX, 478, 551, 28, 16, IDC_STYLE_UNDERLINE);
    make(L"Button", L"Out", BS_AUTOCHECKBOX, 508, 551, 40, 16, IDC_STYLE_OUTLINE);
    make(L"ComboBox", L"", combo, 552, 549, 62, 120, IDC_STYLE_SHADOW_TYPE);
    make(L"ComboBox", L"", combo, 618, 549, 54, 120, IDC_STYLE_ALIGNMENT);
    make(L"ComboBox", L"", combo, 676, 549, 70, 120, IDC_STYLE_ORIENTATION);
    /* Row 3: shadow depth spins, colours, back box. */
    make(UPDOWN_CLASSW, L"", 0, 418, 571, 14, 18, IDC_STYLE_DEPTH_X);
    make(UPDOWN_CLASSW, L"", 0, 434, 571, 14, 18, IDC_STYLE_DEPTH_Y);
    /* A rising range: without one the spin's default runs from 100 down to 0
     * and its up arrow reports a step down. */
    for (UINT id : {IDC_STYLE_DEPTH_X, IDC_STYLE_DEPTH_Y}) ::SendMessageW(Item(id), UDM_SETRANGE32, 0, 5);
    static const UINT colours[4] = {IDC_STYLE_TEXT_COLOUR, IDC_STYLE_OUT_COLOUR, IDC_STYLE_SHADOW_COLOUR,
                                    IDC_STYLE_BACK_COLOUR};
    for (int k = 0; k < 4; ++k) {
        HWND b = make(L"Button", L"", BS_OWNERDRAW, 454 + k * 32, 572, 30, 16, colours[k]);
        colourButtons_[k] = new ColourButton(style, colours[k]);
        if (!b || !colourButtons_[k]->SubclassWindow(b)) {
            delete colourButtons_[k];
            colourButtons_[k] = nullptr;
        }
    }
    make(L"Button", L"Opaque", BS_AUTOCHECKBOX, 586, 572, 60, 16, IDC_STYLE_OPAQUE);
    make(L"Edit", L"50", ES_NUMBER | WS_BORDER, 648, 572, 30, 16, IDC_STYLE_OPACITY);
    make(L"Static", L"%", 0, 680, 573, 12, 14, IDC_STYLE_OPACITY_UNIT);

    auto add = [&](UINT id, std::initializer_list<const wchar_t *> items) {
        for (const wchar_t *t : items) ::SendMessageW(Item(id), CB_ADDSTRING, 0, (LPARAM)t);
    };
    add(IDC_STYLE_SHADOW_TYPE, {L"None", L"Single", L"Solid", L"Soft"});
    add(IDC_STYLE_ALIGNMENT, {L"Left", L"Center", L"Right"});
    add(IDC_STYLE_ORIENTATION, {L"Horizontal", L"Vertical"});
    for (int w = 1; w <= 3; ++w) ::SendMessageA(Item(IDC_STYLE_OUTWIDTH), CB_ADDSTRING, 0, (LPARAM)cl::Format("%3d", w).c_str());
    for (int s = 100; s <= 200; s += 10)
        ::SendMessageA(Item(IDC_STYLE_LINESPACE), CB_ADDSTRING, 0, (LPARAM)cl::Format("%3d", s).c_str());
    FillControls();
}

namespace {

int CALLBACK AddTrueType(const LOGFONTW *lf, const TEXTMETRICW *, DWORD type, LPARAM data)
{
    if (!(type & TRUETYPE_FONTTYPE) || lf->lfFaceName[0] == '@') return 1;
    /* A face comes once for each character set it has: listed once. */
    if (::SendMessageW((HWND)data, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)lf->lfFaceName) != CB_ERR) return 1;
    ::SendMessageW((HWND)data, CB_ADDSTRING, 0, (LPARAM)lf->lfFaceName);
    return 1;
}

std::u16string Wide(const std::string &s, UINT cp)
{
    BSTR b = TextToBstr(s, cp);
    std::u16string w(b ? (const char16_t *)b : u"", b ? SysStringLen(b) : 0);
    SysFreeString(b);
    return w;
}

} // namespace

void CTitlePanel::FillFontList()
{
    HWND c = Item(IDC_STYLE_FONT);
    if (!c) return;
    ::SendMessageW(c, CB_RESETCONTENT, 0, 0);
    HDC dc = GetDC(nullptr);
    EnumFontFamiliesW(dc, nullptr, AddTrueType, (LPARAM)c);
    ReleaseDC(nullptr, dc);
    std::u16string face = Wide(style.face, kStyleCodePage);
    ::SendMessageW(c, CB_SETCURSEL, (WPARAM)::SendMessageW(c, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)face.c_str()), 0);
}

void CTitlePanel::FillSizeList()
{
    HWND c = Item(IDC_STYLE_SIZE);
    if (!c) return;
    ::SendMessageA(c, CB_RESETCONTENT, 0, 0);
    int at = -1;
    for (int s = 8, i = 0; s <= 72; s += 2, ++i) {
        ::SendMessageA(c, CB_ADDSTRING, 0, (LPARAM)cl::Format("%3d", s).c_str());
        if (s == style.size) at = i;
    }
    ::SendMessageA(c, CB_SETCURSEL, (WPARAM)at, 0);
}

void CTitlePanel::EnableBack()
{
    EnableWindow(Item(IDC_STYLE_OPACITY), style.back ? TRUE : FALSE);
    EnableWindow(Item(IDC_STYLE_OPACITY_UNIT), style.back ? TRUE : FALSE);
}

void CTitlePanel::FillControls()
{
    if (!parent_) return;
    filling_ = true;
    FillFontList();
    FillSizeList();
    ::SendMessageA(Item(IDC_STYLE_OUTWIDTH), CB_SETCURSEL, (WPARAM)(style.outWidth - 1), 0);
    ::SendMessageA(Item(IDC_STYLE_LINESPACE), CB_SETCURSEL,
                   (WPARAM)(style.lineSpace >= 100 && style.lineSpace <= 200 && style.lineSpace % 10 == 0
                                ? (style.lineSpace - 100) / 10 : -1), 0);
    CheckDlgButton(parent_, IDC_STYLE_BOLD, style.bold ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(parent_, IDC_STYLE_ITALIC, style.italic ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(parent_, IDC_STYLE_UNDERLINE, style.underline ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(parent_, IDC_STYLE_OUTLINE, style.outline ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(parent_, IDC_STYLE_OPAQUE, style.back ? BST_CHECKED : BST_UNCHECKED);
    EnableWindow(Item(IDC_STYLE_OUTWIDTH), style.outline ? TRUE : FALSE);
    ::SendMessageA(Item(IDC_STYLE_SHADOW_TYPE), CB_SETCURSEL, (WPARAM)style.shadowType, 0);
    ::SendMessageA(Item(IDC_STYLE_ALIGNMENT), CB_SETCURSEL, (WPARAM)style.alignment, 0);
    ::SendMessageA(Item(IDC_STYLE_ORIENTATION), CB_SETCURSEL, (WPARAM)style.orientation, 0);
    SetDlgItemInt(parent_, IDC_STYLE_OPACITY, (UINT)style.backAlpha, FALSE);
    EnableBack();
    for (ColourButton *b : colourButtons_)
        if (b) b->Invalidate(TRUE);
    filling_ = false;
}

void CTitlePanel::ResetStyle()
{
    style = DefaultTitleStyle();
    sentOrientation = 0;
    FillControls();
}

void CTitlePanel::SendBack()
{
    if (style.back) box_.SetTextBackAlpha((short)style.backAlpha);
    box_.SetTextBack((short)style.back);
}

void CTitlePanel::RefreshFromSelection()
{
    if (!box_.HasControl()) return;
    if (style.back) SendBack();
    int motion = box_.GetMotion();
    if (motion >= 0 && motion <= 4) dlg_.OnMotionButton(motion);
    int duration = (int)box_.GetDuration();
    dlg_.SetDlgItemText(IDC_MOTION_VALUE, cl::Format("%d", duration));
    ::SendMessageA(dlg_.GetDlgItem(IDC_MOTION_SLIDER), TBM_SETPOS, TRUE, duration);
    style.face = box_.GetTextFont();
    style.size = box_.GetTextFontSize();
    style.bold = box_.GetTextBold();
    style.italic = box_.GetTextItalic();
    style.underline = box_.GetTextUnderline();
    style.outline = box_.GetTextOutline();
    style.orientation = box_.GetTextOrientation();
    sentOrientation = style.orientation;
    style.alignment = box_.GetTextAlignment();
    style.shadowX = box_.GetTextShadowDepthX();
    style.shadowY = box_.GetTextShadowDepthY();
    style.outWidth = box_.GetTextOutWidth();
    style.lineSpace = box_.GetTextLineSpace();
    style.shadowType = box_.GetTextShadowType();
    style.textColour = (COLORREF)box_.GetTextColor();
    style.outColour = (COLORREF)box_.GetTextOutColor();
    style.shadowColour = (COLORREF)box_.GetTextShadowColor();
    style.backColour = (COLORREF)box_.GetTextBackColor();
    style.back = box_.GetTextBack() ? 1 : 0;
    style.backAlpha = box_.GetTextBackAlpha();
    FillControls();
}

void CTitlePanel::OnControlEvent(DISPID id, DISPPARAMS *params)
{
    if (id == DISPID_ONEXPORTED) {
        BOOL result = FALSE;
        if (params && params->cArgs >= 1) {
            VARIANT v;
            VariantInit(&v);
            if (SUCCEEDED(VariantChangeType(&v, &params->rgvarg[0], 0, VT_BOOL))) result = V_BOOL(&v) ? TRUE : FALSE;
        }
        titleSwitch.OnExported(result);
    } else if (id == DISPID_ONSELCHANGE) {
        RefreshFromSelection();
    }
    /* OnLMExportedAsPreview: nothing to do. */
}

/* ---- title buttons ---- */

void CTitlePanel::OnNew()
{
    if (!Guarded()) box_.LMNew();
}

void CTitlePanel::OnOpen()
{
    if (Guarded()) return;
    box_.LMOpen();
    dlg_.SetDlgItemText(IDC_MOTION_VALUE, cl::Format("%d", (int)box_.GetDuration()));
}

void CTitlePanel::OnSave()
{
    if (Guarded()) return;
    box_.LMSave();
    dlg_.fileList.Refresh();
}

void CTitlePanel::OnImage()
{
    if (!Guarded()) box_.LMImportImage();
}

void CTitlePanel::OnAlpha()
{
    if (Guarded() || !box_.HasControl()) return;
    if (!box_.GetSelected()) {
        dlg_.ShowMessage("Select an image object first.");
        return;
    }
    if (box_.GetSelectedObjType() != 1) {
        dlg_.ShowMessage("This effect applicable image object only !!");
        return;
    }
    unsigned opacity = (unsigned)box_.GetImageAlpha();
    bool ok;
    if (chooseOpacity) {
        ok = chooseOpacity(&opacity);
    } else {
        COpacityDlg d(parent_);
        d.m_nOpacity = opacity;
        ok = d.DoModal() == IDOK;
        opacity = d.m_nOpacity;
    }
    if (ok) box_.SetImageAlpha((short)opacity);
}

void CTitlePanel::OnMotionFile()
{
    if (!Guarded()) box_.ImportCaplift();
}

void CTitlePanel::OnPreview()
{
    if (Guarded()) return;
    dlg_.ShowTitlePreview();
}

void CTitlePanel::OnApply() { titleSwitch.Apply(); }

/* ---- style panel ---- */

void CTitlePanel::OnFontChange()
{
    if (filling_) return;
    HWND c = Item(IDC_STYLE_FONT);
    int i = (int)::SendMessageW(c, CB_GETCURSEL, 0, 0);
    if (i < 0) return;
    int len = (int)::SendMessageW(c, CB_GETLBTEXTLEN, (WPARAM)i, 0);
    if (len <= 0) return;
    std::vector<WCHAR> name(len + 1);
    ::SendMessageW(c, CB_GETLBTEXT, (WPARAM)i, (LPARAM)name.data());
    BSTR b = SysAllocStringLen(name.data(), (UINT)len);
    style.face = BstrToText(b, kStyleCodePage);
    SysFreeString(b);
    if (Selected()) box_.SetTextFont(style.face);
}

void CTitlePanel::OnSizeChange()
{
    if (filling_) return;
    int i = ComboIndex(IDC_STYLE_SIZE);
    if (i < 0) return;
    style.size = 8 + 2 * i;
    if (Selected()) box_.SetTextFontSize((short)style.size);
}

void CTitlePanel::OnOutWidthChange()
{
    if (filling_) return;
    int i = ComboIndex(IDC_STYLE_OUTWIDTH);
    if (i < 0) return;
    style.outWidth = i + 1;
    if (Selected()) box_.SetTextOutWidth((short)style.outWidth);
}

void CTitlePanel::OnLineSpaceChange()
{
    if (filling_) return;
    int i = ComboIndex(IDC_STYLE_LINESPACE);
    if (i < 0) return;
    style.lineSpace = 100 + 10 * i;
    if (Selected()) box_.SetTextLineSpace((short)style.lineSpace);
}

void CTitlePanel::OnCheck(UINT id)
{
    if (filling_) return;
    int on = IsDlgButtonChecked(parent_, id) == BST_CHECKED ? 1 : 0;
    bool sel = Selected();
    switch (id) {
    case IDC_STYLE_BOLD: style.bold = on; if (sel) box_.SetTextBold((short)on); break;
    case IDC_STYLE_ITALIC: style.italic = on; if (sel) box_.SetTextItalic((short)on); break;
    case IDC_STYLE_UNDERLINE: style.underline = on; if (sel) box_.SetTextUnderline((short)on); break;
    case IDC_STYLE_OUTLINE:
        style.outline = on;
        EnableWindow(Item(IDC_STYLE_OUTWIDTH), on ? TRUE : FALSE);
        if (sel) box_.SetTextOutline((short)on);
        break;
    default: break;
    }
}

void CTitlePanel::OnShadowType()
{
    if (filling_) return;
    int i = ComboIndex(IDC_STYLE_SHADOW_TYPE);
    if (i < 0) return;
    style.shadowType = i;
    if (Selected()) box_.SetTextShadowType((short)i);
}

void CTitlePanel::OnAlignment()
{
    if (filling_) return;
    int i = ComboIndex(IDC_STYLE_ALIGNMENT);
    if (i < 0) return;
    style.alignment = i;
    if (Selected()) box_.SetTextAlignment((short)i);
}

void CTitlePanel::OnOrientation()
{
    if (filling_) return;
    int i = ComboIndex(IDC_STYLE_ORIENTATION);
    if (i < 0) return;
    style.orientation = i;
    if (i != sentOrientation && Selected()) {
        box_.SetTextOrientation((short)i);
        sentOrientation = i;
    }
}

void CTitlePanel::OnDepthSpin(UINT id, int delta)
{
    if (Guarded() || !delta) return;
    int &depth = id == IDC_STYLE_DEPTH_X ? style.shadowX : style.shadowY;
    depth = delta > 0 ? (depth < 5 ? depth + 1 : 5) : (depth > 0 ? depth - 1 : 0);
    if (Selected()) box_.SetTextShadowDepth((short)style.shadowX, (short)style.shadowY);
}

void CTitlePanel::OnOpaque()
{
    if (filling_) return;
    style.back = IsDlgButtonChecked(parent_, IDC_STYLE_OPAQUE) == BST_CHECKED ? 1 : 0;
    EnableBack();
    if (Selected()) SendBack();
}

void CTitlePanel::OnOpacityChange()
{
    if (filling_) return;
    BOOL ok = FALSE;
    int v = (int)GetDlgItemInt(parent_, IDC_STYLE_OPACITY, &ok, FALSE);
    if (!ok) v = 0;
    int kept = v < 0 ? 0 : (v > 100 ? 100 : v);
    style.backAlpha = kept;
    if (kept != v) {
        filling_ = true;
        SetDlgItemInt(parent_, IDC_STYLE_OPACITY, (UINT)kept, FALSE);
        filling_ = false;
    }
    if (Selected()) RefreshFromSelection();
}

void CTitlePanel::OnColourButton(UINT id)
{
    if (Guarded()) return;
    COLORREF *target = id == IDC_STYLE_TEXT_COLOUR ? &style.textColour
                       : id == IDC_STYLE_OUT_COLOUR ? &style.outColour
                       : id == IDC_STYLE_SHADOW_COLOUR ? &style.shadowColour : &style.backColour;
    COLORREF c = *target;
    bool ok;
    if (chooseColour) {
        ok = chooseColour(&c);
    } else {
        static COLORREF custom[16];
        CHOOSECOLORA cc = {};
        cc.lStructSize = sizeof(cc);
        cc.hwndOwner = parent_;
        cc.rgbResult = c;
        cc.lpCustColors = custom;
        cc.Flags = CC_FULLOPEN | CC_RGBINIT;
        ok = ChooseColorA(&cc) != FALSE;
        c = cc.rgbResult;
    }
    if (!ok) return;
    *target = c;
    for (ColourButton *b : colourButtons_)
        if (b) b->Invalidate(TRUE);
    if (!Selected()) return;
    switch (id) {
    case IDC_STYLE_TEXT_COLOUR: box_.SetTextColor((long)c); break;
    case IDC_STYLE_OUT_COLOUR: box_.SetTextOutColor((long)c); break;
    case IDC_STYLE_SHADOW_COLOUR: box_.SetTextShadowColor((long)c); break;
    default: box_.SetTextBackColor((long)c); break;
    }
}

/* ---- TitleSwitchView ---- */

void CTitlePanel::ExportTitle() { box_.LMExport(); }

void CTitlePanel::ApplyTitle(BOOL on)
{
    if (g_engine.TitleApply) g_engine.TitleApply(on, 0, 0);
}

void CTitlePanel::ShowTitleSwitch(int on) { dlg_.SetTitleSwitch(on); }
