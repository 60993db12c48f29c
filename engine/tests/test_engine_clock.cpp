/*
 * The frame clock and the transition driver: progress messages, the end of a
 * transition and the role swap, picture-in-picture holds, manual positions,
 * the composed output, skipped frames; then the real clock with the host
 * hammering the switching exports.
 *
 * Most cases stop the multimedia timer and call the tick themselves, so the
 * frame count is exact; one case per behaviour that depends on real time
 * runs the timer.
 */
#include <catch2/catch.hpp>
#include <windows.h>
#include <atomic>
#include <cstdlib>
#include <vector>
#include "engine_host.h"
#include "synthetic_source.h"
#include "clock.h"
#include "transitions.h"
#include "msgbox_capture.h"

namespace {

/* Engine started, timer stopped, A on channel 1 as the programme and B on
 * channel 3 as the selected source. */
struct Driver {
    EngineHost host;
    SyntheticSource *a, *b;
    std::vector<uint32_t> pa, pb;
    int w = g_engine.width, h = g_engine.height;

    explicit Driver(bool opaque = true)
    {
        g_transformer.Stop();
        g_transformer.currentIndex = 0;
        a = PlaceSynthetic(1);
        b = PlaceSynthetic(3);
        pa = Picture(w, h, 1, opaque);
        pb = Picture(w, h, 2, opaque);
        a->Put(pa);
        b->Put(pb);
        REQUIRE(SelectChannel(1));
        REQUIRE(SelectChannel(3));
        REQUIRE(g_transformer.ProgrammeSurface() == a->surface);
        REQUIRE(g_transformer.SelectedSurface() == b->surface);
        Drain();
    }

    /* The engine's messages posted so far; progress values kept apart. */
    std::vector<int> progress;
    void Drain()
    {
        MSG m;
        while (PeekMessageA(&m, host.host, 0, 0, PM_REMOVE))
            if (m.message == WM_ENGINE_TRANSPROGRESS) {
                CHECK(m.lParam == 0);
                progress.push_back((int)m.wParam);
            }
    }
    /* n ticks; the progress values they posted. */
    std::vector<int> Ticks(int n)
    {
        Drain();
        progress.clear();
        for (int i = 0; i < n; i++) g_transformer.tick();
        Drain();
        return progress;
    }
    /* Ticks until the transition ends (at most limit); the count. */
    int TicksToEnd(int limit = 1000)
    {
        Drain();
        progress.clear();
        int n = 0;
        while (g_transformer.routine.load() && n < limit) {
            g_transformer.tick();
            n++;
        }
        Drain();
        return n;
    }
    bool Running() const { return g_transformer.routine.load() != nullptr; }
};

/* Holds a surface's device-context lock for writing on its own thread
 * until released. */
struct LockHolder {
    EngineSurface *s;
    HANDLE locked = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = nullptr;
    explicit LockHolder(EngineSurface *surface) : s(surface)
    {
        thread = CreateThread(nullptr, 0, Run, this, 0, nullptr);
        REQUIRE(WaitForSingleObject(locked, 5000) == WAIT_OBJECT_0);
    }
    static DWORD WINAPI Run(void *arg)
    {
        auto *h = static_cast<LockHolder *>(arg);
        HDC dc;
        void *token;
        if (FAILED(EngineSurfaceLockDC(h->s, INFINITE, TRUE, &dc, &token))) return 1;
        SetEvent(h->locked);
        WaitForSingleObject(h->release, INFINITE);
        EngineSurfaceUnlockDC(token);
        return 0;
    }
    void Release()
    {
        SetEvent(release);
        if (thread) WaitForSingleObject(thread, INFINITE);
        if (thread) CloseHandle(thread);
        thread = nullptr;
    }
    ~LockHolder() { Release(); CloseHandle(locked); CloseHandle(release); }
};

bool AllTenths(const std::vector<int> &v)
{
    for (size_t i = 0; i < v.size(); i++) {
        if (v[i] % 10 || v[i] < 10) return false;
        if (i && v[i] <= v[i - 1]) return false;
    }
    return true;
}

}  // namespace

TEST_CASE("Progress is posted in rounded tenths and the transition ends at 100", "[clock]")
{
    struct Case { int period; double seconds; std::vector<int> posts; int ticks; };
    const Case cases[] = {
        /* 33 ms frames: 3.3 -> 3, 6.6 -> 7, 9.9 -> 10. */
        {33, 0.1, {30, 70, 100}, 3},
        /* 25 frames a second: 0.8 -> 1, 1.6 -> 2, 2.4 -> 2 posts nothing ... 9.6 -> 10. */
        {40, 0.5, {10, 20, 30, 40, 50, 60, 70, 80, 90, 100}, 12},
        /* One second: the end comes at 957 ms (the 29th tick), 95 % rounds to 10. */
        {33, 1.0, {10, 20, 30, 40, 50, 60, 70, 80, 90, 100}, 29},
    };
    for (const auto &c : cases) {
        INFO("period " << c.period << " seconds " << c.seconds);
        Driver d;
        /* The frame rate export sets the period the driver advances by. */
        SetFrameRate(c.period == 40 ? 25 : 30);
        g_transformer.Stop();
        REQUIRE(g_transformer.period == c.period);
        SetTransEffect(1, c.seconds);
        d.Drain();
        REQUIRE(d.progress == std::vector<int>{0});
        CHECK(d.TicksToEnd() == c.ticks);
        CHECK(d.progress == c.posts);
        CHECK(g_transformer.elapsedMs == 0);
        CHECK(g_transformer.composing == 0);
    }
}

TEST_CASE("At the end the selected source goes on air with the colour offsets", "[clock]")
{
    Driver d;
    SetHSLEffect(12, -30, 5);
    int bCallsBefore = d.b->hsl->calls;
    SetTransEffect(19, 0.1);
    CHECK(d.b->plays >= 1);                  /* the selected source is played */
    CHECK(d.a->plays >= 1);                  /* and the programme source */
    CHECK(d.b->hsl->calls == bCallsBefore + 1); /* offsets given when the choice is made */
    CHECK(d.TicksToEnd() == 3);
    CHECK(g_transformer.ProgrammeSurface() == d.b->surface);
    CHECK(g_transformer.SelectedSurface() == d.b->surface);
    CHECK(g_engine.onAirChannel == 3);
    CHECK(d.b->hsl->calls == bCallsBefore + 2);
    CHECK((d.b->hsl->hue == 12 && d.b->hsl->sat == -30 && d.b->hsl->light == 5));

    /* With all offsets 0 they are applied all the same. */
    SetHSLEffect(0, 0, 0);
    REQUIRE(SelectChannel(1));
    int aCalls = d.a->hsl->calls;
    SetTransEffect(2, 0.1);
    CHECK(d.a->hsl->calls == aCalls);        /* nothing at the choice: all 0 */
    d.TicksToEnd();
    CHECK(g_engine.onAirChannel == 1);
    CHECK(d.a->hsl->calls == aCalls + 1);
    CHECK((d.a->hsl->hue == 0 && d.a->hsl->sat == 0 && d.a->hsl->light == 0));
}

TEST_CASE("A picture-in-picture layout is held at 30 and a wipe after it keeps the programme", "[clock]")
{
    Driver d;
    SetTransEffect(36, 1.0);
    d.Drain();
    CHECK(d.Ticks(40) == std::vector<int>(40, 30));
    CHECK(d.Running());
    CHECK(g_transformer.elapsedMs == 300);
    CHECK_FALSE(SelectChannel(1));
    CHECK(g_transformer.SelectedSurface() == d.b->surface);
    const short onAir = g_engine.onAirChannel;

    SECTION("a wipe chosen next ends with the programme source unchanged") {
        SetTransEffect(1, 0.1);
        CHECK(g_transformer.previousIndex == 36);
        CHECK(d.TicksToEnd() == 3);
        CHECK(d.progress == (std::vector<int>{30, 70, 100}));
        CHECK(g_transformer.ProgrammeSurface() == d.a->surface);
        CHECK(g_engine.onAirChannel == onAir);
        CHECK(SelectChannel(3));
    }
    SECTION("a manual position of 10 tenths removes the layout; the programme swaps") {
        /* The host set the position itself: 10 tenths before and after the
         * tick, so nothing is posted. */
        CHECK(SetTransPosition(10) == 1000);
        CHECK(d.Ticks(1).empty());
        CHECK_FALSE(d.Running());
        CHECK(g_transformer.ProgrammeSurface() == d.b->surface);
    }
    SECTION("manual mode holds nothing: the position steers the layout") {
        SetAutoTrans(0);
        SetTransEffect(40, 3.0);
        CHECK(g_transformer.durationMs == 1000);
        CHECK(d.Ticks(5).empty());
        SetTransPosition(4);
        CHECK(d.Ticks(2).empty());
        CHECK(g_transformer.elapsedMs == 400);
        CHECK(d.Running());
        SetTransPosition(10);
        d.Ticks(1);
        CHECK_FALSE(d.Running());
    }
}

TEST_CASE("Manual mode: 1000 ms whatever the seconds, the position alone moves the transition", "[clock]")
{
    Driver d;
    SetAutoTrans(0);
    for (double s : {0.1, 7.0, -2.0}) {
        SetTransEffect(4, s);
        CHECK(g_transformer.durationMs == 1000);
    }
    /* Ticks do not move the time; a position does, and the host that set it
     * gets no message for it (the tenths are the same before and after). */
    CHECK(d.Ticks(50).empty());
    CHECK(g_transformer.elapsedMs == 0);
    CHECK(SetTransPosition(3) == 300);
    CHECK(d.Ticks(3).empty());
    CHECK(g_transformer.elapsedMs == 300);
    CHECK(d.Running());
    CHECK(SetTransPosition(10) == 1000);
    CHECK(d.Ticks(1).empty());
    CHECK_FALSE(d.Running());
    CHECK(g_transformer.ProgrammeSurface() == d.b->surface);
}

TEST_CASE("SelectChannel: the first sets the programme, none while a transition runs", "[clock]")
{
    EngineHost host;
    g_transformer.Stop();
    auto *s0 = PlaceSynthetic(0);
    auto *s2 = PlaceSynthetic(2);
    CHECK(g_transformer.ProgrammeSurface() == nullptr);
    CHECK_FALSE(SelectChannel(4));           /* an empty channel */
    CHECK(SelectChannel(2));
    CHECK(g_transformer.ProgrammeSurface() == s2->surface);
    CHECK(g_transformer.SelectedSurface() == s2->surface);
    CHECK(SelectChannel(0));
    CHECK(g_transformer.ProgrammeSurface() == s2->surface);
    CHECK(g_transformer.SelectedSurface() == s0->surface);
    SetTransEffect(5, 0.2);
    CHECK_FALSE(SelectChannel(2));
    CHECK(g_transformer.SelectedSurface() == s0->surface);
    while (g_transformer.routine.load()) g_transformer.tick();
    CHECK(g_transformer.ProgrammeSurface() == s0->surface);
    CHECK(SelectChannel(2));

    SECTION("deleting the programme source: the next selection is the programme again") {
        EngineDeleteChannel(0);
        CHECK(g_transformer.ProgrammeSurface() == nullptr);
        CHECK(SelectChannel(2));
        CHECK(g_transformer.ProgrammeSurface() == s2->surface);
    }
    SECTION("a transition that loses its picture is cancelled, not stuck") {
        SetTransEffect(1, 1.0);
        CHECK_FALSE(SelectChannel(0));
        EngineDeleteChannel(2);
        CHECK(g_transformer.routine.load() == nullptr);
        CHECK(SelectChannel(0));
    }
}

TEST_CASE("A selection racing the end of a transition never goes on air in its place", "[clock]")
{
    EngineHost host(16, 16);
    g_transformer.Stop();
    SyntheticSource *s0 = PlaceSynthetic(0), *s1 = PlaceSynthetic(1), *s2 = PlaceSynthetic(2);
    REQUIRE(g_transformer.Select(s0->surface));
    g_engine.autoTrans = 1;

    /* Another thread keeps selecting channel 2: refused while a transition
     * runs, accepted in between. */
    struct Racer {
        EngineSurface *surface;
        std::atomic<bool> stop{false};
        std::atomic<unsigned> accepted{0};
        static DWORD WINAPI Run(void *p)
        {
            auto *r = static_cast<Racer *>(p);
            while (!r->stop) if (g_transformer.Select(r->surface)) r->accepted++;
            return 0;
        }
    } racer;
    racer.surface = s2->surface;
    HANDLE thread = CreateThread(nullptr, 0, Racer::Run, &racer, 0, nullptr);
    REQUIRE(thread);

    int wrong = 0, rounds = 0;
    for (; rounds < 5000 && !wrong; rounds++) {
        g_transformer.Select(s1->surface);
        g_transformer.SetDurationMs(0);
        REQUIRE(g_transformer.Choose(1));            /* a wipe: ends with a swap */
        EngineSurface *target = g_transformer.SelectedSurface();
        g_transformer.tick();                        /* a zero duration ends at this tick */
        REQUIRE(g_transformer.routine.load() == nullptr);
        /* What the transition showed coming in is what is on air now. */
        if (g_transformer.ProgrammeSurface() != target) wrong++;
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {}
    }
    racer.stop = true;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    INFO(rounds << " transitions; the racer's selections accepted " << racer.accepted.load());
    CHECK(wrong == 0);
    CHECK(racer.accepted.load() > 0);
}

TEST_CASE("A duration of zero ends at the next tick instead of never", "[clock]")
{
    Driver d;
    for (double s : {0.0, -1.0, 0.0004}) {
        INFO(s);
        REQUIRE(SelectChannel(d.b->surface == g_transformer.ProgrammeSurface() ? 1 : 3));
        SetTransEffect(3, s);
        CHECK(g_transformer.durationMs == 0);
        CHECK(d.Ticks(1) == std::vector<int>{100});
        CHECK_FALSE(d.Running());
    }
    /* Seconds too large for the millisecond count are held at its top. */
    SetTransEffect(3, 1e12);
    CHECK(g_transformer.durationMs == 0x7FFFFFFF);
    CHECK(d.Ticks(3).empty());
}

TEST_CASE("The output surface holds the table routine's picture, or the programme without a transition", "[clock]")
{
    Driver d(false);
    auto routine_picture = [&](int index, unsigned elapsed, int duration) {
        std::vector<uint32_t> want((size_t)d.w * d.h, 0xDEADBEEF);
        volatile int32_t composing = 1;
        TransitionFrame f = {reinterpret_cast<const uint8_t *>(d.pa.data()), d.w * 4,
                             reinterpret_cast<const uint8_t *>(d.pb.data()), d.w * 4,
                             reinterpret_cast<uint8_t *>(want.data()), d.w * 4,
                             elapsed, duration, d.w, d.h, 1, &composing};
        TransitionEffects[index].routine(f);
        return want;
    };

    SECTION("plain copy") {
        EngineSurfaceFill(g_engine.outputSurface, INFINITE, 0);
        d.Ticks(1);
        CHECK(ReadSurface(g_engine.outputSurface) == d.pa);
        CHECK(g_transformer.composing == 0);
    }
    SECTION("entries at the progress of each tick") {
        struct { int index; int ticks; unsigned elapsed; } cases[] = {
            {1, 1, 0},      /* left wipe: the first tick draws at 0 ms */
            {1, 16, 495},   /* ... the 16th at 15 x 33 ms */
            {19, 10, 297},  /* dissolve */
            {34, 20, 627},  /* page peel */
            {36, 5, 300},   /* PiP, held at 300 ms from the second tick on */
            {41, 1, 0},
        };
        for (const auto &c : cases) {
            INFO(TransitionEffects[c.index].name << " tick " << c.ticks);
            SetTransEffect(c.index, 1.0);
            d.Ticks(c.ticks);
            CHECK(g_transformer.composing == 1);
            CHECK(ReadSurface(g_engine.outputSurface) == routine_picture(c.index, c.elapsed, 1000));
            /* back to the start for the next case */
            g_transformer.routine = nullptr;
            g_transformer.currentIndex = 0;
            g_transformer.SetProgrammeSurface(d.a->surface);
            g_transformer.SetSelectedSurface(d.b->surface);
        }
    }
}

TEST_CASE("A surface that stays locked past the frame period skips the frame's work", "[clock]")
{
    Driver d;
    SetMainVideoWnd(d.host.host);
    SetTransEffect(1, 0.1);
    d.Drain();
    unsigned skips = g_transformer.lockSkips, composed = g_transformer.composed;
    unsigned painterWakes = g_programmePainter->signals;
    for (EngineSurface *held : {d.a->surface, d.b->surface, g_engine.outputSurface}) {
        /* A writer on another thread (a streaming thread, a painter) holds it. */
        LockHolder holder(held);
        DWORD t0 = GetTickCount();
        CHECK(d.Ticks(1).empty());
        DWORD spent = GetTickCount() - t0;
        holder.Release();
        CHECK(spent >= 25);
        CHECK(spent < 500);
        CHECK(g_transformer.elapsedMs == 0);
        CHECK(FAILED(g_transformer.lastLock.load()));
    }
    CHECK(g_transformer.lockSkips == skips + 3);
    CHECK(g_transformer.composed == composed);
    CHECK(g_programmePainter->signals == painterWakes);
    CHECK(d.Ticks(1) == std::vector<int>{30});
    CHECK(g_transformer.lastLock.load() == S_OK);
    CHECK(g_programmePainter->signals == painterWakes + 1);
}

TEST_CASE("No programme source yet: ticks only set the composing flag", "[clock]")
{
    EngineHost host;
    g_transformer.Stop();
    PlaceSynthetic(0);
    unsigned composed = g_transformer.composed;
    g_transformer.composing = 0;
    g_transformer.tick();
    CHECK(g_transformer.composing == 1);
    CHECK(g_transformer.composed == composed);
}

TEST_CASE("On the real clock: progress rises to 100, a layout holds at 30, the clock keeps time", "[clock][timer]")
{
    Driver d;
    REQUIRE(g_transformer.Start() == 0);
    unsigned ticks0 = g_transformer.ticks;
    d.host.msgs.clear();
    SetTransEffect(1, 0.5);
    d.host.Pump(3000, [&] { return d.host.Has(WM_ENGINE_TRANSPROGRESS, 100, 0); });
    std::vector<int> seen;
    for (auto &m : d.host.msgs)
        if (m.msg == WM_ENGINE_TRANSPROGRESS) seen.push_back((int)m.wp);
    REQUIRE(seen.size() >= 2);
    CHECK(seen.front() == 0);
    CHECK(seen.back() == 100);
    CHECK(AllTenths(std::vector<int>(seen.begin() + 1, seen.end())));
    CHECK(g_transformer.ProgrammeSurface() == d.b->surface);

    d.host.msgs.clear();
    SetTransEffect(38, 1.0);
    d.host.Pump(400);
    auto held = d.host.Of(WM_ENGINE_TRANSPROGRESS, 30);
    CHECK(held.size() >= 5);
    for (auto &m : d.host.msgs)
        if (m.msg == WM_ENGINE_TRANSPROGRESS) CHECK((m.wp == 0 || m.wp == 30));
    CHECK(d.Running());

    /* Ticks that came, and the frames the clock counted as missed, cover the
     * time that passed. */
    g_transformer.Stop();
    unsigned ticks = g_transformer.ticks - ticks0;
    INFO("ticks " << ticks << " late " << g_transformer.lateFrames.load());
    CHECK(ticks >= 10);
}

namespace {
struct TitleProbe {
    static std::atomic<int> calls;
    static std::vector<uint32_t> seen;
    static void Draw(EngineSurface *out)
    {
        calls++;
        seen = ReadSurface(out);
        EngineSurfaceFill(out, INFINITE, 0xFF00FF00u);   /* what a title would lay over it */
    }
};
std::atomic<int> TitleProbe::calls{0};
std::vector<uint32_t> TitleProbe::seen;
}  // namespace

TEST_CASE("With titles on, the tick lays them over the composed frame before the painters see it", "[clock]")
{
    Driver d;
    SetMainVideoWnd(d.host.host);
    auto *saved = g_transformer.drawTitles;
    g_transformer.drawTitles = TitleProbe::Draw;
    TitleProbe::calls = 0;
    d.Ticks(2);
    CHECK(TitleProbe::calls == 0);           /* titles off */
    {
        MsgBoxCapture boxes;                 /* no title file: the combiner says so */
        TitleApply(1, 0, 0);
    }
    d.Ticks(1);
    CHECK(TitleProbe::calls == 1);
    CHECK(TitleProbe::seen == d.pa);         /* the programme copy was there first */
    CHECK(ReadSurface(g_engine.outputSurface) == std::vector<uint32_t>(d.pa.size(), 0xFF00FF00u));
    TitleApply(0, 0, 0);
    d.Ticks(1);
    CHECK(TitleProbe::calls == 1);
    CHECK(ReadSurface(g_engine.outputSurface) == d.pa);
    g_transformer.drawTitles = saved;
}

TEST_CASE("A clock held up by a busy surface counts the frames it skipped", "[clock][timer]")
{
    Driver d;
    SetTransEffect(1, 10.0);
    REQUIRE(g_transformer.Start() == 0);
    d.host.Pump(100);
    const unsigned ticks0 = g_transformer.ticks, late0 = g_transformer.lateFrames,
                   skips0 = g_transformer.lockSkips, elapsed0 = g_transformer.elapsedMs;
    const DWORD t0 = GetTickCount();
    {
        LockHolder hold(d.b->surface);
        d.host.Pump(600);
    }
    d.host.Pump(200);
    g_transformer.Stop();
    const DWORD spent = GetTickCount() - t0;
    const unsigned ticks = g_transformer.ticks - ticks0, late = g_transformer.lateFrames - late0;
    const unsigned skips = g_transformer.lockSkips - skips0;
    INFO("in " << spent << " ms: ticks " << ticks << ", late " << late << ", lock skips " << skips);
    CHECK(skips >= 5);
    /* Skipped frames do not advance the transition. */
    CHECK(g_transformer.elapsedMs - elapsed0 <= (ticks - skips + 1) * 33u);
    /* Every period is either a tick or counted as missed (the window starts
     * and ends between ticks: a period or two of slack). */
    CHECK((ticks + late + 2) * 33 >= spent);
}

TEST_CASE("Every table entry through the tick at 0, 50 and 100 %: the routine's picture, A at the start, B at the end", "[clock]")
{
    Driver d;
    auto routine_picture = [&](int index, unsigned elapsed, int autoOn = 1) {
        std::vector<uint32_t> want((size_t)d.w * d.h, 0xDEADBEEF);
        volatile int32_t composing = 1;
        TransitionFrame f = {reinterpret_cast<const uint8_t *>(d.pa.data()), d.w * 4,
                             reinterpret_cast<const uint8_t *>(d.pb.data()), d.w * 4,
                             reinterpret_cast<uint8_t *>(want.data()), d.w * 4,
                             elapsed, 1000, d.w, d.h, autoOn, &composing};
        TransitionEffects[index].routine(f);
        return want;
    };
    auto tick_at = [&](int index, unsigned elapsed) {
        /* The driver's state as a choice and the elapsed time leave it. */
        g_transformer.SetProgrammeSurface(d.a->surface);
        g_transformer.SetSelectedSurface(d.b->surface);
        g_transformer.routine = TransitionEffects[index].routine;
        g_transformer.currentIndex = (unsigned short)index;
        g_transformer.previousIndex = 0;
        g_transformer.durationMs = 1000;
        g_transformer.elapsedMs = elapsed;
        g_transformer.tick();
        return ReadSurface(g_engine.outputSurface);
    };
    const std::vector<uint32_t> black(d.pa.size(), 0);
    SECTION("manual mode: an AB layout's inset grows from nothing to the whole frame") {
        SetAutoTrans(0);
        for (int index = 36; index <= 39; index++) {
            INFO(TransitionEffects[index].name);
            auto half = tick_at(index, 500);
            CHECK(half == routine_picture(index, 500, 0));
            CHECK(half != routine_picture(index, 500, 1));
            CHECK(tick_at(index, 0) == d.pa);
            CHECK(tick_at(index, 1000) == d.pb);
        }
        d.Drain();
    }
    SECTION("auto mode, every entry") {
        for (int index = 0; index < kTransitionCount; index++) {
            for (unsigned elapsed : {0u, 500u, 1000u}) {
                INFO(TransitionEffects[index].name << " at " << elapsed << " ms");
                auto out = tick_at(index, elapsed);
                CHECK(out == routine_picture(index, elapsed));
                /* (Picture-in-picture layouts in auto mode stand at their fixed
                 * inset from the first frame on.) */
                if (elapsed == 0 && !IsPipTransition(index)) CHECK(out == (index == 18 ? black : d.pa));
                if (elapsed == 1000 && index >= 1 && index <= 35) {
                    if (index == 17) CHECK(out == black);
                    else CHECK(out == d.pb);
                }
            }
        }
        d.Drain();
    }
}
