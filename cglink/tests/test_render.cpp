// CG record rendering: the code stream, stills, rolls, crawls, fields,
// resampling, blending, bottom-up buffers and threads, each against a
// reference computed here from the plain pixels and the placement rules.
#include <catch2/catch.hpp>

#include <cmath>

#include "qcg_build.h"
#include "render.h"

using namespace qcgtest;

namespace {

const uint32_t kSentinel = 0x12345678;

// Still: centred, rows from the top, transparent pixels left alone.
Pixels RefStill(const Pixels& px, int iw, int ih, int tw, int th)
{
    Pixels out(size_t(tw) * th, 0);
    const int x0 = (tw - iw) / 2;
    for (int y = 0; y < std::min(ih, th); ++y)
        for (int x = 0; x < iw; ++x)
            if (x0 + x >= 0 && x0 + x < tw && (px[size_t(y) * iw + x] >> 24))
                out[size_t(y) * tw + x0 + x] = px[size_t(y) * iw + x];
    return out;
}

Pixels RefRoll(const Pixels& px, int iw, int ih, int tw, int th, double pos, double total)
{
    Pixels out(size_t(tw) * th, 0);
    const double off = total > 0 ? pos * ih / total - th : -th;
    const int whole = int(off);
    const int x0 = (tw - iw) / 2;
    for (int y = 0; y < th; ++y) {
        const int src = y + whole;
        if (src < 0 || src >= ih) continue;
        for (int x = 0; x < iw; ++x)
            if (x0 + x >= 0 && x0 + x < tw && (px[size_t(src) * iw + x] >> 24))
                out[size_t(y) * tw + x0 + x] = px[size_t(src) * iw + x];
    }
    return out;
}

// Columns a crawl runs through: the sum of its segments' width less gap.
int CrawlWidth(const Crawl& c)
{
    const int gap = (c.segHeight & ~7) >= 16 ? c.segHeight >> 3 : 2;
    int w = 0;
    for (int16_t sw : c.widths) w += sw - gap;
    return w;
}

// A crawl frame by the walk of segments: the offset finds the first
// segment and its entry column; each segment then gives (start + width -
// gap - entry - 1) columns, at most what the target has left, from its
// segment-height rows starting at (default row + index x segment height).
Pixels RefCrawl(const Pixels& px, int iw, int ih, const Crawl& c, int tw, int th, int crawlRow, double pos,
                double total)
{
    const int gap = (c.segHeight & ~7) >= 16 ? c.segHeight >> 3 : 2;
    const int n = int(c.widths.size());
    const int W = CrawlWidth(c);
    Pixels out(size_t(tw) * th, 0);
    int y0 = c.altMarker ? c.altRow : std::min(th - c.segHeight, crawlRow);
    y0 &= ~1;
    const int off = int(total != 0 ? pos * W / total - tw : -tw);
    int col = 0, first = 0, entry;
    if (off < 0) {
        col = -off;
        entry = c.starts[0];
    } else {
        int run = 0;
        while (first < n && off >= run + (c.widths[first] - gap)) run += c.widths[first++] - gap;
        if (first == n) return out;
        entry = c.starts[first] + off - run;
    }
    for (int k = first; k < n && col < tw; ++k) {
        const int e = k == first ? entry : c.starts[k];
        const int take = std::max(0, std::min(c.starts[k] + c.widths[k] - gap - e - 1, tw - col));
        for (int r = 0; r < c.segHeight; ++r) {
            const int src = c.defaultRow + k * c.segHeight + r, ty = y0 + r;
            if (src >= ih || ty < 0 || ty >= th) continue;
            for (int x = 0; x < take; ++x) {
                const uint32_t v = px[size_t(src) * iw + e + x];
                if (v >> 24) out[size_t(ty) * tw + col + x] = v;
            }
        }
        col += take;
    }
    return out;
}

struct Record {
    Bytes a, image, block;
    int w, h;
};

Record MakeRecord(int type, uint16_t kind, int rw, int rh, const Pixels& px, int iw, int ih,
                  const Crawl* crawl = nullptr, int crawlRow = 0)
{
    Record r;
    r.w = rw;
    r.h = rh;
    r.a = MakePartA(rw, rh, type, 0, crawlRow);
    r.image = MakeImage(kind, iw, ih, px, crawl);
    r.block = MakeBlock(r.a, {}, "", r.image);
    return r;
}

int RenderRec(const Record& r, Pixels& buf, int w, int h, DWORD flags, double pos, double total)
{
    auto* blk = reinterpret_cast<const QcgRecordBlock*>(r.block.data());
    return QCGGetRenderedData(flags, r.block.data() + 32, r.block.data() + 32 + r.a.size(), buf.data(), w, h,
                              0, pos, total, blk);
}

Crawl ThreeSegments()
{
    Crawl c;
    c.segHeight = 16;
    c.defaultRow = 4;
    c.widths = {40, 25, 60};
    c.starts = {0, 10, 3};
    return c;
}

}  // namespace

TEST_CASE("A code stream typed byte by byte decodes to its pixels", "[decode]")
{
    // Row 0: literal red, history depth 0, run of entry 2 (256, cut at the
    // row's end; the low nibble of that byte stays unread).  Row 1: literal
    // green, depth 1 (red), depth 14 moved to the front (empty), depth 0.
    const Bytes stream = {0xF0, 0x00, 0x00, 0xFF, 0xFF, 0xE0, 0x82,
                          0xF1, 0x00, 0xFF, 0x00, 0xFF, 0xE0, 0x00};
    const Bytes image = MakeImageRaw(200, 4, 2, stream);
    const Bytes a = MakePartA(4, 2, 0);
    Pixels buf(8, kSentinel);
    REQUIRE(QCGGetRenderedData(0, a.data(), image.data(), buf.data(), 4, 2, 0, 0, 0, nullptr) == 1);
    CHECK(buf == Pixels{0xFFFF0000, 0xFFFF0000, 0xFFFF0000, 0xFFFF0000, 0xFF00FF00, 0xFFFF0000, 0, 0});

    SECTION("run entry 0 is the image width, a run never passes the row")
    {
        // Row 0: a literal, then a run of the width cut at the row's end.
        // Row 1 starts on a fresh byte: a run of the width in the colour.
        const Bytes img2 = MakeImageRaw(200, 3, 2, {0xFE, 0x11, 0x22, 0x33, 0xFF, 0x80, 0xE0, 0x80});
        Pixels b2(6, kSentinel);
        REQUIRE(QCGGetRenderedData(0, MakePartA(3, 2, 0).data(), img2.data(), b2.data(), 3, 2, 0, 0, 0,
                                   nullptr) == 1);
        CHECK(b2 == Pixels(6, 0xFF332211));
    }
    SECTION("a stream cut inside a row fails, in a block or at the end of readable memory")
    {
        for (size_t cut = 0; cut < stream.size(); ++cut) {
            const Bytes part(stream.begin(), stream.begin() + cut);
            const Bytes img = MakeImageRaw(200, 4, 2, part);
            const Bytes blk = MakeBlock(a, {}, "", img);
            Pixels b(8, kSentinel);
            CHECK(GetRenderedData(reinterpret_cast<const QcgRecordBlock*>(blk.data()), b.data(), 4, 2, 0, 0,
                                  nullptr) == 0);
            GuardedCopy g(img);
            CHECK(QCGGetRenderedData(0, a.data(), g.data, b.data(), 4, 2, 0, 0, 0, nullptr) == 0);
        }
    }
}

TEST_CASE("The decoder reads back what the title-image coder writes", "[decode]")
{
    // Widths on both sides of the history's reset row, one wider than the
    // history itself (every pixel a new colour).
    for (int w : {1, 7, 300, 3900, 5000}) {
        const int h = 6;
        Pixels px = Pattern(w, h, uint32_t(w));
        if (w == 5000)
            for (size_t i = 0; i < px.size(); ++i) px[i] = 0xFF000000u | uint32_t(i * 7919);
        const Bytes img = MakeImage(200, w, h, px);
        cuelink::ImagePart ip;
        REQUIRE(ip.Parse(img.data(), img.size()));
        cuelink::RowDecoder dec(ip);
        Pixels out(size_t(w) * h);
        for (int y = 0; y < h; ++y) REQUIRE(dec.Row(out.data() + size_t(y) * w));
        CHECK(out == px);
    }
}

TEST_CASE("Stills are centred and clipped", "[still]")
{
    struct Case {
        int iw, ih, tw, th;
    } cases[] = {{20, 10, 20, 10}, {20, 10, 31, 14}, {40, 12, 30, 8}};
    for (const Case& c : cases) {
        INFO(c.iw << "x" << c.ih << " into " << c.tw << "x" << c.th);
        const Pixels px = Pattern(c.iw, c.ih, 3);
        const Record r = MakeRecord(0, 200, c.tw, c.th, px, c.iw, c.ih);
        Pixels buf(size_t(c.tw) * c.th, kSentinel);
        REQUIRE(RenderRec(r, buf, c.tw, c.th, 0, 0, 0) == 1);
        CHECK(buf == RefStill(px, c.iw, c.ih, c.tw, c.th));
    }
}

TEST_CASE("Blending follows the straight-alpha rule", "[blend]")
{
    using cuelink::Blend;
    CHECK(Blend(0xFF102030, 0xFFABCDEF) == 0xFFABCDEF);
    CHECK(Blend(0xFF102030, 0x00ABCDEF) == 0xFF102030);
    // 128 over opaque: a = 128 + 255 - ((128*255+255)>>8) = 255, w = 128.
    const uint32_t w = 128;
    auto ch = [&](uint32_t s, uint32_t t) { return (w * s + (255 - w) * t + 127) >> 8; };
    CHECK(Blend(0xFF000000u | 0x00204060, 0x80000000u | 0xC08040) ==
          (0xFF000000u | ch(0xC0, 0x20) << 16 | ch(0x80, 0x40) << 8 | ch(0x40, 0x60)));
    // Over an empty pixel the source is taken whole.
    CHECK(Blend(0, 0x80C08040) == 0x80C08040);

    SECTION("the rendering blends with flag 1 and clears without it")
    {
        const Pixels px = Pattern(16, 8, 9);
        const Record r = MakeRecord(0, 200, 16, 8, px, 16, 8);
        Pixels under(16 * 8);
        for (size_t i = 0; i < under.size(); ++i) under[i] = 0xFF000000u | uint32_t(i * 977);
        Pixels buf = under;
        REQUIRE(RenderRec(r, buf, 16, 8, QCG_RENDER_BLEND, 0, 0) == 1);
        for (size_t i = 0; i < buf.size(); ++i) REQUIRE(buf[i] == Blend(under[i], px[i]));
        buf = under;
        REQUIRE(RenderRec(r, buf, 16, 8, 0, 0, 0) == 1);
        CHECK(buf == RefStill(px, 16, 8, 16, 8));
    }
}

TEST_CASE("Rolls scroll by position over total", "[roll]")
{
    const int iw = 24, ih = 90, tw = 24, th = 30;
    const Pixels px = Pattern(iw, ih, 5);
    const Record r = MakeRecord(1, 201, tw, th, px, iw, ih);
    // Forwards and backwards: later frames start from the rows kept from
    // earlier ones, earlier frames decode from the top again.
    for (double pos : {0.0, 1.0, 17.0, 50.0, 51.0, 99.0, 100.0, 130.0, 60.0, 42.0, 99.0}) {
        INFO("position " << pos);
        Pixels buf(size_t(tw) * th, kSentinel);
        REQUIRE(RenderRec(r, buf, tw, th, 0, pos, 100) == 1);
        CHECK(buf == RefRoll(px, iw, ih, tw, th, pos, 100));
    }
    SECTION("a roll handed over without its block is decoded row by row, to the same picture")
    {
        GuardedCopy img(r.image);
        for (double pos : {5.0, 50.0, 77.0, 100.0}) {
            Pixels buf(size_t(tw) * th, kSentinel);
            REQUIRE(QCGGetRenderedData(0, r.a.data(), img.data, buf.data(), tw, th, 0, pos, 100, nullptr) == 1);
            CHECK(buf == RefRoll(px, iw, ih, tw, th, pos, 100));
        }
    }
    SECTION("position 0 is empty; at the total the last row is at the bottom")
    {
        Pixels buf(size_t(tw) * th, kSentinel);
        RenderRec(r, buf, tw, th, 0, 0, 100);
        CHECK(buf == Pixels(buf.size(), 0));
        RenderRec(r, buf, tw, th, 0, 100, 100);
        CHECK(std::equal(buf.end() - tw, buf.end(), RefStill(px, iw, ih, iw, ih).end() - iw));
    }
    SECTION("a total of 0 shows nothing")
    {
        Pixels buf(size_t(tw) * th, kSentinel);
        REQUIRE(RenderRec(r, buf, tw, th, 0, 40, 0) == 1);
        CHECK(buf == Pixels(buf.size(), 0));
    }
    SECTION("a bottom-up buffer holds the same picture upside down")
    {
        Pixels down(size_t(tw) * th, kSentinel), up(size_t(tw) * th, kSentinel);
        RenderRec(r, down, tw, th, 0, 61, 100);
        RenderRec(r, up, tw, -th, 0, 61, 100);
        for (int y = 0; y < th; ++y)
            REQUIRE(std::equal(down.begin() + y * tw, down.begin() + (y + 1) * tw, up.begin() + (th - 1 - y) * tw));
    }
}

TEST_CASE("Crawls lay their segments side by side", "[crawl]")
{
    const int iw = 70, ih = 60, tw = 50, th = 40;
    const Pixels px = Pattern(iw, ih, 11);
    Crawl c = ThreeSegments();
    REQUIRE(CrawlWidth(c) == 38 + 23 + 58);
    SECTION("positions across the whole run, crawl row from part A")
    {
        const Record r = MakeRecord(2, 202, tw, th, px, iw, ih, &c, 9);
        for (double pos : {0.0, 3.0, 10.0, 37.0, 50.0, 71.0, 99.0, 100.0, 120.0}) {
            INFO("position " << pos);
            Pixels buf(size_t(tw) * th, kSentinel);
            REQUIRE(RenderRec(r, buf, tw, th, 0, pos, 100) == 1);
            CHECK(buf == RefCrawl(px, iw, ih, c, tw, th, 9, pos, 100));
        }
    }
    SECTION("through the scratch picture: whole offsets resample to the same pixels, fields keep their rows")
    {
        const Record r = MakeRecord(2, 202, tw, th, px, iw, ih, &c, 9);
        // 119 columns over a total of 119: each position is a whole column.
        for (double pos : {20.0, 61.0, 100.0}) {
            const Pixels want = RefCrawl(px, iw, ih, c, tw, th, 9, pos, 119);
            Pixels buf(size_t(tw) * th, kSentinel);
            REQUIRE(RenderRec(r, buf, tw, th, QCG_RENDER_KEEP_FRACTION, pos, 119) == 1);
            CHECK(buf == want);
            Pixels odd(size_t(tw) * th, kSentinel);
            REQUIRE(RenderRec(r, odd, tw, th, QCG_RENDER_FIELD_ODD, pos, 119) == 1);
            for (int y = 0; y < th; ++y)
                CHECK(std::equal(odd.begin() + y * tw, odd.begin() + (y + 1) * tw,
                                 (y & 1) ? want.begin() + y * tw : Pixels(tw, kSentinel).begin()));
        }
    }
    SECTION("the crawl row is limited to the record; the marker selects the other row")
    {
        const Record low = MakeRecord(2, 202, tw, th, px, iw, ih, &c, 35);
        Pixels buf(size_t(tw) * th, kSentinel);
        RenderRec(low, buf, tw, th, 0, 60, 100);
        CHECK(buf == RefCrawl(px, iw, ih, c, tw, th, 35, 60, 100));
        c.altMarker = true;
        c.altRow = 7;  // made even: 6
        const Record alt = MakeRecord(2, 202, tw, th, px, iw, ih, &c, 20);
        RenderRec(alt, buf, tw, th, 0, 60, 100);
        CHECK(buf == RefCrawl(px, iw, ih, c, tw, th, 20, 60, 100));
        CHECK(GetCrawlPos(reinterpret_cast<const QcgRecordBlock*>(alt.block.data())) == 6);
    }
}

TEST_CASE("Fields, fractions and other sizes go through the resampler", "[resample]")
{
    const int w = 20, h = 12;
    const Pixels px = Pattern(w, h, 21);
    const Record r = MakeRecord(0, 200, w, h, px, w, h);
    const Pixels full = RefStill(px, w, h, w, h);
    SECTION("one field writes every second row and leaves the others")
    {
        for (DWORD f : {DWORD(QCG_RENDER_FIELD_ODD), DWORD(QCG_RENDER_FIELD_EVEN)}) {
            Pixels buf(size_t(w) * h, kSentinel);
            REQUIRE(RenderRec(r, buf, w, h, f, 0, 0) == 1);
            const int first = f == QCG_RENDER_FIELD_ODD ? 1 : 0;
            for (int y = 0; y < h; ++y) {
                INFO("row " << y);
                if ((y & 1) == first)
                    CHECK(std::equal(buf.begin() + y * w, buf.begin() + (y + 1) * w, full.begin() + y * w));
                else
                    CHECK(std::all_of(buf.begin() + y * w, buf.begin() + (y + 1) * w,
                                      [](uint32_t v) { return v == kSentinel; }));
            }
        }
    }
    SECTION("half size averages 2x2 blocks by alpha")
    {
        Pixels q(size_t(w / 2) * (h / 2), kSentinel);
        REQUIRE(RenderRec(r, q, w / 2, h / 2, 0, 0, 0) == 1);
        for (int y = 0; y < h / 2; ++y)
            for (int x = 0; x < w / 2; ++x) {
                uint64_t A = 0, C[3] = {0, 0, 0};
                for (int k = 0; k < 4; ++k) {
                    const uint32_t p = full[size_t(2 * y + k / 2) * w + 2 * x + k % 2];
                    A += p >> 24;
                    for (int c = 0; c < 3; ++c) C[c] += (p >> 24) * ((p >> (8 * c)) & 255);
                }
                uint32_t want = 0;
                if ((A + 2) / 4) {
                    want = uint32_t((A + 2) / 4) << 24;
                    for (int c = 0; c < 3; ++c) want |= uint32_t((C[c] + A / 2) / A) << (8 * c);
                }
                INFO(x << "," << y);
                REQUIRE(q[size_t(y) * (w / 2) + x] == want);
            }
    }
    SECTION("a kept half-row fraction mixes two rows of a roll")
    {
        const int ih = 40;
        Pixels solid(size_t(w) * ih);
        for (int y = 0; y < ih; ++y)
            for (int x = 0; x < w; ++x) solid[size_t(y) * w + x] = 0xFF000000u | uint32_t(y * 6) << 8;
        const Record roll = MakeRecord(1, 201, w, h, solid, w, ih);
        // Offset = 55 * 40 / 100 - 12 = 10: whole rows, then 10.5.
        Pixels a(size_t(w) * h), b(size_t(w) * h);
        REQUIRE(RenderRec(roll, a, w, h, QCG_RENDER_KEEP_FRACTION, 55, 100) == 1);
        CHECK(a[0] == (0xFF000000u | 60u << 8));
        REQUIRE(RenderRec(roll, b, w, h, QCG_RENDER_KEEP_FRACTION, 56.25, 100) == 1);
        // 10.5 rows: equal weights of rows 10 and 11.
        CHECK(b[0] == (0xFF000000u | 63u << 8));
    }
}

struct Job {
    const Record* rec;
    const Pixels* want;
    int w, h, pos;
    bool ok;
};

DWORD WINAPI RunJob(void* p)
{
    Job& j = *static_cast<Job*>(p);
    for (int round = 0; round < 40; ++round) {
        Pixels b(size_t(j.w) * j.h);
        RenderRec(*j.rec, b, j.w, j.h, QCG_RENDER_FIELD_EVEN, j.pos, 100);
        if (b != *j.want) j.ok = false;
    }
    return 0;
}

TEST_CASE("Renderings on four threads do not disturb each other", "[threads]")
{
    const int w = 64, h = 48;
    std::vector<Record> recs;
    std::vector<Pixels> want;
    for (int k = 0; k < 4; ++k) {
        const Pixels px = Pattern(w, 4 * h, uint32_t(k + 40));
        recs.push_back(MakeRecord(1, 201, w, h, px, w, 4 * h));
    }
    for (int k = 0; k < 4; ++k) {
        Pixels b(size_t(w) * h);
        RenderRec(recs[k], b, w, h, QCG_RENDER_FIELD_EVEN, 70, 100);
        want.push_back(b);
    }
    // Win32 threads, as the library's callers have.
    Job jobs[4];
    HANDLE th[4];
    for (int k = 0; k < 4; ++k) {
        jobs[k] = {&recs[k], &want[k], w, h, 70, true};
        th[k] = CreateThread(nullptr, 0, RunJob, &jobs[k], 0, nullptr);
    }
    WaitForMultipleObjects(4, th, TRUE, INFINITE);
    for (HANDLE t : th) CloseHandle(t);
    CHECK((jobs[0].ok && jobs[1].ok && jobs[2].ok && jobs[3].ok));
}
