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
#include "test_paths.h"
#include "profile.h"
#include "wm_settings.h"
#include "app.h"
#include "encoding_ids.h"
#include "profile_dialogs.h"
#include "profile_manager_dlg.h"
#include <functional>

using namespace probe;

namespace {

std::string Clip(const char *name) { return testpaths::ClipPath("MIXER_CLIPS", "/tmp/mixerclips", name); }

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

/* A port nobody listens on now. */
DWORD FreePort()
{
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr *>(&a), sizeof(a));
    int len = sizeof(a);
    getsockname(s, reinterpret_cast<sockaddr *>(&a), &len);
    closesocket(s);
    return ntohs(a.sin_port);
}

/* A tiny publishing point on 127.0.0.1: answers the set-up request with
 * 204 and keeps the body of the stream request. */
struct TestServer {
    SOCKET listener = INVALID_SOCKET;
    DWORD port = 0;
    HANDLE thread = nullptr;
    CRITICAL_SECTION cs;
    std::string stream, setupBody;
    int setups = 0;
    TestServer()
    {
        InitializeCriticalSection(&cs);
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
        listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener, reinterpret_cast<sockaddr *>(&a), sizeof(a));
        listen(listener, 4);
        int len = sizeof(a);
        getsockname(listener, reinterpret_cast<sockaddr *>(&a), &len);
        port = ntohs(a.sin_port);
        thread = CreateThread(nullptr, 0, Serve, this, 0, nullptr);
    }
    ~TestServer()
    {
        closesocket(listener);
        WaitForSingleObject(thread, 10000);
        CloseHandle(thread);
        DeleteCriticalSection(&cs);
    }
    static DWORD WINAPI Serve(void *arg)
    {
        auto *p = static_cast<TestServer *>(arg);
        for (;;) {
            SOCKET s = accept(p->listener, nullptr, nullptr);
            if (s == INVALID_SOCKET) return 0;
            std::string req;
            char buf[65536];
            while (req.find("\r\n\r\n") == std::string::npos) {
                int r = recv(s, buf, sizeof(buf), 0);
                if (r <= 0) break;
                req.append(buf, (size_t)r);
            }
            size_t end = req.find("\r\n\r\n");
            std::string body = end == std::string::npos ? "" : req.substr(end + 4);
            if (req.find("x-wms-pushsetup") != std::string::npos) {
                EnterCriticalSection(&p->cs);
                p->setups++;
                p->setupBody = body;
                LeaveCriticalSection(&p->cs);
                const char ok[] = "HTTP/1.0 204 No Content\r\n\r\n";
                send(s, ok, sizeof(ok) - 1, 0);
                closesocket(s);
                continue;
            }
            for (;;) {
                int r = recv(s, buf, sizeof(buf), 0);
                if (r <= 0) break;
                body.append(buf, (size_t)r);
            }
            closesocket(s);
            EnterCriticalSection(&p->cs);
            p->stream += body;
            LeaveCriticalSection(&p->cs);
        }
    }
};

DWORD WINAPI RunClient(void *arg)
{
    Run(*static_cast<std::string *>(arg));
    return 0;
}

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
    SECTION("Broadcast on the stored port: a real client receives the programme while it is archived")
    {
        OutFile archive("enc_served.wmv"), client("enc_client.asf");
        DWORD port = FreePort();
        profile.WriteString(kWmSection, "ArchivingFileName", archive.dos);
        profile.WriteInt(kWmSection, "Broadcast", 1);
        profile.WriteInt(kWmSection, "Port", (int)port);
        profile.WriteInt(kWmSection, "WM8ProfileIndex", 9);
        remote = 0;
        sel.OnEncoderWm8();
        sel.ApplyWmEncodingSettings();
        REQUIRE(EncoderStart() != 0);
        std::string cmd = "ffmpeg -v error -y -i http://127.0.0.1:" + std::to_string(port) + "/ -t 2 -c copy " +
                          Quote(client.unix);
        HANDLE t = CreateThread(nullptr, 0, RunClient, &cmd, 0, nullptr);
        for (int i = 0; i < 200 && WaitForSingleObject(t, 0) != WAIT_OBJECT_0; ++i) host.Pump(100);
        CHECK(WaitForSingleObject(t, 10000) == WAIT_OBJECT_0);
        CloseHandle(t);
        EncoderStop();
        host.Pump(300);
        Info served = Probe(client.unix);
        CHECK(served.format["format_name"] == "asf");
        CHECK(served.Get("video", "codec_name") == "wmv2");
        CHECK(Probe(archive.unix).format["format_name"] == "asf");
        SetBroadcastPort(0);
    }
    SECTION("Push to the stored server: the publishing point receives the stream of an own profile")
    {
        TestServer server;
        SetWMFVersion(256);
        REQUIRE(CreateNewProfile() == 1);
        REQUIRE(SetProfileName("Push record") == 1);
        REQUIRE(AddAudioStream(0, 7) == 1);
        REQUIRE(AddVideoStream(0, 320, 240, "Video", 15, 4, 75, 400000) == S_OK);
        REQUIRE(SaveProfile() == 1);
        profile.WriteString(kWmSection, "UserProfileName", "Push record");
        profile.WriteInt(kWmSection, "ArchiveToFile", 0);
        profile.WriteInt(kWmSection, "Broadcast", 0);
        profile.WriteInt(kWmSection, "PushToServer", 1);
        profile.WriteString(kWmSection, "PushServer", "127.0.0.1:" + std::to_string(server.port));
        profile.WriteString(kWmSection, "PublishingPoint", "live");
        remote = 0;
        sel.SelectUserProfileEncoder();
        sel.ApplyWmEncodingSettings();
        REQUIRE(EncoderStart() != 0);
        host.Pump(2500);
        EncoderStop();
        host.Pump(300);
        for (int i = 0; i < GetProfileCount(); ++i)
            if (std::string(GetProfileName(i)) == "Push record") DeleteProfile(i);
        Sleep(200);
        EnterCriticalSection(&server.cs);
        std::string stream = server.stream, setup = server.setupBody;
        int setups = server.setups;
        LeaveCriticalSection(&server.cs);
        CHECK(setups == 1);
        CHECK(setup.find("publishing-point=/live") != std::string::npos);
        REQUIRE(stream.size() > 10000);
        OutFile pushed("enc_pushed.asf");
        HANDLE h = CreateFileA(pushed.dos.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD done = 0;
        WriteFile(h, stream.data(), (DWORD)stream.size(), &done, nullptr);
        CloseHandle(h);
        Info info = Probe(pushed.unix);
        CHECK(info.format["format_name"] == "asf");
        CHECK(info.Get("video", "width") == "320");
        CHECK(info.Get("video", "r_frame_rate") == "15/1");
        SetPushServer(nullptr, nullptr, nullptr, 0);
        SetWMFVersion(1);
    }
    SECTION("A profile the profile manager saved records at its size and frame rate, within its bit rate")
    {
        OutFile out("enc_manager.wmv");
        const char kName[] = "Manager record QCIF";
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
            HWND sizes = d.GetDlgItem(IDC_PM_SIZE);
            LRESULT qcif = ::SendMessageA(sizes, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM) "176 x 144 (QCIF)");
            ::SendMessageA(sizes, CB_SETCURSEL, (WPARAM)qcif, 0);
            d.SendMessage(WM_COMMAND, IDC_PM_NEW);
            d.SetDlgItemText(IDC_PM_NAME, kName);
            d.SendMessage(WM_COMMAND, IDOK);
        };
        REQUIRE(dlg.DoModal() == IDOK);
        int n = -1;
        for (int i = 0; i < GetProfileCount() && n < 0; ++i)
            if (std::string(GetProfileName(i)) == kName) n = i;
        REQUIRE(n >= 0);
        /* The engine reads back what the dialog stored. */
        char name[260] = {};
        unsigned fps = 0;
        LONGLONG key = 0;
        int quality = -1, bitrate = 0, w = 0, h = 0;
        REQUIRE(LoadProfile(n, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr) == 2);
        REQUIRE(GetVideoStream(0, name, &fps, &key, &quality, &bitrate, &w, &h));
        CHECK(std::string(name) == "Small picture");
        CHECK((fps == 15 && key == 8 && quality == 0 && bitrate == 250000 && w == 176 && h == 144));
        SetEncoder(ENCODER_WM);
        SetBroadcastPort(0);
        SetProfileIndex(n);
        SetSaveFile(out.dos.c_str());
        REQUIRE(EncoderStart() != 0);
        host.Pump(2500);
        EncoderStop();
        host.Pump(300);
        DeleteProfile(n);
        /* The 320 x 240 programme coded at the profile's 176 x 144. */
        Info info = Probe(out.unix);
        CHECK(info.Get("video", "width") == "176");
        CHECK(info.Get("video", "height") == "144");
        CHECK(info.Get("video", "r_frame_rate") == "15/1");
        /* Under the profile's 250 kbit/s video and 192 kbit/s sound, with room for the container. */
        long total = atol(info.format["bit_rate"].c_str());
        CHECK(total > 0);
        CHECK(total < 250000 + 192000 + 60000);
        SetProfileIndex(9);
        SetSaveFile("");
    }
    MyStop(0);
    SetEncoder(ENCODER_WM);
    for (const auto &t : boxes.texts()) UNSCOPED_INFO("box: " << t);
    profile.DeleteAll();
}
