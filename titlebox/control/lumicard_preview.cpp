#include "lumicard_preview.h"

#include "filedlg.h"
#include "olecontrol.h"

namespace lumicard {

using namespace titlebox;

void ClipPreviewPane::SetOutputSize(int w, int h)
{
    if (w > 0 && h > 0) {
        outW_ = w;
        outH_ = h;
    }
}

BOOL ClipPreviewPane::ShowFile(const char *path)
{
    if (!path || !*path) return FALSE;
    const std::string p = path;
    const size_t dot = p.rfind('.');
    std::string ext = dot == std::string::npos ? std::string() : p.substr(dot + 1, 3);
    for (char &c : ext) c = char(toupper(static_cast<unsigned char>(c)));
    if (ext != "QCG" && ext != "CGA") return TRUE;
    clip_.reset(new CgAnimationClip);
    clip_->quiet = true;
    loaded_ = ext == "QCG" ? clip_->LoadQcgTitle(path) != FALSE : clip_->LoadCgaFile(path) != FALSE;
    if (!loaded_) clip_.reset();
    Draw();
    return loaded_ ? TRUE : FALSE;
}

void ClipPreviewPane::Empty()
{
    clip_.reset();
    loaded_ = false;
    Draw();
}

void ClipPreviewPane::Clear(HDC dc, const RECT &client)
{
    RECT r = client;
    InflateRect(&r, -1, -1);
    FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
}

void ClipPreviewPane::Clear()
{
    if (!wnd_) return;
    HDC dc = GetDC(wnd_);
    RECT client;
    GetClientRect(wnd_, &client);
    Clear(dc, client);
    ReleaseDC(wnd_, dc);
}

void ClipPreviewPane::Draw()
{
    if (!wnd_) return;
    HDC dc = GetDC(wnd_);
    RECT client;
    GetClientRect(wnd_, &client);
    Clear(dc, client);
    if (loaded_ && clip_) {
        // The output frame mapped onto the pane inside its margin.
        const int saved = SaveDC(dc);
        SetMapMode(dc, MM_ANISOTROPIC);
        SetWindowExtEx(dc, outW_, outH_, nullptr);
        SetViewportExtEx(dc, client.right - 2, client.bottom - 2, nullptr);
        SetViewportOrgEx(dc, 1, 1, nullptr);
        clip_->DrawStill(dc, 0, 0, outW_, outH_);
        RestoreDC(dc, saved);
    } else {
        RECT r = client;
        InflateRect(&r, -1, -1);
        MoveToEx(dc, r.left, r.top, nullptr);
        LineTo(dc, r.right, r.bottom);
        MoveToEx(dc, r.right, r.top, nullptr);
        LineTo(dc, r.left, r.bottom);
    }
    ReleaseDC(wnd_, dc);
}

CPreviewFileDlg::CPreviewFileDlg(bool open, const char *defExt, const char *fileName, DWORD flags,
                                 const char *filter, HWND parent)
    : open_(open), defExt_(defExt ? defExt : ""), filter_(cl::ConvertFilter(filter ? filter : "")),
      file_(MAX_PATH, '\0'), flags_(flags), parent_(parent)
{
    if (fileName) lstrcpynA(file_.data(), fileName, MAX_PATH);
}

INT_PTR CPreviewFileDlg::DoModal()
{
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = parent_;
    ofn.hInstance = cl::OleModule::instance;
    ofn.lpstrFilter = filter_.empty() ? nullptr : filter_.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file_.data();
    ofn.nMaxFile = DWORD(file_.size());
    ofn.lpstrInitialDir = initialDir_.empty() ? nullptr : initialDir_.c_str();
    ofn.lpstrDefExt = defExt_.empty() ? nullptr : defExt_.c_str();
    ofn.Flags = flags_ | OFN_EXPLORER | OFN_ENABLETEMPLATE | OFN_ENABLEHOOK;
    ofn.lpTemplateName = MAKEINTRESOURCEA(IDD_PREVIEW_FILE);
    ofn.lpfnHook = &CPreviewFileDlg::Hook;
    ofn.lCustData = reinterpret_cast<LPARAM>(this);
    const BOOL ok = open_ ? GetOpenFileNameA(&ofn) : GetSaveFileNameA(&ofn);
    pane.Attach(nullptr);
    return ok ? IDOK : IDCANCEL;
}

std::string CPreviewFileDlg::SelectedPath(HWND dlg) const
{
    char path[MAX_PATH] = {};
    if (SendMessageA(GetParent(dlg), CDM_GETFILEPATH, MAX_PATH, reinterpret_cast<LPARAM>(path)) <= 0)
        return std::string();
    return path;
}

UINT_PTR CALLBACK CPreviewFileDlg::Hook(HWND dlg, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_INITDIALOG) {
        auto *ofn = reinterpret_cast<OPENFILENAMEA *>(lp);
        auto *self = reinterpret_cast<CPreviewFileDlg *>(ofn->lCustData);
        SetWindowLongPtrA(dlg, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
        self->pane.Attach(GetDlgItem(dlg, IDC_PREVIEW_PANE));
        CheckDlgButton(dlg, IDC_PREVIEW_CHECK, self->preview ? BST_CHECKED : BST_UNCHECKED);
        return TRUE;
    }
    auto *self = reinterpret_cast<CPreviewFileDlg *>(GetWindowLongPtrA(dlg, DWLP_USER));
    if (!self) return 0;
    switch (msg) {
    case WM_NOTIFY: {
        const auto *n = reinterpret_cast<const OFNOTIFYA *>(lp);
        if (n->hdr.code == CDN_SELCHANGE) {
            if (self->preview) self->pane.ShowFile(self->SelectedPath(dlg).c_str());
        } else if (n->hdr.code == CDN_FOLDERCHANGE) {
            self->pane.Empty();
        }
        return 0;
    }
    case WM_COMMAND:
        if (LOWORD(wp) == IDC_PREVIEW_CHECK && HIWORD(wp) == BN_CLICKED) {
            self->preview = IsDlgButtonChecked(dlg, IDC_PREVIEW_CHECK) == BST_CHECKED;
            if (self->preview) self->pane.ShowFile(self->SelectedPath(dlg).c_str());
            else self->pane.Clear();
        }
        return 0;
    case WM_CTLCOLORSTATIC:
        // The pane paints itself when asked for its background.
        if (reinterpret_cast<HWND>(lp) == self->pane.Window()) {
            if (self->preview) self->pane.Draw();
            else self->pane.Clear();
            return reinterpret_cast<UINT_PTR>(GetStockObject(NULL_BRUSH));
        }
        return 0;
    case WM_QUERYNEWPALETTE:
    case WM_PALETTECHANGED:
        if (self->pane.Window()) SendMessageA(self->pane.Window(), msg, wp, lp);
        return 0;
    }
    return 0;
}

}  // namespace lumicard
