#include "lumicard_ctrl.h"

#include <commdlg.h>

#include <cstdio>
#include <cstdlib>

#include "Lumicard_h.h"
#include "title_export.h"
#include "picture_import.h"
#include "lumicard_preview.h"
#include "lumicard_tracker.h"

namespace lumicard {

using namespace titlebox;

const char kProfileRoot[] = "Software\\Halvard\\Lumicard10";

cl::CProfile &ModuleProfile()
{
    static cl::CProfile profile(kProfileRoot);
    return profile;
}

const cl::OleControlClass kLumicardClass = {
    &CLSID_Lumicard, "Lumicard.LumicardCtrl.1", "Lumicard Control", &LIBID_LUMICARDLib, 1, 0,
    &DIID__DLumicard, &DIID__DLumicardEvents,
    OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST | OLEMISC_INSIDEOUT | OLEMISC_CANTLINKINSIDE |
        OLEMISC_RECOMPOSEONRESIZE | OLEMISC_SIMPLEFRAME,
    "LumicardCtrlWindow"};

namespace {
const char kSettings[] = "Settings";

std::string Narrow(BSTR b)
{
    if (!b) return std::string();
    int n = WideCharToMultiByte(CP_ACP, 0, b, int(SysStringLen(b)), nullptr, 0, nullptr, nullptr);
    std::string s(size_t(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, b, int(SysStringLen(b)), &s[0], n, nullptr, nullptr);
    return s;
}

BSTR Wide(const std::string &s)
{
    int n = MultiByteToWideChar(CP_ACP, 0, s.data(), int(s.size()), nullptr, 0);
    BSTR b = SysAllocStringLen(nullptr, UINT(n));
    if (b) MultiByteToWideChar(CP_ACP, 0, s.data(), int(s.size()), b, n);
    return b;
}

std::string FolderOf(const std::string &path)
{
    size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

std::string Lower(std::string s)
{
    for (char &c : s) c = char(tolower(static_cast<unsigned char>(c)));
    return s;
}
}  // namespace

void ReadSettings(const cl::CProfile &p, TitleDefaults *d)
{
    d->faceName = p.GetString(kSettings, "FaceName", "Arial");
    d->fontSize = p.GetInt(kSettings, "FontSize", 16);
    d->bold = p.GetInt(kSettings, "FontBold", 0);
    d->italic = p.GetInt(kSettings, "FontItalic", 0);
    d->underline = p.GetInt(kSettings, "FontUnderline", 0);
    d->outline = p.GetInt(kSettings, "FontOutline", 0);
    d->vertical = p.GetInt(kSettings, "TextDirection", 0);
    d->alignment = p.GetInt(kSettings, "Alignment", 0);
    d->depthX = p.GetInt(kSettings, "DepthX", 4);
    d->depthY = p.GetInt(kSettings, "DepthY", 4);
    d->outlineWidth = p.GetInt(kSettings, "OutlineWidth", 1);
    d->lineSpacing = p.GetInt(kSettings, "LineSpace", 100);
    d->opacity = p.GetInt(kSettings, "Alpha", 100);
    d->shadowType = p.GetInt(kSettings, "ShadowType", 0);
    d->textColour = COLORREF(p.GetInt(kSettings, "TextColor", 0));
    d->shadowColour = COLORREF(p.GetInt(kSettings, "ShadowColor", 13158600));
    d->outlineColour = COLORREF(p.GetInt(kSettings, "OutlineColor", 0xFF0000));
    d->backColour = COLORREF(p.GetInt(kSettings, "BackColor", 14671839));
    d->border = p.GetInt(kSettings, "Border", 0);
    d->borderWidth = p.GetInt(kSettings, "BorderWidth", 1);
    d->borderColour = COLORREF(p.GetInt(kSettings, "BorderColor", 0xFF0000));
    d->textBack = p.GetInt(kSettings, "TextBack", 1);
    d->textBackColour = COLORREF(p.GetInt(kSettings, "TextBackColor", 0xFFFFFF));
    d->textBackOpacity = p.GetInt(kSettings, "TextBackAlpha", 50);
    d->motion = p.GetInt(kSettings, "Motion", 0);
    d->scroll = p.GetInt(kSettings, "Scroll", 0);
    d->beginX = p.GetInt(kSettings, "BeginX", 0);
    d->beginY = p.GetInt(kSettings, "BeginY", 0);
    d->endX = p.GetInt(kSettings, "EndX", 0);
    d->endY = p.GetInt(kSettings, "EndY", 0);
    d->duration = float(atoi(p.GetString(kSettings, "Duration", "").c_str()));
}

CLumicardCtrl::CLumicardCtrl() : COleControl(kLumicardClass)
{
    ReadSettings(ModuleProfile(), &defaults_);
    background_ = defaults_.backColour;
    SetModifiedFlag(false);
}

CLumicardCtrl::~CLumicardCtrl() = default;

HRESULT CLumicardCtrl::Create(REFIID riid, void **out)
{
    CLumicardCtrl *c = new CLumicardCtrl;
    HRESULT hr = c->QueryInterface(riid, out);
    c->Release();
    return hr;
}

void CLumicardCtrl::OnDraw(HDC dc, const RECT &bounds)
{
    PageView view;
    view.outW = outW_;
    view.outH = outH_;
    // The page maps onto the client size recorded by the last
    // LMSetWindowExt, the size the mouse's page coordinates are counted in,
    // not onto whatever bounds the window or the container has now.
    (void)bounds;
    view.clientW = clientW_;
    view.clientH = clientH_;
    view.background = background_;
    int saved = SaveDC(dc);
    DrawPage(dc, page_, view);
    RestoreDC(dc, saved);
    if (sel_ && sel_->tracker) DrawTracker(dc, sel_->tracker->rect);
}

void CLumicardCtrl::Select(TitleObject *o)
{
    for (auto &p : page_) p->selected = p.get() == o ? 1 : 0;
    sel_ = o;
}

void CLumicardCtrl::Changed()
{
    SetModifiedFlag(true);
    InvalidateControl();
}

// A new text, and a text whose face, weight or slant changes, gets a box
// that holds it whole: a box drawn round the plain text would cut a bolder
// one's last letters off on air.  A box the operator sizes afterwards (or
// sets a size for) keeps its size.
void CLumicardCtrl::FitText(TitleObject *o)
{
    if (!o || !FitTextBox(*o)) return;
    if (EditingObject(o)) editor_.Move(o->tracker->rect);
    InvalidateControl();
}

bool CLumicardCtrl::AskSaveChanges()
{
    if (!IsModified()) return true;
    std::string name = "Untitled.LMF";
    if (!path_.empty()) {
        size_t cut = path_.find_last_of('\\');
        name = cut == std::string::npos ? path_ : path_.substr(cut + 1);
    }
    char prompt[64] = {};
    if (!LoadStringA(cl::OleModule::instance, 201, prompt, sizeof(prompt))) lstrcpynA(prompt, "Save changes to ", 64);
    const std::string text = prompt + name + "?";
    int answer = MessageBoxA(Window(), text.c_str(), "Lumicard", MB_YESNOCANCEL | MB_DEFBUTTON2 | MB_ICONINFORMATION);
    if (answer == IDCANCEL) return false;
    // A "Yes" whose save is cancelled or fails stops the command: the page is not thrown away unsaved.
    if (answer == IDYES) return SaveWithDialog();
    return true;
}

void CLumicardCtrl::ClearPage()
{
    HideEditor();
    sel_ = nullptr;
    page_.clear();
    SetModifiedFlag(false);
}

void CLumicardCtrl::OpenFile(const std::string &path)
{
    ClearPage();
    path_ = path;
    if (path.size() < 3 || Lower(path.substr(path.size() - 3)) != "lmf") {
        MessageBoxA(Window(), "This's unknown file format!", nullptr, MB_OK | MB_ICONINFORMATION);
    } else {
        OpenTitleFile(path.c_str(), defaults_, Scale(), &page_);
        for (auto &o : page_) o->selected = 0;
        ModuleProfile().WriteString(kSettings, "RecentPath", FolderOf(path));
    }
    InvalidateControl();
}

bool CLumicardCtrl::SaveFile(const std::string &chosen)
{
    std::string path = chosen;
    std::string tail = Lower(path);
    while (!tail.empty() && (tail.back() == ' ' || tail.back() == '\t')) tail.pop_back();
    if (tail.size() < 4 || tail.compare(tail.size() - 4, 4, ".lmf") != 0) path += ".lmf";
    if (!SaveTitleFile(path.c_str(), page_)) return false;
    path_ = path;
    SetModifiedFlag(false);
    ModuleProfile().WriteString(kSettings, "RecentPath", FolderOf(path));
    return true;
}

/* The file dialog of the control's commands: starts in the folder kept under
 * 'folderKey'; 'file' holds the proposed name and receives the choice. */
bool CLumicardCtrl::AskFileName(bool save, const char *folderKey, const char *filter, const char *title, char *file)
{
    const std::string dir = ModuleProfile().GetString(kSettings, folderKey, "");
    OPENFILENAMEA ofn = {sizeof(ofn)};
    ofn.hwndOwner = Window();
    ofn.lpstrFilter = filter;
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrTitle = title;
    ofn.lpstrInitialDir = dir.empty() ? nullptr : dir.c_str();
    if (save) {
        ofn.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY;
        return GetSaveFileNameA(&ofn) != FALSE;
    }
    ofn.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    return GetOpenFileNameA(&ofn) != FALSE;
}

bool CLumicardCtrl::SaveWithDialog()
{
    char file[MAX_PATH] = {};
    std::string proposed = "Untitled.LMF";
    if (!path_.empty()) {
        size_t cut = path_.find_last_of('\\');
        proposed = cut == std::string::npos ? path_ : path_.substr(cut + 1);
    }
    lstrcpynA(file, proposed.c_str(), MAX_PATH);
    if (!AskFileName(true, "RecentPath", "LMF files (*.lmf)\0*.lmf\0\0",
                     "Save a LMF File...", file)) return false;
    return SaveFile(file);
}

void CLumicardCtrl::OpenWithDialog()
{
    char file[MAX_PATH] = {};
    if (AskFileName(false, "RecentPath", "LMF files (*.lmf)\0*.lmf\0\0",
                    "Open LMF File...", file)) OpenFile(file);
}

void CLumicardCtrl::NewTextObject(const std::string &text)
{
    auto o = std::make_unique<TitleObject>(defaults_, Scale());
    o->type = TITLE_TEXT;
    o->text = text;
    o->tracker.reset(new RectTracker);
    o->tracker->rect = {20, 20, 120, 120};
    o->tracker->hFactor = hf_;
    o->tracker->vFactor = vf_;
    TitleObject *p = o.get();
    page_.push_back(std::move(o));
    Select(p);
    OpenEditorOn(p, p->text);
    FitText(p);
    Changed();
}

void CLumicardCtrl::ImportTextWithDialog()
{
    char file[MAX_PATH] = {};
    if (!AskFileName(false, "TextImportPath", "Text files (*.txt)\0*.txt\0\0",
                     "Import Text File...", file)) return;
    ModuleProfile().WriteString(kSettings, "TextImportPath", FolderOf(file));
    std::vector<uint8_t> bytes;
    if (ReadWholeFile(file, &bytes)) NewTextObject(std::string(bytes.begin(), bytes.end()));
}

BOOL CLumicardCtrl::Export(TitleExportKind kind)
{
    return ExportTitle(page_, kind);
}

void CLumicardCtrl::SetAsDefault()
{
    if (!sel_ || sel_->type != TITLE_TEXT) return;
    TitleDefaults &d = defaults_;
    const TitleObject &o = *sel_;
    d.faceName = o.font.lfFaceName;
    d.fontSize = o.fontSize;
    d.bold = o.font.lfWeight == 700;
    d.italic = o.font.lfItalic;
    d.underline = o.font.lfUnderline;
    d.outline = o.outline;
    d.vertical = o.font.lfEscapement != 0;
    d.depthX = o.shadowDepthX;
    d.depthY = o.shadowDepthY;
    d.outlineWidth = o.outlineWidth;
    d.lineSpacing = o.lineSpacing;
    d.opacity = o.imageOpacity;
    d.shadowType = o.shadowType;
    d.textColour = o.textColour;
    d.shadowColour = o.shadowColour;
    d.outlineColour = o.outlineColour;
    d.alignment = o.alignment >= 0 && o.alignment <= 2 ? o.alignment : 0;
    d.border = o.border;
    d.borderWidth = o.borderWidth;
    d.borderColour = o.borderColour;
    d.textBack = o.textBack;
    d.textBackOpacity = o.textBackOpacity;
    d.textBackColour = o.textBackColour;
    const cl::CProfile &p = ModuleProfile();
    p.WriteString(kSettings, "FaceName", d.faceName);
    const struct { const char *key; int value; } ints[] = {
        {"FontSize", d.fontSize}, {"FontBold", d.bold}, {"FontItalic", d.italic}, {"FontUnderline", d.underline},
        {"FontOutline", d.outline}, {"TextDirection", d.vertical}, {"DepthX", d.depthX}, {"DepthY", d.depthY},
        {"OutlineWidth", d.outlineWidth}, {"LineSpace", d.lineSpacing}, {"Alpha", d.opacity},
        {"ShadowType", d.shadowType}, {"TextColor", int(d.textColour)}, {"ShadowColor", int(d.shadowColour)},
        {"OutlineColor", int(d.outlineColour)}, {"Alignment", d.alignment}, {"Border", d.border},
        {"BorderWidth", d.borderWidth}, {"BorderColor", int(d.borderColour)}, {"TextBack", d.textBack},
        {"TextBackAlpha", d.textBackOpacity}, {"TextBackColor", int(d.textBackColour)}, {"Motion", d.motion},
        {"BeginX", d.beginX}, {"BeginY", d.beginY}, {"EndX", d.endX}, {"EndY", d.endY}};
    for (const auto &e : ints) p.WriteInt(kSettings, e.key, e.value);
    char duration[64];
    snprintf(duration, sizeof(duration), "%f", double(d.duration));
    p.WriteString(kSettings, "Duration", duration);
}

void CLumicardCtrl::ImportCaplift()
{
    // The clip dialog shows a still of the file under the cursor.
    CPreviewFileDlg dlg(true, nullptr, nullptr, OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST,
                        "CG-Animation Files(*.cga)|*.cga|Caplift Qcg Files(*.qcg)|*.qcg||", Window());
    dlg.SetInitialDir(ModuleProfile().GetString(kSettings, "CGAImportPath", ""));
    dlg.pane.SetOutputSize(outW_, outH_);
    if (dlg.DoModal() == IDOK) ImportClip(dlg.GetPathName());
}

bool CLumicardCtrl::ImportClip(const std::string &path)
{
    const size_t dot = path.rfind('.');
    const std::string ext = dot == std::string::npos ? std::string() : path.substr(dot + 1);
    const bool qcg = ext == "qcg" || ext == "QCG", cga = ext == "cga" || ext == "CGA";
    if (!qcg && !cga) return false;
    auto o = std::make_unique<TitleObject>(defaults_, Scale());
    o->clip.reset(new CgAnimationClip);
    o->hasTransparency = 1;
    ModuleProfile().WriteString(kSettings, "CGAImportPath", FolderOf(path));
    o->alphaMode = ALPHA_COLOUR_KEY;
    std::string clipPath = path;
    if (qcg) {
        if (!o->clip->LoadQcgTitle(path.c_str())) return false;
        clipPath = CgaPathFor(path);
        // A clip file that cannot be written would leave an object pointing at nothing.
        if (!o->clip->WriteCgaFile(clipPath.c_str())) return false;
    } else if (!o->clip->LoadCgaFile(path.c_str())) {
        // A damaged clip adds nothing (and keeps the page's clip as it was).
        return false;
    }
    o->text = clipPath;
    o->tracker.reset(new RectTracker);
    o->tracker->rect = {0, 50, 60, 60};
    o->tracker->hFactor = hf_;
    o->tracker->vFactor = vf_;
    o->type = TITLE_CLIP;
    // A page holds at most one clip.
    for (auto it = page_.begin(); it != page_.end();)
        if ((*it)->type == TITLE_CLIP) {
            if (it->get() == sel_) sel_ = nullptr;
            it = page_.erase(it);
        } else {
            ++it;
        }
    TitleObject *p = o.get();
    page_.push_back(std::move(o));
    Select(p);
    Changed();
    FireEvent(29);
    if (Window()) SetFocus(Window());
    return true;
}

void CLumicardCtrl::ImportImageWithDialog()
{
    char file[MAX_PATH] = {};
    if (AskFileName(false, "ImageImportPath", "Image files(*.bmp;*.jpg;*.jpeg)\0*.bmp;*.jpg;*.jpeg\0\0",
                    "Import Image File...", file)) ImportImage(file);
}

bool CLumicardCtrl::ImportImage(const std::string &path)
{
    ModuleProfile().WriteString(kSettings, "ImageImportPath", FolderOf(path));
    Picture picture;
    std::string error;
    bool read = false;
    switch (PictureKindOf(path)) {
    case PICTURE_BMP: read = ReadBitmapFile(path, &picture, &error); break;
    case PICTURE_TGA: read = ReadTargaFile(path, &picture, &error); break;
    case PICTURE_GIF: read = ReadGifFile(path, &picture, &error); break;
    case PICTURE_JPEG: read = ReadJpegFile(path, &picture, &error); break;
    default: {
        SetSelection(nullptr, false);
        char text[128] = {};
        if (!LoadStringA(cl::OleModule::instance, 202, text, sizeof(text))) lstrcpynA(text, kWrongImageFormat, sizeof(text));
        MessageBoxA(Window(), text, nullptr, MB_OK | MB_ICONINFORMATION);
        return false;
    }
    }
    if (!read) {
        // A picture that cannot be read adds nothing: an empty image object
        // would only be an invisible box on the page.
        MessageBoxA(Window(), error.c_str(), nullptr, MB_OK | MB_ICONINFORMATION);
        return false;
    }
    auto o = std::make_unique<TitleObject>(defaults_, Scale());
    o->type = TITLE_IMAGE;
    o->SetPicture(picture.width, picture.height, picture.pixels.data());
    o->alphaMode = picture.perPixelAlpha ? ALPHA_PER_PIXEL : ALPHA_OPACITY;
    o->hasTransparency = picture.perPixelAlpha ? 1 : 0;
    if (PictureKindOf(path) == PICTURE_GIF) {
        // A GIF is always colour-keyed; only one with a transparent index has a key.
        o->alphaMode = ALPHA_COLOUR_KEY;
        o->hasTransparency = picture.colourKeyed ? 1 : 0;
        o->transparentColour = picture.colourKeyed ? picture.keyColour : 0;
    }
    o->tracker.reset(new RectTracker);
    o->tracker->rect = {10, 10, 10 + int(picture.width / hf_ + 0.5f), 10 + int(picture.height / vf_ + 0.5f)};
    o->tracker->hFactor = hf_;
    o->tracker->vFactor = vf_;
    TitleObject *p = o.get();
    page_.push_back(std::move(o));
    Select(p);
    Changed();
    FireEvent(29);
    if (Window()) SetFocus(Window());
    return true;
}

// ---------------------------------------------------------------------------

namespace {

struct Args {
    DISPPARAMS *p;
    HRESULT hr = S_OK;
    short I2(UINT i)
    {
        VARIANT v;
        HRESULT r = cl::DispArg(p, i, VT_I2, &v);
        if (FAILED(r)) hr = r;
        return SUCCEEDED(r) ? V_I2(&v) : 0;
    }
    LONG I4(UINT i)
    {
        VARIANT v;
        HRESULT r = cl::DispArg(p, i, VT_I4, &v);
        if (FAILED(r)) hr = r;
        return SUCCEEDED(r) ? V_I4(&v) : 0;
    }
    float R4(UINT i)
    {
        VARIANT v;
        HRESULT r = cl::DispArg(p, i, VT_R4, &v);
        if (FAILED(r)) hr = r;
        return SUCCEEDED(r) ? V_R4(&v) : 0;
    }
    std::string Str(UINT i)
    {
        VARIANT v;
        HRESULT r = cl::DispArg(p, i, VT_BSTR, &v);
        if (FAILED(r)) {
            hr = r;
            return std::string();
        }
        std::string s = Narrow(V_BSTR(&v));
        VariantClear(&v);
        return s;
    }
};

void RetI2(VARIANT *r, int v)
{
    V_VT(r) = VT_I2;
    V_I2(r) = short(v);
}
void RetI4(VARIANT *r, LONG v)
{
    V_VT(r) = VT_I4;
    V_I4(r) = v;
}
void RetR4(VARIANT *r, float v)
{
    V_VT(r) = VT_R4;
    V_R4(r) = v;
}
void RetBool(VARIANT *r, bool v)
{
    V_VT(r) = VT_BOOL;
    V_BOOL(r) = v ? VARIANT_TRUE : VARIANT_FALSE;
}
void RetStr(VARIANT *r, BSTR b)
{
    V_VT(r) = VT_BSTR;
    V_BSTR(r) = b;
}

LONG PackDepth(int x, int y)
{
    return LONG((uint32_t(uint16_t(y)) << 16) | uint16_t(x));
}

INT_PTR CALLBACK AboutProc(HWND dlg, UINT msg, WPARAM wp, LPARAM)
{
    if (msg == WM_INITDIALOG) return TRUE;
    if (msg == WM_COMMAND && (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL)) {
        EndDialog(dlg, LOWORD(wp));
        return TRUE;
    }
    return FALSE;
}

// The argument count each method takes (DISPIDs 1..90).
int ArgCount(DISPID id)
{
    switch (id) {
    case 1: case 2: case 3: case 4: case 5: case 6: case 26: case 85: case 86: case DISPID_ABOUTBOX:
        return 0;
    case 19: case 64: case 76: case 90:
        return 2;
    default:
        if (id >= 33 && id <= 62) return 0;
        if (id >= 65 && id <= 66) return 0;
        if (id >= 72 && id <= 75) return 0;
        if (id == 77 || id == 78 || id == 80 || id == 82 || id == 83 || id == 84) return 0;
        if (id >= 1 && id <= 90) return 1;
        return -1;
    }
}

}  // namespace

HRESULT CLumicardCtrl::InvokeMethod(DISPID id, WORD flags, DISPPARAMS *params, VARIANT *result)
{
    if (!(flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET))) return DISP_E_MEMBERNOTFOUND;
    const int want = ArgCount(id);
    if (want < 0) return DISP_E_MEMBERNOTFOUND;
    if (params->cNamedArgs) return DISP_E_NONAMEDARGS;
    if (int(params->cArgs) != want) return DISP_E_BADPARAMCOUNT;
    Args a{params};
    // Methods that replace objects or the page, or write them out, close the
    // editor first; the others take its text and leave it open, so a style
    // change shows in the editor at once.
    switch (id) {
    case 1: case 2: case 3: case 4: case 5: case 6: case 7: case 16: case 26: case 63: case 76:
    case 85: case 86: case 87: case 88: case 89:
        TakeEditorText();
        break;
    default:
        SyncEditorText();
    }
    TitleObject *o = sel_;
    const bool inEditor = EditingObject(o);
    TitleDefaults &d = defaults_;
    auto setI2 = [&](auto onObj, auto onDef) {
        short v = a.I2(0);
        if (FAILED(a.hr)) return;
        if (o) {
            onObj(*o, v);
            Changed();
        } else {
            onDef(v);
        }
        RetI2(result, v);
    };
    auto setI4 = [&](auto onObj, auto onDef) {
        LONG v = a.I4(0);
        if (FAILED(a.hr)) return;
        if (o) {
            onObj(*o, v);
            Changed();
        } else {
            onDef(v);
        }
        RetI4(result, v);
    };
    switch (id) {
    case 1:  // LMNew
        if (AskSaveChanges()) {
            ClearPage();
            path_.clear();
            InvalidateControl();
        }
        break;
    case 2:  // LMOpen
        if (AskSaveChanges()) OpenWithDialog();
        break;
    case 3:  // LMSave
        SaveWithDialog();
        break;
    case 4:  // LMImportText
        ImportTextWithDialog();
        break;
    case 5:  // LMImportImage
        ImportImageWithDialog();
        break;
    case 6: {  // LMExport
        VARIANT ok;
        V_VT(&ok) = VT_BOOL;
        V_BOOL(&ok) = Export(EXPORT_PROGRAMME) ? VARIANT_TRUE : VARIANT_FALSE;
        FireEvent(28, &ok, 1);
        break;
    }
    case 7: {  // LMOpenDirectly
        std::string path = a.Str(0);
        if (SUCCEEDED(a.hr)) OpenFile(path);
        break;
    }
    case 8:
        setI2([](TitleObject &t, short v) { t.alignment = v; }, [&](short v) { d.alignment = v; });
        if (inEditor) editor_.SetAlignment(o->alignment);
        break;
    case 9:
        setI2([](TitleObject &t, short v) { t.textBackOpacity = v; }, [&](short v) { d.textBackOpacity = v; });
        break;
    case 10:
        setI2([](TitleObject &t, short v) { t.imageOpacity = v; }, [&](short v) { d.opacity = v; });
        if (!o) RetI2(result, 0);
        break;
    case 11:
        setI2([](TitleObject &t, short v) { t.font.lfWeight = v ? 700 : 400; }, [&](short v) { d.bold = v != 0; });
        if (!o) RetI2(result, 0);
        if (inEditor) editor_.SetBold(o->font.lfWeight == 700);
        FitText(o);
        break;
    case 12: {  // SetTextFont
        std::string face = a.Str(0);
        if (FAILED(a.hr)) break;
        char kept[LF_FACESIZE];
        lstrcpynA(kept, face.c_str(), LF_FACESIZE);
        if (o) {
            lstrcpynA(o->font.lfFaceName, kept, LF_FACESIZE);
            if (inEditor) editor_.SetFaceName(kept);
            FitText(o);
            Changed();
        } else {
            d.faceName = kept;
        }
        RetStr(result, Wide(face));
        break;
    }
    case 13:
        setI2([](TitleObject &t, short v) { t.fontSize = v; t.font.lfHeight = FontHeight(v); },
              [&](short v) { d.fontSize = v; });
        if (inEditor) {
            editor_.SetFont(MakeTitleFont(*o, 1.0f));
            editor_.SetTextColour(o->textColour);
        }
        break;
    case 14:
        setI2([](TitleObject &t, short v) { t.font.lfItalic = BYTE(v); }, [&](short v) { d.italic = v; });
        if (inEditor) editor_.SetItalic(o->font.lfItalic != 0);
        FitText(o);
        break;
    case 15:
        setI2([](TitleObject &t, short v) { t.lineSpacing = v; }, [&](short v) { d.lineSpacing = v; });
        if (inEditor) editor_.SetLineSpacing(o->lineSpacing);
        break;
    case 16:  // SetTextOrientation: the rectangle turns about its top-right corner, only on a change
        setI2(
            [](TitleObject &t, short v) {
                const LONG esc = v ? -900 : 0;
                if (t.font.lfEscapement == esc) return;
                t.font.lfEscapement = esc;
                if (t.tracker) {
                    RECT &r = t.tracker->rect;
                    const LONG oldLeft = r.left;
                    r.left = r.right + r.top - r.bottom;
                    r.bottom = r.top + r.right - oldLeft;
                }
            },
            [&](short v) { d.vertical = v != 0; });
        break;
    case 17:
        setI2([](TitleObject &t, short v) { t.outlineWidth = v; }, [&](short v) { d.outlineWidth = v; });
        break;
    case 18:
        setI2([](TitleObject &t, short v) { t.outline = v ? 1 : 0; }, [&](short v) { d.outline = v ? 1 : 0; });
        break;
    case 19: {  // SetTextShadowDepth
        short x = a.I2(0), y = a.I2(1);
        if (FAILED(a.hr)) break;
        if (o) {
            o->shadowDepthX = x;
            o->shadowDepthY = y;
            Changed();
        } else {
            d.depthX = x;
            d.depthY = y;
        }
        RetI4(result, PackDepth(x, y));
        break;
    }
    case 20:
        setI2([](TitleObject &t, short v) { t.shadowType = v; }, [&](short v) { d.shadowType = v; });
        break;
    case 21:
        setI2([](TitleObject &t, short v) { t.font.lfUnderline = BYTE(v); }, [&](short v) { d.underline = v; });
        if (inEditor) editor_.SetUnderline(o->font.lfUnderline != 0);
        break;
    case 22:
        setI2([](TitleObject &t, short v) { t.textBack = v; }, [&](short v) { d.textBack = v; });
        break;
    case 23:
        setI2([](TitleObject &t, short v) { t.border = v; }, [&](short v) { d.border = v; });
        break;
    case 24:
        setI2([](TitleObject &t, short v) { t.borderWidth = v; }, [&](short v) { d.borderWidth = v; });
        break;
    case 25:
        setI2([](TitleObject &t, short v) { t.motion = v; }, [&](short v) { d.motion = v; });
        break;
    case 26:
        SetAsDefault();
        break;
    case 27:
        setI4([](TitleObject &t, LONG v) { t.borderColour = COLORREF(v); }, [&](LONG v) { d.borderColour = v; });
        break;
    case 28: {  // SetLMBackColor: the page's own
        LONG v = a.I4(0);
        if (FAILED(a.hr)) break;
        background_ = COLORREF(v);
        Changed();
        RetI4(result, v);
        break;
    }
    case 29:
        setI4([](TitleObject &t, LONG v) { t.textBackColour = COLORREF(v); },
              [&](LONG v) { d.textBackColour = v; });
        break;
    case 30:
        setI4([](TitleObject &t, LONG v) { t.textColour = COLORREF(v); }, [&](LONG v) { d.textColour = v; });
        if (inEditor) editor_.SetTextColour(o->textColour);
        break;
    case 31:
        setI4([](TitleObject &t, LONG v) { t.outlineColour = COLORREF(v); }, [&](LONG v) { d.outlineColour = v; });
        break;
    case 32:
        setI4([](TitleObject &t, LONG v) { t.shadowColour = COLORREF(v); }, [&](LONG v) { d.shadowColour = v; });
        break;
    case 33:  // GetDuration
        if (o && o->duration <= 1.0f) o->duration = 1.0f;
        RetR4(result, o ? o->duration : d.duration);
        break;
    case 34: RetI2(result, o ? o->imageOpacity : d.opacity); break;
    case 35: RetI2(result, o ? o->motion : d.motion); break;
    case 36: RetI4(result, LONG(background_)); break;
    case 37: RetI2(result, o ? o->border : d.border); break;
    case 38: RetI4(result, LONG(o ? o->borderColour : d.borderColour)); break;
    case 39: RetI2(result, o ? o->borderWidth : d.borderWidth); break;
    case 40: RetI2(result, o ? o->alignment : d.alignment); break;
    case 41: RetI2(result, o ? o->textBack : d.textBack); break;
    case 42: RetI2(result, o ? o->textBackOpacity : d.textBackOpacity); break;
    case 43: RetI4(result, LONG(o ? o->textBackColour : d.textBackColour)); break;
    case 44: RetI2(result, o ? (o->font.lfWeight == 700) : (d.bold != 0)); break;
    case 45: RetI4(result, LONG(o ? o->textColour : d.textColour)); break;
    case 46: RetStr(result, Wide(o ? std::string(o->font.lfFaceName) : d.faceName)); break;
    case 47: RetI2(result, o ? o->fontSize : d.fontSize); break;
    case 48: RetI2(result, o ? o->font.lfItalic : d.italic); break;
    case 49: RetI2(result, o ? o->lineSpacing : d.lineSpacing); break;
    case 50: RetI2(result, o ? (o->font.lfEscapement != 0) : (d.vertical != 0)); break;
    case 51: RetI4(result, LONG(o ? o->outlineColour : d.outlineColour)); break;
    case 52: RetI2(result, o ? o->outlineWidth : d.outlineWidth); break;
    case 53: RetI2(result, o ? o->outline : d.outline); break;
    case 54: RetI4(result, LONG(o ? o->shadowColour : d.shadowColour)); break;
    case 55: RetI4(result, o ? PackDepth(o->shadowDepthX, o->shadowDepthY) : PackDepth(d.depthX, d.depthY)); break;
    case 56: RetI2(result, o ? o->shadowType : d.shadowType); break;
    case 57: RetI2(result, o ? o->font.lfUnderline : d.underline); break;
    case 58: RetBool(result, o != nullptr); break;
    case 59: RetI4(result, o ? o->type : 0); break;
    case 60: RetI2(result, o ? o->shadowDepthX : d.depthX); break;
    case 61: RetI2(result, o ? o->shadowDepthY : d.depthY); break;
    case 62: RetStr(result, o && o->type == TITLE_TEXT ? Wide(o->text) : nullptr); break;
    case 63: {  // SetText
        std::string text = a.Str(0);
        if (FAILED(a.hr)) break;
        if (o) {
            o->text = text;
            Changed();
        } else {
            NewTextObject(text);
        }
        break;
    }
    case 64:  // KeyDown
        a.I4(0);
        a.I4(1);
        if (SUCCEEDED(a.hr)) RetBool(result, false);
        break;
    case 65: RetI2(result, o && o->tracker ? o->tracker->rect.right - o->tracker->rect.left : 0); break;
    case 66: RetI2(result, o && o->tracker ? o->tracker->rect.bottom - o->tracker->rect.top : 0); break;
    case 67: {  // SetDuration
        float v = a.R4(0);
        if (FAILED(a.hr)) break;
        if (o) {
            o->duration = v;
            Changed();
        } else {
            d.duration = v;
        }
        RetR4(result, v);
        break;
    }
    case 68: setI4([](TitleObject &t, LONG v) { t.beginX = v; }, [&](LONG v) { d.beginX = v; }); break;
    case 69: setI4([](TitleObject &t, LONG v) { t.beginY = v; }, [&](LONG v) { d.beginY = v; }); break;
    case 70: setI4([](TitleObject &t, LONG v) { t.endX = v; }, [&](LONG v) { d.endX = v; }); break;
    case 71: setI4([](TitleObject &t, LONG v) { t.endY = v; }, [&](LONG v) { d.endY = v; }); break;
    case 72: RetI4(result, o ? o->beginX : d.beginX); break;
    case 73: RetI4(result, o ? o->beginY : d.beginY); break;
    case 74: RetI4(result, o ? o->endX : d.endX); break;
    case 75: RetI4(result, o ? o->endY : d.endY); break;
    case 76: {  // SetObjPosition
        short x = a.I2(0), y = a.I2(1);
        if (FAILED(a.hr) || !o || !o->tracker) break;
        RECT &r = o->tracker->rect;
        OffsetRect(&r, x - r.left, y - r.top);
        Changed();
        if (Window()) SetFocus(Window());
        break;
    }
    case 77: RetI2(result, o && o->tracker ? o->tracker->rect.left : 0); break;
    case 78: RetI2(result, o && o->tracker ? o->tracker->rect.top : 0); break;
    case 79: {  // SetScroll
        short v = a.I2(0);
        if (FAILED(a.hr)) break;
        if (o) {
            o->scroll = v;
            Changed();
        } else {
            d.scroll = v;
        }
        RetBool(result, v != 0);
        break;
    }
    case 80: RetBool(result, o ? o->scroll != 0 : d.scroll != 0); break;
    case 81: {  // SetPosOption
        short v = a.I2(0);
        if (FAILED(a.hr)) break;
        if (o) {
            o->posOption = v;
            Changed();
        }
        RetI2(result, o ? v : 0);
        break;
    }
    case 82:
    case 83: {  // GetFullWidth, GetFullHeight
        LONG v = 0;
        if (o && o->type == TITLE_TEXT) {
            SIZE s = MeasureTitleText(*o);
            v = id == 82 ? s.cx : s.cy;
        } else if (o && o->tracker) {
            const RECT &r = o->tracker->rect;
            v = id == 82 ? r.right - r.left : r.bottom - r.top;
        }
        RetI4(result, v);
        break;
    }
    case 84: RetI2(result, o ? o->posOption : 0); break;
    case 85:
        ImportCaplift();
        break;
    case 86: {  // LMSaveAsPreview
        VARIANT ok;
        V_VT(&ok) = VT_BOOL;
        V_BOOL(&ok) = Export(EXPORT_PREVIEW) ? VARIANT_TRUE : VARIANT_FALSE;
        FireEvent(30, &ok, 1);
        RetBool(result, true);
        break;
    }
    case 87: {  // LMOpenDirectlyText
        std::string path = a.Str(0);
        if (FAILED(a.hr)) break;
        std::vector<uint8_t> bytes;
        if (!ReadWholeFile(path.c_str(), &bytes)) break;
        // Text mode: CR LF pairs read as LF.
        std::string text;
        for (size_t i = 0; i < bytes.size(); ++i)
            if (!(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')) text += char(bytes[i]);
        NewTextObject(text);
        break;
    }
    case 88: {  // LMOpenDirectlyLMF
        std::string path = a.Str(0);
        if (SUCCEEDED(a.hr) && AskSaveChanges()) OpenFile(path);
        break;
    }
    case 89: {  // LMSaveDirectlyLMF
        std::string path = a.Str(0);
        if (FAILED(a.hr)) break;
        if (SaveTitleFile(path.c_str(), page_)) SetModifiedFlag(false);
        break;
    }
    case 90: {  // LMSetWindowExt
        short wd = a.I2(0), ht = a.I2(1);
        if (FAILED(a.hr)) break;
        outW_ = wd;
        outH_ = ht;
        if (Window()) {
            RECT r;
            GetClientRect(Window(), &r);
            if (r.right > 0 && r.bottom > 0) {
                clientW_ = r.right;
                clientH_ = r.bottom;
            }
        }
        hf_ = float(wd) / float(clientW_);
        vf_ = float(ht) / float(clientH_);
        for (auto &p : page_) {
            p->hFactor = hf_;
            p->vFactor = vf_;
            p->pageW = wd;
            p->pageH = ht;
            if (p->tracker) {
                p->tracker->hFactor = hf_;
                p->tracker->vFactor = vf_;
            }
        }
        InvalidateControl();
        break;
    }
    case DISPID_ABOUTBOX:
        DialogBoxParamA(cl::OleModule::instance, MAKEINTRESOURCEA(1), Window(), &AboutProc, 0);
        break;
    }
    return a.hr;
}

} // namespace lumicard
