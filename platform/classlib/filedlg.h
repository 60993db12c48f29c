/*
 * Common dialog wrappers: file open/save with the '|'-separated filter
 * syntax ("Text (*.txt)|*.txt|All|*.*||"), and the colour chooser.  The
 * folder browser lives with the skinned controls (mixer/controls).
 */
#ifndef CORV_CLASSLIB_FILEDLG_H
#define CORV_CLASSLIB_FILEDLG_H

#include <windows.h>
#include <commdlg.h>
#include <string>
#include <vector>

namespace cl {

/* "A|a|B|b||" -> "A\0a\0B\0b\0\0" (as a string holding the NULs); an empty
 * filter gives an empty string.  A trailing part without its pattern is
 * dropped. */
std::string ConvertFilter(const std::string &filter);
/* The (description, pattern) pairs of a filter, for checks. */
std::vector<std::pair<std::string, std::string>> FilterPairs(const std::string &filter);

class CFileDialog {
public:
    /* flags: OFN_* added to OFN_HIDEREADONLY | OFN_EXPLORER (and
     * OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST for open).  Multiple selection
     * only when OFN_ALLOWMULTISELECT is given. */
    CFileDialog(bool open, const char *defExt = nullptr, const char *fileName = nullptr, DWORD flags = 0,
                const char *filter = nullptr, HWND owner = nullptr);
    void SetTitle(const std::string &t) { title_ = t; }
    void SetInitialDir(const std::string &d) { initialDir_ = d; }
    INT_PTR DoModal();                   /* IDOK or IDCANCEL */
    std::string GetPathName() const { return path_; }
    /* Every chosen file (one unless multiple selection was asked). */
    std::vector<std::string> GetPathNames() const { return paths_; }
    /* The record DoModal hands to the system (for checks). */
    const OPENFILENAMEA &Ofn();

private:
    bool open_;
    std::string defExt_, filter_, title_, initialDir_, path_;
    std::vector<std::string> paths_;
    std::vector<char> buffer_;
    OPENFILENAMEA ofn_ = {};
};

class CColorDialog {
public:
    explicit CColorDialog(COLORREF initial = 0, HWND owner = nullptr) : color_(initial), owner_(owner) {}
    INT_PTR DoModal();
    COLORREF GetColor() const { return color_; }

private:
    COLORREF color_;
    HWND owner_;
    COLORREF custom_[16] = {};
};

} // namespace cl

#endif
