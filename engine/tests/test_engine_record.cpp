/*
 * Recording the programme: the engine's encoders driven through the
 * exports over real channel graphs, the files checked with the ffprobe and
 * ffmpeg tools.
 */
#define NOMINMAX
#include <winsock2.h>
#include <catch2/catch.hpp>
#include <windows.h>
#include <cmath>
#include <string>
#include <vector>
#include "msgbox_capture.h"
#include "test_paths.h"
#include "engine_host.h"
#include "corvengine.h"
#include "engine.h"
#include "clock.h"
#include "writers.h"
#include "media_probe.h"
#include "combiner.h"

using namespace probe;

namespace {

std::string clip(const char *name) { return testpaths::ClipPath("RECORD_CLIPS", "/tmp/recordclips", name); }

/* A recording's Windows and host paths. */
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
    ~OutFile() { if (!getenv("KEEP_MEDIA")) DeleteFileA(dos.c_str()); }
};

/* A port nobody listens on now (bound and let go), and a socket that
 * holds one. */
SOCKET HoldPort(DWORD *port)
{
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    bind(s, reinterpret_cast<sockaddr *>(&a), sizeof(a));
    listen(s, 1);
    int len = sizeof(a);
    getsockname(s, reinterpret_cast<sockaddr *>(&a), &len);
    *port = ntohs(a.sin_port);
    return s;
}

DWORD WINAPI RunCommand(void *arg)
{
    probe::Run(*static_cast<std::string *>(arg));
    return 0;
}

const unsigned kChannelColour[5] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF};

/* A title export file of one opaque white 80 x 60 picture at (8, 8), as
 * the title-box control writes it, in the programme title's place. */
void WriteWhiteTitle()
{
    std::vector<INT32> words = {4737, 1, 80 * 60 * 4, 0x5A5A5A5A,
                                1, 80, 60, 0, 8, 8, 8, 8, 0, 0, 0, 0, 80 * 60 * 4};
    words.insert(words.end(), 80 * 60, (INT32)0xFFFFFFFF);
    char path[MAX_PATH];
    CDXSurfCombiner::TitlePath(COMBINER_PROGRAMME, path, sizeof(path));
    HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD done = 0;
    WriteFile(h, words.data(), (DWORD)(words.size() * 4), &done, nullptr);
    CloseHandle(h);
}

int FindTransition(const char *name)
{
    for (int i = 0; i < GetTransEffectNumbers(); i++) {
        const char *n = GetTransEffectName(i);
        if (n && !lstrcmpiA(n, name)) return i;
    }
    return 0;
}

} // namespace

TEST_CASE("Five channels recorded to a WMV file: codecs, size, frame rate, length, pictures and sound", "[record][wm]")
{
    EngineHost host;
    MsgBoxCapture boxes;
    for (int ch = 0; ch < 5; ch++) {
        std::string f = clip(("ch" + std::to_string(ch) + ".avi").c_str());
        BOOL opened = OpenSource(ch, f.c_str(), f.c_str());
        for (const auto &t : boxes.texts()) UNSCOPED_INFO("box: " << t);
        REQUIRE(opened);
    }
    REQUIRE(SelectChannel(0));
    MyPlay(0);
    host.Pump(500);

    OutFile out("record_five.wmv");
    SetEncoder(ENCODER_WM);
    SetSaveFile(out.dos.c_str());
    SetBroadcastPort(0);
    SetHeaderInfo("Title", "Programme");
    int id = EncoderStart();
    CHECK(id != 0);
    CHECK(g_engine.framePeriod == 40);          /* profile 9: 25 frames a second */
    host.Pump(1000);
    WriteWhiteTitle();
    TitleApply(TRUE, 0, 0);                     /* a title from 1 s on */
    host.Pump(2000);
    REQUIRE(SelectChannel(1));
    SetTransEffect(FindTransition("Cross Dissolve"), 0.5);
    host.Pump(3000);
    EncoderStop();
    unsigned frames = g_wmWriter.framesWritten;
    for (const auto &t : boxes.texts()) UNSCOPED_INFO("box: " << t);
    CHECK(boxes.count() == 0);

    Info info = Probe(out.unix);
    CHECK(info.format["format_name"] == "asf");
    CHECK(info.format["TAG:title"] == "Programme");
    REQUIRE(info.Count("video") == 1);
    REQUIRE(info.Count("audio") == 1);
    CHECK(info.Get("video", "codec_name") == "wmv2");
    /* The 320 x 240 programme coded at profile 9's frame size. */
    CHECK(info.Get("video", "width") == "720");
    CHECK(info.Get("video", "height") == "576");
    CHECK(info.Get("video", "r_frame_rate") == "25/1");
    CHECK(info.Get("audio", "codec_name") == "wmav2");
    /* Every frame the clock wrote is in the file, one period apart. */
    CHECK(frames >= 100);
    CHECK(CountFrames(out.unix) == (int)frames);
    CHECK(std::fabs(VideoSpan(out.unix, 0.04) - frames * 0.04) <= 0.04);

    /* Channel 0 before the switch, channel 1 after it. */
    const double at[2] = {2.0, frames * 0.04 - 0.8};
    for (int k = 0; k < 2; k++) {
        auto pic = FrameAt(out.unix, at[k], 320, 240, true);
        REQUIRE(!pic.empty());
        int rgb[3];
        MeanColour(pic, 320, 120, 80, 80, 80, rgb);
        INFO("at " << at[k] << " s: " << rgb[0] << "," << rgb[1] << "," << rgb[2]);
        CHECK(Near(rgb, kChannelColour[k], 30));
        MeanColour(pic, 320, 16, 16, 60, 40, rgb);
        INFO("title at " << at[k] << " s: " << rgb[0] << "," << rgb[1] << "," << rgb[2]);
        CHECK(Near(rgb, 0xFFFFFF, 30));
    }
    /* Before the title, the corner is the channel's. */
    auto first = FrameAt(out.unix, 0.2, 320, 240, true);
    REQUIRE(!first.empty());
    int corner[3];
    MeanColour(first, 320, 16, 16, 60, 40, corner);
    CHECK(Near(corner, kChannelColour[0], 30));
    TitleApply(FALSE, 0, 0);
    /* The on-air channel's tone. */
    double rms = 0;
    auto snd = SoundAt(out.unix, 1.0, 1.5, 44100);
    CHECK(std::fabs(Frequency(snd, 44100, &rms) - 1000) < 20);
}

TEST_CASE("A recording stopped at any moment is a complete file; bad starts and stops answer plainly", "[record][wm][bad]")
{
    EngineHost host;
    MsgBoxCapture boxes;
    SetEncoder(ENCODER_WM);
    SetBroadcastPort(0);

    SECTION("stop without start, and start with no channel open") {
        CHECK(EncoderStop() == 0);
        OutFile out("record_empty.wmv");
        SetSaveFile(out.dos.c_str());
        CHECK(EncoderStart() != 0);
        host.Pump(400);
        EncoderStop();
        Info info = Probe(out.unix);
        CHECK(info.format["format_name"] == "asf");
        CHECK(info.Count("video") == 1);
        CHECK(info.Count("audio") == 1);
        CHECK(CountFrames(out.unix) == (int)g_wmWriter.framesWritten);
        CHECK(EncoderStop() == 0);
    }
    SECTION("stop right after start, start twice") {
        std::string f = clip("ch2.avi");
        REQUIRE(OpenSource(2, f.c_str(), f.c_str()));
        REQUIRE(SelectChannel(2));
        OutFile out("record_quick.wmv");
        SetSaveFile(out.dos.c_str());
        CHECK(EncoderStart() != 0);
        EncoderStop();
        Info info = Probe(out.unix);
        CHECK(info.format["format_name"] == "asf");
        CHECK(CountFrames(out.unix) == (int)g_wmWriter.framesWritten);

        OutFile second("record_twice.wmv");
        SetSaveFile(second.dos.c_str());
        CHECK(EncoderStart() != 0);
        host.Pump(300);
        CHECK(EncoderStart() != 0);       /* the first run is finished, a new one begins */
        host.Pump(600);
        EncoderStop();
        info = Probe(second.unix);
        CHECK(info.format["format_name"] == "asf");
        CHECK(CountFrames(second.unix) == (int)g_wmWriter.framesWritten);
        CHECK(g_wmWriter.framesWritten >= 5);
    }
    SECTION("an unwritable output path") {
        SetSaveFile("C:\\no such folder\\out.wmv");
        CHECK(EncoderStart() == 0);
        CHECK(boxes.texts() == std::vector<std::string>{"File sink failed to open 0 (hr=0x80070003).\n"});
        CHECK(g_wmWriter.writer == nullptr);
        CHECK(g_wmWriter.fileSink == nullptr);
        CHECK(EncoderStop() == 0);
    }
    SetSaveFile("");
}

TEST_CASE("FLV rules: output size, audio sample rate and bit rates", "[record][flv]")
{
    struct Size { int w, h, vw, vh, ow, oh; } sizes[] = {
        {320, 240, 160, 120, 160, 120}, {320, 240, 640, 480, 640, 480}, {720, 576, 320, 240, 320, 256},
        {320, 240, 320, 120, 160, 120}, {320, 240, 320, 240, 320, 240},
    };
    for (auto &c : sizes) {
        int ow, oh;
        FlvOutputSize(c.w, c.h, c.vw, c.vh, &ow, &oh);
        INFO(c.w << "x" << c.h << " into " << c.vw << "x" << c.vh);
        CHECK(ow == c.ow);
        CHECK(oh == c.oh);
    }
    struct Rate { int rate, bitrate, want; } rates[] = {
        {44100, 64000, 44100}, {22050, 32000, 22050}, {48000, 64000, 44100},
        {16000, 32000, 22050}, {16000, 64000, 22050}, {16000, 128000, 44100}, {11025, 48000, 44100},
    };
    for (auto &c : rates) CHECK(FlvAudioSampleRate(c.rate, c.bitrate) == c.want);
    struct Bitrate { int bitrate, rate, want; } bitrates[] = {
        {64000, 44100, 64000}, {100000, 22050, 64000}, {32000, 22050, 32000},
        {32000, 44100, 64000}, {256000, 44100, 256000}, {128000, 22050, 128000},
    };
    for (auto &c : bitrates) CHECK(FlvAudioBitrate(c.bitrate, c.rate) == c.want);
    CHECK(FlvVideoBitrate(1024000, 300000) == 300000);
    CHECK(FlvVideoBitrate(1024000, 2000000) == 2000000);
    CHECK(FlvVideoBitrate(1900000, 2000000) == 2090000);

    /* Kilobits given below 1000 are multiplied. */
    CFLVWriter w;
    FlvSettings s = {};
    s.AudioBitrate = 64;
    s.VideoBitrate = 300;
    w.ApplySettings(&s);
    CHECK(w.settings.AudioBitrate == 64000);
    CHECK(w.settings.VideoBitrate == 300000);
    s.AudioBitrate = 100000;
    w.ApplySettings(&s);
    CHECK(w.settings.AudioBitrate == 100000);
}

TEST_CASE("The programme recorded to FLV and SWF files at the size and sound the settings give", "[record][flv]")
{
    EngineHost host;
    MsgBoxCapture boxes;
    std::string f = clip("ch3.avi");
    REQUIRE(OpenSource(3, f.c_str(), f.c_str()));
    REQUIRE(SelectChannel(3));
    MyPlay(3);
    host.Pump(300);
    SetEncoder(ENCODER_FLV);

    struct Row { int format, vw, vh, rate, bitrate; const char *name, *container, *vcodec; int ow, oh, orate, obitrate; };
    const Row rows[] = {
        {0, 160, 120, 48000, 64, "rec.flv", "flv", "flv1", 160, 120, 44100, 64000},
        {1, 640, 480, 22050, 32, "rec.swf", "swf", "flv1", 640, 480, 22050, 32000},
    };
    for (const Row &r : rows) {
        DYNAMIC_SECTION(r.name) {
            OutFile out(r.name);
            FlvSettings s = {};
            s.Format = r.format;
            lstrcpynA(s.ArchivingFileName, out.dos.c_str(), sizeof(s.ArchivingFileName));
            s.VideoWidth = r.vw;
            s.VideoHeight = r.vh;
            s.VideoBitrate = 500;
            s.FrameRate = 25;
            s.AudioSampleRate = r.rate;
            s.AudioChannel = 2;
            s.AudioBits = 16;
            s.AudioBitrate = r.bitrate;
            s.RWShared = r.format == 0;
            SetFLVEncProfile(&s);
            CHECK(EncoderStart() == 1);
            /* Shared for reading while it is written. */
            HANDLE reader = CreateFileA(out.dos.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, 0, nullptr);
            CHECK(reader != INVALID_HANDLE_VALUE);
            if (reader != INVALID_HANDLE_VALUE) CloseHandle(reader);
            host.Pump(3000);
            EncoderStop();
            unsigned frames = g_flvWriter.framesWritten;
            CHECK(frames >= 25);

            Info info = Probe(out.unix);
            CHECK(info.format["format_name"] == r.container);
            CHECK(info.Get("video", "codec_name") == r.vcodec);
            CHECK(info.Get("video", "width") == std::to_string(r.ow));
            CHECK(info.Get("video", "height") == std::to_string(r.oh));
            CHECK(info.Get("audio", "codec_name") == "mp3");
            CHECK(info.Get("audio", "sample_rate") == std::to_string(r.orate));
            CHECK(info.Get("audio", "bit_rate") == std::to_string(r.obitrate));
            CHECK(CountFrames(out.unix) == (int)frames);
            auto pic = FrameAt(out.unix, frames * 0.04 / 2, r.ow, r.oh);
            REQUIRE(!pic.empty());
            int rgb[3];
            MeanColour(pic, r.ow, r.ow / 4, r.oh / 4, r.ow / 2, r.oh / 2, rgb);
            INFO(rgb[0] << "," << rgb[1] << "," << rgb[2]);
            CHECK(Near(rgb, kChannelColour[3], 30));
            double rms = 0;
            auto snd = SoundAt(out.unix, 1.2, 1.0, 44100);
            CHECK(std::fabs(Frequency(snd, 44100, &rms) - 1000) < 20);
        }
    }
    CHECK(boxes.count() == 0);
    SetEncoder(ENCODER_WM);
}

TEST_CASE("While recording, the port serves the programme to two clients at once", "[record][network]")
{
    EngineHost host;
    MsgBoxCapture boxes;
    std::string f = clip("ch4.avi");
    REQUIRE(OpenSource(4, f.c_str(), f.c_str()));
    REQUIRE(SelectChannel(4));
    MyPlay(4);
    host.Pump(300);

    DWORD port = 0;
    closesocket(HoldPort(&port));
    OutFile out("record_served.wmv"), a("served_http.asf"), b("served_mmsh.asf");
    SetEncoder(ENCODER_WM);
    SetBroadcastPort((int)port);
    SetSaveFile(out.dos.c_str());
    REQUIRE(EncoderStart() != 0);
    REQUIRE(g_wmWriter.networkSink != nullptr);
    /* The clients run while the host keeps pumping. */
    std::string cmd = "(ffmpeg -v error -y -i http://127.0.0.1:" + std::to_string(port) + "/ -t 2 -c copy " +
                      Quote(a.unix) + " & ffmpeg -v error -y -i mmsh://127.0.0.1:" + std::to_string(port) +
                      "/ -t 2 -c copy " + Quote(b.unix) + " & wait)";
    HANDLE t = CreateThread(nullptr, 0, RunCommand, &cmd, 0, nullptr);
    host.Pump(20000, [&] { return WaitForSingleObject(t, 0) == WAIT_OBJECT_0; });
    CHECK(WaitForSingleObject(t, 10000) == WAIT_OBJECT_0);
    CloseHandle(t);
    host.Pump(300);
    EncoderStop();
    for (const auto &text : boxes.texts()) UNSCOPED_INFO("box: " << text);
    CHECK(boxes.count() == 0);

    for (const std::string &file : {a.unix, b.unix}) {
        INFO(file);
        Info info = Probe(file);
        CHECK(info.format["format_name"] == "asf");
        CHECK(info.Get("video", "codec_name") == "wmv2");
        CHECK(info.Get("audio", "codec_name") == "wmav2");
        CHECK(CountFrames(file) >= 25);
        auto pic = FrameAt(file, 1.0, 320, 240, true);
        REQUIRE(!pic.empty());
        int rgb[3];
        MeanColour(pic, 320, 120, 80, 80, 80, rgb);
        CHECK(Near(rgb, kChannelColour[4], 30));
    }
    /* The recording is whole. */
    CHECK(CountFrames(out.unix) == (int)g_wmWriter.framesWritten);
    SetBroadcastPort(0);
    SetSaveFile("");
}

TEST_CASE("A port in use gives the network sink's message and releases everything", "[record][network][bad]")
{
    EngineHost host;
    MsgBoxCapture boxes;
    DWORD port = 0;
    SOCKET held = HoldPort(&port);
    SetEncoder(ENCODER_WM);
    SetBroadcastPort((int)port);
    SetSaveFile("");
    CHECK(EncoderStart() == 0);
    char want[100];
    snprintf(want, sizeof(want), "Network sink failed to open port no %u (hr=0xc00d2ef3).\n", (unsigned)port);
    CHECK(boxes.texts() == std::vector<std::string>{want});
    CHECK(g_wmWriter.writer == nullptr);
    CHECK(g_wmWriter.networkSink == nullptr);
    closesocket(held);
    SetBroadcastPort(0);
}

namespace {

/* A small publishing point on 127.0.0.1: accepts the set-up request (or
 * never answers it) and keeps the body of the stream request. */
struct PublishingPoint {
    SOCKET listener = INVALID_SOCKET;
    DWORD port = 0;
    bool silent = false;
    HANDLE thread = nullptr;
    CRITICAL_SECTION cs;
    std::string stream;
    int setups = 0;
    std::vector<SOCKET> held;

    explicit PublishingPoint(bool silentServer) : silent(silentServer)
    {
        InitializeCriticalSection(&cs);
        listener = HoldPort(&port);
        thread = CreateThread(nullptr, 0, Serve, this, 0, nullptr);
    }
    ~PublishingPoint()
    {
        closesocket(listener);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        for (SOCKET s : held) closesocket(s);
        DeleteCriticalSection(&cs);
    }
    static DWORD WINAPI Serve(void *arg)
    {
        auto *p = static_cast<PublishingPoint *>(arg);
        for (;;) {
            SOCKET s = accept(p->listener, nullptr, nullptr);
            if (s == INVALID_SOCKET) break;
            std::string req;
            char buf[65536];
            while (req.find("\r\n\r\n") == std::string::npos) {
                int r = recv(s, buf, sizeof(buf), 0);
                if (r <= 0) break;
                req.append(buf, (size_t)r);
            }
            if (req.find("x-wms-pushsetup") != std::string::npos) {
                EnterCriticalSection(&p->cs);
                p->setups++;
                LeaveCriticalSection(&p->cs);
                if (p->silent) { p->held.push_back(s); continue; }
                const char ok[] = "HTTP/1.0 204 No Content\r\n\r\n";
                send(s, ok, sizeof(ok) - 1, 0);
                closesocket(s);
                continue;
            }
            /* The stream: everything after the request's blank line. */
            size_t body = req.find("\r\n\r\n");
            std::string data = body == std::string::npos ? "" : req.substr(body + 4);
            for (;;) {
                int r = recv(s, buf, sizeof(buf), 0);
                if (r <= 0) break;
                data.append(buf, (size_t)r);
            }
            closesocket(s);
            EnterCriticalSection(&p->cs);
            p->stream += data;
            LeaveCriticalSection(&p->cs);
        }
        return 0;
    }
};

} // namespace

TEST_CASE("The programme pushed to a publishing point arrives as a decodable stream", "[record][push]")
{
    EngineHost host;
    MsgBoxCapture boxes;
    std::string f = clip("ch1.avi");
    REQUIRE(OpenSource(1, f.c_str(), f.c_str()));
    REQUIRE(SelectChannel(1));
    MyPlay(1);
    host.Pump(300);

    PublishingPoint point(false);
    SetEncoder(ENCODER_WM);
    SetBroadcastPort(0);
    SetSaveFile("");
    std::string server = "127.0.0.1:" + std::to_string(point.port);
    SetPushServer(server.c_str(), "live", "", 0);
    REQUIRE(EncoderStart() != 0);
    CHECK(g_wmWriter.pushSink != nullptr);
    host.Pump(2500);
    EncoderStop();
    for (const auto &t : boxes.texts()) UNSCOPED_INFO("box: " << t);
    CHECK(boxes.count() == 0);
    CHECK(g_wmWriter.pushSink == nullptr);
    /* The server saw the end of the stream before the stop returned. */
    Sleep(200);
    EnterCriticalSection(&point.cs);
    std::string stream = point.stream;
    int setups = point.setups;
    LeaveCriticalSection(&point.cs);
    CHECK(setups == 1);
    REQUIRE(stream.size() > 10000);

    OutFile out("pushed.asf");
    HANDLE h = CreateFileA(out.dos.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD done = 0;
    WriteFile(h, stream.data(), (DWORD)stream.size(), &done, nullptr);
    CloseHandle(h);
    Info info = Probe(out.unix);
    CHECK(info.format["format_name"] == "asf");
    CHECK(info.Get("video", "codec_name") == "wmv2");
    CHECK(info.Get("audio", "codec_name") == "wmav2");
    CHECK(CountFrames(out.unix) >= (int)g_wmWriter.framesWritten - 2);
    auto pic = FrameAt(out.unix, 1.0, 320, 240, true);
    REQUIRE(!pic.empty());
    int rgb[3];
    MeanColour(pic, 320, 120, 80, 80, 80, rgb);
    CHECK(Near(rgb, kChannelColour[1], 30));
    SetPushServer(nullptr, nullptr, nullptr, 0);
}

TEST_CASE("Push failures: a silent server times out, a refused or unknown server reports the error", "[record][push][bad]")
{
    EngineHost host;
    MsgBoxCapture boxes;
    SetEncoder(ENCODER_WM);
    SetBroadcastPort(0);
    SetSaveFile("");
    g_wmWriter.connectTimeoutMs = 1500;

    SECTION("a server that never answers") {
        PublishingPoint point(true);
        std::string server = "127.0.0.1:" + std::to_string(point.port);
        SetPushServer(server.c_str(), "live", "", 0);
        CHECK(EncoderStart() == (int)E_FAIL);
        CHECK(boxes.texts() == std::vector<std::string>{"Timed out whiletrying to connect to the server\n"});
    }
    SECTION("a refused connection") {
        DWORD port = 0;
        closesocket(HoldPort(&port));
        std::string server = "127.0.0.1:" + std::to_string(port);
        SetPushServer(server.c_str(), "live", "", 0);
        CHECK(EncoderStart() == (int)HRESULT_FROM_WIN32(WSAECONNREFUSED));
        CHECK(boxes.texts() == std::vector<std::string>{"Error during push distribution"});
    }
    SECTION("an unknown host") {
        SetPushServer("no-such-host.invalid", "live", "", 0);
        CHECK(EncoderStart() == (int)HRESULT_FROM_WIN32(WSAHOST_NOT_FOUND));
        CHECK(boxes.texts() == std::vector<std::string>{"Error during push distribution"});
    }
    SECTION("a target that is not a URL") {
        lstrcpyW(g_engine.pushTarget, L"ftp://x/y");
        CHECK(EncoderStart() == (int)E_INVALIDARG);
        CHECK(boxes.texts() == std::vector<std::string>{"Could not connect to server (hr=0x80070057).\n"});
    }
    /* Everything is released whatever failed. */
    CHECK(g_wmWriter.writer == nullptr);
    CHECK(g_wmWriter.pushSink == nullptr);
    CHECK(g_wmWriter.connectEvent == nullptr);
    CHECK(EncoderStop() == 0);
    g_wmWriter.connectTimeoutMs = 30000;
    SetPushServer(nullptr, nullptr, nullptr, 0);
}

TEST_CASE("Index after writing: the file gets its index and the indexer's statuses arrive", "[record][indexer]")
{
    EngineHost host;
    MsgBoxCapture boxes;
    OutFile out("record_indexed.wmv");
    SetEncoder(ENCODER_WM);
    SetBroadcastPort(0);
    SetSaveFile(out.dos.c_str());
    IndexOnOff(TRUE);
    g_wmWriter.indexer.window = host.host;
    REQUIRE(EncoderStart() != 0);
    host.Pump(1500);
    host.msgs.clear();
    EncoderStop();
    host.Pump(300);
    std::vector<LPARAM> results;
    std::vector<WPARAM> statuses;
    for (const auto &m : host.msgs)
        if (m.msg == WM_ENGINE_SOURCESTATE) {
            if (statuses.empty() || statuses.back() != m.wp) statuses.push_back(m.wp);
            results.push_back(m.lp);
        }
    REQUIRE(statuses.size() >= 3);
    CHECK(statuses.front() == 1);
    CHECK(statuses[1] == 11);
    CHECK(statuses.back() == 13);
    CHECK(results.back() == 0);
    CHECK(g_wmWriter.indexer.lastResult == S_OK);
    CHECK(boxes.count() == 0);

    /* The index object ends the file. */
    HANDLE h = CreateFileA(out.dos.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    REQUIRE(h != INVALID_HANDLE_VALUE);
    LARGE_INTEGER size;
    GetFileSizeEx(h, &size);
    std::string bytes((size_t)size.QuadPart, '\0');
    DWORD got = 0;
    ReadFile(h, &bytes[0], (DWORD)bytes.size(), &got, nullptr);
    CloseHandle(h);
    const char guid[16] = {'\x90', '\x08', '\x00', '\x33', '\xB1', '\xE5', '\xCF', '\x11',
                           '\x89', '\xF4', '\x00', '\xA0', '\xC9', '\x03', '\x49', '\xCB'};
    size_t at = bytes.rfind(std::string(guid, 16));
    REQUIRE(at != std::string::npos);
    ULONGLONG objectSize;
    memcpy(&objectSize, bytes.data() + at + 16, 8);
    CHECK(at + objectSize == bytes.size());
    CHECK(CountFrames(out.unix) == (int)g_wmWriter.framesWritten);

    g_wmWriter.indexer.window = nullptr;
    IndexOnOff(FALSE);
    SetSaveFile("");
}

TEST_CASE("The on-air sound arrives in the recording at its pitch from every kind of source", "[record][audio]")
{
    struct Row { const char *file; bool music; bool silent; };
    const Row rows[] = {
        {"tone48.avi", false, false},   /* PCM at 48000 Hz */
        {"ch0.avi", false, false},      /* PCM at 44100 Hz */
        {"tone.wmv", false, false},
        {"music.mp3", true, false},     /* background music on channel 4 */
        {"silent.avi", false, true},
    };
    for (const Row &r : rows) {
        DYNAMIC_SECTION(r.file) {
            EngineHost host;
            MsgBoxCapture boxes;
            std::string picture = clip("ch2.avi"), f = clip(r.file);
            if (r.music) {
                REQUIRE(OpenSource(0, picture.c_str(), "") );
                REQUIRE(SelectChannel(0));
                MyPlay(0);
                SetBackMusic(TRUE);
                REQUIRE(OpenSource(4, f.c_str(), f.c_str()));
                MyPlay(4);
            } else {
                REQUIRE(OpenSource(1, f.c_str(), f.c_str()));
                REQUIRE(SelectChannel(1));
                MyPlay(1);
            }
            host.Pump(300);
            OutFile out("record_sound.wmv");
            SetEncoder(ENCODER_WM);
            SetBroadcastPort(0);
            SetSaveFile(out.dos.c_str());
            REQUIRE(EncoderStart() != 0);
            host.Pump(3500);
            EncoderStop();
            SetBackMusic(FALSE);
            for (const auto &t : boxes.texts()) UNSCOPED_INFO("box: " << t);
            CHECK(boxes.count() == 0);
            unsigned frames = g_wmWriter.framesWritten;
            Info info = Probe(out.unix);
            REQUIRE(info.Count("audio") == 1);
            double seconds = frames * 0.04;
            auto whole = SoundAt(out.unix, 0, 60, 44100);
            /* The sound track is as long as the pictures (within a sound frame). */
            CHECK(std::fabs(whole.size() / 44100.0 - seconds) <= 0.1);
            double rms = 0;
            auto middle = SoundAt(out.unix, 1.5, 1.0, 44100);
            double hz = Frequency(middle, 44100, &rms);
            INFO("frequency " << hz << " rms " << rms);
            if (r.silent) CHECK(rms < 50);
            else CHECK(std::fabs(hz - 1000) < 20);
            /* Encoding time was posted while sound arrived. */
            if (!r.silent) {
                bool posted = false;
                for (const auto &m : host.msgs) posted |= m.msg == WM_ENGINE_ENCODETIME && m.wp == 99;
                CHECK(posted);
            }
        }
    }
}

TEST_CASE("Recordings stopped at any moment while sound arrives are whole files", "[record][soak]")
{
    EngineHost host;
    MsgBoxCapture boxes;
    std::string f = clip("ch0.avi");
    REQUIRE(OpenSource(0, f.c_str(), f.c_str()));
    REQUIRE(SelectChannel(0));
    MyPlay(0);
    host.Pump(300);
    const char *env = getenv("RECORD_SOAK");
    int rounds = env && atoi(env) > 0 ? atoi(env) : 6;
    unsigned seed = 12345;
    SetBroadcastPort(0);
    for (int round = 0; round < rounds; round++) {
        bool flv = round % 2 == 1;
        seed = seed * 1103515245u + 12345u;
        DWORD wait = (seed >> 8) % 700;
        INFO("round " << round << (flv ? " FLV" : " WMV") << " stopped after " << wait << " ms");
        OutFile out(flv ? "soak.flv" : "soak.wmv");
        if (flv) {
            SetEncoder(ENCODER_FLV);
            FlvSettings s = {};
            lstrcpynA(s.ArchivingFileName, out.dos.c_str(), sizeof(s.ArchivingFileName));
            s.VideoWidth = 320;
            s.VideoHeight = 240;
            s.VideoBitrate = 500;
            s.FrameRate = 25;
            s.AudioSampleRate = 44100;
            s.AudioBitrate = 64;
            SetFLVEncProfile(&s);
        } else {
            SetEncoder(ENCODER_WM);
            SetSaveFile(out.dos.c_str());
        }
        REQUIRE(EncoderStart() != 0);
        host.Pump(wait);
        EncoderStop();
        unsigned frames = flv ? g_flvWriter.framesWritten.load() : g_wmWriter.framesWritten.load();
        Info info = Probe(out.unix);
        CHECK(info.format["format_name"] == (flv ? "flv" : "asf"));
        CHECK(info.Count("audio") == 1);
        if (frames) CHECK(CountFrames(out.unix) == (int)frames);
    }
    CHECK(boxes.count() == 0);
    SetEncoder(ENCODER_WM);
    SetSaveFile("");
}
