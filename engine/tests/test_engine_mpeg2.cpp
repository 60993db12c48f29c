/*
 * The MPEG-2 program stream source over real graphs: a generated .vob whose
 * colour changes every second opens on a channel, keeps the decoder
 * rendering chose, starts one second in and lands where SetPosition says;
 * an overlay mixer in the rendered graph brings in the PC's MPEG-2 decoder;
 * a .vob that is no program stream is refused with the messages.
 */
#define NOMINMAX
#include <catch2/catch.hpp>
#include <windows.h>
#include <cstdlib>
#include <string>
#include <vector>
#include "msgbox_capture.h"
#include "test_paths.h"
#include "engine_host.h"
#include "corvengine.h"
#include "engine.h"
#include "clock.h"
#include "mpeg2_source.h"
#include "graph_util.h"
#include "painter.h"
#include <uuids.h>

namespace {

std::string clip(const char *name) { return testpaths::ClipPath("VOB_CLIPS", "/tmp/vobclips", name); }

CMpeg2Reader *reader(int ch) { return dynamic_cast<CMpeg2Reader *>(g_engine.channel[ch]); }

unsigned frames(int ch) { return g_channelPainter[ch] ? g_channelPainter[ch]->signals.load() : 0; }

bool wait_frames(EngineHost &host, int ch, unsigned start, unsigned n, DWORD ms = 8000)
{
    host.Pump(ms, [&] { return frames(ch) - start >= n; });
    return frames(ch) - start >= n;
}

/* The colour of the surface's centre as an index of the clip's seconds:
 * 0 red, 1 green, 2 blue, 3 white, 4 yellow, 5 magenta; -1 none of them. */
int second_shown(EngineSurface *s)
{
    int w, h;
    EngineSurfaceSize(s, &w, &h);
    std::vector<DWORD> px((size_t)w * h);
    REQUIRE(SUCCEEDED(EngineSurfaceRead(s, INFINITE, px.data(), w * 4)));
    const DWORD v = px[(size_t)(h / 2) * w + w / 2];
    const int r = (v >> 16) & 255, g = (v >> 8) & 255, b = v & 255;
    auto on = [](int c) { return c > 180; };
    auto off = [](int c) { return c < 75; };
    if (on(r) && off(g) && off(b)) return 0;
    if (off(r) && on(g) && off(b)) return 1;
    if (off(r) && off(g) && on(b)) return 2;
    if (on(r) && on(g) && on(b)) return 3;
    if (on(r) && on(g) && off(b)) return 4;
    if (on(r) && off(g) && on(b)) return 5;
    return -1;
}

/* Names and class ids of the graph's filters. */
struct FilterSeen { std::string name; CLSID id; };
std::vector<FilterSeen> filters(IGraphBuilder *g)
{
    std::vector<FilterSeen> out;
    IEnumFilters *en = nullptr;
    if (!g || FAILED(g->EnumFilters(&en))) return out;
    IBaseFilter *f;
    while (en->Next(1, &f, nullptr) == S_OK) {
        FILTER_INFO fi = {};
        f->QueryFilterInfo(&fi);
        if (fi.pGraph) fi.pGraph->Release();
        char name[128];
        WideCharToMultiByte(CP_ACP, 0, fi.achName, -1, name, sizeof name, nullptr, nullptr);
        CLSID id = {};
        f->GetClassID(&id);
        out.push_back({name, id});
        f->Release();
    }
    en->Release();
    return out;
}

bool has_filter(IGraphBuilder *g, const std::string &part)
{
    for (const auto &f : filters(g))
        if (f.name.find(part) != std::string::npos) return true;
    return false;
}

std::string graph_text(IGraphBuilder *g)
{
    std::string s;
    for (const auto &f : filters(g)) s += "[" + f.name + "] ";
    return s;
}

/* What a PC whose rendering uses an overlay mixer would build: a filter of
 * that name between the decoder and what the decoder fed (here the colour
 * filter, which passes RGB through). */
void put_overlay_mixer(IGraphBuilder *g)
{
    IBaseFilter *dec = FindFilterByName(g, L"Video Decoder", 1);
    REQUIRE(dec);
    IPin *dout = GetOutputPin(dec, 0), *down = nullptr;
    REQUIRE(dout);
    REQUIRE(SUCCEEDED(dout->ConnectedTo(&down)));
    g->Disconnect(dout);
    g->Disconnect(down);
    IBaseFilter *mixer = nullptr;
    REQUIRE(SUCCEEDED(CoCreateInstance(CLSID_TintwellFilter_Corv, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                       (void **)&mixer)));
    REQUIRE(SUCCEEDED(g->AddFilter(mixer, L"Overlay Mixer")));
    IPin *min = GetInputPin(mixer, 0), *mout = GetOutputPin(mixer, 0);
    CHECK(SUCCEEDED(g->Connect(dout, min)));
    CHECK(SUCCEEDED(g->Connect(mout, down)));
    min->Release();
    mout->Release();
    mixer->Release();
    down->Release();
    dout->Release();
    dec->Release();
}

/* A class object for the colour filter's class id that makes nothing, as
 * when the filter is not installed; registered for this process only. */
struct NoFilterFactory : IClassFactory {
    HRESULT WINAPI QueryInterface(REFIID iid, void **out) override
    {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) { *out = this; return S_OK; }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG WINAPI AddRef() override { return 2; }
    ULONG WINAPI Release() override { return 1; }
    HRESULT WINAPI CreateInstance(IUnknown *, REFIID, void **out) override { *out = nullptr; return E_FAIL; }
    HRESULT WINAPI LockServer(BOOL) override { return S_OK; }
};

}  // namespace

TEST_CASE("A .vob keeps the decoder rendering chose, starts one second in and seeks where SetPosition says",
          "[mpeg2]")
{
    EngineHost host;
    MsgBoxCapture boxes;
    const int ch = 1;
    REQUIRE(OpenSource(ch, clip("seconds.vob").c_str(), clip("seconds.vob").c_str()) == TRUE);
    for (const auto &t : boxes.texts()) UNSCOPED_INFO("box: " << t);
    CHECK(boxes.count() == 0);
    CMpeg2Reader *r = reader(ch);
    REQUIRE(r);
    INFO("graph " << graph_text(r->graph));
    CHECK(has_filter(r->graph, "Video Decoder"));
    CHECK_FALSE(has_filter(r->graph, "Elecard MPEG 2 Video Decoder"));
    CHECK_FALSE(has_filter(r->graph, "Video Renderer"));   /* ends in a null renderer */
    REQUIRE(r->videoType);
    CHECK(IsEqualGUID(r->videoType->subtype, MEDIASUBTYPE_RGB24));
    CHECK(MyGetDuration(ch) == 6);

    unsigned start = frames(ch);
    CHECK(MyPlay(ch) == 1);
    REQUIRE(wait_frames(host, ch, start, 1));
    CHECK(second_shown(r->surface) == 1);               /* green: one second in */
    CHECK(MyGetPosition(ch) >= 1);

    /* Microseconds x 10 in 100-ns units, while playing. */
    CHECK(MySetPosition(ch, 3500000) == 3500000);
    MyPause(ch);
    CHECK(MyGetPosition(ch) == 3);
    start = frames(ch);
    MyPlay(ch);
    REQUIRE(wait_frames(host, ch, start, 2));
    const int shown = second_shown(r->surface);
    CHECK((shown == 3 || shown == 4));

    /* Positions (sample times, which start again at each seek) are posted
     * while the channel is the selected source. */
    host.Pump(1500);
    auto pos = host.Of(WM_ENGINE_POSITION, ch);
    REQUIRE_FALSE(pos.empty());
    CHECK(pos.back() >= 1);

    /* Play from 2 after a stop: the picture of second 3. */
    MyStop(ch);
    start = frames(ch);
    CHECK(g_engine.channel[ch]->Play(2) == 1);
    REQUIRE(wait_frames(host, ch, start, 1));
    CHECK(second_shown(r->surface) == 3);
    CHECK(CloseSource(ch) == 1);
    CHECK(boxes.count() == 0);
}

TEST_CASE("An overlay mixer in the rendered graph brings in the MPEG-2 decoder made by class id", "[mpeg2]")
{
    EngineHost host;
    MsgBoxCapture boxes;
    g_mpeg2RenderProbe = put_overlay_mixer;
    const int ch = 2;
    BOOL opened = OpenSource(ch, clip("seconds.vob").c_str(), clip("seconds.vob").c_str());
    g_mpeg2RenderProbe = nullptr;
    for (const auto &t : boxes.texts()) UNSCOPED_INFO("box: " << t);
    REQUIRE(opened == TRUE);
    CMpeg2Reader *r = reader(ch);
    REQUIRE(r);
    INFO("graph " << graph_text(r->graph));
    bool outside = false;
    for (const auto &f : filters(r->graph))
        if (f.name == "Elecard MPEG 2 Video Decoder") outside = IsEqualGUID(f.id, CLSID_Mpeg2VideoDecoder_Corv);
    CHECK(outside);
    CHECK_FALSE(has_filter(r->graph, "Overlay Mixer"));
    CHECK_FALSE(has_filter(r->graph, "FFmpeg Video Decoder"));
    unsigned start = frames(ch);
    CHECK(MyPlay(ch) == 1);
    REQUIRE(wait_frames(host, ch, start, 1));
    CHECK(second_shown(r->surface) == 1);
    CHECK(CloseSource(ch) == 1);
    CHECK(boxes.count() == 0);
}

TEST_CASE("A .vob that is no program stream is refused with the messages and an empty channel", "[mpeg2][bad]")
{
    EngineHost host;
    MsgBoxCapture boxes;
    const int ch = 3;
    CHECK(OpenSource(ch, clip("text.vob").c_str(), clip("text.vob").c_str()) == FALSE);
    CHECK(g_engine.channel[ch] == nullptr);
    const auto texts = boxes.texts();
    REQUIRE(texts.size() == 2);
    CHECK(texts[0] == "FAILED Render File");
    CHECK(texts[1] == "Video loading error");
    /* A missing file likewise. */
    MsgBoxCapture again;
    CHECK(OpenSource(ch, clip("missing.vob").c_str(), "") == FALSE);
    CHECK(g_engine.channel[ch] == nullptr);
    REQUIRE(again.count() >= 1);
    CHECK(again.texts()[0] == "FAILED Render File");
}

TEST_CASE("A .vob words its colour filter and audio failures as its own and names the filter", "[mpeg2][texts]")
{
    EngineHost host;
    const int ch = 2;
    {
        MsgBoxCapture boxes;
        REQUIRE(OpenSource(ch, clip("seconds.vob").c_str(), clip("seconds.vob").c_str()) == TRUE);
        CHECK(boxes.count() == 0);
        int named = 0;
        for (const auto &f : filters(reader(ch)->graph))
            if (f.name == "Tintwell Effect") {
                named++;
                CHECK(IsEqualCLSID(f.id, CLSID_TintwellFilter_Corv));
            }
        INFO("graph " << graph_text(reader(ch)->graph));
        CHECK(named == 1);
        CHECK(CloseSource(ch) == 1);
    }
    {
        /* An audio file that cannot be rendered: the one audio text, not
         * the codec package's. */
        MsgBoxCapture boxes;
        CHECK(OpenSource(ch, clip("seconds.vob").c_str(), clip("missing.wav").c_str()) == FALSE);
        CHECK(g_engine.channel[ch] == nullptr);
        REQUIRE(boxes.count() >= 1);
        CHECK(boxes.texts().back() == "Audio loading error");
    }
    {
        NoFilterFactory factory;
        DWORD cookie = 0;
        REQUIRE(SUCCEEDED(CoRegisterClassObject(CLSID_TintwellFilter_Corv, &factory, CLSCTX_INPROC_SERVER,
                                                REGCLS_MULTIPLEUSE, &cookie)));
        MsgBoxCapture boxes;
        CHECK(OpenSource(ch, clip("seconds.vob").c_str(), clip("seconds.vob").c_str()) == FALSE);
        CoRevokeClassObject(cookie);
        CHECK(g_engine.channel[ch] == nullptr);
        REQUIRE(boxes.count() == 1);
        CHECK(boxes.texts()[0] == "HSL Effect Filter Creation Error !!");
    }
}
