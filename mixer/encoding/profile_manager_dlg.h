/*
 * CProfileManagerDlg (dialog 139, "Profile Manager"): builds a Windows
 * Media profile of one audio stream, any number of video streams and an
 * optional script stream on three tab pages, and saves it through the
 * engine's profile exports (g_encodingEngine).  Modes: 0 a new blank
 * profile, 1 a new profile from the opener's selected profile, 2 that
 * profile modified.
 */
#ifndef CORV_MIXER_PROFILE_MANAGER_DLG_H
#define CORV_MIXER_PROFILE_MANAGER_DLG_H

#include "dialog.h"
#include "stream_entries.h"
#include <functional>

class CProfileTargetDlg;
class CVideoSizeDlg;

/* Enter and Escape close none of the profile dialogs. */
bool IsDialogClosingKey(const MSG *msg);

class CProfileManagerDlg : public cl::CDialog {
public:
    explicit CProfileManagerDlg(HWND parent = nullptr);

    int m_nMode = -1;
    /* The opener's selected profile line (modes 1 and 2). */
    int m_nProfileLine = -1;
    StreamEntries m_entries;
    SizeList m_sizes;

    /* The small dialogs run modally (tests replace them): IDOK or IDCANCEL. */
    std::function<INT_PTR(CProfileTargetDlg &)> runTarget;
    std::function<INT_PTR(CVideoSizeDlg &)> runVideoSize;

    BOOL OnInitDialog() override;
    void OnOK() override;
    BOOL PreTranslateMessage(MSG *msg) override;
    void ShowTab(int tab);

private:
    void FillCodecs();
    void FillAudioFormats(int codec);
    void FillSizes();
    int SelectSize(int width, int height);
    void OnNewStream();
    void OnEditOk();
    void OnRemove();
    void ShowSelected();
    void OnSizeChange();
    void ShowPercent();
    void Rebuild();
    bool SelectedSize(int *width, int *height) const;
    /* The frame-rate edit as a rate the writer can divide by: false (with
     * the message) below 1. */
    bool FrameRateOk(int *fps);
    void Message(const std::string &text);
    std::string Res(UINT id) const;
    int Sel(UINT id) const;
};

#endif
