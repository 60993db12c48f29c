/*
 * CFlvSettingDlg (dialog 373, "FLV Encoding Setting"): the FLV writer's
 * format, destination file, picture size, video bit rate, frame rate, sample
 * rate and audio bit rate.  Built from a copy of a settings record; after a
 * modal OK the whole result record is in m_result.
 */
#ifndef CORV_MIXER_FLV_DIALOG_H
#define CORV_MIXER_FLV_DIALOG_H

#include "dialog.h"
#include "flv_settings.h"
#include <functional>

class CFlvSettingDlg : public cl::CDialog {
public:
    CFlvSettingDlg(const FlvSettings &settings, HWND parent);

    std::string m_strFormat, m_strAudioBitrate, m_strSampleRate, m_strDestination;
    int m_nHeight = 0, m_nVideoBitrate = 0, m_nWidth = 0, m_nRWShared = 0;
    float m_fFrameRate = 0;
    FlvSettings m_result;

    /* Chooses the file to save (title, filter, default extension); false
     * when cancelled.  Empty: the system's save dialog. */
    std::function<bool(const char *title, const char *filter, const char *defExt, std::string *path)> chooseFile;

    void DoDataExchange(cl::CDataExchange *dx) override;
    void OnOK() override;
    void OnBrowse();
};

#endif
