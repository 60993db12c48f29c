#include "title_files.h"
#include "folder_dialogs.h"
#include "lumicard.h"
#include "mixer_dlg.h"
#include "resource.h"

namespace {

bool EndsWithLmf(const std::string &name)
{
    size_t dot = name.rfind('.');
    return dot != std::string::npos && !lstrcmpiA(name.c_str() + dot, ".lmf");
}

} // namespace

std::vector<TitleFolderEntry> ListTitleFolder(const std::string &folder)
{
    std::vector<TitleFolderEntry> folders, files;
    std::string pattern = folder;
    if (pattern.empty() || pattern.back() != '\\') pattern += '\\';
    pattern += "*.*";
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(pattern.c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return folders;
    do {
        std::string name = fd.cFileName;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (name != ".") folders.push_back({name, true});
        } else if (EndsWithLmf(name)) {
            files.push_back({name, false});
        }
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    /* ".." first, so the way up is always at the top. */
    for (size_t i = 0; i < folders.size(); ++i)
        if (folders[i].name == ".." && i) std::swap(folders[0], folders[i]);
    folders.insert(folders.end(), files.begin(), files.end());
    return folders;
}

std::string TitleFolderUp(const std::string &folder)
{
    std::string f = folder;
    while (f.size() > 3 && f.back() == '\\') f.pop_back();
    size_t cut = f.rfind('\\');
    if (cut == std::string::npos) return f.size() == 2 && f[1] == ':' ? f + "\\" : f;
    f.erase(cut);
    if (f.size() == 2 && f[1] == ':') f += '\\';   /* a bare drive gets its backslash back */
    return f;
}

std::string TitleFolderInto(const std::string &folder, const std::string &name)
{
    if (folder.size() <= 3) return folder + name;
    return folder + "\\" + name;
}

HWND CTitleFileList::List() const { return dlg_.GetDlgItem(IDC_FILE_LIST); }

void CTitleFileList::Bind(cl::HandlerTable &h)
{
    h.Command(IDC_FOLDER_BUTTON, [this] { OnFolderButton(); });
    h.Notify(IDC_FILE_LIST, NM_DBLCLK, [this](NMHDR *n) {
        Activate(((NMITEMACTIVATE *)n)->iItem);
        return (LRESULT)0;
    });
    h.Notify(IDC_FILE_LIST, LVN_KEYDOWN, [this](NMHDR *n) {
        if (((NMLVKEYDOWN *)n)->wVKey == VK_RETURN)
            Activate((int)::SendMessageA(List(), LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED));
        return (LRESULT)0;
    });
    h.Message(WM_TITLE_FILE_CHOSEN, [this](WPARAM, LPARAM) {
        OnChosen();
        return (LRESULT)0;
    });
}

void CTitleFileList::Refresh()
{
    std::string &folder = dlg_.m_strQuickOpenFolder;
    if (folder.empty() || folder == "\\") folder = "c:\\";
    SetCurrentDirectoryA(folder.c_str());
    dlg_.SetDlgItemText(IDC_FOLDER_FIELD, folder);
    entries_ = ListTitleFolder(folder);
    HWND list = List();
    if (!list) return;
    ::SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    for (size_t i = 0; i < entries_.size(); ++i) {
        LVITEMA it = {};
        it.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
        it.iItem = (int)i;
        it.pszText = const_cast<char *>(entries_[i].name.c_str());
        it.iImage = entries_[i].folder ? 0 : 1;
        it.lParam = entries_[i].folder ? 1 : 0;
        ::SendMessageA(list, LVM_INSERTITEMA, 0, (LPARAM)&it);
    }
    ::SendMessageA(list, LVM_SETCOLUMNWIDTH, 0, TitleListColumnWidth(entries_.size()));
}

void CTitleFileList::Activate(int index)
{
    if (index < 0 || (size_t)index >= entries_.size()) return;
    const TitleFolderEntry e = entries_[(size_t)index];
    std::string &folder = dlg_.m_strQuickOpenFolder;
    if (e.folder) {
        folder = e.name == ".." ? TitleFolderUp(folder) : TitleFolderInto(folder, e.name);
        Refresh();
        return;
    }
    std::string sep = !folder.empty() && folder.back() == '\\' ? "" : "\\";
    chosenPath = folder + sep + e.name;
    dlg_.PostMessage(WM_TITLE_FILE_CHOSEN, 0, 0);
}

void CTitleFileList::OnFolderButton()
{
    if (dlg_.m_bRemoteMode) return;   /* whatever request runs */
    std::string chosen;
    bool ok;
    if (chooseFolder) {
        ok = chooseFolder(&chosen);
    } else {
        CFolderDialog d(dlg_.m_hWnd);
        d.SetStartFolder(dlg_.m_strQuickOpenFolder);
        ok = d.DoModal();
        chosen = d.GetPath();
    }
    if (!ok || chosen.empty()) return;
    dlg_.m_strQuickOpenFolder = chosen;
    Refresh();
}

void CTitleFileList::OnChosen()
{
    if (!chosenPath.empty()) dlg_.TitleBox().LMOpenDirectly(chosenPath);
}
