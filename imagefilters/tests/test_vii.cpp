// Title-image filter: entries, the row codec, hand-made files of every
// kind, round trips through the writer and bad input.
#include <catch2/catch.hpp>

#include "fmt_helpers.h"
#include "fx_helpers.h"
#include "vii.h"

using namespace fmt_test;
using ferrix::ViiCodec;

namespace {

FxReaderOpen ReaderOpen() { return Entry(VIIEnumReadFormats, 0).u.read.open; }
FxWriterOpen WriterOpen() { return Entry(VIIEnumWriteFormats, 0).u.write.open; }

// Points the "VistaVii" lookup at a private settings file for one test.
struct Settings {
    std::string path = TempPath("vii_settings.ini");
    explicit Settings(const char* value = nullptr)
    {
        DeleteFileA(path.c_str());
        if (value) WritePrivateProfileStringA("Preferences", "VistaVii", value, path.c_str());
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());
        ferrix::ViiSetSettingsPath(path.c_str());
    }
    ~Settings()
    {
        ferrix::ViiSetSettingsPath(nullptr);
        DeleteFileA(path.c_str());
    }
};

Bytes Header(int code, int w, int h, int frames = 0xFFFF, uint32_t table = 50, int marker = 0, int x = 7,
             int y = 9, uint32_t fill = 0x11223344)
{
    Bytes b;
    Le16(b, 0xBDEF);
    Le16(b, code);
    Le16(b, x);
    Le16(b, y);
    Le16(b, w);
    Le16(b, h);
    Le16(b, frames);
    Le32(b, table);
    Put8(b, 0);
    Put8(b, 2);
    Le16(b, 0);
    Le16(b, 0);  // 22 segment height
    Le16(b, 0);  // 24 lead-in rows
    Le16(b, marker);
    Le16(b, 0);
    Le32(b, 0);
    Le32(b, 0);
    Le32(b, fill);
    b.resize(50, 0);
    return b;
}

Bytes Short(int mode, int w, int h)
{
    Bytes b;
    Le16(b, 0xEDEF);
    Le16(b, mode);
    Le16(b, w);
    Le16(b, h);
    return b;
}

uint32_t Px32(const Bytes& row, size_t i) { return GetLe32(row, i * 4); }
uint32_t Px16(const Bytes& row, size_t i) { return GetLe16(row, i * 2); }

// Reads one page or segment with the caller's request fields set
// (optionally a resume record and a mask buffer; rows: how many to read).
Decoded ReadPart(const Bytes& data, int part = 0, uint32_t version = FX_REQUEST_VERSION,
                 FxResumeRecord* resume = nullptr, Bytes* mask = nullptr, int rows = -1)
{
    Decoded d;
    std::memset(&d.s, 0, sizeof d.s);
    d.s.version = version;
    d.s.part = uint16_t(part);
    d.s.resume = resume;
    if (mask) {
        d.s.maskBuffer = mask->data();
        d.s.maskBufferSize = uint32_t(mask->size());
    }
    Bytes copy = data;
    BufferedStream* st = bfSetMem(copy.data(), uint32_t(copy.size()), uint32_t(copy.size()), 0);
    d.s.stream = st;
    d.openRc = ReaderOpen()(&d.s);
    if (d.openRc == 0) {
        ConvertSource& s = d.s;
        d.rc = s.prepare(&s);
        if (d.rc == 0) d.rc = s.beginRows(&s);
        for (int y = 0; d.rc == 0 && y < (rows < 0 ? s.height : rows); ++y) {
            Bytes row(s.bytesPerRow + kGuardBytes, 0);
            std::memset(row.data() + s.bytesPerRow, kGuard, kGuardBytes);
            d.rc = s.readRow(&s, row.data());
            if (!GuardIntact(row.data() + s.bytesPerRow)) d.overrun = true;
            row.resize(s.bytesPerRow);
            d.rows.push_back(row);
        }
        s.close(&s);
    }
    bfDestroy(st);
    return d;
}

Bytes Encode32(const std::vector<uint32_t>& px)
{
    ViiCodec c;
    c.Reset(uint32_t(px.size()));
    std::vector<uint8_t> out;
    ferrix::ViiEncodeRow(c, px.data(), uint32_t(px.size()), 32, out);
    return Bytes(out.begin(), out.end());
}

std::vector<Bytes> Rows32(int w, int h, uint32_t seed)
{
    std::vector<Bytes> rows;
    uint32_t v = seed;
    for (int y = 0; y < h; ++y) {
        Bytes r;
        for (int x = 0; x < w; ++x) {
            v = v * 1103515245u + 12345u;
            // long stretches, a tight palette and now and then a fresh colour
            uint32_t c = ((v >> 16) % 7 == 0) ? (v ^ 0x5A5A5A5Au) : 0xFF000000u | ((v >> 20) % 160) * 0x010203u;
            if (x > 0 && (v >> 8) % 3 == 0) c = GetLe32(r, size_t(x - 1) * 4);
            Le32(r, c);
        }
        rows.push_back(r);
    }
    return rows;
}

}  // namespace

TEST_CASE("title image entries", "[vii]")
{
    struct {
        int index;
        const char* name;
        const char* ext;
        int depth, options, left;
    } reads[] = {{0, "VII, Quillon", "VII", 0xB0, 19, 4},
                 {1, "LGO, Quillon", "LGO", 0xB0, 19, 3},
                 {2, "Quillon Roll", "VIS", 0xB0, 35, 2},
                 {3, "Quillon Crawl", "VIC", 0xB0, 35, 1},
                 {4, "Quillon", "QCG", 0xA0, 35, 0}};
    for (auto& e : reads) {
        int left = -9;
        FormatRecord r = Entry(VIIEnumReadFormats, e.index, &left);
        CHECK(left == e.left);
        CHECK(std::string(r.name) == e.name);
        CHECK(std::string(r.u.read.extensions) == e.ext);
        CHECK(r.formatId == 4);
        CHECK(r.depthMask == e.depth);
        CHECK(r.u.read.options == uint32_t(e.options));
        CHECK(r.u.read.probe != 0);
    }
    struct {
        const char* name;
        const char* ext;
        int depth, options;
    } writes[] = {{"VII, Quillon", "VII", 0xB0, 19},
                  {"LGO, Quillon", "LGO", 0xB1, 19},
                  {"VIS, Quillon Roll", "VIS", 0xB0, 33},
                  {"VIC, Quillon Crawl", "VIC", 0xB0, 33}};
    for (int i = 0; i < 4; ++i) {
        int left = -9;
        FormatRecord r = Entry(VIIEnumWriteFormats, i, &left);
        CHECK(left == 3 - i);
        CHECK(std::string(r.name) == writes[i].name);
        CHECK(std::string(r.u.write.extensions) == writes[i].ext);
        CHECK(r.depthMask == writes[i].depth);
        CHECK(r.u.write.options == uint32_t(writes[i].options));
        CHECK(r.u.write.subFormat == i);
    }
    FormatRecord r;
    CHECK(VIIEnumReadFormats(5, &r) == -1);
    CHECK(VIIEnumWriteFormats(4, &r) == -1);
    CHECK(VIIEnumReadFormats(-1, &r) == -1);
}

TEST_CASE("title codec: row coding", "[vii]")
{
    SECTION("702 pixels of a new colour: literal, depth 0, then runs of 512, 128 and 60")
    {
        Bytes b = Encode32(std::vector<uint32_t>(702, 0x80112233u));
        Bytes want = {0xF0, 0x33, 0x22, 0x11, 0x80, 0xEE, 129, 131, 0xE0, 188};
        CHECK(b == want);
    }
    SECTION("a run of 3 is three depth codes; a row's first pixel never starts a run")
    {
        ViiCodec c;
        c.Reset(5);
        std::vector<uint8_t> out;
        std::vector<uint32_t> row = {5, 5, 5, 5, 5};  // literal, 0, then a run of 3 -> 0 0 0
        ferrix::ViiEncodeRow(c, row.data(), 5, 32, out);
        CHECK(Bytes(out.begin(), out.end()) == Bytes({0xF0, 5, 0, 0, 0, 0x00, 0x00}));
        out.clear();
        std::vector<uint32_t> row2 = {5, 5, 5, 5, 5, 5, 5};  // depth 0, then a run of 6
        c.Reset(7);
        c.slot[c.pos] = 5;
        ferrix::ViiEncodeRow(c, row2.data(), 7, 32, out);
        CHECK(Bytes(out.begin(), out.end()) == Bytes({0x0E, 128 + 6}));
    }
    SECTION("the 16-bit coder emits no runs and 2-byte literals")
    {
        ViiCodec c;
        c.Reset(6);
        std::vector<uint16_t> row(6, 0x1234);
        std::vector<uint8_t> out;
        ferrix::ViiEncodeRow(c, row.data(), 6, 16, out);
        CHECK(Bytes(out.begin(), out.end()) == Bytes({0xF0, 0x34, 0x12, 0x00, 0x00}));
    }
    SECTION("mask runs of an all-opaque row of 300 and of mixed rows")
    {
        std::vector<uint8_t> op(300, 1), out;
        ferrix::ViiMaskRuns(op.data(), 300, out);
        CHECK(Bytes(out.begin(), out.end()) == Bytes({0, 255, 0, 45}));
        uint8_t mixed[] = {0, 0, 1, 0, 1, 1};
        out.clear();
        ferrix::ViiMaskRuns(mixed, 6, out);
        CHECK(Bytes(out.begin(), out.end()) == Bytes({2, 1, 1, 2}));
    }
    SECTION("colour table and expansion")
    {
        CHECK(ferrix::ViiTableColour(0) == 0);
        CHECK(ferrix::ViiTableColour(1330) == 0x7FFF);
        CHECK(ferrix::ViiTableColour(1) == 3);
        CHECK(ferrix::ViiTableColour(121 * 5) == (15 << 10));
        CHECK(ferrix::ViiExpand(0x7FFF) == 0xFFFFFFFFu);
        CHECK(ferrix::ViiExpand(0x001F) == 0xFF0000FFu);
        // bit 15: table entry 1 (blue 3) with alpha (v >> 10) & 30
        CHECK(ferrix::ViiExpand(0x8000 | (8 << 10) | 1) == ((66u << 24) | 24u));
    }
}

TEST_CASE("title reader: hand-made files", "[vii]")
{
    Settings off;
    SECTION("32-bit still: literals, a depth code and a run of one")
    {
        Bytes b = Header(200, 3, 2);
        Append(b, {0xF0, 0x00, 0x00, 0xFF, 0x00, 0xF0, 0xFF, 0x00, 0x00, 0x00});  // red, depth 0, blue
        Append(b, {0x01, 0x10});                                                  // blue, red, red
        Decoded d = ReadPart(b);
        REQUIRE(d.openRc == 0);
        REQUIRE(d.rc == 0);
        CHECK_FALSE(d.overrun);
        CHECK(d.s.depth == 32);
        CHECK(d.s.width == 3);
        CHECK(d.s.formatId == 4);
        CHECK(d.s.rowOrder == 0x600);
        CHECK(d.s.partX == 7);
        CHECK(d.s.partY == 9);
        CHECK(d.s.titleHeader38 == 0x11223344u);
        CHECK((d.s.readerState & 0x10) != 0);
        REQUIRE(d.rows.size() == 2);
        CHECK(Px32(d.rows[0], 0) == 0x00FF0000u);
        CHECK(Px32(d.rows[0], 1) == 0x00FF0000u);
        CHECK(Px32(d.rows[0], 2) == 0x000000FFu);
        CHECK(Px32(d.rows[1], 0) == 0x000000FFu);
        CHECK(Px32(d.rows[1], 1) == 0x00FF0000u);
        CHECK(Px32(d.rows[1], 2) == 0x00FF0000u);
    }
    SECTION("16-bit coded short file: move to front leaves a copy of the colour behind")
    {
        Bytes b = Short(4, 16, 2);
        for (int i = 0; i < 15; i += 2) {
            bool pair = i + 1 < 15;
            Put8(b, pair ? 0xFF : 0xFE);
            Le16(b, 0x100 + i);
            if (pair) Le16(b, 0x100 + i + 1);
            else Put8(b, 0);  // code 14, operand 0: depth 14
        }
        Append(b, {0x01, 0xEE, 0x01, 128 + 13});  // row 2: depth 0, depth 1, depth 15, run of 13
        Decoded d = ReadPart(b);
        REQUIRE(d.openRc == 0);
        REQUIRE(d.rc == 0);
        CHECK(d.s.depth == 16);
        for (int i = 0; i < 15; ++i) CHECK(Px16(d.rows[0], i) == uint32_t(0x100 + i));
        CHECK(Px16(d.rows[0], 15) == 0x100);  // depth 14 was the first literal
        CHECK(Px16(d.rows[1], 0) == 0x100);
        CHECK(Px16(d.rows[1], 1) == 0x10E);
        CHECK(Px16(d.rows[1], 2) == 0);  // the old slot took the zero behind it
        CHECK(Px16(d.rows[1], 15) == 0);
    }
    SECTION("key mask runs and raw 16-bit rows")
    {
        Bytes m = Short(0, 5, 2);
        Append(m, {2, 3, 0, 5});
        Decoded d = ReadPart(m);
        REQUIRE(d.rc == 0);
        REQUIRE(d.openRc == 0);
        uint32_t want0[] = {0x8000, 0x8000, 0x7FFF, 0x7FFF, 0x7FFF};
        for (int i = 0; i < 5; ++i) CHECK(Px16(d.rows[0], i) == want0[i]);
        for (int i = 0; i < 5; ++i) CHECK(Px16(d.rows[1], i) == 0x7FFF);
        Bytes r = Short(1, 2, 1);
        Append(r, {0x34, 0x12, 0x78, 0x56});
        d = ReadPart(r);
        REQUIRE(d.rc == 0);
        CHECK(Px16(d.rows[0], 0) == 0x1234);
        CHECK(Px16(d.rows[0], 1) == 0x5678);
    }
    SECTION("a title page container holds its image after the record block")
    {
        Bytes b(144, 0);
        b[0] = 0xCB, b[1] = 0xAE, b[2] = 0xF5, b[3] = 0xF7;
        b[12] = 42;                      // record word
        b[20] = 4;                       // kind 4
        b[32] = 0xE0, b[33] = 0x01;      // page height 480
        b[36] = 0x80, b[37] = 0x02;      // page width 640
        Bytes table;
        uint32_t lens[8] = {32, 0, 0, 3, 0, 2, 1, 0};
        for (uint32_t v : lens) Le32(table, v);
        Append(b, table);
        Append(b, Bytes(6, 0xCC));
        Bytes img = Header(200, 1, 1);
        Append(img, {0xF0, 1, 2, 3, 4});
        Append(b, img);
        Decoded d = ReadPart(b);
        REQUIRE(d.openRc == 0);
        REQUIRE(d.rc == 0);
        {
            // a refused title page leaves the stream's origin where it was
            Bytes bad = b;
            bad[182] = 0;  // the image block's signature (144 + 32 + 6)
            ConvertSource s;
            std::memset(&s, 0, sizeof s);
            s.version = FX_REQUEST_VERSION;
            s.stream = bfSetMem(bad.data(), uint32_t(bad.size()), uint32_t(bad.size()), 0);
            CHECK(ReaderOpen()(&s) == FX_E_FORMAT);
            CHECK(bsGetBase(s.stream) == 0);
            bfDestroy(s.stream);
        }
        CHECK(d.s.titleRecord == 42);
        CHECK(d.s.titleKind == 4);
        CHECK(d.s.totalWidth == 640);
        CHECK(d.s.totalHeight == 480);
        CHECK(Px32(d.rows[0], 0) == 0x04030201u);
    }
    SECTION("a roll without a frame table comes in pages of 486 rows")
    {
        Bytes b = Header(201, 2, 1000);
        ViiCodec c;
        c.Reset(2);
        for (uint32_t y = 0; y < 1000; ++y) {
            std::vector<uint32_t> px = {y, y + 5000};
            std::vector<uint8_t> out;
            ferrix::ViiEncodeRow(c, px.data(), 2, 32, out);
            b.insert(b.end(), out.begin(), out.end());
        }
        int heights[] = {486, 486, 28};
        for (int p = 0; p < 3; ++p) {
            Decoded d = ReadPart(b, p);
            REQUIRE(d.openRc == 0);
            REQUIRE(d.rc == 0);
            CHECK(d.s.titleKind == 1);
            CHECK(d.s.partCount == 3);
            CHECK(d.s.totalHeight == 1000);
            REQUIRE(d.s.height == heights[p]);
            CHECK(Px32(d.rows[0], 0) == uint32_t(486 * p));
            CHECK(Px32(d.rows.back(), 1) == uint32_t(486 * p + heights[p] - 1 + 5000));
        }
        CHECK(ReadPart(b, 3).openRc == FX_E_UNSUPPORTED);
        Decoded old = ReadPart(b, 0, 0x30000);  // older requests get the whole image
        REQUIRE(old.openRc == 0);
        CHECK(old.s.height == 1000);
    }
}

TEST_CASE("title image VistaVii expansion", "[vii]")
{
    struct {
        const char* value;
        int width;
        int depth;
    } cases[] = {{"TRUE", 640, 16}, {"TRUE", 641, 32}, {"true", 641, 32}, {nullptr, 641, 16}, {"FALSE", 700, 16}};
    for (auto& k : cases) {
        Settings ini(k.value);
        Bytes b = Short(4, k.width, 1);
        std::vector<uint16_t> px(size_t(k.width), 0x001F);
        ViiCodec c;
        c.Reset(uint32_t(k.width));
        std::vector<uint8_t> out;
        ferrix::ViiEncodeRow(c, px.data(), uint32_t(k.width), 16, out);
        b.insert(b.end(), out.begin(), out.end());
        Decoded d = ReadPart(b);
        INFO((k.value ? k.value : "(none)") << " " << k.width);
        REQUIRE(d.openRc == 0);
        REQUIRE(d.rc == 0);
        CHECK(d.s.depth == k.depth);
        CHECK(d.s.bytesPerRow == uint32_t(k.width * k.depth / 8));
        if (k.depth == 32) CHECK(Px32(d.rows[0], k.width - 1) == 0xFF0000FFu);
        else CHECK(Px16(d.rows[0], k.width - 1) == 0x001F);
    }
}

TEST_CASE("title writer round trips", "[vii]")
{
    Settings off;
    SECTION("32-bit and 16-bit stills")
    {
        for (int depth : {32, 16}) {
            std::vector<Bytes> rows = Rows32(301, 7, 17u + depth);
            if (depth == 16)
                for (auto& r : rows) {
                    Bytes n;
                    for (size_t i = 0; i < r.size() / 4; ++i) Le16(n, GetLe32(r, i * 4) & 0x7FFF);
                    r = n;
                }
            ConvertTarget t = Target(301, 7, depth, 0);
            t.originX = 12;
            t.originY = 34;
            t.fillColor = 0xAABBCCDD;
            t.rowOrder = 0x800;
            int rc = -1;
            Bytes file = Encode(WriterOpen(), t, rows, {}, &rc, "vii_still.tmp");
            REQUIRE(rc == 0);
            CHECK(GetLe16(file, 0) == 0xBDEF);
            CHECK(GetLe16(file, 2) == (depth == 32 ? 200u : 10u));
            CHECK(GetLe16(file, 4) == 12);
            CHECK(GetLe16(file, 12) == 0xFFFF);
            CHECK(GetLe32(file, 14) == 50);
            CHECK(file[19] == 2);
            CHECK(GetLe32(file, 38) == 0xAABBCCDDu);
            Decoded d = ReadPart(file);
            REQUIRE(d.openRc == 0);
            REQUIRE(d.rc == 0);
            CHECK(d.s.depth == depth);
            CHECK(d.rows == rows);
        }
    }
    SECTION("logo: the image with its mask from alpha, and a mask-only logo")
    {
        std::vector<Bytes> rows = Rows32(20, 3, 5);
        for (auto& r : rows)
            for (size_t i = 0; i < 20; i += 3) r[i * 4 + 3] = 0;  // some transparent pixels
        int rc = -1;
        Bytes file = Encode(WriterOpen(), Target(20, 3, 32, 1), rows, {}, &rc, "vii_logo.tmp");
        REQUIRE(rc == 0);
        CHECK(GetLe16(file, 0) == 0xEDEF);
        CHECK(GetLe16(file, 2) == 3);
        CHECK(GetLe16(file, 8) == 0xBDEF);
        uint32_t maskAt = GetLe32(file, 22);
        REQUIRE(maskAt < file.size());
        // each row: T1 O2 T1 O2 ... from alpha
        CHECK(file[maskAt] == 1);
        CHECK(file[maskAt + 1] == 2);
        Decoded d = ReadPart(file);
        REQUIRE(d.openRc == 0);
        REQUIRE(d.rc == 0);
        CHECK(d.rows == rows);

        std::vector<Bytes> m(2);
        for (int x = 0; x < 4; ++x) Le32(m[0], x < 2 ? 0xFF000000u : 0x00000010u);
        for (int x = 0; x < 4; ++x) Le32(m[1], x == 3 ? 1u : 0u);
        Bytes mask = Encode(WriterOpen(), Target(4, 2, 1, 1), m, {}, &rc, "vii_mask.tmp");
        REQUIRE(rc == 0);
        CHECK(mask == Bytes({0xEF, 0xED, 0, 0, 4, 0, 2, 0, 2, 2, 3, 1}));  // by colour
        ConvertTarget byAlpha = Target(4, 2, 1, 1);
        byAlpha.sourceFlags = FX_SRC_MASK;
        mask = Encode(WriterOpen(), byAlpha, m, {}, &rc, "vii_mask.tmp");
        CHECK(Bytes(mask.begin() + 8, mask.end()) == Bytes({0, 2, 2, 4}));
    }
    SECTION("roll and crawl frames appended to one file")
    {
        for (uint16_t sub : {uint16_t(2), uint16_t(3)}) {
            std::string path = TempPath("vii_roll.tmp");
            DeleteFileA(path.c_str());
            std::vector<std::vector<Bytes>> frames = {Rows32(9, 4, 1), Rows32(6, 5, 2)};
            for (size_t f = 0; f < frames.size(); ++f) {
                ConvertTarget t = Target(f ? 6 : 9, f ? 5 : 4, 32, sub);
                t.originX = uint16_t(f * 10);
                t.originY = uint16_t(f * 20);
                if (f) t.sourceFlags = FX_SRC_APPEND;
                t.stream = bfOpenFile(path.c_str(), f ? 8 : 4);
                REQUIRE(t.stream);
                REQUIRE(WriterOpen()(&t) == 0);
                int rc = t.beginOutput(&t);
                for (auto& r : frames[f])
                    if (rc == 0) rc = t.writeRow(&t, r.data());
                int c = t.close(&t);
                bfDestroy(t.stream);
                REQUIRE(rc == 0);
                REQUIRE(c == 0);
            }
            Bytes file = LoadFile(path);
            DeleteFileA(path.c_str());
            CHECK(GetLe16(file, 12) == 2);
            CHECK(GetLe16(file, 26) == 0xCDEF);
            CHECK(GetLe16(file, 2) == (sub == 2 ? 201u : 202u));
            CHECK(GetLe32(file, 30) == (sub == 2 ? 6u : 15u));
            CHECK(GetLe32(file, 34) == (sub == 2 ? 9u : 5u));
            for (int p = 0; p < 2; ++p) {
                Decoded d = ReadPart(file, p);
                REQUIRE(d.openRc == 0);
                REQUIRE(d.rc == 0);
                CHECK(d.s.titleKind == (sub == 2 ? 1u : 2u));
                CHECK(d.s.partCount == 2);
                CHECK(d.s.partX == p * 10);
                CHECK(d.s.partY == p * 20);
                CHECK(d.rows == frames[size_t(p)]);
            }
        }
    }
}

TEST_CASE("title reader: bad input", "[vii]")
{
    Settings off;
    Bytes good = Header(200, 3, 1);
    Append(good, {0xF0, 1, 2, 3, 4, 0x00});
    Bytes badCode = good;
    badCode[2] = 99;
    Bytes shortRows = good;
    shortRows.resize(shortRows.size() - 3);
    Bytes magic = good;
    magic[0] = 'B';
    Bytes run = Header(200, 4, 1);
    Append(run, {0xF0, 1, 2, 3, 4, 0xE0, 128 + 1});  // a run of 512 in a row of 4
    Bytes wide = Header(200, 5000, 1);
    for (int i = 0; i < 2500; ++i) {  // 5000 fresh literals: the list passes its start
        Put8(wide, 0xFF);
        Le32(wide, uint32_t(i * 2 + 1));
        Le32(wide, uint32_t(i * 2 + 2));
    }
    struct {
        const char* what;
        Bytes data;
        int openRc, rc;
    } cases[] = {
        {"empty", Bytes(), FX_E_READ, 0},
        {"one byte", Bytes{0xEF}, FX_E_READ, 0},
        {"truncated header", Bytes(good.begin(), good.begin() + 30), FX_E_READ, 0},
        {"truncated short header", Bytes{0xEF, 0xED, 4, 0}, FX_E_READ, 0},
        {"wrong magic", magic, FX_E_FORMAT, 0},
        {"unknown compression", badCode, FX_E_UNSUPPORTED, 0},
        {"zero width", Header(200, 0, 1), FX_E_UNSUPPORTED, 0},
        {"truncated rows", shortRows, 0, FX_E_READ},
        {"run past the row", run, 0, 0},
        {"row wider than the list", wide, 0, 0},
        {"frame table past the end", Header(201, 3, 1, 2, 9999, 0xCDEF), FX_E_READ, 0},
    };
    for (auto& k : cases) {
        INFO(k.what);
        Decoded d = k.data.empty() ? Decode(ReaderOpen(), k.data) : ReadPart(k.data);
        CHECK(d.openRc == k.openRc);
        CHECK(d.rc == k.rc);
        CHECK_FALSE(d.overrun);
    }
    Decoded w = ReadPart(wide);
    REQUIRE(w.rc == 0);
    CHECK(Px32(w.rows[0], 4999) == 5000u);
    Decoded r = ReadPart(run);
    CHECK(Px32(r.rows[0], 3) == 0x04030201u);
}

TEST_CASE("title writer refuses what it cannot write", "[vii]")
{
    int rc = 0;
    Encode(WriterOpen(), Target(4, 2, 24, 0), {}, {}, &rc, "vii_bad.tmp");
    CHECK(rc == FX_E_UNSUPPORTED);
    Encode(WriterOpen(), Target(4, 2, 1, 0), {}, {}, &rc, "vii_bad.tmp");
    CHECK(rc == FX_E_UNSUPPORTED);
    ConvertTarget t = Target(4, 2, 32, 0);
    REQUIRE(WriterOpen()(&t) == 0);
    CHECK(t.caps == 0xEB0u);
    t.close(&t);
    t = Target(4, 2, 32, 1);
    REQUIRE(WriterOpen()(&t) == 0);
    CHECK(t.caps == 0x6B1u);
    t.close(&t);
}

TEST_CASE("BMP files with title-coded rows", "[vii][bmp]")
{
    auto bmp = [](int w, int h, int depth, const Bytes& pixels) {
        Bytes b;
        Str(b, "BM");
        Le32(b, 54 + uint32_t(pixels.size()));
        Le32(b, 0);
        Le32(b, 54);
        Le32(b, 40);
        Le32(b, uint32_t(w));
        Le32(b, uint32_t(h));
        Le16(b, 1);
        Le16(b, uint32_t(depth));
        Le32(b, 0x564949);
        Le32(b, uint32_t(pixels.size()));
        Le32(b, 0);
        Le32(b, 0);
        Le32(b, 0);
        Le32(b, 0);
        Append(b, pixels);
        return b;
    };
    FxReaderOpen open = Entry(BMPEnumReadFormats, 0).u.read.open;
    std::vector<Bytes> rows = Rows32(13, 3, 77);
    ViiCodec c;
    c.Reset(13);
    Bytes coded;
    for (auto& r : rows) {
        std::vector<uint8_t> out;
        ferrix::ViiEncodeRow(c, r.data(), 13, 32, out);
        coded.insert(coded.end(), out.begin(), out.end());
    }
    Decoded d = Decode(open, bmp(13, 3, 32, coded));
    REQUIRE(d.openRc == 0);
    REQUIRE(d.rc == 0);
    CHECK_FALSE(d.overrun);
    CHECK(d.rows == rows);
    Decoded cut = Decode(open, bmp(13, 3, 32, Bytes(coded.begin(), coded.end() - 4)));
    CHECK(cut.rc == FX_E_READ);
    CHECK_FALSE(cut.overrun);
    CHECK(Decode(open, bmp(13, 3, 24, coded)).openRc == FX_E_UNSUPPORTED);
    // 16-bit: hand-made, one literal then depth 0
    Decoded d16 = Decode(open, bmp(2, 1, 16, Bytes{0xF0, 0x34, 0x12, 0x00}));
    REQUIRE(d16.rc == 0);
    CHECK(Px16(d16.rows[0], 0) == 0x1234);
    CHECK(Px16(d16.rows[0], 1) == 0x1234);
}

TEST_CASE("title images through whole conversions", "[vii][convert]")
{
    Settings off;
    auto colour = [](int x, int y) { return 0xFF000000u | uint32_t((x * 40) << 16) | uint32_t((y * 50) << 8) | 0x20u; };
    HGLOBAL dib = fxt::makeDib(6, 5, 32, colour);
    for (const char* name : {"conv.VII", "conv.VIS", "conv.LGO"}) {
        INFO(name);
        std::string path = fxt::tempFile(name);
        ConvertSource s = fxt::source();
        s.hDib = dib;
        ConvertTarget t = fxt::target();
        fxt::setPath(t.path, path);
        t.depth = 32;
        REQUIRE(ferrixConvert(&s, &t) == 0);
        CHECK(t.formatId == 4);
        Bytes file = LoadFile(path);
        REQUIRE(file.size() > 50);

        ConvertSource r = fxt::source();
        fxt::setPath(r.path, path);
        HGLOBAL back = nullptr;
        ConvertTarget m = fxt::target();
        m.resultDib = &back;
        m.depth = 32;
        REQUIRE(ferrixConvert(&r, &m) == 0);
        CHECK(r.formatId == 4);
        REQUIRE(back);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 6; ++x) CHECK((fxt::dibPixel(back, x, y) & 0xFFFFFF) == (colour(x, y) & 0xFFFFFF));
        GlobalFree(back);
        DeleteFileA(path.c_str());
    }
    GlobalFree(dib);
}

TEST_CASE("a resume record lets a roll be read page by page", "[vii][resume]")
{
    // A roll without a frame table, whose rows reuse colours of earlier pages
    // (so that the list carried between pages matters).
    const int w = 5, h = 1200;
    Bytes b = Header(201, w, h);
    ViiCodec c;
    c.Reset(w);
    std::vector<std::vector<uint32_t>> want;
    for (uint32_t y = 0; y < uint32_t(h); ++y) {
        std::vector<uint32_t> px;
        for (uint32_t x = 0; x < uint32_t(w); ++x) px.push_back(0xFF000000u | ((y * 7 + x * 13) % 61) * 0x030507u);
        std::vector<uint8_t> out;
        ferrix::ViiEncodeRow(c, px.data(), w, 32, out);
        b.insert(b.end(), out.begin(), out.end());
        want.push_back(px);
    }
    auto matches = [&](const Decoded& d, int page) {
        for (size_t y = 0; y < d.rows.size(); ++y)
            for (int x = 0; x < w; ++x)
                if (Px32(d.rows[y], x) != want[486 * page + y][x]) return false;
        return !d.rows.empty();
    };
    FxResumeRecord* k = new FxResumeRecord;
    std::memset(k, 0, sizeof *k);
    k->inUse = 1;
    Decoded p0 = ReadPart(b, 0, FX_REQUEST_VERSION, k);
    REQUIRE(p0.rc == 0);
    CHECK(matches(p0, 0));
    CHECK(k->inUse == 0);
    CHECK(k->nextPage == 1);
    CHECK(k->filePos > 50);
    CHECK(k->filePos < b.size());

    SECTION("the next pages go on from the saved place, not from the data start")
    {
        // Spoil the first page's coded rows: only a reader that resumes still reads page 1.
        Bytes spoilt = b;
        for (size_t i = 50; i < 50 + 200; ++i) spoilt[i] = 0xFF;
        Decoded fresh = ReadPart(spoilt, 1);
        CHECK_FALSE((fresh.rc == 0 && matches(fresh, 1)));
        k->inUse = 1;
        Decoded p1 = ReadPart(spoilt, 1, FX_REQUEST_VERSION, k);
        REQUIRE(p1.rc == 0);
        CHECK(matches(p1, 1));
        CHECK(k->nextPage == 2);
        k->inUse = 1;
        Decoded p2 = ReadPart(spoilt, 2, FX_REQUEST_VERSION, k);
        REQUIRE(p2.rc == 0);
        REQUIRE(p2.s.height == h - 2 * 486);
        CHECK(matches(p2, 2));
    }
    SECTION("a record of another page, or a page read in part, changes nothing")
    {
        Decoded p2 = ReadPart(b, 2, FX_REQUEST_VERSION, k);  // the record holds page 1
        REQUIRE(p2.rc == 0);
        CHECK(matches(p2, 2));
        CHECK(k->nextPage == 1);  // not in use: nothing saved
        k->inUse = 1;
        Decoded part = ReadPart(b, 1, FX_REQUEST_VERSION, k, nullptr, 10);
        REQUIRE(part.rc == 0);
        CHECK(k->inUse == 1);
        CHECK(k->nextPage == 1);
    }
    delete k;
}

TEST_CASE("caller mask buffers of logos", "[vii][mask]")
{
    std::vector<Bytes> rows = Rows32(20, 3, 9);
    for (auto& r : rows)
        for (size_t i = 0; i < 20; i += 4) r[i * 4 + 3] = 0;
    int rc = -1;
    Bytes file = Encode(WriterOpen(), Target(20, 3, 32, 1), rows, {}, &rc, "vii_logo_mask.tmp");
    REQUIRE(rc == 0);
    const uint32_t maskAt = GetLe32(file, 22);
    const Bytes mask(file.begin() + maskAt, file.end());
    REQUIRE(!mask.empty());

    SECTION("the reader hands the mask to a buffer that holds it, and its length")
    {
        Bytes buf(mask.size() + 10, 0xEE);
        Decoded d = ReadPart(file, 0, FX_REQUEST_VERSION, nullptr, &buf);
        REQUIRE(d.openRc == 0);
        REQUIRE(d.rc == 0);
        CHECK(d.rows == rows);
        CHECK(d.s.maskBufferSize == mask.size());
        CHECK(Bytes(buf.begin(), buf.begin() + mask.size()) == mask);
        CHECK(buf[mask.size()] == 0xEE);
        CHECK((d.s.readerState & FX_RS_BUFFER_SHORT) == 0);
    }
    SECTION("a buffer too tight gets nothing, the image is still read and the conversion answers -15")
    {
        Bytes tight(mask.size() - 1, 0xEE);
        Decoded d = ReadPart(file, 0, FX_REQUEST_VERSION, nullptr, &tight);
        REQUIRE(d.openRc == 0);
        CHECK(d.rc == 0);
        CHECK(d.rows == rows);
        CHECK(d.s.maskBufferSize == mask.size());
        CHECK(tight == Bytes(mask.size() - 1, 0xEE));

        std::string path = fxt::tempFile("vii_mask_short.lgo");
        REQUIRE(SaveFile(path, file));
        ConvertSource s = fxt::source();
        fxt::setPath(s.path, path);
        s.maskBuffer = tight.data();
        s.maskBufferSize = uint32_t(tight.size());
        HGLOBAL back = nullptr;
        ConvertTarget t = fxt::target();
        t.resultDib = &back;
        t.depth = 32;
        CHECK(ferrixConvert(&s, &t) == FX_E_BUFFER);
        CHECK(s.maskBufferSize == mask.size());
        REQUIRE(back);
        CHECK((fxt::dibPixel(back, 1, 0) & 0xFFFFFF) == (Px32(rows[0], 1) & 0xFFFFFF));
        GlobalFree(back);
        DeleteFileA(path.c_str());
    }
    SECTION("the writer stores the caller's mask in place of one made from the rows")
    {
        const Bytes own = {0, 20, 0, 20, 0, 20};  // every row opaque
        ConvertTarget t = Target(20, 3, 32, 1);
        t.maskBuffer = own.data();
        t.maskLength = uint32_t(own.size());
        Bytes withOwn = Encode(WriterOpen(), t, rows, {}, &rc, "vii_logo_own.tmp");
        REQUIRE(rc == 0);
        const uint32_t at = GetLe32(withOwn, 22);
        CHECK(Bytes(withOwn.begin() + at, withOwn.end()) == own);
        CHECK(Bytes(withOwn.begin(), withOwn.begin() + at) == Bytes(file.begin(), file.begin() + maskAt));
    }
}
