/*
 * The profile manager's two small dialogs: CProfileTargetDlg (135, name and
 * maximum bit rate of one video stream) and CVideoSizeDlg (141, a frame
 * size of the operator's own).  Both are laid out in pixels when they open.
 */
#ifndef CORV_MIXER_PROFILE_DIALOGS_H
#define CORV_MIXER_PROFILE_DIALOGS_H

#include "dialog.h"

class CProfileTargetDlg : public cl::CDialog {
public:
    explicit CProfileTargetDlg(HWND parent = nullptr);
    std::string m_strTargetName;
    INT32 m_nMaxBitrate = 0;
    INT32 m_bNameEditable = 0;
    BOOL OnInitDialog() override;
    void OnOK() override;
    BOOL PreTranslateMessage(MSG *msg) override;
};

class CVideoSizeDlg : public cl::CDialog {
public:
    explicit CVideoSizeDlg(HWND parent = nullptr);
    INT32 m_nHeight = 0, m_nWidth = 0;
    BOOL OnInitDialog() override;
    void OnOK() override;
    BOOL PreTranslateMessage(MSG *msg) override;
};

/* The decimal value at the start of a text (0 when there is none). */
long DecimalOf(const std::string &text);

#endif
