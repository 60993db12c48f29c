// Edge tracing on small hand-made images: no edges in a flat picture, one
// straight vertical edge where black meets white, short runs dropped, the
// strongest edges kept first, the quantisers' sectors, and bad input.
#include <catch2/catch.hpp>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "fxedges.h"

namespace {

// A black image with white rectangles (x, y, w, h) painted on it.
struct Picture {
    int w, h;
    std::vector<uint8_t> px;
    Picture(int width, int height) : w(width), h(height), px(size_t(width) * height * 4, 0) {}
    Picture &White(int x0, int y0, int rw, int rh)
    {
        for (int y = y0; y < y0 + rh; ++y)
            for (int x = x0; x < x0 + rw; ++x)
                for (int c = 0; c < 4; ++c)
                    px[(size_t(y) * w + x) * 4 + c] = 255;
        return *this;
    }
    int Trace(std::vector<EdgeSegment> &out, int capacity = 64)
    {
        out.assign(size_t(capacity / 2 + 1), EdgeSegment{ -1, -1, -1, -1 });
        int n = TraceImageEdges(px.data(), w, h, out.data(), capacity);
        return n;
    }
};

struct Defaults {
    Defaults() { ResetEdgeTraceParams(); }
    ~Defaults() { ResetEdgeTraceParams(); }
};

} // namespace

TEST_CASE("A flat picture has no edges; a black-to-white boundary gives one vertical segment", "[edges]")
{
    Defaults d;
    std::vector<EdgeSegment> out;
    CHECK(Picture(40, 30).Trace(out) == 0);
    CHECK(Picture(40, 30).White(0, 0, 40, 30).Trace(out) == 0);

    uint32_t flags = GENERATE(EDGE_TRACE | EDGE_WEIGHTED, EDGE_TRACE);
    GetEdgeTraceParams()->flags = flags;
    Picture p(100, 100);
    p.White(50, 0, 50, 100);
    REQUIRE(p.Trace(out) == 1);
    // Edge pixels in columns 49 and 50, rows 1..98: x = 49.5 throughout.
    CHECK(out[0].x1 == 49500);
    CHECK(out[0].x2 == 49500);
    CHECK(out[0].y1 == 1000);
    CHECK(out[0].y2 == 98000);
    CHECK(out[1].x1 == -1);   // nothing written past the count
}

TEST_CASE("Runs no longer than the minimum extent are dropped", "[edges]")
{
    Defaults d;
    std::vector<EdgeSegment> out;
    // Inner rows 1..h-2 of a vertical boundary: extent 1 + (h - 3)^2.
    const struct {
        int height;
        int edges;
    } cases[] = { { 7, 0 }, { 8, 1 } };   // 17 and 26 against 25
    for (auto &c : cases) {
        INFO("height " << c.height);
        Picture p(20, c.height);
        p.White(10, 0, 10, c.height);
        CHECK(p.Trace(out) == c.edges);
    }
    GetEdgeTraceParams()->minExtent = 9;
    Picture p(20, 6);
    p.White(10, 0, 10, 6);
    CHECK(p.Trace(out) == 1);
}

TEST_CASE("The strongest edges are kept, longest first", "[edges]")
{
    Defaults d;
    // A full-height boundary at x = 30 and a half-height one at x = 70 with
    // the horizontal boundary under it.
    Picture p(100, 60);
    p.White(30, 0, 40, 60).White(70, 30, 30, 30);
    std::vector<EdgeSegment> out;
    int n = p.Trace(out, 64);
    REQUIRE(n >= 3);
    CHECK(out[0].x1 == 29500);
    for (int i = 1; i < n; ++i) {
        auto len = [](const EdgeSegment &e) {   // in pixels
            double dx = (e.x2 - e.x1) * 100 / 1e5, dy = (e.y2 - e.y1) * 60 / 1e5;
            return dx * dx + dy * dy;
        };
        INFO(i);
        CHECK(len(out[i]) <= len(out[i - 1]) * 1.0001);
    }
    // Room for one: the longest survives whatever order the runs come in.
    REQUIRE(p.Trace(out, 2) == 1);
    CHECK(out[0].x1 == 29500);
    CHECK(out[1].x1 == -1);
}

TEST_CASE("Gradient directions per quantiser", "[edges]")
{
    // 128 directions: trunc(atan2(gx, gy) x 20.371832148864726), low seven
    // bits; the factor is a hair under 64 / pi, so the axes fall just short.
    CHECK(QuantiseDirection(4, 0, 100) == 0);
    CHECK(QuantiseDirection(4, 100, 0) == 31);
    CHECK(QuantiseDirection(4, -100, 0) == 97);
    CHECK(QuantiseDirection(4, 100, 100) == 15);
    CHECK(QuantiseDirection(4, 0, -100) == 63);
    // The coarse quantisers give every direction of a circle a code within
    // their count, and opposite gradients different codes.
    const int counts[4] = { 16, 12, 8, 8 };
    for (int q = 0; q < 4; ++q) {
        std::vector<bool> used(size_t(counts[q]), false);
        for (int a = 0; a < 360; a += 3) {
            int gx = int(1000 * std::cos(a * 3.14159265 / 180)), gy = int(1000 * std::sin(a * 3.14159265 / 180));
            int c = QuantiseDirection(q, gx, gy);
            INFO("quantiser " << q << " angle " << a);
            REQUIRE(c >= 0);
            REQUIRE(c < counts[q]);
            used[size_t(c)] = true;
            CHECK(QuantiseDirection(q, -gx, -gy) != c);
        }
        for (int c = 0; c < counts[q]; ++c)
            CHECK(used[size_t(c)]);
    }
}

namespace {
int g_last = -1, g_calls = 0, g_stopAt = -1;
bool g_monotonic = true;
int Watch(EdgeTraceParams *p)
{
    if (p->percent < g_last)
        g_monotonic = false;
    g_last = p->percent;
    return ++g_calls != g_stopAt;
}
} // namespace

TEST_CASE("Progress, the gradient-only sweep, cancelling and bad input", "[edges]")
{
    Defaults d;
    Picture p(50, 40);
    p.White(25, 0, 25, 40);
    std::vector<EdgeSegment> out;
    GetEdgeTraceParams()->progress = Watch;
    g_last = -1;
    g_calls = 0;
    g_stopAt = -1;
    g_monotonic = true;
    CHECK(p.Trace(out) == 1);
    CHECK(g_monotonic);
    CHECK(g_last == 100);
    CHECK(GetEdgeTraceParams()->grey == nullptr);

    g_calls = 0;
    g_stopAt = 45;   // in the tracing pass
    g_last = -1;
    CHECK(p.Trace(out) == 0);
    CHECK(out[0].x1 == -1);

    GetEdgeTraceParams()->progress = nullptr;
    GetEdgeTraceParams()->flags = EDGE_WEIGHTED;   // no tracing flag: a sweep only
    CHECK(p.Trace(out) == 0);

    ResetEdgeTraceParams();
    EdgeSegment one[4];
    CHECK(TraceImageEdges(nullptr, 50, 40, one, 8) == 0);
    CHECK(TraceImageEdges(p.px.data(), 50, 40, nullptr, 8) == 0);
    CHECK(TraceImageEdges(p.px.data(), 2, 40, one, 8) == 0);
    CHECK(TraceImageEdges(p.px.data(), 50, 40, one, 1) == 0);
    CHECK(TraceImageEdges(p.px.data(), 70000, 1, one, 8) == 0);
}

TEST_CASE("Noisy pictures of any size give edges inside the frame and within the capacity", "[edges]")
{
    Defaults d;
    uint32_t seed = 12345;
    auto next = [&] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 16;
    };
    const char *env = getenv("FX_FUZZ_ROUNDS");
    int rounds = env ? atoi(env) : 20;
    for (int round = 0; round < rounds; ++round) {
        int w = 3 + int(next() % 60), h = 3 + int(next() % 60), capacity = 2 + int(next() % 20);
        GetEdgeTraceParams()->quantiser = uint16_t(next() % 5);
        GetEdgeTraceParams()->flags = (next() & 1) ? EDGE_TRACE | EDGE_WEIGHTED : EDGE_TRACE;
        Picture p(w, h);
        for (auto &b : p.px)
            b = uint8_t((next() & 1) ? 255 : 0);
        std::vector<EdgeSegment> out;
        int n = p.Trace(out, capacity);
        INFO("round " << round << " " << w << " x " << h << " capacity " << capacity);
        REQUIRE(n >= 0);
        REQUIRE(n <= capacity / 2);
        for (int i = 0; i < n; ++i) {
            for (int32_t v : { out[i].x1, out[i].y1, out[i].x2, out[i].y2 }) {
                CHECK(v >= 0);
                CHECK(v <= 100000);
            }
        }
        CHECK(out[size_t(n)].x1 == -1);
    }
}
