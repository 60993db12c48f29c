/*
 * CWm9ProfileEditorDlg (dialog 320, "WM9ProfileEditor"): own Windows Media
 * 9 profiles as ".prx" files of "UserProfiles" beside the program.  Each
 * line of the stream list pairs one audio with one video stream; all lines
 * share one audio codec, one video codec and one language.  Codecs and
 * profile files go through the encoder-profile library (presetry.h); the
 * languages come from the multi-language object.
 */
#ifndef CORV_MIXER_WM9_EDITOR_DLG_H
#define CORV_MIXER_WM9_EDITOR_DLG_H

#include "dialog.h"
#include <functional>
#include <vector>

class CProfileTargetDlg;

struct Wm9StreamEntry {
    int index = 0;
    int audioFormat = 0;
    int width = 320, height = 240;
    int videoBitrate = 0;
    float frameRate = 29.97f;
    int keyFrameSeconds = 8;
    int bufferWindow = 5000;
    int quality = 0;
};

class CWm9ProfileEditorDlg : public cl::CDialog {
public:
    explicit CWm9ProfileEditorDlg(HWND parent = nullptr);

    /* 0 new, 1 the profile "Profile_copy", 2 modify the selected profile,
     * 3 copy it. */
    int m_nMode = -1;
    /* The opener's selected profile name (modes 2 and 3). */
    std::string m_strSelectedName;
    /* The folder holding "UserProfiles" (the program's folder unless set). */
    std::string m_strFolder;
    std::vector<Wm9StreamEntry> m_entries;
    /* The target dialog of Add (tests replace it). */
    std::function<INT_PTR(CProfileTargetDlg &)> runTarget;

    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void ShowTab(int tab);
    /* The ".prx" path of a profile name, empty for a name that would leave
     * "UserProfiles". */
    std::string ProfilePath(const std::string &name) const;

private:
    void FillLists();
    void FillFormats();
    void FillLanguages();
    void Load(const std::string &path);
    void OnAdd();
    void OnUpdate();
    void OnDelete();
    void ShowSelected();
    void Rebuild(int select);
    void EnableRule();
    void ShowPercent();
    int AudioBitrate(int formatLine) const;
    std::string LineText(const Wm9StreamEntry &e) const;
    int Sel(UINT id) const;
    void Box(const char *text);
};

/* The program's folder, without a trailing backslash. */
std::string ProgramFolder();

#endif
