/*
 * CFolderBrowser: the shell's folder browser (SHBrowseForFolder) with a
 * callback; CFolderDialog: the browser opened on a start folder, showing the
 * current path as its status text.  COpacityDlg: the one-value "Object
 * Opacity Setting" dialog (template 253, edit 1070, 0..100).
 */
#ifndef CORV_CONTROLS_FOLDER_DIALOGS_H
#define CORV_CONTROLS_FOLDER_DIALOGS_H

#include "dialog.h"
#include <shlobj.h>

class CFolderBrowser {
public:
    CFolderBrowser(HWND owner = nullptr, LPCITEMIDLIST root = nullptr, const char *title = nullptr);
    virtual ~CFolderBrowser() = default;
    void SetOwner(HWND owner) { if (!dialog_) info_.hwndOwner = owner; }
    void SetRoot(LPCITEMIDLIST root) { if (!dialog_) info_.pidlRoot = root; }
    void SetTitle(const char *title);
    void SetFlags(UINT flags) { if (!dialog_) info_.ulFlags = flags; }
    bool DoModal();
    std::string GetDisplayName() const { return displayName_; }
    std::string GetPath() const { return path_; }
    const std::string &Title() const { return title_; }
    HWND DialogWindow() const { return dialog_; }
    void SetSelection(const char *path);
    void SetStatusText(const char *text);

protected:
    virtual void OnInitialized() {}
    virtual void OnSelChanged(LPCITEMIDLIST) {}

private:
    static int CALLBACK Callback(HWND wnd, UINT msg, LPARAM lp, LPARAM data);
    int ownsTitle_ = 1;
    std::string title_;
    BROWSEINFOA info_ = {};
    char displayName_[MAX_PATH] = {};
    std::string path_;
    HWND dialog_ = nullptr;
};

class CFolderDialog : public CFolderBrowser {
public:
    CFolderDialog(HWND owner = nullptr, const char *title = nullptr) : CFolderBrowser(owner, nullptr, title) {}
    void SetStartFolder(const std::string &path) { start_ = path; }

protected:
    void OnInitialized() override;
    void OnSelChanged(LPCITEMIDLIST item) override;

private:
    std::string start_;
};

class COpacityDlg : public cl::CDialog {
public:
    explicit COpacityDlg(HWND parent = nullptr) : CDialog(253, parent) {}
    unsigned m_nOpacity = 0;
    void DoDataExchange(cl::CDataExchange *dx) override;
};

#endif
