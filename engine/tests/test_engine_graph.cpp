/*
 * The engine over real filter graphs: generated clips opened on the five
 * channels of a hidden host, with the messages, pictures, sound, seeking,
 * colour and failure texts the host sees.
 */
#define NOMINMAX
#include <catch2/catch.hpp>
#include <windows.h>
#include <cmath>
#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>
#include "msgbox_capture.h"
#include "engine_host.h"
#include "corvengine.h"
#include "engine.h"
#include "clock.h"
#include "file_source.h"
#include "grab_cb.h"
#include "graph_util.h"
#include "painter.h"
#include "hsl_pixel.h"
#include <uuids.h>
#include <tlhelp32.h>

namespace {

std::string clip(const char *name)
{
    const char *d = getenv("ENGINE_CLIPS");
    std::string unix = std::string(d && *d ? d : "/tmp/engclips") + "/" + name;
    std::string dos = "Z:" + unix;
    for (auto &c : dos)
        if (c == '/') c = '\\';
    return dos;
}

CAviMpegReader *reader(int ch) { return dynamic_cast<CAviMpegReader *>(g_engine.channel[ch]); }

struct Rgb { int r, g, b; };

std::vector<DWORD> surface_pixels(EngineSurface *s)
{
    int w, h;
    EngineSurfaceSize(s, &w, &h);
    std::vector<DWORD> px((size_t)w * h);
    REQUIRE(SUCCEEDED(EngineSurfaceRead(s, INFINITE, px.data(), w * 4)));
    return px;
}

Rgb at(const std::vector<DWORD> &px, int w, int x, int y)
{
    DWORD v = px[(size_t)y * w + x];
    return {(int)((v >> 16) & 255), (int)((v >> 8) & 255), (int)(v & 255)};
}

bool close_to(Rgb a, Rgb b, int tol = 48)
{
    return std::abs(a.r - b.r) <= tol && std::abs(a.g - b.g) <= tol && std::abs(a.b - b.b) <= tol;
}

std::string str(Rgb c)
{
    char b[40];
    snprintf(b, sizeof b, "(%d,%d,%d)", c.r, c.g, c.b);
    return b;
}

/* The generated pattern: four bars over a yellow half. */
void check_bars(EngineSurface *s)
{
    int w, h;
    EngineSurfaceSize(s, &w, &h);
    auto px = surface_pixels(s);
    const Rgb want[] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
    for (int i = 0; i < 4; i++) {
        Rgb got = at(px, w, w / 8 + i * w / 4, h / 4);
        INFO("bar " << i << " at " << w / 8 + i * w / 4 << "," << h / 4 << " is " << str(got));
        CHECK(close_to(got, want[i]));
    }
    Rgb bottom = at(px, w, w / 2, 3 * h / 4);
    INFO("bottom is " << str(bottom));
    CHECK(close_to(bottom, {255, 255, 0}));
}

/* Painter wake-ups of a channel so far (one per frame drawn). */
unsigned frames(int ch) { return g_channelPainter[ch] ? g_channelPainter[ch]->signals.load() : 0; }

/* Wait until the channel's video callback has drawn n frames since start. */
bool wait_frames(EngineHost &host, int ch, unsigned start, unsigned n, DWORD ms = 5000)
{
    host.Pump(ms, [&] { return frames(ch) - start >= n; });
    return frames(ch) - start >= n;
}

std::string dump_graph(IGraphBuilder *g)
{
    std::string out;
    IEnumFilters *en = nullptr;
    if (!g || FAILED(g->EnumFilters(&en))) return out;
    IBaseFilter *f;
    while (en->Next(1, &f, nullptr) == S_OK) {
        FILTER_INFO fi = {};
        f->QueryFilterInfo(&fi);
        if (fi.pGraph) fi.pGraph->Release();
        char name[128];
        WideCharToMultiByte(CP_ACP, 0, fi.achName, -1, name, sizeof name, nullptr, nullptr);
        out += std::string("[") + name + "]";
        IEnumPins *pe;
        f->EnumPins(&pe);
        IPin *p;
        while (pe->Next(1, &p, nullptr) == S_OK) {
            IPin *peer = nullptr;
            p->ConnectedTo(&peer);
            out += peer ? "+" : "-";
            if (peer) peer->Release();
            p->Release();
        }
        pe->Release();
        out += " ";
        f->Release();
    }
    en->Release();
    return out;
}

/* Whether the graph manager picks the platform's own source filter for a
 * file (the FFmpeg source); other sources cannot decode our clips. */
bool platform_source_for(const char *name)
{
    static const GUID ffsource = {0x1081ed69, 0x2ee4, 0x4a49, {0xbd, 0x6b, 0xf3, 0xa7, 0x28, 0x10, 0xac, 0x8f}};
    static const GUID ffstill = {0xab7817bf, 0x267e, 0x40f0, {0xab, 0x52, 0x43, 0x5d, 0x4b, 0x67, 0xb3, 0xa4}};
    CoInitialize(nullptr);
    IGraphBuilder *g = nullptr;
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, (void **)&g)))
        return false;
    WCHAR w[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, clip(name).c_str(), -1, w, MAX_PATH);
    IBaseFilter *f = nullptr;
    CLSID id = {};
    if (SUCCEEDED(g->AddSourceFilter(w, nullptr, &f)) && f) {
        f->GetClassID(&id);
        f->Release();
    }
    g->Release();
    return IsEqualGUID(id, ffsource) || IsEqualGUID(id, ffstill);
}

/* Every clip here is one the FFmpeg source must be picked for: a graph
 * manager that picks another source is a failure, not a reason to skip. */
#define NEED_PLATFORM_SOURCE(name)                                                      \
    do {                                                                                \
        INFO("the graph manager must pick the FFmpeg source for " << (name));           \
        REQUIRE(platform_source_for(name));                                             \
    } while (0)

}  // namespace

TEST_CASE("Each kind of file opens on a channel, plays, and its picture fills the channel surface")
{
    EngineHost host;
    const char *files[] = {"bars.avi", "bars264.avi", "bars1.mpg", "bars2.mpg", "bars.wmv", "bars.mov",
                           "bars.jpg", "bars.bmp", "bars.gif", "bars.tga"};
    for (const char *f : files) {
        INFO(f);
        if (!strstr(f, ".wmv")) CHECK(platform_source_for(f));
        MsgBoxCapture boxes;
        int ch = 2;
        host.msgs.clear();
        BOOL opened = OpenSource(ch, clip(f).c_str(), clip(f).c_str());
        for (const auto &t : boxes.texts()) UNSCOPED_INFO("box: " << t);
        CHECK(opened == TRUE);
        if (!opened) continue;
        CHECK(boxes.count() == 0);
        CAviMpegReader *r = reader(ch);
        REQUIRE(r);
        CHECK(r->fileKind == (strstr(".jpg.bmp.gif.tga", strrchr(f, '.')) ? 16 : 1));
        REQUIRE(r->videoType);
        CHECK(IsEqualGUID(r->videoType->subtype, MEDIASUBTYPE_RGB24));
        bool still = r->fileKind == 16;
        INFO("graph " << dump_graph(r->graph));
        unsigned start = frames(ch);
        CHECK(MyPlay(ch) == 1);
        CHECK(wait_frames(host, ch, start, still ? 1 : 3));
        host.Pump(100);
        INFO("video callbacks " << g_engine.channel[ch] << " " << (r->videoCallback ? r->videoCallback->calls.load() : 0u));
        check_bars(r->surface);
        CHECK(host.States(ch) == std::vector<int>{1, 11});
        CHECK(CloseSource(ch) == 1);
        host.Pump(30);
    }
}

TEST_CASE("Source states arrive in order for open, play, pause, play and stop")
{
    EngineHost host;
    const int ch = 1;
    REQUIRE(OpenSource(ch, clip("long.wmv").c_str(), clip("long.wmv").c_str()));
    host.Pump(50);
    CHECK(MyPlay(ch) == 1);
    host.Pump(300);
    CHECK(MyPause(ch) == 1);
    host.Pump(100);
    CHECK(MyPlay(ch) == 1);
    host.Pump(100);
    CHECK(MyStop(ch) == 1);
    host.Pump(100);
    CHECK(host.States(ch) == std::vector<int>{1, 11, 34, 11, 12});
    CHECK(MyGetPosition(ch) == 0);
    /* Messages carry the channel in the high word and 0 in lParam. */
    for (const auto &m : host.msgs)
        if (m.msg == WM_ENGINE_SOURCESTATE && m.lp == 0) CHECK((m.wp >> 16) == (WPARAM)ch);
}

TEST_CASE("Playing posts whole-second positions; the end of stream comes back through HandleEvent")
{
    EngineHost host;
    const int ch = 3;
    REQUIRE(OpenSource(ch, clip("bars.wmv").c_str(), clip("bars.wmv").c_str()));
    CHECK(MyGetDuration(ch) == 3);
    MyPlay(ch);
    host.Pump(8000, [&] { return host.Has(WM_ENGINE_SOURCESTATE, ch, SOURCE_EVENT_COMPLETE); });
    CHECK(host.Has(WM_ENGINE_GRAPHNOTIFY, 0, ch));
    CHECK(host.Has(WM_ENGINE_SOURCESTATE, ch, SOURCE_EVENT_COMPLETE));
    auto pos = host.Of(WM_ENGINE_POSITION, ch);
    REQUIRE(pos.size() > 10);
    CHECK(pos.front() == 0);
    CHECK(pos.back() >= 2);
    CHECK(pos.back() <= 3);
    for (size_t i = 1; i < pos.size(); i++) CHECK(pos[i] >= pos[i - 1]);
    for (int s : {0, 1, 2}) CHECK(std::count(pos.begin(), pos.end(), (LPARAM)s) > 0);
}

TEST_CASE("Duration, positions and the fast-forward and rewind clamps")
{
    EngineHost host;
    const int ch = 0;
    REQUIRE(OpenSource(ch, clip("long.wmv").c_str(), clip("long.wmv").c_str()));
    CHECK(MyGetDuration(ch) == 12);
    MyPlay(ch);
    MyPause(ch);
    struct Step { const char *what; int (WINAPI *op)(WORD); int want; } steps[] = {
        {"forward from 0", MyFastForward, 10},
        {"forward past the end", MyFastForward, 12},
        {"rewind from the end", MyRewind, 2},
        {"rewind past the start", MyRewind, 0},
    };
    for (const auto &s : steps) {
        INFO(s.what);
        s.op(ch);
        MyPause(ch);
        host.Pump(50);
        CHECK(MyGetPosition(ch) == s.want);
    }
    CHECK(MySetPosition(ch, 5000000) == 5000000);
    CHECK(MyGetPosition(ch) == 5);
    MyStop(ch);
    CHECK(MyGetPosition(ch) == 0);
    /* Play from a start after a stop. */
    MyStop(ch);
    CHECK(g_engine.channel[ch]->Play(7) == 1);
    MyPause(ch);
    CHECK(MyGetPosition(ch) >= 7);
}

namespace {
std::mutex probe_lock;
std::vector<short> probe_left;
int probe_channel = -1;
void probe(int ch, double, const BYTE *buf, long len)
{
    if (ch != probe_channel) return;
    std::lock_guard<std::mutex> l(probe_lock);
    const short *s = reinterpret_cast<const short *>(buf);
    for (long i = 0; i + 1 < len / 2; i += 2) probe_left.push_back(s[i]);
}
}  // namespace

TEST_CASE("Audio reaches the grabber as 16-bit stereo 22050 Hz PCM and a 1 kHz tone stays 1 kHz")
{
    /* long.wmv goes through the platform's audio decoder; the AVI files
     * carry PCM (16-bit stereo 44100 Hz, 8-bit mono 48000 Hz) that the
     * converter in the ACM wrapper's place must bring to the engine's
     * format, or recordings would carry the sound at the wrong speed. */
    for (const char *file : {"long.wmv", "long.avi", "mono8.avi"}) {
        INFO(file);
        REQUIRE(platform_source_for(file));
        EngineHost host;
        const int ch = 2;
        REQUIRE(OpenSource(ch, clip(file).c_str(), clip(file).c_str()));
        CAviMpegReader *r = reader(ch);
        REQUIRE(r->audioType);
        CHECK(IsEqualGUID(r->audioType->majortype, MEDIATYPE_Audio));
        CHECK(IsEqualGUID(r->audioType->subtype, MEDIASUBTYPE_PCM));
        REQUIRE(r->audioType->cbFormat >= sizeof(WAVEFORMATEX));
        const WAVEFORMATEX *wf = reinterpret_cast<const WAVEFORMATEX *>(r->audioType->pbFormat);
        CHECK(wf->wFormatTag == WAVE_FORMAT_PCM);
        CHECK(wf->nChannels == 2);
        CHECK(wf->wBitsPerSample == 16);
        CHECK(wf->nBlockAlign == 4);
        const int rate = (int)wf->nSamplesPerSec;
        CHECK(rate == 22050);
        CHECK(wf->nAvgBytesPerSec == 88200);

        probe_left.clear();
        probe_channel = ch;
        g_engineAudioProbe = probe;
        MyPlay(ch);
        host.Pump(8000, [&] { std::lock_guard<std::mutex> l(probe_lock); return probe_left.size() > (size_t)rate * 2; });
        MyStop(ch);
        g_engineAudioProbe = nullptr;
        std::lock_guard<std::mutex> l(probe_lock);
        /* Frequency from rising zero crossings over one second of samples,
         * skipping the codec's start-up. */
        size_t from = rate / 10, n = rate;
        REQUIRE(probe_left.size() >= from + n);
        int crossings = 0, peak = 0;
        for (size_t i = from + 1; i < from + n; i++) {
            if (probe_left[i - 1] < 0 && probe_left[i] >= 0) crossings++;
            peak = std::max(peak, std::abs((int)probe_left[i]));
        }
        CHECK(crossings >= 990);
        CHECK(crossings <= 1010);
        CHECK(peak > 2000);
    }
}

TEST_CASE("SetHSLEffect changes the programme source's colours as the filter's formulas predict")
{
    EngineHost host;
    const int ch = 4;
    REQUIRE(OpenSource(ch, clip("long.wmv").c_str(), clip("long.wmv").c_str()));
    REQUIRE(SelectChannel(ch));
    CAviMpegReader *r = reader(ch);
    CHECK(g_transformer.ProgrammeSurface() == r->surface);
    unsigned start = frames(ch);
    MyPlay(ch);
    REQUIRE(wait_frames(host, ch, start, 3));
    host.Pump(100);
    int w, h;
    EngineSurfaceSize(r->surface, &w, &h);
    auto before = surface_pixels(r->surface);

    struct Case { int hue, sat, light; } cases[] = {{120, 0, 0}, {-60, 0, 0}, {0, -100, 0}, {0, 0, 60}};
    for (const auto &c : cases) {
        INFO("offsets " << c.hue << "," << c.sat << "," << c.light);
        SetHSLEffect(c.hue, c.sat, c.light);
        CHECK((g_engine.hue == c.hue && g_engine.saturation == c.sat && g_engine.lightness == c.light));
        start = frames(ch);
        REQUIRE(wait_frames(host, ch, start, 4));
        auto after = surface_pixels(r->surface);
        const int xs[] = {w / 8, 3 * w / 8, 5 * w / 8, 7 * w / 8, w / 2};
        const int ys[] = {h / 4, h / 4, h / 4, h / 4, 3 * h / 4};
        for (int i = 0; i < 5; i++) {
            Rgb src = at(before, w, xs[i], ys[i]);
            uint8_t in[3] = {(uint8_t)src.b, (uint8_t)src.g, (uint8_t)src.r}, out[3];
            hsl::ShiftPixelReference(in, out, hsl::Offsets{c.hue, c.sat, c.light});
            Rgb want = {out[2], out[1], out[0]}, got = at(after, w, xs[i], ys[i]);
            INFO("point " << i << " from " << str(src) << " want " << str(want) << " got " << str(got));
            CHECK(close_to(got, want, 24));
        }
    }
    SetHSLEffect(0, 0, 0);
}

TEST_CASE("Background music: audio files on channel 4 only while it is on")
{
    NEED_PLATFORM_SOURCE("tone.mp3");
    EngineHost host;
    for (const char *f : {"tone.mp3", "tone.wav", "tone.wma"}) {
        INFO(f);
        MsgBoxCapture boxes;
        SetBackMusic(0);
        CHECK(OpenSource(4, clip(f).c_str(), "") == FALSE);
        CHECK(boxes.texts() == std::vector<std::string>{"Corvane does not support such type file !!"});
        boxes.clear();
        SetBackMusic(1);
        CHECK(OpenSource(3, clip(f).c_str(), "") == FALSE);
        CHECK(boxes.texts() == std::vector<std::string>{"Corvane does not support such type file !!"});
        boxes.clear();
        host.msgs.clear();
        BOOL opened = OpenSource(4, clip(f).c_str(), "");
        for (const auto &t : boxes.texts()) UNSCOPED_INFO("box: " << t);
        CHECK(opened == TRUE);
        CHECK(boxes.count() == 0);
        CAviMpegReader *r = reader(4);
        REQUIRE(r);
        CHECK(r->backgroundMusic);
        CHECK(r->videoType == nullptr);
        CHECK(r->audioType != nullptr);
        host.Pump(50);
        /* It opens, then pauses itself. */
        CHECK(host.States(4) == std::vector<int>{1, 34});
        SetBackMusic(0);
    }
}

TEST_CASE("Bad files are refused with the exact message, an empty channel and no crash")
{
    NEED_PLATFORM_SOURCE("bars.avi");
    EngineHost host;
    struct Case { const char *file; std::vector<std::string> boxes; } cases[] = {
        {"missing.avi", {"Multi-codec package is recommended to install."}},
        {"zero.avi", {"Multi-codec package is recommended to install."}},
        {"trunc.avi", {"Multi-codec package is recommended to install."}},
        {"text.avi", {"Multi-codec package is recommended to install."}},
        {"nocodec.avi", {"Multi-codec package is recommended to install."}},
    };
    for (const auto &c : cases) {
        INFO(c.file);
        MsgBoxCapture boxes;
        CHECK(OpenSource(0, clip(c.file).c_str(), clip(c.file).c_str()) == FALSE);
        CHECK(boxes.texts() == c.boxes);
        CHECK(g_engine.channel[0] == nullptr);
        CHECK(host.States(0).empty());
    }
    /* An audio-only file has no video to show. */
    MsgBoxCapture boxes;
    CHECK(OpenSource(1, clip("tone.wma").c_str(), "") == FALSE);
    CHECK(g_engine.channel[1] == nullptr);
}

extern "C" BOOL WINAPI GetProcessHandleCount(HANDLE process, DWORD *count);

namespace {
int thread_count()
{
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 te = {};
    te.dwSize = sizeof(te);
    int n = 0;
    DWORD pid = GetCurrentProcessId();
    if (Thread32First(snap, &te)) do {
        if (te.th32OwnerProcessID == pid) n++;
    } while (Thread32Next(snap, &te));
    CloseHandle(snap);
    return n;
}
DWORD handle_count()
{
    DWORD n = 0;
    GetProcessHandleCount(GetCurrentProcess(), &n);
    return n;
}
}  // namespace

TEST_CASE("Soak: open, play and close on all five channels while the frame clock runs")
{
    EngineHost host;
    const char *files[5] = {"bars.wmv", "bars.asf", "long.wmv", "bars.wmv", "bars.asf"};
    auto round = [&](int i) {
        for (int ch = 0; ch < 5; ch++) {
            REQUIRE(OpenSource(ch, clip(files[ch]).c_str(), clip(files[ch]).c_str()));
            if (i % 2 == 0) SelectChannel(ch);
            MyPlay(ch);
        }
        host.Pump(i % 10 == 0 ? 60 : 5);
        for (int ch = 0; ch < 5; ch++) {
            if (i % 3 == 0) CloseSource(ch);
            else if (i % 3 == 1) SetHSLEffect(i % 360 - 180, 0, 0);
        }
        /* Deleting a playing source races its streaming threads' callbacks. */
        ResetEngine();
    };
    /* Warm-up: the first graphs load the filters' modules and their threads. */
    for (int i = 0; i < 3; i++) round(i);
    host.Pump(200);
    int threads0 = thread_count();
    DWORD handles0 = handle_count();
    const char *env = getenv("ENGINE_SOAK_ROUNDS");
    /* Each graph takes about 0.3 s to build here, so the default run keeps
     * to 8 rounds (40 source lifetimes); ENGINE_SOAK_ROUNDS=200 gives the
     * full soak. */
    int rounds = env ? atoi(env) : 8;
    DWORD t0 = GetTickCount();
    for (int i = 0; i < rounds; i++) round(i);
    DWORD elapsed = GetTickCount() - t0;
    host.Pump(300);
    WARN(rounds << " rounds of 5 sources in " << elapsed << " ms; threads " << threads0 << " -> "
                << thread_count() << ", handles " << handles0 << " -> " << handle_count());
    CHECK(thread_count() <= threads0);
    if (handles0) CHECK(handle_count() <= handles0 + 5);
    CHECK(g_transformer.eventId != 0);
}

TEST_CASE("Encoding start and stop reopen every source, silence moving pictures and keep the colour")
{
    EngineHost host;
    REQUIRE(OpenSource(0, clip("long.wmv").c_str(), clip("long.wmv").c_str()));
    REQUIRE(OpenSource(1, clip("bars.wmv").c_str(), clip("bars.wmv").c_str()));
    REQUIRE(SelectChannel(0));
    SetHSLEffect(90, 0, 0);
    MyPlay(0);
    host.Pump(1300);
    host.msgs.clear();
    CAviMpegReader *prog = reader(0);
    EngineSurface *surface = prog->surface;

    EncoderStart();
    host.Pump(100);
    CHECK(g_engine.encodeMode == 1);
    for (int ch : {0, 1}) {
        INFO("channel " << ch);
        CAviMpegReader *r = reader(ch);
        CHECK(r->muteFlag == 1);
        IBaseFilter *sound = FindFilterByName(r->graph, L"Audio Renderer", 0);
        CHECK(sound == nullptr);
        if (sound) sound->Release();
        IBaseFilter *null = FindFilterByName(r->graph, L"Null Audio Renderer", 0);
        CHECK(null != nullptr);
        if (null) null->Release();
    }
    /* Same object, same surface: the programme stays the programme. */
    CHECK(reader(0) == prog);
    CHECK(g_transformer.ProgrammeSurface() == surface);
    CHECK(host.States(0) == std::vector<int>{12, 1, 11});
    CHECK(host.States(1) == std::vector<int>{12, 1});
    CHECK(MyGetPosition(0) >= 1);
    int hue = 0, sat = 0, light = 0;
    REQUIRE(prog->hslFilter);
    prog->hslFilter->GetHSL(&hue, &sat, &light);
    CHECK(hue == 90);

    host.msgs.clear();
    EncoderStop();
    host.Pump(100);
    CHECK(g_engine.encodeMode == 0);
    CHECK(reader(0)->muteFlag == 0);
    /* The programme plays on after the stop. */
    CHECK(host.States(0) == std::vector<int>{12, 1, 11});
    const int at = MyGetPosition(0);
    host.Pump(1500);
    CHECK(MyGetPosition(0) > at);
    prog->hslFilter->GetHSL(&hue, &sat, &light);
    CHECK(hue == 90);
    SetHSLEffect(0, 0, 0);
}

TEST_CASE("PreviewTitle fills exactly 320 by 240 pixels of the target")
{
    EngineHost host(640, 480);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = 400;
    bi.bmiHeader.biHeight = -300;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void *bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, dib);
    std::fill((DWORD *)bits, (DWORD *)bits + 400 * 300, 0xFFFFFFu);
    PreviewTitle(dc, FALSE);
    GdiFlush();
    const DWORD *px = (const DWORD *)bits;
    CHECK((px[0] & 0xFFFFFF) == 0);
    CHECK((px[239 * 400 + 319] & 0xFFFFFF) == 0);
    CHECK((px[239 * 400 + 320] & 0xFFFFFF) == 0xFFFFFF);
    CHECK((px[240 * 400 + 0] & 0xFFFFFF) == 0xFFFFFF);
    CHECK(g_engine.titlePreview == 1);
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(dib);
}
