/*
 * The encoding dialogs on a real (virtual) display: each is driven through
 * its controls inside its own modal loop, and photographed into the
 * artefacts folder.  Message boxes are read and closed by the capture hook
 * (the one that tells the library's own dialogs apart).
 */
#include <catch2/catch.hpp>
#include "app.h"
#include "encoder_choice.h"
#include "encoding_ids.h"
#include "flv_dialog.h"
#include "profile_dialogs.h"
#include "dialog_script.h"
#include <cstring>
#include <functional>

namespace {
cl::CWinApp theApp("EncodingTest");
constexpr UINT WM_SCRIPT = WM_APP + 40;

/* Any dialog with a script that runs once it is up, then step by step. */
template <class D> struct Scripted : ScriptedDialog<Scripted<D>, D, WM_SCRIPT> {
    template <class... A> explicit Scripted(A... args) : ScriptedDialog<Scripted<D>, D, WM_SCRIPT>(args...) {}
};

/* The FLV dialog with a script that runs once it is up. */
struct ScriptedFlvDlg : ScriptedDialog<ScriptedFlvDlg, CFlvSettingDlg, WM_SCRIPT> {
    ScriptedFlvDlg(const FlvSettings &s) : ScriptedDialog(s, nullptr) {}
};

FlvSettings Defaults()
{
    FlvSettings s;
    memset(&s, 0x5A, sizeof(s));
    s.Format = 0;
    SetFlvFileName(&s, "C:\\output.flv");
    s.VideoWidth = 320; s.VideoHeight = 240; s.VideoBitrate = 256; s.FrameRate = 30.0;
    s.AudioSampleRate = 22050; s.AudioChannel = 2; s.AudioBits = 16; s.AudioBitrate = 64; s.RWShared = 5;
    return s;
}

/* Paints a dialog and its controls now, keeps its picture and checks that
 * something was drawn (the face colour). */

} // namespace

TEST_CASE("FLV dialog shows the record, refuses bad numbers and returns the edited record", "[flvdlg]")
{
    BoxCapture boxes;
    FlvSettings in = Defaults();
    in.AudioChannel = 1;   /* the dialog always answers 2 channels of 16 bits */
    in.AudioBits = 8;
    ScriptedFlvDlg dlg(in);
    std::vector<std::string> browsed;
    dlg.chooseFile = [&](const char *title, const char *filter, const char *ext, std::string *path) {
        browsed = {title, filter, ext};
        *path = "C:\\shows\\tonight.flv";
        return true;
    };
    dlg.script = [&](ScriptedFlvDlg &d) {
        CHECK(d.GetWindowText() == "FLV Encoding Setting");
        CHECK(d.GetDlgItemText(IDC_FLV_FORMAT) == "FLV (Flash Video)");
        CHECK(d.GetDlgItemText(IDC_FLV_DESTINATION) == "C:\\output.flv");
        CHECK(d.GetDlgItemText(IDC_FLV_WIDTH) == "320");
        CHECK(d.GetDlgItemText(IDC_FLV_HEIGHT) == "240");
        CHECK(d.GetDlgItemText(IDC_FLV_VIDEO_BITRATE) == "256");
        CHECK(d.GetDlgItemText(IDC_FLV_SAMPLE_RATE) == "22050");
        CHECK(d.GetDlgItemText(IDC_FLV_AUDIO_BITRATE) == "64");
        CHECK(SendMessageA(d.GetDlgItem(IDC_FLV_FORMAT), CB_GETCOUNT, 0, 0) == 0);
        Photograph(d.m_hWnd, "flv_settings.bmp", 4);
        /* Browse puts the chosen path into the destination. */
        d.SendMessage(WM_COMMAND, IDC_FLV_BROWSE);
        CHECK(d.GetDlgItemText(IDC_FLV_DESTINATION) == "C:\\shows\\tonight.flv");
        /* Refused in turn: a width that is no integer, frame rates outside 1..60 or no number. */
        d.SetDlgItemText(IDC_FLV_WIDTH, "wide");
        d.SendMessage(WM_COMMAND, IDOK);
        d.Then([](ScriptedFlvDlg &d) {
            d.SetDlgItemText(IDC_FLV_WIDTH, "640");
            d.SetDlgItemText(IDC_FLV_FRAME_RATE, "0.5");
            d.SendMessage(WM_COMMAND, IDOK);
            d.Then([](ScriptedFlvDlg &d) {
                d.SetDlgItemText(IDC_FLV_FRAME_RATE, "61");
                d.SendMessage(WM_COMMAND, IDOK);
                d.Then([](ScriptedFlvDlg &d) {
                    d.SetDlgItemText(IDC_FLV_FRAME_RATE, "fast");
                    d.SendMessage(WM_COMMAND, IDOK);
                    d.Then([](ScriptedFlvDlg &d) {
                        d.SetDlgItemText(IDC_FLV_FRAME_RATE, "29.97");
                        d.SetDlgItemText(IDC_FLV_HEIGHT, "480");
                        d.SetDlgItemText(IDC_FLV_VIDEO_BITRATE, "800");
                        d.SetDlgItemText(IDC_FLV_SAMPLE_RATE, "44100");
                        d.SetDlgItemText(IDC_FLV_AUDIO_BITRATE, "lots");
                        d.SetDlgItemText(IDC_FLV_FORMAT, "SWF (ShockWave Flash)");
                        d.SendMessage(WM_COMMAND, IDOK);
                    });
                });
            });
        });
    };
    REQUIRE(dlg.DoModal() == IDOK);
    CHECK(browsed == std::vector<std::string>{"Save FLV File", "FLV Files(*.flv)|*.flv;|All Files(*.*)|*.*;||", "*.flv"});
    std::vector<std::string> texts;
    for (auto &b : boxes.boxes()) texts.push_back(b.text);
    CHECK(texts == std::vector<std::string>{"Please enter an integer.", "Please enter a number between 1 and 60.",
                                            "Please enter a number between 1 and 60.", "Please enter a number."});
    const FlvSettings &r = dlg.m_result;
    CHECK(r.Format == 1);
    CHECK(std::string(r.ArchivingFileName) == "C:\\shows\\tonight.flv");
    CHECK(r.VideoWidth == 640);
    CHECK(r.VideoHeight == 480);
    CHECK(r.VideoBitrate == 800);
    CHECK(r.FrameRate == Approx(29.97).epsilon(1e-6));
    CHECK(FlvFrameRateText(r.FrameRate) == "30.0");
    CHECK(r.AudioSampleRate == 44100);
    CHECK(r.AudioBitrate == 0);    /* not a number */
    CHECK(r.AudioChannel == 2);
    CHECK(r.AudioBits == 16);
    CHECK(r.RWShared == 5);
    const unsigned char *tail = (const unsigned char *)&r + 556;
    CHECK((tail[0] == 0x5A && tail[3] == 0x5A));
}

TEST_CASE("FLV dialog: SWF shown for a non-zero format, Cancel keeps the record, any other text is SWF", "[flvdlg]")
{
    BoxCapture boxes;
    FlvSettings in = Defaults();
    in.Format = 1;
    {
        ScriptedFlvDlg dlg(in);
        dlg.script = [](ScriptedFlvDlg &d) {
            CHECK(d.GetDlgItemText(IDC_FLV_FORMAT) == "SWF (ShockWave Flash)");
            d.SetDlgItemText(IDC_FLV_WIDTH, "1");
            d.SendMessage(WM_CLOSE);
        };
        CHECK(dlg.DoModal() == IDCANCEL);
        CHECK(memcmp(&dlg.m_result, &in, sizeof(in)) == 0);
    }
    in.Format = 0;
    ScriptedFlvDlg dlg(in);
    dlg.script = [](ScriptedFlvDlg &d) {
        d.SetDlgItemText(IDC_FLV_FORMAT, "flv (flash video)");
        d.SendMessage(WM_COMMAND, IDOK);
    };
    CHECK(dlg.DoModal() == IDOK);
    CHECK(dlg.m_result.Format == 1);
    CHECK(boxes.boxes().empty());
}

TEST_CASE("Target dialog: name and bit rate checks, the name locked when not editable", "[profiledlg]")
{
    BoxCapture boxes;
    Scripted<CProfileTargetDlg> dlg;
    dlg.m_bNameEditable = 1;
    dlg.script = [](Scripted<CProfileTargetDlg> &d) {
        CHECK(d.GetWindowText() == "Profile Manager - Target");
        CHECK(d.GetDlgItemText(IDC_TARGET_BITRATE) == "0");
        RECT r = d.GetWindowRect();
        CHECK(r.right - r.left == 300);
        CHECK(r.bottom - r.top == 190);
        Photograph(d.m_hWnd, "profile_target.bmp", 4);
        d.SetDlgItemText(IDC_TARGET_BITRATE, "300000");
        d.SendMessage(WM_COMMAND, IDOK);                 /* no name */
        d.Then([](Scripted<CProfileTargetDlg> &d) {
            d.SetDlgItemText(IDC_TARGET_NAME, "Broadband");
            d.SetDlgItemText(IDC_TARGET_BITRATE, "fast");
            d.SendMessage(WM_COMMAND, IDOK);             /* no number */
            d.Then([](Scripted<CProfileTargetDlg> &d) {
                d.SetDlgItemText(IDC_TARGET_BITRATE, "-5");
                d.SendMessage(WM_COMMAND, IDOK);
                d.Then([](Scripted<CProfileTargetDlg> &d) {
                    d.SetDlgItemText(IDC_TARGET_BITRATE, "300000bps");
                    d.SendMessage(WM_COMMAND, IDOK);
                });
            });
        });
    };
    REQUIRE(dlg.DoModal() == IDOK);
    CHECK(boxes.texts() == std::vector<std::string>{"Target Name is Empty!", "Max Bitrate must be greater than 0",
                                                    "Max Bitrate must be greater than 0"});
    for (auto &b : boxes.boxes()) CHECK(b.caption == "EncodingTest");
    CHECK(dlg.m_strTargetName == "Broadband");
    CHECK(dlg.m_nMaxBitrate == 300000);

    Scripted<CProfileTargetDlg> locked;
    locked.m_strTargetName = "Kept";
    locked.m_nMaxBitrate = 128000;
    locked.script = [](Scripted<CProfileTargetDlg> &d) {
        CHECK_FALSE(IsWindowEnabled(d.GetDlgItem(IDC_TARGET_NAME)));
        CHECK(d.GetDlgItemText(IDC_TARGET_NAME) == "Kept");
        CHECK(d.GetDlgItemText(IDC_TARGET_BITRATE) == "128000");
        d.SendMessage(WM_COMMAND, IDOK);
    };
    CHECK(locked.DoModal() == IDOK);
    CHECK(locked.m_nMaxBitrate == 128000);
}

TEST_CASE("Video size dialog: sides of at least 1, a refused size resets the fields to 320 x 240", "[profiledlg]")
{
    BoxCapture boxes;
    Scripted<CVideoSizeDlg> dlg;
    dlg.script = [](Scripted<CVideoSizeDlg> &d) {
        CHECK(d.GetWindowText() == "Video Size");
        RECT r = d.GetWindowRect();
        CHECK(r.right - r.left == 250);
        CHECK(r.bottom - r.top == 150);
        Photograph(d.m_hWnd, "video_size.bmp", 4);
        d.SetDlgItemText(IDC_SIZE_WIDTH, "0");
        d.SetDlgItemText(IDC_SIZE_HEIGHT, "600");
        d.SendMessage(WM_COMMAND, IDOK);
        d.Then([](Scripted<CVideoSizeDlg> &d) {
            CHECK(d.GetDlgItemText(IDC_SIZE_WIDTH) == "320");
            CHECK(d.GetDlgItemText(IDC_SIZE_HEIGHT) == "240");
            d.SetDlgItemText(IDC_SIZE_WIDTH, "800");
            d.SetDlgItemText(IDC_SIZE_HEIGHT, "wide");
            d.SendMessage(WM_COMMAND, IDOK);
            d.Then([](Scripted<CVideoSizeDlg> &d) {
                d.SetDlgItemText(IDC_SIZE_WIDTH, "800");
                d.SetDlgItemText(IDC_SIZE_HEIGHT, "600");
                d.SendMessage(WM_COMMAND, IDOK);
            });
        });
    };
    REQUIRE(dlg.DoModal() == IDOK);
    CHECK(boxes.texts() == std::vector<std::string>{"Please type valid video Size.", "Please type valid video Size."});
    CHECK(dlg.m_nWidth == 800);
    CHECK(dlg.m_nHeight == 600);

    Scripted<CVideoSizeDlg> cancelled;
    cancelled.script = [](Scripted<CVideoSizeDlg> &d) {
        d.SetDlgItemText(IDC_SIZE_WIDTH, "640");
        d.SendMessage(WM_COMMAND, IDCANCEL);
    };
    CHECK(cancelled.DoModal() == IDCANCEL);
    CHECK(cancelled.m_nWidth == 0);
}
