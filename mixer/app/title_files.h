/*
 * The title file list of the main window (list view 1100): the quick-open
 * folder's subfolders and title files (".lmf"), navigation by double click
 * or Enter, and the chosen title file opened in the title-box control.
 *
 * ListTitleFolder and the folder steps are plain functions over the file
 * system; CTitleFileList binds them to the list view, the folder field and
 * the folder button.
 */
#ifndef CORV_MIXER_TITLE_FILES_H
#define CORV_MIXER_TITLE_FILES_H

#include "wnd.h"
#include <functional>
#include <string>
#include <vector>

class CMixerDlg;

/* Posted by the list when a title file was chosen (lParam 0). */
constexpr UINT WM_TITLE_FILE_CHOSEN = 0x4400;

struct TitleFolderEntry {
    std::string name;
    bool folder;   /* item data 1; a title file has 0 */
};

/* The entries of folder in list order: first the folders (".." kept, "."
 * left out), then the title files.  An entry is a folder by its directory
 * bit, whatever its other attributes; a title file is any other entry whose
 * extension is ".lmf" in any case. */
std::vector<TitleFolderEntry> ListTitleFolder(const std::string &folder);
/* The folder above folder ("C:\a\b" -> "C:\a", "C:\a" -> "C:\"). */
std::string TitleFolderUp(const std::string &folder);
/* folder + "\" + name ("C:\" + "a" -> "C:\a"). */
std::string TitleFolderInto(const std::string &folder, const std::string &name);
/* The column width for a list of count entries (280 with a scroll bar). */
inline int TitleListColumnWidth(size_t count) { return count > 9 ? 280 : 296; }

class CTitleFileList {
public:
    explicit CTitleFileList(CMixerDlg &dlg) : dlg_(dlg) {}

    /* The last chosen title file ("%s\%s" of folder and name). */
    std::string chosenPath;
    /* Test seam: the folder dialog (false: cancelled). */
    std::function<bool(std::string *folder)> chooseFolder;

    void Bind(cl::HandlerTable &h);
    /* Empties the list and fills it from the quick-open folder. */
    void Refresh();
    /* Double click or Enter on entry index. */
    void Activate(int index);
    /* The folder button. */
    void OnFolderButton();
    /* 0x4400: the chosen file into the title-box control. */
    void OnChosen();

    std::vector<TitleFolderEntry> Entries() const { return entries_; }

private:
    HWND List() const;
    CMixerDlg &dlg_;
    std::vector<TitleFolderEntry> entries_;
};

#endif
