/*
 * The capture source over the platform's capture devices (a test-pattern
 * camera and a tone microphone listed by the system device enumerator, as
 * a PC's devices are): device lists with the DV naming rule, a camera on a
 * channel showing its moving pattern at the working size, the sound of the
 * microphone as the engine's PCM, two channels on one audio device, the
 * capture stack, unknown device names, and a soak of opens and closes
 * while the frame clock runs.
 */
#define NOMINMAX
#include <catch2/catch.hpp>
#include <windows.h>
#include <psapi.h>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>
#include "msgbox_capture.h"
#include "engine_host.h"
#include "corvengine.h"
#include "engine.h"
#include "clock.h"
#include "devices.h"
#include "capture_source.h"
#include "graph_util.h"
#include "painter.h"
#include <uuids.h>
#include <algorithm>

namespace {

const char *CAMERA = "Test Pattern Camera";
const char *MIC = "Tone Microphone";

CDSCapture *capture(int ch) { return dynamic_cast<CDSCapture *>(g_engine.channel[ch]); }

unsigned frames(int ch) { return g_channelPainter[ch] ? g_channelPainter[ch]->signals.load() : 0; }

bool wait_frames(EngineHost &host, int ch, unsigned n, DWORD ms = 8000)
{
    const unsigned start = frames(ch);
    host.Pump(ms, [&] { return frames(ch) - start >= n; });
    return frames(ch) - start >= n;
}

std::vector<DWORD> pixels(EngineSurface *s, int *w, int *h)
{
    EngineSurfaceSize(s, w, h);
    std::vector<DWORD> px((size_t)*w * *h);
    REQUIRE(SUCCEEDED(EngineSurfaceRead(s, INFINITE, px.data(), *w * 4)));
    return px;
}

/* The pattern's frame number in the strip at the bottom (16 cells). */
long long counter(EngineSurface *s)
{
    int w, h;
    auto px = pixels(s, &w, &h);
    const int y = h - h / 16 - 1;
    long long n = 0;
    for (int cell = 0; cell < 16; cell++) {
        const DWORD v = px[(size_t)y * w + (2 * cell + 1) * w / 32] & 0xFFFFFF;
        const int lum = ((v >> 16) & 255) + ((v >> 8) & 255) + (v & 255);
        if (lum > 600) n |= 1LL << (15 - cell);
        else if (lum > 150) return -1;
    }
    return n;
}

/* Where the white bar (the first of eight) starts in the middle row. */
int white_bar(EngineSurface *s)
{
    int w, h;
    auto px = pixels(s, &w, &h);
    const DWORD *row = &px[(size_t)(h / 2) * w];
    for (int x = 0; x < w; x++) {
        const DWORD a = row[x] & 0xFFFFFF, b = row[(x + w - 1) % w] & 0xFFFFFF;
        if (a == 0xFFFFFF && b != 0xFFFFFF && (b & 0xFF) < 0x80) return x;   /* after the black bar */
    }
    return -1;
}

std::mutex probeLock;
std::vector<int> probeChannels;
size_t probeBytes = 0;
void probe(int ch, double, const BYTE *, long len)
{
    std::lock_guard<std::mutex> l(probeLock);
    probeChannels.push_back(ch);
    probeBytes += (size_t)len;
}

}  // namespace

TEST_CASE("Device names: DV devices of one name are numbered and carry their own audio", "[capture][devices]")
{
    EngineHost host;
    struct Case {
        std::vector<std::string> video, audio, wantVideo, wantAudio;
    };
    const Case cases[] = {
        {{"Cam A", "Cam B"}, {"Mic"}, {"Cam A", "Cam B"}, {"Mic"}},
        {{"Sony DV", "Cam", "Sony DV", "Sony DV"}, {"Mic"},
         {"Sony DV", "Cam", "Sony DV (1)", "Sony DV (2)"}, {"Mic", "Sony DV", "Sony DV (1)", "Sony DV (2)"}},
        /* A longer earlier name that begins with the DV name counts too. */
        {{"DV Camcorder Pro", "DV Camcorder"}, {}, {"DV Camcorder Pro", "DV Camcorder"}, {"DV Camcorder Pro", "DV Camcorder"}},
        {{"DV Cam (3)", "DV Cam"}, {}, {"DV Cam (3)", "DV Cam (4)"}, {"DV Cam (3)", "DV Cam (4)"}},
        {{}, {}, {}, {}},
    };
    for (const Case &c : cases) {
        static char video[8][ENGINE_TEXT], audio[8][ENGINE_TEXT];
        for (size_t i = 0; i < c.video.size(); i++) lstrcpynA(video[i], c.video[i].c_str(), ENGINE_TEXT);
        for (size_t i = 0; i < c.audio.size(); i++) lstrcpynA(audio[i], c.audio[i].c_str(), ENGINE_TEXT);
        CHECK(EngineNameDevices(video, (int)c.video.size(), audio, (int)c.audio.size()) == (int)c.wantAudio.size());
        std::vector<std::string> gotVideo, gotAudio;
        for (int i = 0; GetVideoDeviceName(i); i++) gotVideo.push_back(GetVideoDeviceName(i));
        for (int i = 0; GetAudioDeviceName(i); i++) gotAudio.push_back(GetAudioDeviceName(i));
        CHECK(gotVideo == c.wantVideo);
        CHECK(gotAudio == c.wantAudio);
        /* DV audio entries bind to their video device's position. */
        for (size_t i = c.audio.size(); i < c.wantAudio.size(); i++)
            CHECK(c.video[g_engine.audioDevices[i].index].find("DV") != std::string::npos);
    }
    /* The real lists name the platform's devices. */
    CHECK(GetDeviceLists() >= 1);
    bool camera = false, mic = false;
    for (int i = 0; GetVideoDeviceName(i); i++) camera |= std::string(GetVideoDeviceName(i)) == CAMERA;
    for (int i = 0; GetAudioDeviceName(i); i++) mic |= std::string(GetAudioDeviceName(i)) == MIC;
    CHECK(camera);
    CHECK(mic);
    ReleaseDeviceLists();

    /* The in-use mark is taken in one step: the second claim fails. */
    CHECK(EngineClaimAudioDevice(7, 2));
    CHECK_FALSE(EngineClaimAudioDevice(7, 3));
    CHECK(EngineAudioDeviceUser(7) == 2);
    EngineAudioDeviceInUse(7, -1);
    CHECK(EngineAudioDeviceUser(7) == -1);
    CHECK(EngineClaimAudioDevice(7, 3));
    EngineAudioDeviceInUse(7, -1);
    CHECK_FALSE(EngineClaimAudioDevice(-1, 0));
}

TEST_CASE("A camera on a channel shows its moving pattern at the working size; its sound is the engine's PCM",
          "[capture]")
{
    EngineHost host;
    MsgBoxCapture boxes;
    REQUIRE(GetDeviceLists() >= 1);
    g_engineAudioProbe = probe;
    const int ch = 0;
    const std::string dev = std::string("dev:") + CAMERA, mic = std::string("dev:") + MIC;
    const BOOL opened = OpenSource(ch, dev.c_str(), mic.c_str());
    for (const auto &t : boxes.texts()) UNSCOPED_INFO("box: " << t);
    REQUIRE(opened == TRUE);
    CHECK(boxes.count() == 0);
    CDSCapture *c = capture(ch);
    REQUIRE(c);
    host.Pump(50);
    CHECK(host.States(ch) == std::vector<int>{1});
    CHECK(c->GetDuration() == 0);
    CHECK(c->GetPosition() == 0);
    CHECK(EngineCaptureStackCount() == 1);
    CHECK(EngineCaptureStackChannel(0) == ch);
    REQUIRE(c->videoType);
    CHECK(IsEqualGUID(c->videoType->subtype, MEDIASUBTYPE_RGB24));

    /* Pictures arrive before Play: the graph runs from Open. */
    REQUIRE(wait_frames(host, ch, 3));
    int w, h;
    pixels(c->surface, &w, &h);
    CHECK(w == 320);
    CHECK(h == 240);
    const long long n1 = counter(c->surface);
    const int bar1 = white_bar(c->surface);
    REQUIRE(wait_frames(host, ch, 5));
    const long long n2 = counter(c->surface);
    const int bar2 = white_bar(c->surface);
    CHECK(n1 >= 2);
    CHECK(n2 > n1);
    REQUIRE(bar1 >= 0);
    REQUIRE(bar2 >= 0);
    /* The bars move 4 pixels a frame (the camera's picture is 320 wide). */
    CHECK((bar2 - bar1 + 320) % 320 == (int)((n2 - n1) * 4 % 320));

    CHECK(MyPlay(ch) == 1);
    host.Pump(50);
    CHECK(host.States(ch) == std::vector<int>{1, 11});
    host.Pump(400);
    {
        std::lock_guard<std::mutex> l(probeLock);
        CHECK(std::count(probeChannels.begin(), probeChannels.end(), ch) >= 2);
    }
    REQUIRE(c->audioType);
    const WAVEFORMATEX *wf = reinterpret_cast<const WAVEFORMATEX *>(c->audioType->pbFormat);
    CHECK(wf->nSamplesPerSec == 22050);
    CHECK(wf->nChannels == 2);
    CHECK(wf->wBitsPerSample == 16);
    g_engineAudioProbe = nullptr;
    CHECK(CloseSource(ch) == 1);
    CHECK(EngineCaptureStackCount() == 0);
    CHECK(EngineAudioDeviceUser(EngineFindAudioDevice(MIC)) == -1);
    CHECK(boxes.count() == 0);
}

TEST_CASE("Two channels on one audio device: the second has no audio of its own; the stack keeps the order",
          "[capture]")
{
    EngineHost host;
    MsgBoxCapture boxes;
    REQUIRE(GetDeviceLists() >= 1);
    const std::string dev = std::string("dev:") + CAMERA, mic = std::string("dev:") + MIC;
    const int micIndex = EngineFindAudioDevice(MIC);
    REQUIRE(micIndex >= 0);
    REQUIRE(OpenSource(1, dev.c_str(), mic.c_str()) == TRUE);
    REQUIRE(OpenSource(3, dev.c_str(), mic.c_str()) == TRUE);
    CDSCapture *a = capture(1), *b = capture(3);
    REQUIRE(a);
    REQUIRE(b);
    CHECK_FALSE(a->audioInUse);
    CHECK(a->audioType != nullptr);
    CHECK(b->audioInUse);
    CHECK(b->audioType == nullptr);
    CHECK(b->audioDeviceIndex == micIndex);
    CHECK(EngineAudioDeviceUser(micIndex) == 1);
    CHECK(EngineCaptureStackCount() == 2);
    CHECK(EngineCaptureStackChannel(0) == 1);
    CHECK(EngineCaptureStackChannel(1) == 3);
    CHECK(a->stackPosition == 0);
    CHECK(b->stackPosition == 1);
    /* Both show pictures. */
    CHECK(wait_frames(host, 1, 3));
    CHECK(wait_frames(host, 3, 3));

    /* The first goes: the mark is cleared and the second moves down. */
    CHECK(CloseSource(1) == 1);
    CHECK(EngineAudioDeviceUser(micIndex) == -1);
    CHECK(EngineCaptureStackCount() == 1);
    CHECK(b->stackPosition == 0);
    CHECK(wait_frames(host, 3, 3));   /* the other graph kept running */
    /* Opened again, the device is free for it. */
    REQUIRE(OpenSource(1, dev.c_str(), mic.c_str()) == TRUE);
    CHECK_FALSE(capture(1)->audioInUse);
    CHECK(EngineAudioDeviceUser(micIndex) == 1);
    CHECK(CloseSource(3) == 1);
    CHECK(CloseSource(1) == 1);
    CHECK(EngineCaptureStackCount() == 0);
    CHECK(boxes.count() == 0);
}

TEST_CASE("Unknown device names are refused with their texts and an empty channel", "[capture][bad]")
{
    EngineHost host;
    REQUIRE(GetDeviceLists() >= 1);
    struct Case { const char *video, *audio, *text; };
    const Case cases[] = {
        {"dev:No Such Camera", "", "Video [No Such Camera] is not found."},
        {"dev:Test Pattern Camera", "dev:No Such Mic", "Audio [No Such Mic] is not found."},
    };
    for (const Case &c : cases) {
        INFO(c.video << " / " << c.audio);
        MsgBoxCapture boxes;
        CHECK(OpenSource(2, c.video, c.audio) == FALSE);
        CHECK(g_engine.channel[2] == nullptr);
        REQUIRE(boxes.count() == 1);
        CHECK(boxes.texts()[0] == c.text);
    }
    CHECK(EngineCaptureStackCount() == 0);
}

TEST_CASE("An audio string shorter than the device prefix names no device and is read no further",
          "[capture][bad]")
{
    EngineHost host;
    REQUIRE(GetDeviceLists() >= 1);
    const std::string dev = std::string("dev:") + CAMERA;
    /* Each string ends its page: a byte read past its end faults. */
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    const SIZE_T page = si.dwPageSize;
    BYTE *mem = (BYTE *)VirtualAlloc(nullptr, page * 2, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    REQUIRE(mem);
    DWORD old;
    REQUIRE(VirtualProtect(mem + page, page, PAGE_NOACCESS, &old));
    for (const char *text : {"d", "de", "dev"}) {
        INFO("audio \"" << text << "\"");
        const size_t n = strlen(text) + 1;
        char *audio = (char *)mem + page - n;
        memcpy(audio, text, n);
        MsgBoxCapture boxes;
        CHECK(OpenSource(2, dev.c_str(), audio) == FALSE);
        CHECK(g_engine.channel[2] == nullptr);
        REQUIRE(boxes.count() == 1);
        CHECK(boxes.texts()[0] == "Audio [] is not found.");
    }
    VirtualFree(mem, 0, MEM_RELEASE);
    CHECK(EngineCaptureStackCount() == 0);
}

TEST_CASE("Soak: capture channels opened and closed while the frame clock runs", "[capture][soak]")
{
    EngineHost host;
    MsgBoxCapture boxes;
    REQUIRE(GetDeviceLists() >= 1);
    const char *env = getenv("CAPTURE_SOAK");
    const int rounds = env && atoi(env) > 0 ? atoi(env) : 10;
    const std::string dev = std::string("dev:") + CAMERA, mic = std::string("dev:") + MIC;
    const int micIndex = EngineFindAudioDevice(MIC);
    for (int r = 0; r < rounds; r++) {
        INFO("round " << r);
        const int ch = r % 3;
        REQUIRE(OpenSource(ch, dev.c_str(), mic.c_str()) == TRUE);
        REQUIRE(OpenSource(ch + 2, dev.c_str(), r % 2 ? mic.c_str() : "") == TRUE);
        SelectChannel(ch);
        host.Pump(r % 4 == 0 ? 150 : 20);
        if (r % 2) MyPlay(ch + 2);
        /* Every third round a DV camcorder with its own sound takes channel 1
         * from the running camera there. */
        const bool dv = r % 3 == 1;
        if (dv) {
            REQUIRE(OpenSource(1, "dev:Microsoft DV Camera and VCR", "dev:Microsoft DV Camera and VCR") == TRUE);
            host.Pump(r % 2 ? 120 : 10);
            if (r % 2) MyPlay(1);
        }
        CHECK(CloseSource(ch) == 1);
        CHECK(CloseSource(ch + 2) == 1);
        if (dv) CHECK(CloseSource(1) == 1);
        CHECK(EngineCaptureStackCount() == 0);
        CHECK(EngineAudioDeviceUser(micIndex) == -1);
    }
    CHECK(boxes.count() == 0);
}

namespace {
long transport_mode(CDSCapture *c)
{
    long mode = 0;
    REQUIRE(c->transport);
    REQUIRE(SUCCEEDED(c->transport->get_Mode(&mode)));
    return mode;
}
}  // namespace

TEST_CASE("A DV camcorder in VCR mode: an hour of tape, timecode positions every 500 ms, the transport modes",
          "[capture][dv]")
{
    EngineHost host;
    MsgBoxCapture boxes;
    REQUIRE(GetDeviceLists() >= 1);
    const char *DV = "Microsoft DV Camera and VCR";
    REQUIRE(EngineFindVideoDevice(DV) >= 0);
    /* DV devices carry their own sound: listed after the audio devices. */
    const int dvAudio = EngineFindAudioDevice(DV);
    CHECK(dvAudio >= EngineFindAudioDevice(MIC));
    const int ch = 1;
    const std::string dev = std::string("dev:") + DV;
    const BOOL opened = OpenSource(ch, dev.c_str(), "");
    for (const auto &t : boxes.texts()) UNSCOPED_INFO("box: " << t);
    REQUIRE(opened == TRUE);
    CDSCapture *c = capture(ch);
    REQUIRE(c);
    CHECK(c->dvMode == 1);
    CHECK(MyGetDuration(ch) == 3600);
    CHECK(MyGetPosition(ch) == 0);
    CHECK(transport_mode(c) == EXT_MODE_STOP);
    CHECK(wait_frames(host, ch, 2));    /* the picture runs whatever the tape does */

    host.msgs.clear();
    CHECK(MyPlay(ch) == 1);
    CHECK(transport_mode(c) == EXT_MODE_PLAY);
    host.Pump(2300);
    auto pos = host.Of(WM_ENGINE_POSITION, ch);
    CHECK(pos.size() >= 3);              /* every 500 ms */
    CHECK(pos.size() <= 6);
    for (size_t i = 1; i < pos.size(); i++) CHECK(pos[i] >= pos[i - 1]);
    REQUIRE_FALSE(pos.empty());
    CHECK(pos.back() >= 1);
    CHECK(pos.back() <= 3);
    CHECK(host.States(ch).back() == 11);

    /* Fast forward while playing: the fastest forward play, ten times as fast. */
    CHECK(MyFastForward(ch) == 1);
    CHECK(transport_mode(c) == EXT_MODE_PLAY_FASTEST_FWD);
    const int before = MyGetPosition(ch);
    host.Pump(1000);
    CHECK(MyGetPosition(ch) >= before + 8);
    CHECK(MyRewind(ch) == 1);
    CHECK(transport_mode(c) == EXT_MODE_PLAY_FASTEST_REV);
    host.Pump(300);

    /* Pause freezes the tape and stops the position timer. */
    CHECK(MyPause(ch) == 1);
    CHECK(transport_mode(c) == EXT_MODE_FREEZE);
    const int frozen = MyGetPosition(ch);
    host.msgs.clear();
    host.Pump(1200);
    CHECK(host.Of(WM_ENGINE_POSITION, ch).empty());
    CHECK(MyGetPosition(ch) == frozen);

    /* Not playing: plain fast forward and rewind. */
    CHECK(MyFastForward(ch) == 1);
    CHECK(transport_mode(c) == EXT_MODE_FF);
    CHECK(MyRewind(ch) == 1);
    CHECK(transport_mode(c) == EXT_MODE_REW);
    CHECK(MyStop(ch) == 1);
    CHECK(transport_mode(c) == EXT_MODE_STOP);
    host.Pump(50);
    CHECK(host.States(ch).back() == 12);

    /* Closed while the position timer runs: nothing reaches it afterwards. */
    CHECK(MyPlay(ch) == 1);
    host.Pump(600);
    CHECK(CloseSource(ch) == 1);
    host.msgs.clear();
    host.Pump(1100);
    CHECK(host.Of(WM_ENGINE_POSITION, ch).empty());

    CHECK(EngineCaptureStackCount() == 0);
}

namespace {
std::mutex dvLock;
std::vector<short> dvSound;
void dv_probe(int ch, double, const BYTE *buffer, long len)
{
    std::lock_guard<std::mutex> l(dvLock);
    if (ch == 2) dvSound.insert(dvSound.end(), (const short *)buffer, (const short *)buffer + len / 2);
}
std::string vendor_of(IBaseFilter *f)
{
    LPWSTR info = nullptr;
    if (FAILED(f->QueryVendorInfo(&info)) || !info) return std::string();
    std::string s;
    for (LPWSTR p = info; *p; p++) s += (char)*p;
    CoTaskMemFree(info);
    return s;
}
long serial_of(IBaseFilter *f)
{
    std::string v = vendor_of(f);
    size_t hash = v.find('#');
    return hash == std::string::npos ? -1 : atol(v.c_str() + hash + 1);
}
}  // namespace

TEST_CASE("A DV camcorder's own sound comes from its DV stream; the DV decoder rendering chose is replaced",
          "[capture][dv]")
{
    EngineHost host;
    MsgBoxCapture boxes;
    REQUIRE(GetDeviceLists() >= 1);
    const std::string dev = "dev:Microsoft DV Camera and VCR";
    /* A decoder made now tells how many were made before the channel's. */
    IBaseFilter *probeDecoder = nullptr;
    REQUIRE(SUCCEEDED(CoCreateInstance(CLSID_DVVideoCodec, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                       (void **)&probeDecoder)));
    const long before = serial_of(probeDecoder);
    probeDecoder->Release();
    REQUIRE(before >= 1);
    {
        std::lock_guard<std::mutex> l(dvLock);
        dvSound.clear();
    }
    g_engineAudioProbe = dv_probe;
    const int ch = 2;
    const BOOL opened = OpenSource(ch, dev.c_str(), dev.c_str());
    for (const auto &t : boxes.texts()) UNSCOPED_INFO("box: " << t);
    REQUIRE(opened == TRUE);
    CHECK(boxes.count() == 0);
    CDSCapture *c = capture(ch);
    REQUIRE(c);

    /* The graph: device -> ... -> DV Splitter -> DV Video Decoder -> colour
     * converter, the decoder a fresh one put in the place of rendering's. */
    IBaseFilter *split = FindFilterByName(c->graph, L"DV Splitter", 0);
    IBaseFilter *decoder = FindFilterByName(c->graph, L"DV Video Decoder", 0);
    REQUIRE(split);
    REQUIRE(decoder);
    CHECK(serial_of(decoder) >= before + 2);
    IPin *din = GetInputPin(decoder, 0);
    REQUIRE(din);
    IBaseFilter *up = UpstreamFilter(din);
    CHECK(up == split);
    if (up) up->Release();
    din->Release();
    decoder->Release();
    split->Release();

    /* Pictures through the new decoder, the pattern's counter readable. */
    REQUIRE(wait_frames(host, ch, 5));
    CHECK(counter(c->surface) >= 1);

    /* Its sound: the tone the camcorder put in its frames, as the engine's PCM. */
    REQUIRE(c->audioType);
    const WAVEFORMATEX *wf = reinterpret_cast<const WAVEFORMATEX *>(c->audioType->pbFormat);
    CHECK(wf->nSamplesPerSec == 22050);
    CHECK(wf->nChannels == 2);
    host.Pump(8000, [] {
        std::lock_guard<std::mutex> l(dvLock);
        return dvSound.size() >= 22050 * 2;
    });
    g_engineAudioProbe = nullptr;
    std::vector<short> got;
    {
        std::lock_guard<std::mutex> l(dvLock);
        got = dvSound;
    }
    REQUIRE(got.size() >= 22050 * 2);
    /* 1 kHz: two sign changes a millisecond on the left channel. */
    const size_t frames = 22050 / 2;
    int crossings = 0, peak = 0;
    for (size_t i = 1; i < frames; i++) {
        const short a = got[(i - 1) * 2], b = got[i * 2];
        if ((a < 0) != (b < 0)) crossings++;
        peak = std::max(peak, (int)std::abs(b));
    }
    const double expected = 2.0 * 1000.0 * frames / 22050.0;
    CHECK(crossings > expected * 0.9);
    CHECK(crossings < expected * 1.1);
    CHECK(peak > 4000);
    CHECK(CloseSource(ch) == 1);
    CHECK(EngineCaptureStackCount() == 0);
}

TEST_CASE("Two DV camcorders of one model are listed apart and open on two channels", "[capture][dv]")
{
    EngineHost host;
    MsgBoxCapture boxes;
    REQUIRE(GetDeviceLists() >= 1);
    const int first = EngineFindVideoDevice("Microsoft DV Camera and VCR"),
              second = EngineFindVideoDevice("Microsoft DV Camera and VCR (1)");
    REQUIRE(first >= 0);
    REQUIRE(second >= 0);
    CHECK(EngineFindAudioDevice("Microsoft DV Camera and VCR") >= 0);
    CHECK(EngineFindAudioDevice("Microsoft DV Camera and VCR (1)") >= 0);
    REQUIRE(OpenSource(1, "dev:Microsoft DV Camera and VCR", "dev:Microsoft DV Camera and VCR") == TRUE);
    REQUIRE(OpenSource(3, "dev:Microsoft DV Camera and VCR (1)", "dev:Microsoft DV Camera and VCR (1)") == TRUE);
    CHECK(boxes.count() == 0);
    REQUIRE(wait_frames(host, 1, 3));
    REQUIRE(wait_frames(host, 3, 3));
    /* Each has its own tape. */
    CHECK(MyPlay(1) == 1);
    host.Pump(1200);
    CHECK(MyGetPosition(1) >= 1);
    CHECK(MyGetPosition(3) == 0);
    CHECK(CloseSource(1) == 1);
    CHECK(CloseSource(3) == 1);
    CHECK(EngineCaptureStackCount() == 0);
}

namespace {
/* Texts of the windows this thread creates while it lives (a property
 * page's controls are made after its frame is shown). */
std::vector<std::string> *g_created;
LRESULT CALLBACK created_proc(int code, WPARAM wp, LPARAM lp)
{
    if (code == HCBT_CREATEWND && g_created) {
        const CREATESTRUCTA *cs = reinterpret_cast<CBT_CREATEWNDA *>(lp)->lpcs;
        if (cs->lpszName && !IS_INTRESOURCE(cs->lpszName) && cs->lpszName[0]) g_created->push_back(cs->lpszName);
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}
struct CreatedTexts {
    std::vector<std::string> texts;
    HHOOK hook;
    CreatedTexts() : hook(SetWindowsHookExA(WH_CBT, created_proc, nullptr, GetCurrentThreadId())) { g_created = &texts; }
    ~CreatedTexts() { UnhookWindowsHookEx(hook); g_created = nullptr; }
};
}  // namespace

/* Chooses entry n of the format dialog's list and presses OK. */
int g_chooseFormat = -1;
LRESULT CALLBACK choose_proc(int code, WPARAM wp, LPARAM lp)
{
    if (code == HCBT_ACTIVATE && g_chooseFormat >= 0) {
        HWND w = reinterpret_cast<HWND>(wp);
        char title[64] = "";
        GetWindowTextA(w, title, sizeof title);
        if (!strcmp(title, "Video Format") && GetDlgItem(w, 100)) {
            SendDlgItemMessageA(w, 100, LB_SETCURSEL, (WPARAM)g_chooseFormat, 0);
            PostMessageA(w, WM_COMMAND, IDOK, 0);
        }
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}
struct ChooseFormat {
    HHOOK hook;
    explicit ChooseFormat(int n) : hook(SetWindowsHookExA(WH_CBT, choose_proc, nullptr, GetCurrentThreadId()))
    {
        g_chooseFormat = n;
    }
    ~ChooseFormat() { UnhookWindowsHookEx(hook); g_chooseFormat = -1; }
};

TEST_CASE("Device dialogs: the camera's source and format dialogs and the camcorder's property page, each with its text",
          "[capture][dialogs]")
{
    EngineHost host;
    REQUIRE(GetDeviceLists() >= 1);
    const std::string camera = std::string("dev:") + CAMERA;
    REQUIRE(OpenSource(0, camera.c_str(), "") == TRUE);
    REQUIRE(wait_frames(host, 0, 2));
    {
        /* A camera with video-for-Windows dialogs: the source dialog, shown
         * with the graph halted; the pictures come again afterwards. */
        MsgBoxCapture boxes;
        CHECK(CapVideoSource() == 1);
        REQUIRE(boxes.count() == 1);
        CHECK(boxes.boxes()[0].caption == "Video Source");
        CHECK(boxes.texts()[0] ==
              "Test Pattern Camera: the built-in test pattern (eight moving colour bars over a frame counter).");
    }
    CHECK(wait_frames(host, 0, 3));
    {
        MsgBoxCapture boxes;
        CHECK(CapVideoFormat() == 1);
        REQUIRE(boxes.count() == 1);
        CHECK(boxes.boxes()[0].caption == "Video Format");
        CHECK(boxes.texts()[0] == "Video format: 320 x 240, RGB 24, 25 frames a second.");
    }
    CHECK(wait_frames(host, 0, 3));
    REQUIRE(capture(0)->videoType);
    CHECK(reinterpret_cast<const VIDEOINFOHEADER *>(capture(0)->videoType->pbFormat)->bmiHeader.biWidth == 320);
    {
        /* Another format chosen: the graph is built again with it and runs. */
        MsgBoxCapture boxes;
        ChooseFormat choose(1);
        CHECK(CapVideoFormat() == 1);
        CHECK(boxes.count() == 1);
    }
    REQUIRE(capture(0));
    REQUIRE(capture(0)->videoType);
    const auto &bih = reinterpret_cast<const VIDEOINFOHEADER *>(capture(0)->videoType->pbFormat)->bmiHeader;
    CHECK(bih.biWidth == 640);
    CHECK(bih.biHeight == 480);
    CHECK(EngineCaptureStackCount() == 1);
    REQUIRE(wait_frames(host, 0, 3));
    CHECK(counter(capture(0)->surface) >= 1);
    {
        /* And the dialog now starts from it. */
        MsgBoxCapture boxes;
        CHECK(CapVideoFormat() == 1);
        REQUIRE(boxes.count() == 1);
        CHECK(boxes.texts()[0] == "Video format: 640 x 480, RGB 24, 25 frames a second.");
    }
    CHECK(wait_frames(host, 0, 3));

    /* A camcorder has no such dialogs: its filter's property page instead,
     * which tells the tape's mode. */
    REQUIRE(OpenSource(1, "dev:Microsoft DV Camera and VCR", "") == TRUE);
    REQUIRE(wait_frames(host, 1, 2));
    {
        CreatedTexts made;
        MsgBoxCapture boxes;
        CHECK(CapVideoSource() == 1);
        /* One frame, closed by OK; its page showed the camcorder's text. */
        CHECK(boxes.count() == 1);
        CHECK(std::count(made.texts.begin(), made.texts.end(),
                         "DV Camcorder: DV 625/50, 720 x 576, 25 frames a second, 48 kHz stereo sound. Tape: stop.") == 1);
    }
    CHECK(wait_frames(host, 1, 3));
    {
        /* Its stream configuration has no pages: nothing to show. */
        MsgBoxCapture boxes;
        CHECK(CapVideoFormat() == 1);
        CHECK(boxes.count() == 0);
    }
    CHECK(wait_frames(host, 1, 3));
    CHECK(CloseSource(0) == 1);
    CHECK(CloseSource(1) == 1);
    CHECK(EngineCaptureStackCount() == 0);
}

/* A DV camcorder playing on the programme with its own sound holds its
 * memory: once its first pictures are out, the process's working set stays
 * within a megabyte over 15 s of frames (it grew 11 MB a minute, 2.8 MB
 * over these frames, before the mend). */
TEST_CASE("A DV camcorder channel playing with its sound keeps its memory flat", "[capture][dv][memory]")
{
    EngineHost host;
    MsgBoxCapture boxes;
    REQUIRE(GetDeviceLists() >= 1);
    const char *dev = "dev:Microsoft DV Camera and VCR";
    const int ch = 1;
    REQUIRE(OpenSource(ch, dev, dev) == TRUE);
    SelectChannel(ch);
    MyPlay(ch);
    auto workingSet = [] {
        PROCESS_MEMORY_COUNTERS c = {};
        c.cb = sizeof c;
        GetProcessMemoryInfo(GetCurrentProcess(), &c, sizeof c);
        return (long long)c.WorkingSetSize;
    };
    REQUIRE(wait_frames(host, ch, 150, 30000));
    const long long before = workingSet();
    const unsigned first = frames(ch);
    REQUIRE(wait_frames(host, ch, 375, 40000));
    const long long grown = workingSet() - before;
    INFO("working set grew " << grown / 1024 << " KB over " << frames(ch) - first << " frames");
    CHECK(grown < 1024 * 1024);
    CHECK(CloseSource(ch) == 1);
    CHECK(boxes.count() == 0);
}
