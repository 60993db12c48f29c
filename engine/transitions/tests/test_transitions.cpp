// The transition table: entries and names, and every routine checked pixel
// for pixel against a reference written here from the patterns' formulas
// (one output pixel at a time, channel sums divided by 255 as
// (2v + 255) / 510), plus the geometric meaning of the simple patterns.
#include <catch2/catch.hpp>

#include "transitions.h"
#include "transitions_internal.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

// ---- pictures --------------------------------------------------------------

struct Picture
{
    int w = 0, h = 0;
    int pitchPx = 0; // row pitch in pixels (rows are padded)
    std::vector<uint32_t> px;
    Picture() = default;
    Picture(int w_, int h_, int pad, uint32_t fill = 0) : w(w_), h(h_), pitchPx(w_ + pad), px(size_t(pitchPx) * h_, fill) {}
    uint32_t at(int x, int y) const { return px[size_t(y) * pitchPx + x]; }
    uint32_t &at(int x, int y) { return px[size_t(y) * pitchPx + x]; }
};

uint32_t Hash(uint32_t x)
{
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

// Two distinct patterns: "noise" (every pixel different, all four channels)
// and "bars" (colour bars with a diagonal ramp in alpha and green).
Picture Noise(int w, int h, uint32_t seed)
{
    Picture p(w, h, 3, 0xA5A5A5A5u);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) p.at(x, y) = Hash(uint32_t(y * 7919 + x) ^ (seed * 0x9E3779B9u));
    return p;
}

Picture Bars(int w, int h)
{
    static const uint32_t bars[8] = {0xFFFFFFFF, 0xFFFFFF00, 0xFF00FFFF, 0xFF00FF00,
                                     0xFFFF00FF, 0xFFFF0000, 0xFF0000FF, 0xFF000000};
    Picture p(w, h, 5, 0x5A5A5A5Au);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            uint32_t v = bars[(x * 8) / w];
            uint32_t ramp = uint32_t((x + y) * 255 / (w + h));
            p.at(x, y) = (v & 0x00FF00FF) | ((255 - ramp) << 24) | (((v >> 8) & 0xFF) ? (ramp << 8) : 0);
        }
    return p;
}

// ---- reference -------------------------------------------------------------

int Ch(uint32_t p, int i) { return int((p >> (8 * i)) & 0xFF); }

uint32_t Mix(uint32_t pa, int wa, uint32_t pb, int wb) // wa + wb == 255
{
    uint32_t out = 0;
    for (int i = 0; i < 4; ++i)
    {
        int v = Ch(pa, i) * wa + Ch(pb, i) * wb;
        out |= uint32_t((2 * v + 255) / 510) << (8 * i);
    }
    return out;
}

struct Job
{
    int index;
    const Picture *A, *B;
    long long e, D;
    bool autoMode;
};

long long RoundDiv(long long x, long long d) { return (2 * x + d) / (2 * d); }

uint32_t RefPixel(const Job &j, int x, int y)
{
    const Picture &A = *j.A, &B = *j.B;
    const int W = A.w, H = A.h;
    long long D = j.D, e = j.e;
    if (D <= 0)
    {
        D = 1;
        e = 1;
    }
    if (e > D) e = D;
    const int a = int(RoundDiv(e * W, D)), c = int(RoundDiv(e * H, D));
    auto Aat = [&](int xx, int yy) { return A.at(xx, yy); };
    auto Bat = [&](int xx, int yy) { return B.at(xx, yy); };

    switch (j.index)
    {
    case 0: return Aat(x, y);
    case 1:
    case 2:
    {
        float p = float(e) / float(D);
        bool right = j.index == 2;
        if (right) p = 1.0f - p;
        const int edge = int(float(W + 8) * p);
        uint32_t L = right ? Aat(x, y) : Bat(x, y), Rr = right ? Bat(x, y) : Aat(x, y);
        if (x >= edge) return Rr;
        int k = x - (edge - 8);
        if (k < 0) return L;
        int wt = int(255.0 * (1.0 - k / 8.0));
        return Mix(L, wt, Rr, 255 - wt);
    }
    case 3: return y >= H - c ? Bat(x, y) : Aat(x, y);
    case 4: return y < c ? Bat(x, y) : Aat(x, y);
    case 5: return x < a ? Bat(W - a + x, y) : Aat(x, y);
    case 6: return x < W - a ? Aat(x, y) : Bat(x - (W - a), y);
    case 7: return y < H - c ? Aat(x, y) : Bat(x, y - (H - c));
    case 8: return y < c ? Bat(x, H - c + y) : Aat(x, y);
    case 9: return x < a ? Bat(W - a + x, y) : Aat(x - a, y);
    case 10: return x < W - a ? Aat(x + a, y) : Bat(x - (W - a), y);
    case 11: return y < H - c ? Aat(x, y + c) : Bat(x, y - (H - c));
    case 12: return y < c ? Bat(x, H - c + y) : Aat(x, y - c);
    case 13: return x < a ? Bat(x * W / a, y) : Aat((x - a) * W / (W - a), y);
    case 14: return x < W - a ? Aat(x * W / (W - a), y) : Bat((x - (W - a)) * W / a, y);
    case 15: return y < H - c ? Aat(x, y * H / (H - c)) : Bat(x, (y - (H - c)) * H / c);
    case 16: return y < c ? Bat(x, y * H / c) : Aat(x, (y - c) * H / (H - c));
    case 17: { int s = int((D - e) * 255 / D); return Mix(Aat(x, y), s, 0, 255 - s); }
    case 18: { int s = int(e * 255 / D); return Mix(Bat(x, y), s, 0, 255 - s); }
    case 19:
        if (e < D / 2) { int s = int((D - e) * 255 / D); return Mix(Aat(x, y), s, 0, 255 - s); }
        else { int s = int(e * 255 / D); return Mix(Bat(x, y), s, 0, 255 - s); }
    case 20: { int t = int(e * 255 / D); return Mix(Aat(x, y), 255 - t, Bat(x, y), t); }
    case 21: return (x < a && y < c) ? Bat(x + W - a, y + H - c) : Aat(x, y);
    case 22: return (x >= W - a && y < c) ? Bat(x - (W - a), y + H - c) : Aat(x, y);
    case 23: return (x < a && y >= H - c) ? Bat(x + W - a, y - (H - c)) : Aat(x, y);
    case 24: return (x >= W - a && y >= H - c) ? Bat(x - (W - a), y - (H - c)) : Aat(x, y);
    case 25: case 26: case 27: case 28:
    {
        // A's pixel (sx, sy) is shown at (sx -/+ a, sy -/+ c).
        int dx = (j.index == 26 || j.index == 28) ? a : -a;
        int dy = (j.index == 27 || j.index == 28) ? c : -c;
        int sx = x - dx, sy = y - dy;
        if (sx >= 0 && sx < W && sy >= 0 && sy < H) return Aat(sx, sy);
        return Bat(x, y);
    }
    case 29: case 30:
    {
        bool in = j.index == 29;
        long long k = in ? D - e : e;
        int bx = int(k * (W / 2) / D), by = int(k * (H / 2) / D);
        auto frame = [&](int xx, int yy) { return in ? Aat(xx, yy) : Bat(xx, yy); };
        auto scaled = [&](int xx, int yy) { return in ? Bat(xx, yy) : Aat(xx, yy); };
        if (y < by || y >= H - by || x < bx || x >= W - bx) return frame(x, y);
        return scaled((x - bx) * W / (W - 2 * bx), (y - by) * H / (H - 2 * by));
    }
    case 31: { int t = int(e * 10 / D); return (y % 10) < t ? Bat(x, y) : Aat(x, y); }
    case 32: { int s = (W - a) / 2; return (x >= s && x < s + a) ? Bat(x, y) : Aat(x, y); }
    case 33:
    {
        int s = (W - a) / 2;
        if (x < s) return Aat(a / 2 + x, y);
        if (x < s + a) return Bat(x, y);
        return Aat(W / 2 + (x - s - a), y);
    }
    case 34:
    {
        long long d = e * (W + H) / D;
        long long ey = std::min<long long>(W, std::max<long long>(0, d - y));
        if (ey == 0) return Aat(x, y);
        if (x < ey) return Bat(x, y);
        if (x < std::min<long long>(W, d)) return Aat(int(ey), int(y - (x - ey)));
        return Aat(x, y);
    }
    case 35:
    {
        long long d = e * (W + H) / D;
        long long ey = std::min<long long>(W, std::max<long long>(0, d - y));
        return x < ey ? Bat(x, y) : Aat(x, y);
    }
    default:
    {
        int k = j.index - 36;
        bool insetIsB = k < 4;
        bool right = (k % 2) == 1, bottom = (k % 4) >= 2;
        long long f = j.autoMode ? 3 : D / std::max<long long>(e, 1);
        int iw = int(W / f), ih = int(H / f);
        int x0 = right ? W - iw : 0, y0 = bottom ? H - ih : 0;
        const Picture &full = insetIsB ? A : B, &inset = insetIsB ? B : A;
        if (x >= x0 && x < x0 + iw && y >= y0 && y < y0 + ih)
            return inset.at(int((x - x0) * f), int((y - y0) * f));
        return full.at(x, y);
    }
    }
}

Picture Reference(const Job &j)
{
    Picture out(j.A->w, j.A->h, 0);
    for (int y = 0; y < out.h; ++y)
        for (int x = 0; x < out.w; ++x) out.at(x, y) = RefPixel(j, x, y);
    return out;
}

const uint32_t kSentinel = 0xC0FFEE11u;

// Runs the routine under test into a padded output picture.
Picture Run(const Job &j, const volatile int32_t *composing = nullptr, uint32_t fill = kSentinel)
{
    Picture out(j.A->w, j.A->h, 7, fill);
    TransitionFrame f;
    f.a = reinterpret_cast<const uint8_t *>(j.A->px.data());
    f.aPitch = ptrdiff_t(j.A->pitchPx) * 4;
    f.b = reinterpret_cast<const uint8_t *>(j.B->px.data());
    f.bPitch = ptrdiff_t(j.B->pitchPx) * 4;
    f.out = reinterpret_cast<uint8_t *>(out.px.data());
    f.outPitch = ptrdiff_t(out.pitchPx) * 4;
    f.elapsed = uint32_t(j.e);
    f.duration = int32_t(j.D);
    f.width = j.A->w;
    f.height = j.A->h;
    f.autoTransition = j.autoMode ? 1 : 0;
    f.composing = composing;
    TransitionEffects[j.index].routine(f);
    return out;
}

// Number of pixels that differ from the reference; also checks that the
// row padding of the output was left alone.
size_t Mismatches(const Job &j, std::string *first = nullptr)
{
    Picture got = Run(j), ref = Reference(j);
    size_t bad = 0;
    for (int y = 0; y < ref.h; ++y)
    {
        for (int x = 0; x < ref.w; ++x)
            if (got.at(x, y) != ref.at(x, y))
            {
                if (!bad && first)
                {
                    std::ostringstream s;
                    s << "first at " << x << "," << y << std::hex << " got " << got.at(x, y) << " want " << ref.at(x, y);
                    *first = s.str();
                }
                ++bad;
            }
        for (int x = ref.w; x < got.pitchPx; ++x) bad += got.at(x, y) != kSentinel;
    }
    return bad;
}

bool AllFrom(const Picture &got, const Picture &src)
{
    for (int y = 0; y < got.h; ++y)
        for (int x = 0; x < got.w; ++x)
            if (got.at(x, y) != src.at(x, y)) return false;
    return true;
}

} // namespace

TEST_CASE("the table holds 44 named entries and an empty end entry", "[transitions][table]")
{
    std::set<std::string> names, icons;
    for (int i = 0; i < kTransitionCount; ++i)
    {
        const TransitionEffect &t = TransitionEffects[i];
        INFO("entry " << i);
        CHECK(t.routine != nullptr);
        CHECK(strnlen(t.name, 40) < 40);
        CHECK(strnlen(t.iconName, 40) < 40);
        CHECK(t.name[0] != 0);
        names.insert(t.name);
        icons.insert(t.iconName);
        // Icon names are the names in lower case without spaces.
        std::string squeezed;
        for (const char *p = t.name; *p; ++p)
            if (*p != ' ') squeezed += char(tolower(*p));
        CHECK(squeezed == t.iconName);
    }
    CHECK(names.size() == 44);
    CHECK(icons.size() == 44);
    CHECK(TransitionEffects[44].routine == nullptr);
    CHECK(TransitionEffects[44].name[0] == 0);
    CHECK(TransitionEffects[44].iconName[0] == 0);

    struct Named
    {
        int index;
        const char *name, *icon;
    } spot[] = {{0, "Cut", "cut"},
                {20, "Cross Dissolve", "crossdissolve"},
                {34, "Page Peel", "pagepeel"},
                {35, "Upper Left Wipe", "upperleftwipe"},
                {36, "PIP Left Top AB", "piplefttopab"},
                {43, "PIP Right Bottom BA", "piprightbottomba"}};
    for (const Named &n : spot)
    {
        CHECK(std::string(TransitionEffects[n.index].name) == n.name);
        CHECK(std::string(TransitionEffects[n.index].iconName) == n.icon);
    }
    for (int i = 0; i < 50; ++i) CHECK(IsPipTransition(i) == (i >= 36 && i <= 43));
}

TEST_CASE("the string table fragment carries the table's names at ids 2 to 45", "[transitions][table]")
{
    std::ifstream in(TRANSITIONS_SOURCE_DIR "/transition_names.rc");
    REQUIRE(in.good());
    std::string line;
    std::regex entry(R"re(^\s*(\d+)\s+"([^"]*)"\s*$)re");
    int count = 0;
    while (std::getline(in, line))
    {
        std::smatch m;
        if (!std::regex_match(line, m, entry)) continue;
        int id = std::stoi(m[1]);
        INFO("id " << id);
        REQUIRE(id >= kTransitionStringBase);
        REQUIRE(id < kTransitionStringBase + kTransitionCount);
        CHECK(m[2].str() == TransitionEffects[id - kTransitionStringBase].name);
        CHECK(id == kTransitionStringBase + count);
        ++count;
    }
    CHECK(count == kTransitionCount);
}

TEST_CASE("MulDiv rounds to nearest like the system's", "[transitions][arith]")
{
    struct Case
    {
        long long x, y, d;
        int expect;
    } cases[] = {{500, 64, 1000, 32}, {333, 37, 1000, 12}, {1, 1, 2, 1}, {1, 1, 3, 0}, {2, 1, 3, 1},
                 {5, 1, 10, 1},     {4, 1, 10, 0},      {7, 10, 1000, 0}, {950, 10, 1000, 10}, {0, 5, 7, 0}};
    for (const Case &c : cases) CHECK(TransitionMulDiv(c.x, c.y, c.d) == c.expect);
    CHECK(TransitionMulDiv(1, 1, 0) == -1);
}

TEST_CASE("every entry matches the reference at 0, 50 and 100 percent", "[transitions][reference]")
{
    // Both kernel sets: the one this processor runs by default and the SSE2 one.
    const int level = GENERATE(1, 0);
    const int saved = TransitionKernelLevel();
    const int inForce = TransitionKernelLevel(level);
    INFO("kernel level " << inForce);
    struct Size
    {
        int w, h;
    } sizes[] = {{64, 48}, {37, 29}};
    struct Point
    {
        long long e, D;
    } points[] = {{0, 1000}, {500, 1000}, {1000, 1000}, {333, 777}, {1, 1000}, {999, 1000}};
    for (const Size &s : sizes)
    {
        Picture noiseA = Noise(s.w, s.h, 1), noiseB = Noise(s.w, s.h, 2), bars = Bars(s.w, s.h);
        struct Pair
        {
            const Picture *a, *b;
            const char *what;
        } pairs[] = {{&noiseA, &bars, "noise -> bars"}, {&bars, &noiseB, "bars -> noise"}};
        for (const Pair &p : pairs)
            for (const Point &pt : points)
                for (int i = 0; i < kTransitionCount; ++i)
                    for (int autoMode = 0; autoMode < (IsPipTransition(i) ? 2 : 1); ++autoMode)
                    {
                        INFO(TransitionEffects[i].name << " " << s.w << "x" << s.h << " " << p.what << " at "
                                                       << pt.e << "/" << pt.D << (autoMode ? " auto" : ""));
                        Job j{i, p.a, p.b, pt.e, pt.D, autoMode != 0};
                        std::string first;
                        size_t bad = Mismatches(j, &first);
                        INFO(first);
                        CHECK(bad == 0);
                    }
    }
    TransitionKernelLevel(saved);
}

TEST_CASE("every entry matches the reference at 320 by 240", "[transitions][reference]")
{
    Picture a = Bars(320, 240), b = Noise(320, 240, 3);
    for (int i = 0; i < kTransitionCount; ++i)
    {
        INFO(TransitionEffects[i].name);
        Job j{i, &a, &b, 430, 1000, true};
        CHECK(Mismatches(j) == 0);
    }
}

TEST_CASE("simple patterns mean what their names say", "[transitions][geometry]")
{
    const int W = 64, H = 48;
    Picture A = Noise(W, H, 11), B = Noise(W, H, 12);
    auto run = [&](int i, long long e, bool autoMode = false) { return Run(Job{i, &A, &B, e, 1000, autoMode}); };

    SECTION("at the start everything but the fade in and the BA layouts shows A")
    {
        for (int i = 0; i < kTransitionCount; ++i)
        {
            INFO(TransitionEffects[i].name);
            Picture o = run(i, 0);
            if (i == 18)
                CHECK(AllFrom(o, Picture(W, H, 0, 0))); // transparent black
            else if (i >= 40)
                CHECK(AllFrom(o, B));
            else
                CHECK(AllFrom(o, A));
        }
    }
    SECTION("at the end B only, the fade out black, the manual insets grown to the frame")
    {
        for (int i = 1; i < kTransitionCount; ++i)
        {
            INFO(TransitionEffects[i].name);
            Picture o = run(i, 1000);
            if (i == 17)
                CHECK(AllFrom(o, Picture(W, H, 0, 0)));
            else if (i >= 40)
                CHECK(AllFrom(o, A)); // A inset over B, at full size
            else
                CHECK(AllFrom(o, B));
        }
        CHECK(AllFrom(run(0, 1000), A)); // a cut switches when its time is over
    }
    SECTION("left wipe at half: B on the left, A on the right, an 8-pixel soft band")
    {
        Picture o = run(1, 500);
        const int edge = (W + 8) / 2; // 36
        for (int y = 0; y < H; ++y)
        {
            for (int x = 0; x < edge - 8; ++x) REQUIRE(o.at(x, y) == B.at(x, y));
            for (int x = edge; x < W; ++x) REQUIRE(o.at(x, y) == A.at(x, y));
        }
        // Right wipe at half: the mirror image.
        Picture r = run(2, 500);
        for (int y = 0; y < H; ++y)
        {
            for (int x = 0; x < edge - 8; ++x) REQUIRE(r.at(x, y) == A.at(x, y));
            for (int x = edge; x < W; ++x) REQUIRE(r.at(x, y) == B.at(x, y));
        }
    }
    SECTION("left wipe with the edge at 3: weights 95, 63, 31 for B, then A")
    {
        // edge = int(72 x p) = 3 for p = 3 / 72.
        Picture o = Run(Job{1, &A, &B, 3, 72, false});
        const int wts[3] = {95, 63, 31};
        for (int x = 0; x < 3; ++x) CHECK(o.at(x, 5) == Mix(B.at(x, 5), wts[x], A.at(x, 5), 255 - wts[x]));
        for (int x = 3; x < W; ++x) CHECK(o.at(x, 5) == A.at(x, 5));
    }
    SECTION("wipes, scrolls and pushes split the frame at half")
    {
        Picture up = run(3, 500), down = run(4, 500), ls = run(5, 500), rp = run(10, 500), dp = run(12, 500);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
            {
                REQUIRE(up.at(x, y) == (y >= H / 2 ? B : A).at(x, y));
                REQUIRE(down.at(x, y) == (y < H / 2 ? B : A).at(x, y));
                REQUIRE(ls.at(x, y) == (x < W / 2 ? B.at(x + W / 2, y) : A.at(x, y)));
                REQUIRE(rp.at(x, y) == (x < W / 2 ? A.at(x + W / 2, y) : B.at(x - W / 2, y)));
                REQUIRE(dp.at(x, y) == (y < H / 2 ? B.at(x, y + H / 2) : A.at(x, y - H / 2)));
            }
    }
    SECTION("blind at full count draws every row from B; short last band stops at the last row")
    {
        Picture o = run(31, 1000);
        CHECK(AllFrom(o, B));
        Picture A7 = Noise(10, 27, 1), B7 = Noise(10, 27, 2);
        Picture o7 = Run(Job{31, &A7, &B7, 300, 1000, false});
        for (int y = 0; y < 27; ++y) CHECK(o7.at(4, y) == ((y % 10) < 3 ? B7 : A7).at(4, y));
    }
    SECTION("dissolve: A at about half just before half time, B at half from half time")
    {
        Picture white(W, H, 0, 0xFFFFFFFFu);
        Picture o1 = Run(Job{19, &white, &B, 499, 1000, false});
        CHECK(o1.at(0, 0) == 0x7F7F7F7Fu); // A x (501 x 255 / 1000 = 127)
        Picture o2 = Run(Job{19, &A, &white, 500, 1000, false});
        CHECK(o2.at(0, 0) == 0x7F7F7F7Fu); // B x (500 x 255 / 1000 = 127)
        Picture o3 = Run(Job{19, &white, &white, 499, 1000, false});
        Picture o4 = Run(Job{19, &A, &white, 499, 1000, false});
        CHECK(o4.at(3, 3) == Mix(A.at(3, 3), 127, 0, 128)); // still A before half time
        CHECK(o3.at(0, 0) == 0x7F7F7F7Fu);
    }
    SECTION("picture in picture in auto mode: an inset of a third, point sampled")
    {
        Picture o = run(39, 300, true); // B reduced into the lower right corner
        const int iw = W / 3, ih = H / 3;
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
            {
                bool in = x >= W - iw && y >= H - ih;
                REQUIRE(o.at(x, y) == (in ? B.at((x - (W - iw)) * 3, (y - (H - ih)) * 3) : A.at(x, y)));
            }
    }
}

TEST_CASE("the soft wipes stop drawing rows when the composing flag falls to 0", "[transitions][driver]")
{
    Picture A = Noise(40, 20, 5), B = Noise(40, 20, 6);
    volatile int32_t composing = 0;
    for (int i : {1, 2})
    {
        Picture o = Run(Job{i, &A, &B, 500, 1000, false}, &composing);
        CHECK(AllFrom(o, Picture(40, 20, 0, kSentinel)));
    }
    composing = 1;
    CHECK(Mismatches(Job{1, &A, &B, 500, 1000, false}) == 0);
    // Other routines draw whatever the flag says.
    composing = 0;
    CHECK(AllFrom(Run(Job{3, &A, &B, 1000, 1000, false}, &composing), B));
}

TEST_CASE("a position past the end or a zero duration draws the finished frame, never outside", "[transitions][edges]")
{
    Picture A = Noise(37, 29, 8), B = Bars(37, 29);
    for (int i = 0; i < kTransitionCount; ++i)
        for (int autoMode = 0; autoMode < 2; ++autoMode)
        {
            INFO(TransitionEffects[i].name << (autoMode ? " auto" : ""));
            Picture end = Run(Job{i, &A, &B, 1000, 1000, autoMode != 0});
            Picture past = Run(Job{i, &A, &B, 3000, 1000, autoMode != 0});
            Picture zero = Run(Job{i, &A, &B, 0, 0, autoMode != 0});
            Picture neg = Run(Job{i, &A, &B, 5, -10, autoMode != 0});
            CHECK(past.px == end.px); // padding included: nothing written outside
            CHECK(zero.px == end.px);
            CHECK(neg.px == end.px);
        }
    // A 1 by 1 frame and an empty frame.
    Picture a1 = Noise(1, 1, 1), b1 = Noise(1, 1, 2);
    for (int i = 0; i < kTransitionCount; ++i)
        for (long long e : {0LL, 500LL, 1000LL}) CHECK(Mismatches(Job{i, &a1, &b1, e, 1000, false}) == 0);
    TransitionFrame empty = {};
    for (int i = 0; i < kTransitionCount; ++i) TransitionEffects[i].routine(empty); // does nothing
}
