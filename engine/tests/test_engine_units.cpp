/*
 * Engine parts without media files: frame drawing and stretching, the grabber
 * callback's gate against a closing source, HandleEvent's draining, and the
 * audio hand-off to the encoder.
 */
#define NOMINMAX
#include <catch2/catch.hpp>
#include <windows.h>
#include <uuids.h>
#include <evcode.h>
#include <atomic>
#include <deque>
#include <vector>
#include "msgbox_capture.h"
#include "engine_host.h"
#include "corvengine.h"
#include "engine.h"
#include "clock.h"
#include "decoder.h"
#include "file_source.h"
#include "grab_cb.h"
#include "painter.h"
#include "writers.h"

namespace {

AM_MEDIA_TYPE *rgb24_type(int w, int h)
{
    AM_MEDIA_TYPE mt = {};
    VIDEOINFOHEADER vih = {};
    vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih.bmiHeader.biWidth = w;
    vih.bmiHeader.biHeight = h;
    vih.bmiHeader.biPlanes = 1;
    vih.bmiHeader.biBitCount = 24;
    vih.bmiHeader.biCompression = BI_RGB;
    mt.majortype = MEDIATYPE_Video;
    mt.subtype = MEDIASUBTYPE_RGB24;
    mt.formattype = FORMAT_VideoInfo;
    mt.cbFormat = sizeof(vih);
    mt.pbFormat = reinterpret_cast<BYTE *>(&vih);
    return EngineCopyMediaType(&mt);
}

/* A bottom-up RGB24 frame: left half red, right half blue in the top half;
 * green below. */
std::vector<BYTE> quad_frame(int w, int h)
{
    int stride = (w * 3 + 3) & ~3;
    std::vector<BYTE> f((size_t)stride * h);
    for (int row = 0; row < h; row++) {
        int y = h - 1 - row;  /* bottom-up */
        for (int x = 0; x < w; x++) {
            BYTE *p = &f[(size_t)row * stride + x * 3];
            if (y < h / 2) { p[0] = x < w / 2 ? 0 : 255; p[1] = 0; p[2] = x < w / 2 ? 255 : 0; }
            else { p[0] = 0; p[1] = 255; p[2] = 0; }
        }
    }
    return f;
}

DWORD pixel(EngineSurface *s, int x, int y)
{
    int w, h;
    EngineSurfaceSize(s, &w, &h);
    std::vector<DWORD> px((size_t)w * h);
    REQUIRE(SUCCEEDED(EngineSurfaceRead(s, INFINITE, px.data(), w * 4)));
    return px[(size_t)y * w + x] & 0xFFFFFF;
}

struct TestReader : CAviMpegReader {
    int closes = 0;
    void Close() override { closes++; CAviMpegReader::Close(); }
};

/* An event queue standing in for a graph's. */
struct FakeEvents : IMediaEventEx {
    std::deque<LONG> codes;
    int freed = 0;
    HRESULT WINAPI QueryInterface(REFIID, void **p) override { *p = nullptr; return E_NOINTERFACE; }
    ULONG WINAPI AddRef() override { return 2; }
    ULONG WINAPI Release() override { return 1; }
    HRESULT WINAPI GetTypeInfoCount(UINT *) override { return E_NOTIMPL; }
    HRESULT WINAPI GetTypeInfo(UINT, LCID, ITypeInfo **) override { return E_NOTIMPL; }
    HRESULT WINAPI GetIDsOfNames(REFIID, LPOLESTR *, UINT, LCID, DISPID *) override { return E_NOTIMPL; }
    HRESULT WINAPI Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS *, VARIANT *, EXCEPINFO *, UINT *) override { return E_NOTIMPL; }
    HRESULT WINAPI GetEventHandle(OAEVENT *) override { return E_NOTIMPL; }
    HRESULT WINAPI GetEvent(LONG *code, LONG_PTR *p1, LONG_PTR *p2, LONG timeout) override
    {
        CHECK(timeout == 0);
        if (codes.empty()) return E_ABORT;
        *code = codes.front();
        codes.pop_front();
        *p1 = *p2 = 0;
        return S_OK;
    }
    HRESULT WINAPI WaitForCompletion(LONG, LONG *) override { return E_NOTIMPL; }
    HRESULT WINAPI CancelDefaultHandling(LONG) override { return E_NOTIMPL; }
    HRESULT WINAPI RestoreDefaultHandling(LONG) override { return E_NOTIMPL; }
    HRESULT WINAPI FreeEventParams(LONG, LONG_PTR, LONG_PTR) override { freed++; return S_OK; }
    HRESULT WINAPI SetNotifyWindow(OAHWND, LONG, LONG_PTR) override { return S_OK; }
    HRESULT WINAPI SetNotifyFlags(LONG) override { return S_OK; }
    HRESULT WINAPI GetNotifyFlags(LONG *) override { return S_OK; }
};

}  // namespace

TEST_CASE("A frame of any size fills the whole channel surface, stretched, never letter-boxed")
{
    EngineHost host(320, 240);
    struct { int w, h; } sizes[] = {{64, 48}, {720, 576}, {33, 17}, {320, 240}, {1920, 1080}};
    for (const auto &sz : sizes) {
        INFO(sz.w << "x" << sz.h);
        TestReader r;
        r.videoType = rgb24_type(sz.w, sz.h);
        auto frame = quad_frame(sz.w, sz.h);
        r.DrawFrame(frame.data(), (long)frame.size());
        CHECK(r.sourceWidth == sz.w);
        CHECK(r.sourceHeight == sz.h);
        CHECK(r.drawnWidth == 320);
        CHECK(r.drawnHeight == 240);
        CHECK(r.aspect == Approx(320.0 / 240));
        CHECK(pixel(r.surface, 2, 2) == 0xFF0000);
        CHECK(pixel(r.surface, 317, 2) == 0x0000FF);
        CHECK(pixel(r.surface, 80, 100) == 0xFF0000);
        CHECK(pixel(r.surface, 240, 100) == 0x0000FF);
        CHECK(pixel(r.surface, 2, 237) == 0x00FF00);
        CHECK(pixel(r.surface, 317, 237) == 0x00FF00);
    }
}

TEST_CASE("A frame as large as the surface is copied row by row to the same words the device context draws")
{
    /* Odd widths leave row padding in the frame. */
    struct { int w, h; } sizes[] = {{320, 240}, {33, 17}, {1, 1}};
    for (const auto &sz : sizes) {
        const int h = sz.h;
        INFO(sz.w << "x" << sz.h);
        EngineHost host(sz.w, h);
        const int stride = (sz.w * 3 + 3) & ~3;
        std::vector<BYTE> frame((size_t)stride * h);
        uint32_t seed = 12345;
        for (auto &b : frame) { seed = seed * 1103515245u + 12345u; b = (BYTE)(seed >> 23); }
        std::vector<DWORD> words[2];
        for (int gdi = 0; gdi < 2; gdi++) {
            TestReader r;
            r.videoType = rgb24_type(sz.w, sz.h);
            EngineSurfaceFill(r.surface, INFINITE, 0x5A5A5A5A);
            EngineDrawFramesThroughGdi(gdi == 1);
            r.DrawFrame(frame.data(), (long)frame.size());
            EngineDrawFramesThroughGdi(false);
            CHECK(r.sourceWidth == sz.w);
            CHECK(r.drawnHeight == h);
            words[gdi].resize((size_t)sz.w * h);
            REQUIRE(SUCCEEDED(EngineSurfaceRead(r.surface, INFINITE, words[gdi].data(), sz.w * 4)));
        }
        /* The top-left pixel is the bottom-up frame's last row. */
        const BYTE *tl = &frame[(size_t)(h - 1) * stride];
        CHECK((words[0][0] & 0xFFFFFF) == ((DWORD)tl[0] | (DWORD)tl[1] << 8 | (DWORD)tl[2] << 16));
        size_t differ = 0;
        for (size_t i = 0; i < words[0].size(); i++) differ += words[0][i] != words[1][i];
        CHECK(differ == 0);
    }
}

TEST_CASE("A short buffer or a type that is not 24-bit RGB is not drawn")
{
    EngineHost host(160, 120);
    TestReader r;
    EngineSurfaceFill(r.surface, INFINITE, 0xFF123456);
    auto frame = quad_frame(64, 48);
    r.DrawFrame(frame.data(), (long)frame.size());     /* no video type yet */
    CHECK(pixel(r.surface, 0, 0) == 0x123456);
    r.videoType = rgb24_type(64, 48);
    r.DrawFrame(frame.data(), (long)frame.size() - 1);
    CHECK(pixel(r.surface, 0, 0) == 0x123456);
    r.DrawFrame(nullptr, 0);
    CHECK(pixel(r.surface, 0, 0) == 0x123456);
    reinterpret_cast<VIDEOINFOHEADER *>(r.videoType->pbFormat)->bmiHeader.biBitCount = 32;
    r.DrawFrame(frame.data(), (long)frame.size());
    CHECK(pixel(r.surface, 0, 0) == 0x123456);
}

TEST_CASE("After Detach no grabber callback reaches its source, even while frames keep arriving")
{
    EngineHost host(320, 240);
    for (int attempt = 0; attempt < 20; attempt++) {
        auto *r = new TestReader;
        r->channelIndex = 1;
        r->videoType = rgb24_type(320, 240);
        auto *cb = new CGrabCB1(r, 0);
        auto frame = quad_frame(320, 240);
        struct Streaming {
            CGrabCB1 *cb;
            std::vector<BYTE> *frame;
            std::atomic<bool> run{true};
            std::atomic<unsigned> calls{0};
            static DWORD WINAPI proc(void *p)
            {
                auto *s = static_cast<Streaming *>(p);
                while (s->run) { s->cb->BufferCB(0.0, s->frame->data(), (LONG)s->frame->size()); s->calls++; }
                return 0;
            }
        } st;
        st.cb = cb;
        st.frame = &frame;
        auto &calls = st.calls;
        /* A Win32 thread, as the graph's streaming threads are. */
        HANDLE streaming = CreateThread(nullptr, 0, Streaming::proc, &st, 0, nullptr);
        while (calls < 3) Sleep(0);
        cb->Detach();
        unsigned signalled = g_channelPainter[1]->signals;
        /* The source can go at once: the callback is past it for good. */
        delete r;
        unsigned before = calls;
        while (calls < before + 50) Sleep(0);
        CHECK(g_channelPainter[1]->signals == signalled);
        st.run = false;
        WaitForSingleObject(streaming, INFINITE);
        CloseHandle(streaming);
        cb->Release();
    }
}

TEST_CASE("Message numbers, states and record layouts hosts rely on are the published ones")
{
    // Written as numbers on purpose: a host compiled against the published
    // values keeps working only while these stay as they are.
    struct Pin { const char *name; long value, published; };
    const Pin pins[] = {
        {"WM_ENGINE_GRAPHNOTIFY", WM_ENGINE_GRAPHNOTIFY, 1037},
        {"WM_ENGINE_SOURCESTATE", WM_ENGINE_SOURCESTATE, 1345},
        {"WM_ENGINE_TRANSPROGRESS", WM_ENGINE_TRANSPROGRESS, 1346},
        {"WM_ENGINE_POSITION", WM_ENGINE_POSITION, 1347},
        {"WM_ENGINE_ENCODETIME", WM_ENGINE_ENCODETIME, 1349},
        {"STATE_OPENED", STATE_OPENED, 1},
        {"STATE_STOPPED_OLD", STATE_STOPPED_OLD, 4},
        {"STATE_PLAYING", STATE_PLAYING, 11},
        {"STATE_STOPPED", STATE_STOPPED, 12},
        {"STATE_PAUSED", STATE_PAUSED, 34},
        {"SOURCE_EVENT_COMPLETE", SOURCE_EVENT_COMPLETE, 4},
        {"SOURCE_EVENT_OPENING", SOURCE_EVENT_OPENING, 8},
        {"SOURCE_EVENT_BUFFERING", SOURCE_EVENT_BUFFERING, 2},
        {"ENCODER_WM", ENCODER_WM, 1},
        {"ENCODER_FLV", ENCODER_FLV, 0x1000000},
        {"ENGINE_CHANNELS", ENGINE_CHANNELS, 5},
        {"FlvSettings size", (long)sizeof(FlvSettings), 560},
        {"FlvSettings.ArchivingFileName", (long)offsetof(FlvSettings, ArchivingFileName), 4},
        {"FlvSettings.VideoWidth", (long)offsetof(FlvSettings, VideoWidth), 516},
        {"FlvSettings.FrameRate", (long)offsetof(FlvSettings, FrameRate), 528},
        {"FlvSettings.AudioSampleRate", (long)offsetof(FlvSettings, AudioSampleRate), 536},
        {"FlvSettings.RWShared", (long)offsetof(FlvSettings, RWShared), 552},
    };
    for (const Pin &p : pins) {
        INFO(p.name);
        CHECK(p.value == p.published);
    }

    // What a source posts carries the numbers the host listens for.
    EngineHost host;
    FakeEvents events;
    auto *r = new TestReader;
    r->channelIndex = 3;
    r->mediaEvent = &events;
    g_engine.channel[3] = r;
    r->PostState(STATE_PAUSED);
    events.codes = {EC_COMPLETE};
    HandleEvent(3);
    host.Pump(30);
    REQUIRE(host.msgs.size() == 2);
    CHECK(host.msgs[0].msg == 1345u);
    CHECK(host.msgs[0].wp == (3u << 16 | 34u));
    CHECK(host.msgs[1].msg == 1345u);
    CHECK(host.msgs[1].wp == 3u);
    CHECK(host.msgs[1].lp == 4);
    r->mediaEvent = nullptr;
    EngineDeleteChannel(3);
}

TEST_CASE("HandleEvent drains the graph's events and posts one message per meaning")
{
    EngineHost host;
    FakeEvents events;
    auto *r = new TestReader;
    r->channelIndex = 2;
    r->mediaEvent = &events;
    g_engine.channel[2] = r;

    events.codes = {EC_COMPLETE, EC_COMPLETE, 0x55, EC_COMPLETE, EC_OPENING_FILE, EC_COMPLETE};
    HandleEvent(2);
    host.Pump(30);
    CHECK(host.Of(WM_ENGINE_SOURCESTATE, 2) == std::vector<LPARAM>{4, 4, 4, 8});
    CHECK(events.codes.size() == 1);
    CHECK(events.freed == 5);
    host.msgs.clear();
    events.codes.push_back(EC_BUFFERING_DATA);
    events.codes.push_back(EC_COMPLETE);
    HandleEvent(2);
    host.Pump(30);
    CHECK(host.Of(WM_ENGINE_SOURCESTATE, 2) == std::vector<LPARAM>{4, 2});

    host.msgs.clear();
    events.codes = {EC_DEVICE_LOST, EC_COMPLETE};
    {
        MsgBoxCapture boxes;
        HandleEvent(2);
        CHECK(boxes.texts() == std::vector<std::string>{"Capture device aborted !!"});
    }
    CHECK(r->closes == 1);
    CHECK(events.codes.size() == 1);
    r->mediaEvent = nullptr;
    EngineDeleteChannel(2);
}

TEST_CASE("Audio goes to the encoder only from the programme source, or channel 4 with background music")
{
    EngineHost host;
    std::vector<BYTE> buffer(8820, 0);
    WAVEFORMATEX wf = {WAVE_FORMAT_PCM, 2, 22050, 88200, 4, 16, 0};
    AM_MEDIA_TYPE mt = {};
    mt.majortype = MEDIATYPE_Audio;
    mt.subtype = MEDIASUBTYPE_PCM;
    mt.formattype = FORMAT_WaveFormatEx;
    mt.cbFormat = sizeof(wf);
    mt.pbFormat = reinterpret_cast<BYTE *>(&wf);

    TestReader a, b;
    a.channelIndex = 1;
    b.channelIndex = 4;
    a.audioType = EngineCopyMediaType(&mt);
    b.audioType = EngineCopyMediaType(&mt);
    auto *cba = new CGrabCB1(&a, 1), *cbb = new CGrabCB1(&b, 1);
    g_transformer.SetProgrammeSurface(a.surface);
    g_wmWriter.running = 1;
    g_wmWriter.audioBuffers = 0;
    g_wmWriter.audioBytes = 0;

    cba->BufferCB(1.75, buffer.data(), (LONG)buffer.size());
    cbb->BufferCB(2.25, buffer.data(), (LONG)buffer.size());
    CHECK(g_wmWriter.audioBuffers == 1);
    CHECK(g_wmWriter.audioBytes == 8820);
    SetBackMusic(1);
    cba->BufferCB(3.0, buffer.data(), (LONG)buffer.size());
    cbb->BufferCB(3.5, buffer.data(), (LONG)buffer.size());
    CHECK(g_wmWriter.audioBuffers == 2);
    SetBackMusic(0);
    host.Pump(30);
    /* Every audio buffer posts its whole seconds. */
    CHECK(host.Of(WM_ENGINE_POSITION, 1) == std::vector<LPARAM>{1, 3});
    CHECK(host.Of(WM_ENGINE_POSITION, 4) == std::vector<LPARAM>{2, 3});

    /* Without an audio type nothing goes and nothing is posted. */
    host.msgs.clear();
    EngineFreeMediaType(a.audioType);
    a.audioType = nullptr;
    cba->BufferCB(5.0, buffer.data(), (LONG)buffer.size());
    host.Pump(30);
    CHECK(host.Of(WM_ENGINE_POSITION, 1).empty());
    CHECK(g_wmWriter.audioBuffers == 2);
    g_wmWriter.running = 0;
    cba->Detach();
    cbb->Detach();
    cba->Release();
    cbb->Release();
    g_transformer.SetProgrammeSurface(nullptr);
}

TEST_CASE("SelectChannel: the first choice also sets the programme; refused while a transition runs")
{
    EngineHost host;
    auto *a = new TestReader, *b = new TestReader;
    g_engine.channel[0] = a;
    g_engine.channel[3] = b;
    CHECK(SelectChannel(3));
    CHECK(g_transformer.SelectedSurface() == b->surface);
    CHECK(g_transformer.ProgrammeSurface() == b->surface);
    CHECK(SelectChannel(0));
    CHECK(g_transformer.SelectedSurface() == a->surface);
    CHECK(g_transformer.ProgrammeSurface() == b->surface);
    static int dummy;
    g_transformer.routine = reinterpret_cast<TransitionRoutine>(&dummy);
    CHECK(SelectChannel(3) == FALSE);
    CHECK(g_transformer.SelectedSurface() == a->surface);
    g_transformer.routine = nullptr;
    /* A deleted source's surface leaves the driver's slots. */
    EngineDeleteChannel(3);
    CHECK(g_transformer.ProgrammeSurface() == nullptr);
    CHECK(SelectChannel(0));
    CHECK(g_transformer.ProgrammeSurface() == a->surface);
    EngineDeleteChannel(0);
}
