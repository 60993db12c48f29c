#include "flv_dialog.h"
#include "encoding_ids.h"
#include "filedlg.h"
#include <cstdlib>
#include <cstring>

namespace {
const char kFlvFilter[] = "FLV Files(*.flv)|*.flv;|All Files(*.*)|*.*;||";

int DecimalValue(const std::string &text)
{
    int v = 0;
    return cl::ParseInt(text, &v) ? v : 0;
}
} // namespace

CFlvSettingDlg::CFlvSettingDlg(const FlvSettings &s, HWND parent) : CDialog(IDD_FLV_SETTINGS, parent), m_result(s)
{
    m_strFormat = s.Format != 0 ? kSwfFormatName : kFlvFormatName;
    m_nHeight = s.VideoHeight;
    m_nVideoBitrate = s.VideoBitrate;
    m_nWidth = s.VideoWidth;
    m_strDestination.assign(s.ArchivingFileName, strnlen(s.ArchivingFileName, sizeof(s.ArchivingFileName)));
    m_fFrameRate = (float)s.FrameRate;
    m_strAudioBitrate = std::to_string(s.AudioBitrate);
    m_strSampleRate = std::to_string(s.AudioSampleRate);
    m_nRWShared = s.RWShared;
    handlers.Command(IDC_FLV_BROWSE, [this] { OnBrowse(); });
}

void CFlvSettingDlg::DoDataExchange(cl::CDataExchange *dx)
{
    cl::DDX_Text(dx, IDC_FLV_FORMAT, m_strFormat);
    cl::DDX_Text(dx, IDC_FLV_AUDIO_BITRATE, m_strAudioBitrate);
    cl::DDX_Text(dx, IDC_FLV_SAMPLE_RATE, m_strSampleRate);
    cl::DDX_Text(dx, IDC_FLV_HEIGHT, m_nHeight);
    cl::DDX_Text(dx, IDC_FLV_VIDEO_BITRATE, m_nVideoBitrate);
    cl::DDX_Text(dx, IDC_FLV_FRAME_RATE, m_fFrameRate);
    cl::DDV_MinMaxFloat(dx, m_fFrameRate, 1.0, 60.0);
    cl::DDX_Text(dx, IDC_FLV_WIDTH, m_nWidth);
    cl::DDX_Text(dx, IDC_FLV_DESTINATION, m_strDestination);
}

void CFlvSettingDlg::OnOK()
{
    if (!UpdateData(TRUE)) return;
    m_result.Format = m_strFormat == kFlvFormatName ? 0 : 1;
    SetFlvFileName(&m_result, m_strDestination);
    m_result.VideoWidth = m_nWidth;
    m_result.VideoHeight = m_nHeight;
    m_result.VideoBitrate = m_nVideoBitrate;
    m_result.FrameRate = m_fFrameRate;
    m_result.AudioChannel = 2;
    m_result.AudioBits = 16;
    m_result.AudioBitrate = DecimalValue(m_strAudioBitrate);
    m_result.AudioSampleRate = DecimalValue(m_strSampleRate);
    m_result.RWShared = m_nRWShared;
    EndDialog(IDOK);
}

void CFlvSettingDlg::OnBrowse()
{
    std::string path;
    bool ok;
    if (chooseFile) {
        ok = chooseFile("Save FLV File", kFlvFilter, "*.flv", &path);
    } else {
        cl::CFileDialog fd(false, "*.flv", nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, kFlvFilter, m_hWnd);
        fd.SetTitle("Save FLV File");
        ok = fd.DoModal() == IDOK;
        if (ok) path = fd.GetPathName();
    }
    if (ok) SetDlgItemText(IDC_FLV_DESTINATION, path);
}
