/*
 * The network stream source through OpenSource: a clip our writer recorded,
 * served over HTTP on 127.0.0.1, opens on a channel paused on its first
 * picture, plays through its colours to its end, fast forwards, rewinds and
 * reverses; its sound arrives as the engine's PCM; failing servers give an
 * error state on the channel and no hang; a missing codec starts one
 * download; a live stream from our own network sink shows on a channel
 * over http:// and mms://; and opening and closing many times leaks no
 * reader.
 */
#include "stream_fixture.h"
#include <catch2/catch.hpp>
#include "engine_host.h"
#include "corvengine.h"
#include "engine.h"
#include "clock.h"
#include "network_source.h"
#include "grab_cb.h"
#include "painter.h"
#include "wmreader.h"
#include "msgbox_capture.h"

#include <nserror.h>
#include <mmreg.h>
#include <amvideo.h>
#include <algorithm>
#include <mutex>

using fixture::HttpServer;

namespace {

const std::string &Clip()
{
    static std::string clip = fixture::RecordClip();
    return clip;
}

/* Streams are served at paths without an extension: an address ending in
 * ".asf" is a file for the file source. */

/* Statuses the source posted to a channel's window, with their results. */
std::vector<std::pair<int, LPARAM>> statuses(const EngineHost &host, int ch)
{
    std::vector<std::pair<int, LPARAM>> v;
    for (auto &m : host.channelMsgs)
        if (m.msg == WM_ENGINE_SOURCESTATE && (int)(m.wp >> 16) == ch) v.push_back({(int)(m.wp & 0xFFFF), m.lp});
    return v;
}
bool has_status(const EngineHost &host, int ch, int status, size_t from = 0)
{
    auto v = statuses(host, ch);
    for (size_t i = from; i < v.size(); i++)
        if (v[i].first == status) return true;
    return false;
}
LPARAM result_of(const EngineHost &host, int ch, int status)
{
    for (auto &s : statuses(host, ch))
        if (s.first == status) return s.second;
    return -1;
}
bool wait_status(EngineHost &host, int ch, int status, size_t from = 0, DWORD ms = 20000)
{
    host.Pump(ms, [&] { return has_status(host, ch, status, from); });
    return has_status(host, ch, status, from);
}

/* The channel surface's pixel at (fx, fy) of its size, as 0xRRGGBB. */
DWORD pixel(int ch, double fx = 0.5, double fy = 0.5)
{
    CDecoder *s = EngineChannelSource(ch);
    if (!s || !s->surface) return 0xFFFFFFFF;
    int w, h;
    EngineSurfaceSize(s->surface, &w, &h);
    std::vector<DWORD> px((size_t)w * h);
    if (FAILED(EngineSurfaceRead(s->surface, 2000, px.data(), w * 4))) return 0xFFFFFFFF;
    return px[(size_t)(int)(fy * (h - 1)) * w + (int)(fx * (w - 1))] & 0xFFFFFF;
}
bool near_colour(DWORD got, DWORD want)
{
    for (int k = 0; k < 24; k += 8) {
        int a = (int)((got >> k) & 255), b = (int)((want >> k) & 255);
        if (a - b > 60 || b - a > 60) return false;
    }
    return true;
}
bool wait_colour(EngineHost &host, int ch, DWORD colour, DWORD ms = 20000)
{
    host.Pump(ms, [&] { return near_colour(pixel(ch), colour); });
    return near_colour(pixel(ch), colour);
}

CAsfReader *network(int ch) { return dynamic_cast<CAsfReader *>(EngineChannelSource(ch)); }

std::mutex soundLock;
size_t soundBytes[5];
void count_sound(int ch, double, const BYTE *, long length)
{
    std::lock_guard<std::mutex> l(soundLock);
    if (ch >= 0 && ch < 5) soundBytes[ch] += (size_t)length;
}

/* A live programme from our own writer's network sink: the left half red,
 * the right half green, 25 frames a second with a tone, until it ends. */
struct LiveServer {
    WmWriter writer;
    WmNetworkSink net;
    DWORD port = 0;
    std::atomic<bool> stop{false};
    HANDLE thread = nullptr;
    LiveServer()
    {
        WmProfile p;
        REQUIRE(WmSystemProfile(4, &p));
        REQUIRE(writer.SetProfile(p) == S_OK);
        for (DWORD i = 0; i < writer.InputCount(); i++) {
            WmInputFormat f;
            writer.GetInputFormat(i, &f);
            if (f.video) { f.width = 320; f.height = 240; f.bitCount = 24; video = i; }
            else { f.sampleRate = 44100; f.channels = 2; audio = i; }
            REQUIRE(writer.SetInputFormat(i, f) == S_OK);
        }
        REQUIRE(net.Open(&port) == S_OK);
        REQUIRE(writer.AddSink(&net) == S_OK);
        REQUIRE(writer.SetLiveSource(TRUE) == S_OK);
        REQUIRE(writer.BeginWriting() == S_OK);
        thread = CreateThread(nullptr, 0, Run, this, 0, nullptr);
    }
    static DWORD WINAPI Run(void *arg)
    {
        auto *self = static_cast<LiveServer *>(arg);
        std::vector<BYTE> pic(320 * 240 * 3);
        for (size_t i = 0; i < pic.size(); i += 3) {
            bool left = (i / 3) % 320 < 160;
            pic[i + 2] = left ? 255 : 0;
            pic[i + 1] = left ? 0 : 255;
        }
        std::vector<short> tone(1764 * 2, 0);
        ULONGLONG start = GetTickCount64();
        for (unsigned f = 0; !self->stop && f < 25 * 120; f++) {
            self->writer.WriteSample(self->video, (ULONGLONG)f * 400000, 1, pic.data(), (DWORD)pic.size());
            self->writer.WriteSample(self->audio, (ULONGLONG)f * 400000, 0, reinterpret_cast<BYTE *>(tone.data()),
                                     (DWORD)(tone.size() * 2));
            ULONGLONG due = start + (f + 1) * 40ULL, now = GetTickCount64();
            if (due > now) Sleep((DWORD)(due - now));
        }
        return 0;
    }
    ~LiveServer()
    {
        stop = true;
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        writer.EndWriting();
        writer.RemoveSink(&net);
        net.Close();
    }
    DWORD video = 0, audio = 0;
};

/* A stream that ended closes its reader from the reader's own thread,
 * which then unwinds on its own: it must be gone soon after, not at once. */
bool readers_gone()
{
    for (int i = 0; i < 300 && WmrLiveReaders() != 0; ++i) Sleep(10);
    return WmrLiveReaders() == 0;
}

} // namespace

TEST_CASE("A served stream opens on its first picture, waits, and plays through its colours", "[network]")
{
    MsgBoxCapture boxes;
    EngineHost host;
    HttpServer server;
    REQUIRE(Clip().size() > 10000);
    server.Serve("/clip", Clip());
    const std::string url = server.Url("/clip");

    REQUIRE(OpenSource(1, url.c_str(), ""));
    REQUIRE(network(1) != nullptr);
    CHECK(network(1)->sourceKind == 256);
    REQUIRE(wait_status(host, 1, STATE_PAUSED));
    CHECK(has_status(host, 1, WMT_LOCATING));
    CHECK(result_of(host, 1, WMT_OPENED) == S_OK);
    CHECK(near_colour(pixel(1), 0xFF0000));

    /* Outputs as the engine takes them: sound as 16-bit stereo 22050 Hz. */
    CAsfReader *src = network(1);
    REQUIRE(src->audioType);
    auto *wf = reinterpret_cast<const WAVEFORMATEX *>(src->audioType->pbFormat);
    CHECK(wf->nSamplesPerSec == 22050);
    CHECK(wf->nChannels == 2);
    CHECK(wf->wBitsPerSample == 16);
    REQUIRE(src->videoType);
    CHECK(reinterpret_cast<const VIDEOINFOHEADER *>(src->videoType->pbFormat)->bmiHeader.biWidth == 320);

    CHECK(MyGetDuration(1) == 3);
    CHECK(MyStop(1) == 0);
    CHECK(MyGetPosition(1) == 0);
    CHECK(MySetPosition(1, 1000000) == 0);

    {
        std::lock_guard<std::mutex> l(soundLock);
        soundBytes[1] = 0;
    }
    g_engineAudioProbe = count_sound;
    size_t mark = statuses(host, 1).size();
    MyPlay(1);
    CHECK(wait_status(host, 1, WMT_STARTED, mark));
    CHECK(wait_colour(host, 1, 0x00FF00));
    CHECK(wait_colour(host, 1, 0x0000FF));
    REQUIRE(wait_status(host, 1, WMT_EOF, mark));
    g_engineAudioProbe = nullptr;
    {
        std::lock_guard<std::mutex> l(soundLock);
        CHECK(soundBytes[1] >= 22050u * 4 * 25 / 10);
        CHECK(soundBytes[1] <= 22050u * 4 * 33 / 10);
    }
    /* Positions in whole seconds, with wParam 1, while it is the selected source. */
    std::vector<LPARAM> pos;
    for (auto &m : host.channelMsgs)
        if (m.msg == WM_ENGINE_POSITION) { CHECK(m.wp == 1); pos.push_back(m.lp); }
    REQUIRE(!pos.empty());
    CHECK(std::is_sorted(pos.begin(), pos.end()));
    CHECK(pos.front() == 0);
    /* The last sound may run a little past three seconds. */
    CHECK(pos.back() >= 2);
    CHECK(pos.back() <= 3);
    /* At the end a network stream is closed: no header, no play. */
    host.Pump(300);
    CHECK(MyGetDuration(1) == 0);
    mark = statuses(host, 1).size();
    MyPlay(1);
    host.Pump(300);
    CHECK(statuses(host, 1).size() == mark);
    EngineDeleteChannel(1);
    CHECK(readers_gone());
    CHECK(boxes.texts().empty());
}

TEST_CASE("Fast forward, rewind and reverse on a channel", "[network]")
{
    MsgBoxCapture boxes;
    EngineHost host;
    HttpServer server;
    server.Serve("/clip", Clip());
    const std::string url = server.Url("/clip");

    SECTION("fast forward runs to the end")
    {
        REQUIRE(OpenSource(0, url.c_str(), ""));
        REQUIRE(wait_status(host, 0, STATE_PAUSED));
        size_t mark = statuses(host, 0).size();
        MyFastForward(0);
        REQUIRE(wait_status(host, 0, WMT_EOF, mark));
        CHECK(near_colour(pixel(0), 0x0000FF));
    }
    SECTION("rewind from the second colour goes back to the first and ends there")
    {
        REQUIRE(OpenSource(0, url.c_str(), ""));
        REQUIRE(wait_status(host, 0, STATE_PAUSED));
        MyPlay(0);
        REQUIRE(wait_colour(host, 0, 0x00FF00));
        size_t mark = statuses(host, 0).size();
        MyRewind(0);
        REQUIRE(wait_status(host, 0, WMT_EOF, mark));
        CHECK(near_colour(pixel(0), 0xFF0000));
    }
    SECTION("reverse from the last colour shows the one before")
    {
        REQUIRE(OpenSource(0, url.c_str(), ""));
        REQUIRE(wait_status(host, 0, STATE_PAUSED));
        MyPlay(0);
        REQUIRE(wait_colour(host, 0, 0x0000FF));
        MyReverse(0);
        CHECK(wait_colour(host, 0, 0x00FF00));
    }
    EngineDeleteChannel(0);
    CHECK(readers_gone());
}

TEST_CASE("Failing servers give the channel an error state in bounded time", "[network]")
{
    MsgBoxCapture boxes;
    EngineHost host;
    HttpServer server;
    server.Serve("/garbage", std::string(40000, '\x33'));
    server.Silent("/silent");
    server.Cut("/cut", Clip(), Clip().size() / 3);
    WmrSetStallTimeout(1500);
    const std::string refused = "http://127.0.0.1:" + std::to_string(fixture::FreePort()) + "/clip";

    struct Case { const char *name; std::string url; bool play; HRESULT want; };
    const Case cases[] = {
        {"404", server.Url("/missing"), false, NS_E_FILE_NOT_FOUND},
        {"garbage", server.Url("/garbage"), false, NS_E_INVALID_DATA},
        {"refused", refused, false, NS_E_CONNECTION_FAILURE},
        {"never answers", server.Url("/silent"), false, NS_E_TIMEOUT},
        {"hangs up mid-stream", server.Url("/cut"), true, NS_E_CONNECTION_FAILURE},
    };
    for (const auto &c : cases) {
        INFO(c.name);
        /* What the last channel posted is behind us. */
        host.Pump(100);
        host.channelMsgs.clear();
        REQUIRE(OpenSource(3, c.url.c_str(), ""));
        if (c.play) {
            REQUIRE(wait_status(host, 3, STATE_PAUSED));
            MyFastForward(3);
        }
        bool failed = wait_status(host, 3, WMT_ERROR);
        std::string seen;
        for (auto &st : statuses(host, 3)) seen += std::to_string(st.first) + " ";
        INFO("statuses: " << seen);
        REQUIRE(failed);
        CHECK(result_of(host, 3, WMT_ERROR) == (LPARAM)c.want);
        /* The failed stream was closed; the channel answers and goes quietly. */
        host.Pump(200);
        CHECK(MyGetDuration(3) == 0);
        MyPlay(3);
        MyPause(3);
        ULONGLONG t0 = GetTickCount64();
        EngineDeleteChannel(3);
        CHECK(GetTickCount64() - t0 < 4000);
    }
    WmrSetStallTimeout(0);
    host.Pump(200);
    CHECK(readers_gone());
}

namespace {
struct FakeFetch {
    static IBindStatusCallback *callback;
    static DWORD WINAPI Finish(void *)
    {
        Sleep(100);
        callback->OnProgress(1, 1, 0, nullptr);
        callback->OnStopBinding(REGDB_E_CLASSNOTREG, nullptr);
        callback->Release();
        return 0;
    }
    static HRESULT Later(REFCLSID, IBindStatusCallback *cb, IUnknown **)
    {
        cb->AddRef();
        callback = cb;
        CloseHandle(CreateThread(nullptr, 0, Finish, nullptr, 0, nullptr));
        return MK_S_ASYNCHRONOUS;
    }
    static HRESULT Never(REFCLSID, IBindStatusCallback *, IUnknown **) { return MK_S_ASYNCHRONOUS; }
    static HRESULT NotRegistered(REFCLSID, IBindStatusCallback *, IUnknown **) { return REGDB_E_CLASSNOTREG; }
};
IBindStatusCallback *FakeFetch::callback;
} // namespace

TEST_CASE("A missing codec starts one download and its status reaches the channel", "[network]")
{
    MsgBoxCapture boxes;
    EngineHost host;
    HttpServer server;
    server.Serve("/odd", fixture::WithUnknownVideoCodec(Clip()));
    g_codecFetchHook = FakeFetch::Later;
    int before = g_codecDownloads.load();
    REQUIRE(OpenSource(2, server.Url("/odd").c_str(), ""));
    REQUIRE(wait_status(host, 2, WMT_MISSING_CODEC));
    CHECK(result_of(host, 2, WMT_MISSING_CODEC) == (LPARAM)NS_E_UNRECOGNIZED_STREAM_TYPE);
    /* The stream goes on with its sound: opened, then paused on its first sound. */
    REQUIRE(wait_status(host, 2, WMT_OPENED));
    REQUIRE(wait_status(host, 2, STATE_PAUSED));
    CHECK(g_codecDownloads.load() - before == 1);
    CHECK(network(2)->videoType == nullptr);
    g_codecFetchHook = nullptr;
    EngineDeleteChannel(2);
}

TEST_CASE("The codec downloader answers its callers and never waits unbounded", "[network]")
{
    auto *d = new CCodecDownloader;
    SECTION("callback answers")
    {
        CHECK(d->GetPriority(nullptr) == E_NOTIMPL);
        CHECK(d->OnLowResource(0) == E_NOTIMPL);
        CHECK(d->OnStartBinding(0, nullptr) == S_OK);
        CHECK(d->OnDataAvailable(0, 0, nullptr, nullptr) == S_OK);
        CHECK(d->OnCodeInstallProblem(0, nullptr, nullptr, 0) == S_OK);
        BINDINFO bi;
        memset(&bi, 0xCC, sizeof(bi));
        bi.cbSize = sizeof(bi);
        DWORD flags = 0;
        REQUIRE(d->GetBindInfo(&flags, &bi) == S_OK);
        CHECK(flags == (BINDF_ASYNCHRONOUS | BINDF_ASYNCSTORAGE));
        CHECK(bi.cbSize == sizeof(bi));
        CHECK(bi.dwBindVerb == 0);
        CHECK(bi.szExtraInfo == nullptr);
        void *svc = (void *)1;
        CHECK(d->QueryService(IID_IUnknown, IID_IUnknown, &svc) == E_NOINTERFACE);
        CHECK(svc == nullptr);
        HWND w = (HWND)1;
        LPWSTR user = (LPWSTR)1, pass = (LPWSTR)1;
        CHECK(d->Authenticate(&w, &user, &pass) == S_OK);
        CHECK((w == nullptr && user == nullptr && pass == nullptr));
        w = (HWND)1;
        CHECK(d->GetWindow(IID_ICodeInstall, &w) == S_OK);
        CHECK(w == nullptr);
        d->OnProgress(3, 7, 0, nullptr);
        CHECK((d->progress == 3 && d->progressMax == 7));
        IUnknown *unk = nullptr;
        REQUIRE(d->QueryInterface(IID_IAuthenticate, reinterpret_cast<void **>(&unk)) == S_OK);
        unk->Release();
    }
    SECTION("a class that is not registered counts as done")
    {
        g_codecFetchHook = FakeFetch::NotRegistered;
        CHECK(d->Download(GUID_NULL, nullptr) == S_OK);
    }
    SECTION("an answer that never comes ends at the bound, or when the source goes")
    {
        g_codecFetchHook = FakeFetch::Never;
        DWORD saved = g_codecDownloadWaitMs;
        g_codecDownloadWaitMs = 300;
        CHECK(d->Download(GUID_NULL, nullptr) == NS_E_TIMEOUT);
        g_codecDownloadWaitMs = 60000;
        HANDLE gone = CreateEventA(nullptr, TRUE, TRUE, nullptr);
        CHECK(d->Download(GUID_NULL, gone) == E_ABORT);
        CloseHandle(gone);
        g_codecDownloadWaitMs = saved;
    }
    SECTION("through the system's own download service it returns")
    {
        g_codecFetchHook = nullptr;
        DWORD saved = g_codecDownloadWaitMs;
        g_codecDownloadWaitMs = 2000;
        HRESULT hr = d->Download(CLSID_NULL, nullptr);
        INFO(std::hex << hr);
        CHECK(hr != MK_S_ASYNCHRONOUS);
        g_codecDownloadWaitMs = saved;
    }
    g_codecFetchHook = nullptr;
    d->Release();
}

TEST_CASE("Our own network output shows on another channel over http:// and mms://", "[network]")
{
    MsgBoxCapture boxes;
    EngineHost host;
    LiveServer live;
    const std::string http = "http://127.0.0.1:" + std::to_string(live.port) + "/";
    REQUIRE(OpenSource(2, http.c_str(), ""));
    REQUIRE(wait_status(host, 2, STATE_PAUSED));
    CHECK(near_colour(pixel(2, 0.25), 0xFF0000));
    CHECK(near_colour(pixel(2, 0.75), 0x00FF00));
    CHECK(MyGetDuration(2) == 0);
    unsigned painted = g_channelPainter[2] ? g_channelPainter[2]->signals.load() : 0;
    MyPlay(2);
    host.Pump(20000, [&] { return g_channelPainter[2] && g_channelPainter[2]->signals.load() > painted + 10; });
    CHECK(g_channelPainter[2]->signals.load() > painted + 10);

    /* mms:// takes a host name without dots. */
    if (gethostbyname("localhost")) {
        const std::string mms = "mms://localhost:" + std::to_string(live.port) + "/";
        REQUIRE(OpenSource(3, mms.c_str(), ""));
        CHECK(network(3)->sourceKind == 16);
        REQUIRE(wait_status(host, 3, STATE_PAUSED));
        CHECK(near_colour(pixel(3, 0.25), 0xFF0000));
        CHECK(near_colour(pixel(3, 0.75), 0x00FF00));
    } else {
        WARN("localhost does not resolve here: mms:// left out");
    }
    EngineDeleteChannel(2);
    EngineDeleteChannel(3);
}

TEST_CASE("The engine's own broadcast, read back on one of its channels, shows its programme", "[network]")
{
    MsgBoxCapture boxes;
    EngineHost host;
    HttpServer server;
    server.Serve("/clip", Clip());
    /* The programme: a served clip held on its first (red) picture. */
    REQUIRE(OpenSource(0, server.Url("/clip").c_str(), ""));
    REQUIRE(wait_status(host, 0, STATE_PAUSED));
    REQUIRE(SelectChannel(0));
    const DWORD port = fixture::FreePort();
    SetEncoder(ENCODER_WM);
    SetBroadcastPort((int)port);
    SetSaveFile("");
    REQUIRE(EncoderStart() != 0);
    /* Starting the encoder opened every source again: wait for the programme's
     * picture once more. */
    const size_t mark = statuses(host, 0).size();
    REQUIRE(wait_status(host, 0, STATE_PAUSED, mark));
    REQUIRE(SelectChannel(0));

    const std::string own = "http://127.0.0.1:" + std::to_string(port) + "/";
    REQUIRE(OpenSource(1, own.c_str(), ""));
    REQUIRE(wait_status(host, 1, STATE_PAUSED));
    CHECK(MyGetDuration(1) == 0);
    CHECK(near_colour(pixel(1, 0.25), 0xFF0000));
    CHECK(near_colour(pixel(1, 0.75), 0xFF0000));
    EngineDeleteChannel(1);
    EncoderStop();
    SetBroadcastPort(0);
    EngineDeleteChannel(0);
    for (const auto &t : boxes.texts()) UNSCOPED_INFO("box: " << t);
    CHECK(boxes.count() == 0);
}

TEST_CASE("Network channels opened and closed many times leak no reader", "[network][soak]")
{
    MsgBoxCapture boxes;
    EngineHost host;
    HttpServer server;
    server.Serve("/clip", Clip());
    const std::string url = server.Url("/clip");
    int rounds = 12;
    if (const char *n = getenv("NETWORK_SOAK")) rounds = std::max(1, atoi(n));
    for (int i = 0; i < rounds; i++) {
        INFO("round " << i);
        host.channelMsgs.clear();
        REQUIRE(OpenSource(i % 5, url.c_str(), ""));
        if (i % 3 == 0) {
            REQUIRE(wait_status(host, i % 5, STATE_PAUSED));
            MyPlay(i % 5);
            host.Pump(50);
        } else if (i % 3 == 1) {
            host.Pump(20);
        }
        if (i % 2) CloseSource(i % 5);
        EngineDeleteChannel(i % 5);
    }
    host.Pump(200);
    CHECK(readers_gone());
}
