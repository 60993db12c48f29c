#include "folder_dialogs.h"

CFolderBrowser::CFolderBrowser(HWND owner, LPCITEMIDLIST root, const char *title)
{
    info_.hwndOwner = owner;
    info_.pidlRoot = root;
    info_.pszDisplayName = displayName_;
    info_.lpfn = Callback;
    info_.lParam = (LPARAM)this;
    SetTitle(title);
}

void CFolderBrowser::SetTitle(const char *title)
{
    if (dialog_) return;
    title_ = title ? title : "";
    info_.lpszTitle = title_.c_str();
}

int CALLBACK CFolderBrowser::Callback(HWND wnd, UINT msg, LPARAM lp, LPARAM data)
{
    auto *self = reinterpret_cast<CFolderBrowser *>(data);
    self->dialog_ = wnd;
    if (msg == BFFM_INITIALIZED) self->OnInitialized();
    else if (msg == BFFM_SELCHANGED) self->OnSelChanged(reinterpret_cast<LPCITEMIDLIST>(lp));
    return 0;
}

bool CFolderBrowser::DoModal()
{
    bool ok = false;
    info_.lpszTitle = title_.c_str();
    LPITEMIDLIST item = SHBrowseForFolderA(&info_);
    if (item) {
        path_.clear();
        if (SHGetPathFromIDListA(item, displayName_)) {
            path_ = displayName_;
            ok = true;
        }
        IMalloc *m = nullptr;
        if (SUCCEEDED(SHGetMalloc(&m)) && m) {
            m->Free(item);
            m->Release();
        }
    }
    dialog_ = nullptr;
    return ok;
}

void CFolderBrowser::SetSelection(const char *path)
{
    if (dialog_) SendMessageA(dialog_, BFFM_SETSELECTIONA, TRUE, (LPARAM)path);
}

void CFolderBrowser::SetStatusText(const char *text)
{
    if (dialog_) SendMessageA(dialog_, BFFM_SETSTATUSTEXTA, 0, (LPARAM)text);
}

void CFolderDialog::OnInitialized()
{
    SetSelection(start_.c_str());
    SetStatusText(start_.c_str());
}

void CFolderDialog::OnSelChanged(LPCITEMIDLIST item)
{
    char path[MAX_PATH] = {};
    if (!SHGetPathFromIDListA(item, path)) path[0] = 0;
    SetStatusText(path);
}

void COpacityDlg::DoDataExchange(cl::CDataExchange *dx)
{
    cl::DDX_Text(dx, 1070, m_nOpacity);
    cl::DDV_MinMaxUInt(dx, m_nOpacity, 0, 100);
}
