/*
 * The host hammers the switching exports while the frame clock ticks, five
 * sources draw frames on their own threads and the painters paint: no crash,
 * no deadlock, and the engine ends in a state the host can go on with.
 */
#include <catch2/catch.hpp>
#include <windows.h>
#include <cstdlib>
#include <string>
#include <vector>
#include "engine_host.h"
#include "synthetic_source.h"
#include "clock.h"
#include "painter.h"

namespace {

/* The channel whose source has surface s, or -1. */
int ChannelOf(EngineSurface *s)
{
    for (int i = 0; i < ENGINE_CHANNELS; i++)
        if (s && g_engine.channel[i] && g_engine.channel[i]->surface == s) return i;
    return -1;
}

/* 1000 switching calls from the host thread with the messages pumped every
 * ten; then a short wipe to leave any held layout, and the end state checked. */
void Hammer(EngineHost &host)
{
    REQUIRE(SelectChannel(0));
    const unsigned ticks0 = g_transformer.ticks, composed0 = g_transformer.composed;
    const unsigned paints0 = g_programmePainter->works;

    unsigned seed = 12345, accepted = 0, refused = 0;
    int lastSelected = 0;
    auto rnd = [&seed](unsigned n) { seed = seed * 1103515245u + 12345u; return (seed >> 16) % n; };
    const DWORD t0 = GetTickCount();
    for (int i = 0; i < 1000; i++) {
        switch (rnd(4)) {
        case 0: {
            const int ch = (int)rnd(ENGINE_CHANNELS);
            if (SelectChannel((WORD)ch)) {
                accepted++;
                lastSelected = ch;
            } else {
                refused++;
            }
            break;
        }
        case 1:
            SetTransEffect((int)rnd(kTransitionCount), 0.02 * rnd(6));
            break;
        case 2:
            SetTransPosition((int)rnd(11));   /* 10 ends a transition at the next tick */
            break;
        default:
            SetHSLEffect((int)rnd(361) - 180, (int)rnd(201) - 100, (int)rnd(201) - 100);
            break;
        }
        if (i % 100 == 50) (rnd(2) ? StartTVOut() : (StopTVOut() != nullptr));
        if (i % 10 == 0) host.Pump(2);
    }
    const DWORD spent = GetTickCount() - t0;
    INFO("calls took " << spent << " ms; selections accepted " << accepted << ", refused " << refused);
    CHECK(spent < 30000);
    CHECK(accepted > 0);
    CHECK(refused > 0);

    /* Leave any held layout with a short wipe and let it end. */
    StopTVOut();
    SetTransEffect(1, 0.1);
    host.Pump(2000, [] { return g_transformer.routine.load() == nullptr; });
    REQUIRE(g_transformer.routine.load() == nullptr);

    /* The last accepted selection is the selected source; the source on air
     * is the programme. */
    const int prog = ChannelOf(g_transformer.ProgrammeSurface());
    const int sel = ChannelOf(g_transformer.SelectedSurface());
    CHECK(sel == lastSelected);
    CHECK(prog == g_engine.onAirChannel);
    CHECK(SelectChannel((WORD)((sel + 1) % ENGINE_CHANNELS)));
    CHECK(g_transformer.ticks - ticks0 >= 10);
    CHECK(g_transformer.composed - composed0 >= 5);
    host.Pump(300);
    CHECK(g_programmePainter->works > paints0);
    WARN("lock skips " << g_transformer.lockSkips.load() << ", late frames " << g_transformer.lateFrames.load()
                       << "; calls took " << spent << " ms");
}

}  // namespace

TEST_CASE("1000 rapid switching calls against the running clock, sources and painters", "[clock][stress]")
{
    EngineHost host;
    SetMainVideoWnd(host.host);
    SetTVOutWnd(host.channels[4]);
    SyntheticSource *src[ENGINE_CHANNELS];
    for (int i = 0; i < ENGINE_CHANNELS; i++) {
        src[i] = PlaceSynthetic(i, true);
        CHECK(MyPlay((WORD)i) == 1);
    }
    Hammer(host);
    for (int i = 0; i < ENGINE_CHANNELS; i++) {
        CHECK(src[i]->drawn > 0);
        CHECK(g_channelPainter[i]->works > 0);
    }

    /* With the sources still, each showing its own picture, the output
     * settles on the picture of the source on air. */
    for (int i = 0; i < ENGINE_CHANNELS; i++) {
        src[i]->Close();
        src[i]->Put(Blocks(g_engine.width, g_engine.height, (unsigned)i));
    }
    const int onAir = ChannelOf(g_transformer.ProgrammeSurface());
    REQUIRE(onAir >= 0);
    CHECK(onAir == g_engine.onAirChannel);
    int wrong = -1;
    host.Pump(10000, [&] {
        std::vector<uint32_t> out = ReadSurface(g_engine.outputSurface);
        wrong = WrongBlockCount(out.data(), g_engine.width, g_engine.height, (unsigned)onAir);
        return wrong == 0;
    });
    CHECK(wrong == 0);
}

TEST_CASE("The same with five decoding clips", "[clock][stress][clips]")
{
    const char *dir = getenv("ENGINE_CLIPS");
    INFO("the generated clips' folder is named by ENGINE_CLIPS (CTest sets it)");
    REQUIRE(dir);
    REQUIRE(*dir);
    std::string path = "Z:" + std::string(dir) + "/long.wmv";
    for (auto &c : path)
        if (c == '/') c = '\\';
    EngineHost host;
    SetMainVideoWnd(host.host);
    SetTVOutWnd(host.channels[4]);
    unsigned frames0[ENGINE_CHANNELS];
    for (int i = 0; i < ENGINE_CHANNELS; i++) {
        REQUIRE(OpenSource((WORD)i, path.c_str(), path.c_str()));
        frames0[i] = g_channelPainter[i]->signals;
        CHECK(MyPlay((WORD)i) == 1);
    }
    host.Pump(300);
    Hammer(host);
    for (int i = 0; i < ENGINE_CHANNELS; i++) CHECK(g_channelPainter[i]->signals > frames0[i]);
}
