/*
 * The encoding choice reaching the real writers: settings stored in the
 * application profile are applied through the mixer's steps to the real
 * engine, the programme is recorded and the file read back with ffprobe.
 */
#define NOMINMAX
#include <winsock2.h>
#include <catch2/catch.hpp>
#include <windows.h>
#include "corvengine.h"
#include "encoder_choice.h"
#include "media_probe.h"
#include "msgbox_capture.h"
#include "profile.h"
#include "wm_settings.h"
#include "app.h"
#include "encoding_ids.h"
#include "profile_dialogs.h"
#include "profile_manager_dlg.h"
#include <functional>

using namespace probe;

namespace {

std::string Clip(const char *name)
{
    const char *d = getenv("MIXER_CLIPS");
    std::string dos = "Z:" + std::string(d && *d ? d : "/tmp/mixerclips") + "/" + name;
    for (auto &c : dos)
        if (c == '/') c = '\\';
    return dos;
}

/* A hidden host window and channel window, the engine started on them and
 * channel 1 playing on the programme. */
struct Host {
    HWND host = nullptr, channel = nullptr;
    Host()
    {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "EncRecordHost";
        RegisterClassA(&wc);
        host = CreateWindowA("EncRecordHost", "host", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                             nullptr, nullptr);
        channel = CreateWindowA("EncRecordHost", "ch", WS_OVERLAPPEDWINDOW, 0, 0, 160, 120, nullptr, nullptr,
                                nullptr, nullptr);
        SetVideoSurfaceSize(320, 240);
        InitEngine(host);
        SetPrevVideoWnd(0, channel);
    }
    ~Host()
    {
        ReleaseEngine();
        DestroyWindow(channel);
        DestroyWindow(host);
    }
    void Pump(DWORD ms)
    {
        DWORD end = GetTickCount() + ms;
        while ((LONG)(end - GetTickCount()) > 0) {
            MSG m;
            while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
                if (m.hwnd == host && m.message == 1037) HandleEvent((int)m.lParam);
                TranslateMessage(&m);
                DispatchMessageA(&m);
            }
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
    }
};

cl::CWinApp theApp("EncodingTest");

/* The profile manager with a script that runs once it is up. */
struct ScriptedManager : CProfileManagerDlg {
    std::function<void(ScriptedManager &)> script;
    ScriptedManager()
    {
        handlers.Message(WM_APP + 43, [this](WPARAM, LPARAM) {
            auto step = std::move(script);
            script = nullptr;
            if (step) step(*this);
            return 0;
        });
    }
    BOOL OnInitDialog() override
    {
        CProfileManagerDlg::OnInitDialog();
        PostMessage(WM_APP + 43);
        return TRUE;
    }
};

struct OutFile {
    std::string dos, unix;
    explicit OutFile(const char *name)
    {
        char dir[MAX_PATH];
        GetTempPathA(MAX_PATH, dir);
        dos = std::string(dir) + name;
        DeleteFileA(dos.c_str());
        WCHAR w[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, dos.c_str(), -1, w, MAX_PATH);
        unix = UnixPath(w);
    }
    ~OutFile() { DeleteFileA(dos.c_str()); }
};

} // namespace

TEST_CASE("Stored FLV and Windows Media settings reach the writers and the files say so", "[record]")
{
    MsgBoxCapture boxes;
    cl::CProfile profile("Software\\Halvard\\CorvaneEncodingRecordTest");
    profile.DeleteAll();
    Host host;
    std::string clip = Clip("channel1.avi");
    REQUIRE(OpenSource(0, clip.c_str(), clip.c_str()));
    REQUIRE(SelectChannel(0));
    MyPlay(0);
    host.Pump(500);

    int kind = 1, version = 1, remote = 1;   /* remote: the stored settings, no dialog */
    EncoderSelection sel(kind, version, remote);
    sel.profile = &profile;

    SECTION("FLV at the stored size, rates and format")
    {
        OutFile out("enc_record.flv");
        profile.WriteInt(kFlvSection, "VideoWidth", 160);
        profile.WriteInt(kFlvSection, "VideoHeight", 120);
        profile.WriteInt(kFlvSection, "AudioSampleRate", 44100);
        profile.WriteInt(kFlvSection, "AudioBitrate", 64);
        profile.WriteString(kFlvSection, "FrameRate", "25.0");
        profile.WriteString(kFlvSection, "ArchivingFileName", out.dos);
        sel.OnEncoderFlv();
        sel.ApplyFlvSettings();
        REQUIRE(EncoderStart() != 0);
        host.Pump(2500);
        EncoderStop();
        Info info = Probe(out.unix);
        CHECK(info.format["format_name"] == "flv");
        CHECK(info.Get("video", "width") == "160");
        CHECK(info.Get("video", "height") == "120");
        CHECK(info.Get("audio", "sample_rate") == "44100");
        CHECK(info.Get("audio", "bit_rate") == "64000");
    }
    SECTION("Windows Media where the settings say, with its title")
    {
        OutFile out("enc_record.wmv");
        profile.WriteString(kWmSection, "ArchivingFileName", out.dos);
        profile.WriteString(kWmSection, "Title", "Evening show");
        /* The line the options dialog offers first. */
        profile.WriteInt(kWmSection, "WM8ProfileIndex", 9);
        remote = 0;
        sel.OnEncoderWm8();
        sel.ApplyWmEncodingSettings();
        int started = EncoderStart();
        for (int i = 0; i < GetProfileCount(); ++i) UNSCOPED_INFO("profile " << i << " " << GetProfileName(i));
        for (const auto &t : boxes.texts()) UNSCOPED_INFO("box: " << t);
        REQUIRE(started != 0);
        host.Pump(2500);
        EncoderStop();
        host.Pump(500);
        Info info = Probe(out.unix);
        CHECK(info.format["format_name"] == "asf");
        CHECK(info.Count("video") == 1);
        CHECK(Run("ffprobe -v error -show_entries format_tags=title -of default=nw=1:nk=1 " + Quote(out.unix))
                  .find("Evening show") != std::string::npos);
    }
    SECTION("A profile the profile manager saved records at its size, frame rate and bit rate")
    {
        OutFile out("enc_manager.wmv");
        const char kName[] = "Manager record 176";
        SetWMFVersion(1);
        ScriptedManager dlg;
        dlg.m_nMode = 0;
        dlg.runTarget = [](CProfileTargetDlg &t) {
            t.m_strTargetName = "Small picture";
            t.m_nMaxBitrate = 250000;
            return (INT_PTR)IDOK;
        };
        dlg.script = [&](ScriptedManager &d) {
            d.SetDlgItemText(IDC_PM_FPS, "15");
            ::SendMessageA(d.GetDlgItem(IDC_PM_SIZE), CB_SETCURSEL, 1, 0);    /* "176 x 144 (QCIF)" */
            d.SendMessage(WM_COMMAND, IDC_PM_NEW);
            d.SetDlgItemText(IDC_PM_NAME, kName);
            d.SendMessage(WM_COMMAND, IDOK);
        };
        REQUIRE(dlg.DoModal() == IDOK);
        int n = -1;
        for (int i = 0; i < GetProfileCount() && n < 0; ++i)
            if (std::string(GetProfileName(i)) == kName) n = i;
        REQUIRE(n >= 0);
        SetEncoder(ENCODER_WM);
        SetBroadcastPort(0);
        SetProfileIndex(n);
        SetSaveFile(out.dos.c_str());
        REQUIRE(EncoderStart() != 0);
        host.Pump(2500);
        EncoderStop();
        host.Pump(300);
        DeleteProfile(n);
        Info info = Probe(out.unix);
        CHECK(info.Get("video", "width") == "176");
        CHECK(info.Get("video", "height") == "144");
        CHECK(info.Get("video", "r_frame_rate") == "15/1");
        /* The stream's declared bit rate is the one typed as the maximum. */
        CHECK(Run("ffprobe -v error -select_streams v -show_entries stream=bit_rate -of default=nw=1:nk=1 " +
                  Quote(out.unix)).find("250000") != std::string::npos);
        SetProfileIndex(9);
        SetSaveFile("");
    }
    MyStop(0);
    SetEncoder(ENCODER_WM);
    for (const auto &t : boxes.texts()) UNSCOPED_INFO("box: " << t);
    profile.DeleteAll();
}
