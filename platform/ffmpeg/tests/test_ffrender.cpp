// RenderFile as the engine calls it: our source for every extension, our
// decoders, and a renderer named "Video Renderer".  Kept apart from the other
// graph tests because Wine's video renderer now and then faults under Xvfb.
#define NOMINMAX
#include <catch2/catch.hpp>

#include <algorithm>

#include "ffsplit.h"
#include "graph_helpers.h"

namespace {
struct Com {
    Com() { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
    ~Com() { CoUninitialize(); }
};
}  // namespace

TEST_CASE("RenderFile builds through our source and decoders", "[graph]") {
    Com com;
    // Without a sound device Wine has no audio renderer, so audio stays
    // unrendered (a partial render) and audio-only files cannot render.
    const bool sound = waveOutGetNumDevs() > 0;
    struct Case { const char* clip; bool video; bool audio; bool decoder; };
    const Case cases[] = {
        {"bars.avi", true, true, true},   {"bars1.mpg", true, true, true}, {"bars.wmv", true, true, true},
        {"bars.mov", true, true, true},   {"tone.mp3", false, true, false}, {"bars.jpg", true, false, false},
        {"bars.tga", true, false, false},
    };
    for (const Case& c : cases) {
        CAPTURE(c.clip, sound);
        Ptr<IGraphBuilder> graph;
        REQUIRE(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                 (void**)graph.out()) == S_OK);
        std::u16string path = WinPath(clipPath(c.clip));
        HRESULT hr = graph->RenderFile(W(path), nullptr);
        std::vector<std::u16string> names = FilterNames(graph.get());
        std::string all;
        for (auto& n : names) all += Narrow(n) + "; ";
        CAPTURE(all, hr);
        auto has = [&](const char16_t* n) { return std::find(names.begin(), names.end(), n) != names.end(); };
        if (!c.video && !sound) {
            CHECK(FAILED(hr));
            continue;
        }
        CHECK(hr == (c.audio && !sound ? VFW_S_PARTIAL_RENDER : S_OK));
        if (c.video) CHECK(has(u"Video Renderer"));  // the engine looks for this name
        if (c.decoder) CHECK(has(u"FFmpeg Video Decoder"));
        if (c.audio && sound) CHECK(has(u"FFmpeg Audio Decoder"));
        // The source is ours whatever the extension.
        Ptr<IEnumFilters> e;
        graph->EnumFilters(e.out());
        IBaseFilter* f = nullptr;
        bool ours = false;
        while (e->Next(1, &f, nullptr) == S_OK) {
            CLSID clsid;
            f->GetClassID(&clsid);
            ours = ours || IsEqualGUID(clsid, CLSID_FFSource);
            f->Release();
        }
        CHECK(ours);
    }
}

