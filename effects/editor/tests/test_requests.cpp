// Data requests: both record forms, the phases, effect text and blocks in
// and out, size queries, refusals.
#include <catch2/catch.hpp>

#include <cstring>
#include <vector>

#include "fxhost_host.h"

using namespace fxtest;

// The two forms keep the order of the 32-bit layout with pointers at their
// natural width: the old form lacks the marker and the last word.
static_assert(offsetof(FxRequest, marker) == sizeof(void *), "marker after the data pointer");
static_assert(offsetof(FxRequest, code) == offsetof(FxRequestOld, code) + 4, "old form one word lower");
static_assert(offsetof(FxRequest, words) == offsetof(FxRequestOld, words) + 4, "old form one word lower");
static_assert(sizeof(void *) != 4 || (sizeof(FxRequest) == 56 && sizeof(FxRequestOld) == 48), "32-bit sizes");
static_assert(sizeof(void *) != 8 || (offsetof(FxRequest, second) == 48 && offsetof(FxRequestOld, second) == 40 &&
                                      offsetof(FxRequest, tail) == 64 && offsetof(FxRequestOld, tail) == 56),
              "64-bit places of the size, extra and tail words");
static_assert(sizeof(CubbyFormatEntry) == 5 * 4 + 3 * sizeof(void *) + (sizeof(void *) == 8 ? 4 : 0),
              "capability entry: five words and three pointers");

namespace {

const char *const kTwoPaths = "Path 1: Keyframe 1.1 { at frame 1 } Path 2: Keyframe 2.1 { at frame 4 }";

int Paths(TestHost &h)
{
    return CountPaths(FxCurrentEffect(h.Instance())->first);
}

// A block made by hand from the header layout: size, version, flags,
// lengths and offset, time stamp, card, description, then the text.
std::vector<uint8_t> HandBlock(const char *text, uint16_t version = 2, uint32_t offset = 112)
{
    const uint32_t length = uint32_t(std::strlen(text)) + 1;
    std::vector<uint8_t> b(offset + length, 0);
    auto put16 = [&](size_t at, uint16_t v) { std::memcpy(&b[at], &v, 2); };
    auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&b[at], &v, 4); };
    put16(0, 112);
    put16(2, version);
    put32(8, length);
    put32(12, offset);
    put32(16, length);
    put32(28, 12345);
    put16(40, 0xFFFF);
    std::memcpy(&b[44], "hand made", 10);
    std::memcpy(&b[offset], text, length);
    return b;
}

}  // namespace

TEST_CASE("Effect text goes in and comes out in both record forms", "[requests]")
{
    TestHost host;
    REQUIRE(host.Attach() == 1);
    REQUIRE(Paths(host) == 1);

    SECTION("current form")
    {
        FxRequest set = Current(FXD_EFFECT_TEXT, FXM_TEXT, const_cast<char *>(kTwoPaths));
        CHECK(host.Send(FXN_REQUEST, FXP_RECEIVE | FXP_TRANSFER, &set) == 1);
        CHECK(Paths(host) == 2);
        CHECK((host.Instance()->changeMask & 0x1FFFFFF) == 0x1FFFFFF);
        CHECK(set.marker == FXR_MARKER);

        FxRequest size = Current(FXD_EFFECT_TEXT, FXM_WIDE);
        REQUIRE(host.Send(FXN_REQUEST, FXP_SIZE, &size) == 1);
        REQUIRE(size.second > 1);
        std::vector<char> text(size.second, '#');
        FxRequest get = Current(FXD_EFFECT_TEXT, FXM_TEXT, text.data(), size.second);
        CHECK(host.Send(FXN_REQUEST, FXP_TRANSFER, &get) == int(size.second - 1));
        CHECK(text.back() == 0);
        CHECK(std::strlen(text.data()) == size.second - 1);

        // The text reads back into another node as the same effect.
        TestHost other;
        REQUIRE(other.Attach() == 1);
        FxRequest back = Current(FXD_EFFECT_TEXT, FXM_WIDE, text.data());
        CHECK(other.Send(FXN_REQUEST, FXP_RECEIVE | FXP_TRANSFER, &back) == 1);
        CHECK(Paths(other) == 2);
    }
    SECTION("old form: answers come back in the old places")
    {
        FxRequestOld set = {};
        set.data = const_cast<char *>(kTwoPaths);
        set.code = FXD_EFFECT_TEXT;
        set.unit = FXM_TEXT;
        CHECK(host.Send(FXN_REQUEST, FXP_RECEIVE | FXP_TRANSFER, &set) == 1);
        CHECK(Paths(host) == 2);

        // Raw words: the size answer lands in the old form's size word and
        // nothing is written past the record.
        struct Padded {
            FxRequestOld r;
            uint32_t guard[4];
        } p;
        std::memset(&p, 0xAB, sizeof p);
        p.r.data = nullptr;
        p.r.code = FXD_EFFECT_TEXT;
        p.r.unit = FXM_WIDE;
        p.r.second = 0;
        p.r.extra = 0x1234;
        p.r.tail = 0x5678;
        CHECK(host.Send(FXN_REQUEST, FXP_SIZE, &p.r) == 1);
        CHECK(p.r.second > 1);
        CHECK(p.r.code == FXD_EFFECT_TEXT);
        CHECK(p.r.unit == FXM_WIDE);
        CHECK(p.r.extra == 0x1234);
        CHECK(p.r.tail == 0x5678);
        CHECK(p.r.words[0] == 0xABABABAB);
        for (uint32_t g : p.guard) CHECK(g == 0xABABABAB);
    }
    SECTION("a buffer smaller than the text is refused and left alone")
    {
        FxRequest size = Current(FXD_EFFECT_TEXT, FXM_WIDE);
        REQUIRE(host.Send(FXN_REQUEST, FXP_SIZE, &size) == 1);
        std::vector<char> tight(size.second - 1, '#');
        FxRequest get = Current(FXD_EFFECT_TEXT, FXM_TEXT, tight.data(), tight.size());
        CHECK(host.Send(FXN_REQUEST, FXP_TRANSFER, &get) == 0);
        CHECK(std::string(tight.begin(), tight.end()) == std::string(tight.size(), '#'));
        FxRequest unsized = Current(FXD_EFFECT_TEXT, FXM_TEXT, tight.data(), 0);
        CHECK(host.Send(FXN_REQUEST, FXP_TRANSFER, &unsized) == 0);
    }
    SECTION("text without a keyframe loads nothing")
    {
        FxRequest set = Current(FXD_EFFECT_TEXT, FXM_TEXT, const_cast<char *>("no keyframes here"));
        CHECK(host.Send(FXN_REQUEST, FXP_RECEIVE | FXP_TRANSFER, &set) == 0);
        CHECK(Paths(host) == 1);
    }
    SECTION("appending text adds its paths")
    {
        FxRequest set = Current(FXD_EFFECT_TEXT, FXM_TEXT, const_cast<char *>(kTwoPaths));
        REQUIRE(host.Send(FXN_REQUEST, FXP_RECEIVE | FXP_TRANSFER, &set) == 1);
        FxRequest add = Current(FXD_EFFECT_LOAD, FXM_TEXT, const_cast<char *>(kTwoPaths));
        CHECK(host.Send(FXN_REQUEST, FXP_RECEIVE | FXP_TRANSFER, &add) == 1);
        CHECK(Paths(host) == 4);
    }
}

TEST_CASE("Effect blocks: prepare, transfer and release", "[requests][block]")
{
    TestHost host;
    REQUIRE(host.Attach() == 1);
    FxRequest set = Current(FXD_EFFECT_TEXT, FXM_TEXT, const_cast<char *>(kTwoPaths));
    REQUIRE(host.Send(FXN_REQUEST, FXP_RECEIVE | FXP_TRANSFER, &set) == 1);

    SECTION("in separate calls")
    {
        FxRequest r = Current(FXD_EFFECT_BLOCK, FXM_WIDE);
        REQUIRE(host.Send(FXN_REQUEST, FXP_PREPARE, &r) == 1);
        REQUIRE(r.data);
        FxRequest text = Current(FXD_EFFECT_TEXT, FXM_WIDE);
        host.Send(FXN_REQUEST, FXP_SIZE, &text);
        CHECK(r.second == text.second + 112);  // script length + 113
        REQUIRE(host.Send(FXN_REQUEST, FXP_TRANSFER, &r) == 1);
        FxEffectBlock h;
        std::memcpy(&h, r.data, sizeof h);
        CHECK(h.size == 112);
        CHECK(h.version == 2);
        CHECK(h.textOffset == 112);
        CHECK(h.textLength == text.second);
        CHECK(h.dataLength == h.textLength);
        const std::vector<uint8_t> copy(static_cast<uint8_t *>(r.data), static_cast<uint8_t *>(r.data) + r.second);

        // The block loads into another node.
        TestHost other;
        REQUIRE(other.Attach() == 1);
        FxRequest in = Current(FXD_EFFECT_BLOCK, FXM_WIDE, const_cast<uint8_t *>(copy.data()), copy.size());
        CHECK(other.Send(FXN_REQUEST, FXP_RECEIVE | FXP_TRANSFER, &in) == 1);
        CHECK(Paths(other) == 2);

        host.Send(FXN_REQUEST, FXP_RELEASE, &r);
        CHECK(r.data == nullptr);
    }
    SECTION("prepare, transfer and release in one call leave the caller nothing")
    {
        FxRequest r = Current(FXD_EFFECT_BLOCK, FXM_WIDE);
        CHECK(host.Send(FXN_REQUEST, FXP_PREPARE | FXP_TRANSFER | FXP_RELEASE, &r) == 1);
        CHECK(r.data == nullptr);
    }
    SECTION("a caller's block too tight for the effect is refused")
    {
        std::vector<uint8_t> tight(64, 0xEE);
        FxRequest r = Current(FXD_EFFECT_BLOCK, FXM_WIDE, tight.data(), tight.size());
        CHECK(host.Send(FXN_REQUEST, FXP_TRANSFER, &r) == 0);
        CHECK(tight == std::vector<uint8_t>(64, 0xEE));
    }
    SECTION("a detach frees a block never released")
    {
        FxRequest r = Current(FXD_EFFECT_BLOCK, FXM_WIDE);
        REQUIRE(host.Send(FXN_REQUEST, FXP_PREPARE, &r) == 1);
        CHECK(host.Detach() == 1);
    }
}

TEST_CASE("A hand-made block loads; damaged blocks are refused", "[requests][block]")
{
    TestHost host;
    REQUIRE(host.Attach() == 1);

    std::vector<uint8_t> good = HandBlock(kTwoPaths);
    FxRequest in = Current(FXD_EFFECT_BLOCK, FXM_WIDE, good.data(), good.size());
    REQUIRE(host.Send(FXN_REQUEST, FXP_RECEIVE | FXP_TRANSFER, &in) == 1);
    CHECK(Paths(host) == 2);
    CHECK(std::string(FxCurrentEffect(host.Instance())->header.description) == "hand made");

    struct Bad {
        const char *what;
        std::vector<uint8_t> block;
        uintptr_t size;
    };
    std::vector<Bad> bad;
    bad.push_back({"version 3", HandBlock(kTwoPaths, 3), 0});
    std::vector<uint8_t> noData = HandBlock(kTwoPaths);
    std::memset(&noData[16], 0, 4);
    bad.push_back({"data length 0", noData, 0});
    bad.push_back({"text inside the header", HandBlock(kTwoPaths, 2, 112), 0});
    std::memset(&bad.back().block[12], 0, 4);
    bad.back().block[12] = 40;
    std::vector<uint8_t> cut = HandBlock(kTwoPaths);
    bad.push_back({"truncated: size word below the text's end", cut, cut.size() - 5});
    bad.push_back({"shorter than a header", cut, 100});
    std::vector<uint8_t> open = HandBlock(kTwoPaths);
    open.back() = 'x';  // no NUL at the end
    bad.push_back({"unterminated text", open, open.size()});
    for (Bad &b : bad) {
        INFO(b.what);
        FxRequest r = Current(FXD_EFFECT_BLOCK, FXM_WIDE, b.block.data(), b.size);
        CHECK(host.Send(FXN_REQUEST, FXP_RECEIVE | FXP_TRANSFER, &r) == 0);
        CHECK(Paths(host) == 2);
    }
}

TEST_CASE("Size queries, unknown codes and refusals", "[requests]")
{
    TestHost host;
    host.PalFormat();
    REQUIRE(host.Attach() == 1);

    struct Query {
        uint32_t code;
        uintptr_t size, answer;
        INT_PTR result;
    };
    const Query queries[] = {
        {FXD_PREVIEW_FRAME, 0, 0x012C0190, 1},
        {FXD_PREVIEW_FRAME, 320, 0x012C0190, 1},
        {FXD_PREVIEW_FRAME, (240u << 16) | 320, (240u << 16) | 320, 0},
        {FXD_EXPORT, 0, (576u << 16) | 720, 1},
        {FXD_THUMBNAIL, 0x00F00000, (576u << 16) | 720, 1},
    };
    for (const Query &q : queries) {
        INFO(std::hex << q.code << " " << q.size);
        FxRequest r = Current(q.code, FXM_MEMORY, nullptr, q.size);
        CHECK(host.Send(FXN_REQUEST, FXP_SIZE, &r) == q.result);
        CHECK(r.second == q.answer);
    }

    SECTION("unknown codes and unused phases leave the record as it was")
    {
        const std::pair<uint32_t, WPARAM> asks[] = {{0x2C8000FF, FXP_SIZE | FXP_TRANSFER},
                                                    {FXD_EFFECT_TEXT, FXP_PREPARE},
                                                    {FXD_EFFECT_TEXT, FXP_RECEIVE | FXP_SIZE},
                                                    {FXD_OBJECT_DATA, FXP_SIZE},
                                                    {FXD_EFFECT_BLOCK, FXP_RECEIVE | FXP_TRANSFER}};
        for (const auto &a : asks) {
            INFO(std::hex << a.first << " phase " << a.second);
            FxRequest r = Current(a.first, FXM_WIDE, nullptr, 7);
            r.words[1] = 99;
            const FxRequest before = r;
            CHECK(host.Send(FXN_REQUEST, a.second, &r) == 0);
            CHECK(std::memcmp(&r, &before, sizeof r) == 0);
        }
    }
    SECTION("a null record")
    {
        CHECK(host.Send(FXN_REQUEST, FXP_SIZE, nullptr) == 0);
    }
    SECTION("text in a medium the code does not take")
    {
        FxRequest r = Current(FXD_EFFECT_TEXT, FXM_FILE, const_cast<char *>(kTwoPaths));
        CHECK(host.Send(FXN_REQUEST, FXP_RECEIVE | FXP_TRANSFER, &r) == 0);
        CHECK(Paths(host) == 1);
    }
}

TEST_CASE("Frame requests need a description and memory the frame can be written to", "[requests][render]")
{
    TestHost host;
    REQUIRE(host.Attach() == 1);
    const int w = 8, h = 4;
    FxFrameFormat format = {};
    format.size = sizeof format;
    format.format = 0x90002004;
    format.width = w;
    format.height = h;
    format.position = 1;
    format.frames = 10;
    format.stride = w * 4;

    std::vector<uint32_t> pixels(size_t(w) * h, 0x12345678);
    FxRequest r = Current(FXD_RENDER_FRAME, FXM_WIDE, pixels.data(), uintptr_t(&format));
    CHECK(host.Send(FXN_REQUEST, FXP_SIZE | FXP_TRANSFER, &r) == 1);

    SECTION("no description")
    {
        FxRequest none = Current(FXD_RENDER_FRAME, FXM_WIDE, pixels.data(), 0);
        CHECK(host.Send(FXN_REQUEST, FXP_TRANSFER, &none) == 0);
    }
    SECTION("read-only memory is refused, never written")
    {
        void *page = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        REQUIRE(page);
        std::memset(page, 0x5A, 4096);
        DWORD old = 0;
        VirtualProtect(page, 4096, PAGE_READONLY, &old);
        FxRequest ro = Current(FXD_RENDER_FRAME, FXM_WIDE, page, uintptr_t(&format));
        CHECK(host.Send(FXN_REQUEST, FXP_TRANSFER, &ro) == 0);
        CHECK(static_cast<const uint8_t *>(page)[0] == 0x5A);
        VirtualFree(page, 0, MEM_RELEASE);
    }
    SECTION("a buffer ending before the frame's last row is refused")
    {
        // The frame's rows run past the writable page into a read-only one.
        uint8_t *base = static_cast<uint8_t *>(VirtualAlloc(nullptr, 8192, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        REQUIRE(base);
        DWORD old = 0;
        VirtualProtect(base + 4096, 4096, PAGE_READONLY, &old);
        std::memset(base, 0x5A, 4096);
        FxFrameFormat tall = format;
        tall.height = 64;  // 64 rows of 32 bytes start 4096 - 1024 bytes before the page's end
        FxRequest cut = Current(FXD_RENDER_FRAME, FXM_WIDE, base + 4096 - 1024, uintptr_t(&tall));
        CHECK(host.Send(FXN_REQUEST, FXP_TRANSFER, &cut) == 0);
        CHECK(base[4095] == 0x5A);
        VirtualFree(base, 0, MEM_RELEASE);
    }
    SECTION("a medium other than the host's buffer")
    {
        FxRequest mem = Current(FXD_RENDER_FRAME, FXM_MEMORY, pixels.data(), uintptr_t(&format));
        CHECK(host.Send(FXN_REQUEST, FXP_TRANSFER, &mem) == 0);
    }
}
