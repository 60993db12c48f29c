/*
 * The clip preview: an open-file dialog for CG clips and CG titles whose
 * extra template (dialog 202) adds a preview pane and a "Preview" check
 * box; the pane shows a still of the file under the cursor.
 */
#pragma once
#include <windows.h>
#include <commdlg.h>

#include <memory>
#include <string>
#include <vector>

#include "cga_clip.h"

namespace lumicard {

enum PreviewIds { IDD_PREVIEW_FILE = 202, IDC_PREVIEW_PANE = 202, IDC_PREVIEW_CHECK = 201, IDC_PREVIEW_PLACE = 1119 };

// A static control that owns one clip and draws its still picture, or the
// two diagonals when it holds none.
class ClipPreviewPane {
public:
    void Attach(HWND pane) { wnd_ = pane; }
    HWND Window() const { return wnd_; }
    // The size the still is laid out in (the control's output size).
    void SetOutputSize(int w, int h);
    // ".qcg" titles and ".cga" clips by the extension in capitals; others
    // leave the pane as it is (TRUE).  FALSE for an empty path or a file
    // that does not load (the pane then shows the diagonals).
    BOOL ShowFile(const char *path);
    // Forgets the clip and draws the diagonals.
    void Empty();
    bool HasPicture() const { return loaded_; }
    void Clear();  // white inside a 1-pixel margin
    void Draw();

private:
    void Clear(HDC dc, const RECT &client);
    HWND wnd_ = nullptr;
    std::unique_ptr<titlebox::CgAnimationClip> clip_;
    bool loaded_ = false;
    int outW_ = 640, outH_ = 480;
};

class CPreviewFileDlg {
public:
    // As the platform's file dialog; the explorer style and the template
    // are added to the caller's flags.  The filter uses '|' separators.
    CPreviewFileDlg(bool open, const char *defExt, const char *fileName, DWORD flags, const char *filter,
                    HWND parent);
    void SetInitialDir(const std::string &dir) { initialDir_ = dir; }
    INT_PTR DoModal();
    std::string GetPathName() const { return file_.data(); }

    ClipPreviewPane pane;
    bool preview = true;

private:
    static UINT_PTR CALLBACK Hook(HWND dlg, UINT msg, WPARAM wp, LPARAM lp);
    std::string SelectedPath(HWND dlg) const;

    bool open_;
    std::string defExt_, filter_, initialDir_;
    std::vector<char> file_;
    DWORD flags_;
    HWND parent_;
};

}  // namespace lumicard
