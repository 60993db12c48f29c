// CG clips: the .qcg loader, the .cga writer and reader, the run packing,
// with the engine's clip reader playing the frames back.
#include <catch2/catch.hpp>

#include <cstring>

#include "../../engine/src/cga_file.h"
#include "cga_clip.h"
#include "msgbox_capture.h"
#include "qcg_build.h"

using namespace qcgtest;
namespace tb = titlebox;

namespace {

std::string TempName(const char* ext)
{
    char dir[MAX_PATH], name[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    GetTempFileNameA(dir, "cga", 0, name);
    DeleteFileA(name);
    return std::string(name) + ext;
}

void Write(const std::string& path, const Bytes& b)
{
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD put;
    WriteFile(f, b.data(), DWORD(b.size()), &put, nullptr);
    CloseHandle(f);
}

Bytes Read(const std::string& path)
{
    std::vector<uint8_t> b;
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return b;
    b.resize(GetFileSize(f, nullptr));
    DWORD got;
    ReadFile(f, b.data(), DWORD(b.size()), &got, nullptr);
    CloseHandle(f);
    return b;
}

// A title file: 144-byte header (magic, frame word at 12), then the block
// whose word at 16 is the kind.
Bytes QcgFileOf(int kind, const Bytes& partA, const Bytes& image, uint32_t headerFrames, const Bytes& data)
{
    Bytes file(144, 0);
    const uint32_t magic = 0xF7F5AECBu;
    std::memcpy(file.data(), &magic, 4);
    std::memcpy(file.data() + 12, &headerFrames, 4);
    Bytes blk = MakeBlock(partA, data, "clip text", image);
    blk[16] = uint8_t(kind);
    file.insert(file.end(), blk.begin(), blk.end());
    return file;
}

// A record of rw x rh whose image is a still of the same size, or for a
// roll (type 1) a roll of twice the record's height unless rows is given.
Bytes QcgFile(int kind, int type, int rw, int rh, uint32_t headerFrames, const Bytes& data, int rows = 0)
{
    const int ih = type == 1 ? (rows ? rows : 2 * rh) : rh;
    const Bytes img = MakeImage(type == 1 ? 201 : 200, rw, ih, Pattern(rw, ih, type == 1 ? 4 : 3));
    return QcgFileOf(kind, MakePartA(rw, rh, type), img, headerFrames, data);
}

// A roll of rows blank rows: each row one code 14 run of the image width.
Bytes BlankRoll(int width, int rows)
{
    Bytes stream;
    for (int y = 0; y < rows; ++y) stream.insert(stream.end(), {0xE0, 0x80});
    return MakeImageRaw(201, width, rows, stream);
}

}  // namespace

TEST_CASE("Runs of equal pixels pack into 5-byte records", "[cga]")
{
    std::vector<uint32_t> one(320 * 240, 0xFF123456);
    Bytes runs;
    tb::PackRuns(one.data(), one.size(), &runs);
    CHECK(runs.size() == 1510);
    CHECK(runs[1505 + 4] == 45);
    CHECK(runs[4] == 255);
    std::vector<uint32_t> mixed(255, 7);
    mixed.push_back(9);
    tb::PackRuns(mixed.data(), mixed.size(), &runs);
    CHECK(runs == Bytes{7, 0, 0, 0, 255, 7, 0, 0, 0, 0, 9, 0, 0, 0, 1});
    // The engine's expander gives the pixels back.
    std::vector<uint32_t> back(256);
    CHECK(CgaExpandRuns(runs.data(), runs.size(), back.data(), back.size()) == 256);
    CHECK(back == mixed);
}

TEST_CASE("Loading a CG title counts its frames by kind", "[qcg]")
{
    struct Case {
        int kind, type, rw, rh;
        uint32_t headerFrames;
        int want;
    } cases[] = {{0, 0, 320, 240, 0, 1}, {1, 1, 320, 120, 0, 48}, {2, 0, 320, 240, 0, 32}, {4, 0, 32, 24, 0, 60},
                 {4, 0, 32, 24, 7, 7}};
    const Bytes data = {1, 2, 3, 4, 5, 6};
    for (const Case& c : cases) {
        const std::string path = TempName(".QCG");
        Write(path, QcgFile(c.kind, c.type, c.rw, c.rh, c.headerFrames, data));
        tb::CgAnimationClip clip;
        INFO("kind " << c.kind);
        REQUIRE(clip.LoadQcgTitle(path.c_str()));
        CHECK(clip.kind == c.kind);
        CHECK(clip.frameCount == c.want);
        REQUIRE(clip.recordDataSize == 6);
        CHECK(std::memcmp(GlobalLock(clip.recordData), data.data(), 6) == 0);
        GlobalUnlock(clip.recordData);
        CHECK(tb::CgaPathFor(path) == path.substr(0, path.size() - 3) + "cga");
        DeleteFileA(path.c_str());
    }
}

TEST_CASE("Rolls and crawls get a frame for every 5 rows or 10 columns of their whole image", "[qcg]")
{
    // The record (part A) is the screen, 320 x 240; the image is what moves.
    Crawl three;
    three.segHeight = 16;
    three.widths = {400, 302, 500};  // visible 398 + 300 + 498 = 1196 columns
    three.starts = {0, 0, 0};
    const Pixels strip = Pattern(500, 48, 8);
    struct Case {
        const char* what;
        int kind;
        Bytes partA, image;
        uint32_t headerFrames;
        int want;
    } cases[] = {
        {"a 1200-row roll", 1, MakePartA(320, 240, 1), MakeImage(201, 320, 1200, Pattern(320, 1200, 5)), 0, 240},
        {"a roll as tall as its screen", 1, MakePartA(320, 240, 1), MakeImage(201, 320, 240, Pattern(320, 240, 6)), 0,
         48},
        {"a crawl of three segments", 2, MakePartA(320, 240, 2), MakeImage(202, 500, 48, strip, &three), 0, 119},
        {"a roll of 65535 rows", 1, MakePartA(320, 65535, 1), BlankRoll(320, 65535), 0, tb::kMaxClipFrames},
        {"an animation of 2^32 - 1 frames", 4, MakePartA(32, 24, 4), MakeImage(200, 32, 24, Pattern(32, 24, 7)),
         0xFFFFFFFFu, tb::kMaxClipFrames},
        {"an animation of 100000 frames", 4, MakePartA(32, 24, 4), MakeImage(200, 32, 24, Pattern(32, 24, 7)),
         100000, tb::kMaxClipFrames},
    };
    for (const Case& c : cases) {
        INFO(c.what);
        const std::string path = TempName(".qcg");
        Write(path, QcgFileOf(c.kind, c.partA, c.image, c.headerFrames, {1, 2}));
        tb::CgAnimationClip clip;
        REQUIRE(clip.LoadQcgTitle(path.c_str()));
        CHECK(clip.frameCount == c.want);
        DeleteFileA(path.c_str());
    }
    CHECK(tb::ClipFrames(-5) == 0);
    CHECK(tb::ClipFrames(int64_t(1) << 40) == tb::kMaxClipFrames);
}

TEST_CASE("A long roll is written whole and its last frame shows its last rows", "[cga]")
{
    const int rows = 1200;
    const Pixels px = Pattern(320, rows, 9);
    const std::string qcg = TempName(".qcg");
    Write(qcg, QcgFileOf(1, MakePartA(320, 240, 1), MakeImage(201, 320, rows, px), 0, {5}));
    tb::CgAnimationClip clip;
    REQUIRE(clip.LoadQcgTitle(qcg.c_str()));
    REQUIRE(clip.frameCount == 240);
    const std::string cga = tb::CgaPathFor(qcg);
    REQUIRE(clip.WriteCgaFile(cga.c_str()));
    CgaReader reader;
    REQUIRE(reader.Open(cga.c_str()));
    CHECK(reader.Header().frameCount == 240);
    std::vector<uint32_t> frame(CGA_FRAME_PIXELS);
    int frames = 0;
    std::vector<uint32_t> last;
    while (reader.ReadFrame(frame.data())) {
        ++frames;
        last = frame;
    }
    CHECK(frames == 240);
    // Frame 239 of 240 shows the image from row 239 x 1200 / 240 - 240 =
    // 955 down: its opaque pixels against the plain picture.
    REQUIRE(last.size() == CGA_FRAME_PIXELS);
    const int offset = 239 * rows / 240 - 240;
    int compared = 0, wrong = 0;
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) {
            const uint32_t p = px[size_t(y + offset) * 320 + x];
            if ((p >> 24) != 255) continue;
            ++compared;
            wrong += last[size_t(y) * 320 + x] != p;
        }
    CHECK(compared > 10000);
    CHECK(wrong == 0);
    reader.Close();
    DeleteFileA(qcg.c_str());
    DeleteFileA(cga.c_str());
}

TEST_CASE("A clip file holds the header, the record data and every frame", "[cga]")
{
    const Bytes data = {9, 8, 7};
    const std::string qcg = TempName(".qcg");
    Write(qcg, QcgFile(1, 1, 320, 240, 0, data));
    tb::CgAnimationClip clip;
    REQUIRE(clip.LoadQcgTitle(qcg.c_str()));
    clip.frameCount = 5;  // a few frames are enough here
    const std::string cga = tb::CgaPathFor(qcg);
    Write(cga, Bytes(2000000, 0xEE));  // an older, longer file
    REQUIRE(clip.WriteCgaFile(cga.c_str()));
    const Bytes file = Read(cga);
    const int32_t words[15] = {60, 0x12000, 4, 5, 0, 0, 320, 240, 32, 63, 1, 60, 0, 0, 3};
    REQUIRE(file.size() > 63);
    CHECK(std::memcmp(file.data(), words, 60) == 0);
    CHECK(Bytes(file.begin() + 60, file.begin() + 63) == data);

    CgaReader reader;
    REQUIRE(reader.Open(cga.c_str()));
    std::vector<uint32_t> frame(CGA_FRAME_PIXELS), want(CGA_FRAME_PIXELS);
    const uint8_t* blk = static_cast<const uint8_t*>(GlobalLock(clip.block));
    for (int i = 0; i < 5; ++i) {
        REQUIRE(reader.ReadFrame(frame.data()));
        std::fill(want.begin(), want.end(), 0u);
        const uint32_t sizeA = blk[12] | blk[13] << 8;
        QCGGetRenderedData(257, blk + 32, blk + 32 + sizeA + 3 + 9, want.data(), 320, 240, 1280, i, 5,
                           reinterpret_cast<const QcgRecordBlock*>(blk));
        INFO("frame " << i);
        CHECK(frame == want);
    }
    GlobalUnlock(clip.block);
    CHECK_FALSE(reader.ReadFrame(frame.data()));  // the old file's tail is gone
    reader.Close();

    tb::CgAnimationClip back;
    REQUIRE(back.LoadCgaFile(cga.c_str()));
    CHECK((back.kind == 20 && back.recordDataSize == 3 && back.path == cga));
    DeleteFileA(qcg.c_str());
    DeleteFileA(cga.c_str());

    SECTION("a still record is one frame, not animated")
    {
        const std::string q2 = TempName(".qcg");
        Write(q2, QcgFile(0, 0, 320, 240, 0, data));
        tb::CgAnimationClip still;
        REQUIRE(still.LoadQcgTitle(q2.c_str()));
        const std::string c2 = tb::CgaPathFor(q2);
        REQUIRE(still.WriteCgaFile(c2.c_str()));
        const Bytes f2 = Read(c2);
        int32_t h[15];
        std::memcpy(h, f2.data(), 60);
        CHECK((h[2] == 0 && h[3] == 1));
        DeleteFileA(q2.c_str());
        DeleteFileA(c2.c_str());
    }
}

TEST_CASE("Damaged CG titles and clip files are refused", "[bad]")
{
    const Bytes good = QcgFile(0, 0, 40, 30, 0, {1, 2, 3});
    tb::CgAnimationClip clip;
    CHECK_FALSE(clip.LoadQcgTitle("x.bmp"));
    CHECK_FALSE(clip.LoadCgaFile("x.bmp"));
    SECTION("wrong magic, cut files, oversized parts: \"Invalid QCG File\"")
    {
        std::vector<Bytes> bad;
        Bytes b = good;
        b[0] ^= 1;
        bad.push_back(b);
        bad.push_back(Bytes(good.begin(), good.begin() + 100));
        bad.push_back(Bytes(good.begin(), good.begin() + 160));
        bad.push_back(Bytes(good.begin(), good.end() - 1));
        for (size_t at : {144u + 12, 144u + 20, 144u + 28}) {
            b = good;
            b[at + 3] = 0x7F;
            bad.push_back(b);
        }
        for (const Bytes& f : bad) {
            const std::string path = TempName(".qcg");
            Write(path, f);
            MsgBoxCapture boxes;
            tb::CgAnimationClip c;
            CHECK_FALSE(c.LoadQcgTitle(path.c_str()));
            REQUIRE(boxes.count() == 1);
            CHECK(boxes.texts()[0] == "Invalid QCG File");
            CHECK(boxes.boxes()[0].caption == "Nle");
            DeleteFileA(path.c_str());
        }
    }
    SECTION("clip files: missing, cut, record past the end")
    {
        MsgBoxCapture boxes;
        const std::string missing = TempName(".cga");
        CHECK_FALSE(clip.LoadCgaFile(missing.c_str()));
        CHECK(boxes.texts() == std::vector<std::string>{"Couldn't be create files !"});
        CHECK(GetFileAttributesA(missing.c_str()) == INVALID_FILE_ATTRIBUTES);  // not made
        const std::string path = TempName(".cga");
        Write(path, Bytes(30, 0));
        CHECK_FALSE(clip.LoadCgaFile(path.c_str()));
        int32_t h[15] = {60, 0x12000, 0, 1, 0, 0, 320, 240, 32, 60, 1, 60, 0, 0, 0x7FFFFFFF};
        Write(path, Bytes(reinterpret_cast<uint8_t*>(h), reinterpret_cast<uint8_t*>(h) + 60));
        CHECK_FALSE(clip.LoadCgaFile(path.c_str()));
        h[14] = 10;
        h[11] = -5;
        Write(path, Bytes(reinterpret_cast<uint8_t*>(h), reinterpret_cast<uint8_t*>(h) + 60));
        CHECK_FALSE(clip.LoadCgaFile(path.c_str()));
        DeleteFileA(path.c_str());
    }
    SECTION("mutated titles never crash the loader")
    {
        uint32_t s = 99;
        auto rnd = [&] { return s = s * 1664525u + 1013904223u, s >> 8; };
        const std::string path = TempName(".qcg");
        MsgBoxCapture boxes;
        for (int i = 0; i < 300; ++i) {
            Bytes b = good;
            for (int e = 0, n = 1 + rnd() % 3; e < n; ++e) b[4 + rnd() % (b.size() - 4)] = uint8_t(rnd());
            Write(path, b);
            tb::CgAnimationClip c;
            if (c.LoadQcgTitle(path.c_str())) c.frameCount = std::min(c.frameCount, 2);
        }
        DeleteFileA(path.c_str());
    }
}

TEST_CASE("The clip's still picture comes from its record data through the image filters", "[still]")
{
    tb::CgAnimationClip clip;
    HDC dc = CreateCompatibleDC(nullptr);
    RECT none = {5, 5, 9, 9};
    CHECK(clip.DrawOnPage(dc, &none).cx == 0);  // no record data: nothing
    CHECK(none.right == 9);
    // A packed 24-bit DIB of 12 x 6: red on the top half, blue below.
    const int w = 12, h = 6, stride = 36;
    Bytes dib(40 + stride * h, 0);
    BITMAPINFOHEADER bih = {sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    std::memcpy(dib.data(), &bih, 40);
    for (int y = 0; y < h; ++y)  // rows bottom-up
        for (int x = 0; x < w; ++x) {
            uint8_t* p = dib.data() + 40 + y * stride + x * 3;
            if (y < h / 2) p[0] = 255; else p[2] = 255;
        }
    clip.recordData = GlobalAlloc(GMEM_MOVEABLE, dib.size());
    std::memcpy(GlobalLock(clip.recordData), dib.data(), dib.size());
    GlobalUnlock(clip.recordData);
    clip.recordDataSize = int32_t(dib.size());

    BITMAPINFO bi = {};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), 40, -20, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits;
    HBITMAP page = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, page);
    std::memset(bits, 0x11, 40 * 20 * 4);
    const uint32_t* px = static_cast<uint32_t*>(bits);
    const SIZE s = clip.DrawStill(dc, 0, 0, 40, 20);
    GdiFlush();
    CHECK((s.cx == w && s.cy == h));
    // Centred: x = (40 - 12) / 2 = 14, y = (20 - 6) / 2 = 7.
    CHECK((px[7 * 40 + 14] & 0xFFFFFF) == 0xFF0000);
    CHECK((px[12 * 40 + 25] & 0xFFFFFF) == 0x0000FF);
    CHECK((px[6 * 40 + 14] & 0xFFFFFF) == 0x111111);
    CHECK((px[7 * 40 + 13] & 0xFFFFFF) == 0x111111);
    RECT r = {2, 3, 100, 100};
    CHECK(clip.DrawOnPage(dc, &r).cx == w);
    CHECK((r.right == 2 + w && r.bottom == 3 + h));
    GdiFlush();
    CHECK((px[3 * 40 + 2] & 0xFFFFFF) == 0xFF0000);
    SelectObject(dc, old);
    DeleteObject(page);
    DeleteDC(dc);
}

