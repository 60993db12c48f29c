// Implode / explode: round trips over every dictionary size, the exact
// empty stream, header checks and damaged streams.
#include <catch2/catch.hpp>

#include <cstring>
#include <string>
#include <vector>

#include "implode.h"

using namespace ferrix;
using Bytes = std::vector<uint8_t>;

namespace {

struct Io {
    const Bytes* in;
    size_t at = 0;
    unsigned piece = 4096;  // most bytes handed out per read
    Bytes out;
    size_t limit = size_t(-1);  // writes past this are cut
    int reads = 0;
};

unsigned Read(char* buf, unsigned* size, void* user)
{
    Io& io = *static_cast<Io*>(user);
    ++io.reads;
    size_t n = io.in->size() - io.at;
    if (n > *size) n = *size;
    if (n > io.piece) n = io.piece;
    std::memcpy(buf, io.in->data() + io.at, n);
    io.at += n;
    return unsigned(n);
}

void Write(char* buf, unsigned* size, void* user)
{
    Io& io = *static_cast<Io*>(user);
    size_t n = *size;
    if (io.out.size() + n > io.limit) n = io.limit - io.out.size();
    io.out.insert(io.out.end(), buf, buf + n);
}

Bytes Implode(const Bytes& data, unsigned dict, unsigned* rc, unsigned mode = 0)
{
    std::vector<char> work(kImplodeWorkSize);
    Io io;
    io.in = &data;
    *rc = implode(Read, Write, work.data(), &io, &mode, &dict);
    return io.out;
}

Bytes Explode(const Bytes& data, unsigned* rc, unsigned piece = 2048, size_t limit = size_t(-1))
{
    std::vector<char> work(kExplodeWorkSize);
    Io io;
    io.in = &data;
    io.piece = piece;
    io.limit = limit;
    *rc = explode(Read, Write, work.data(), &io);
    return io.out;
}

Bytes Sample(const char* kind, size_t n)
{
    Bytes b(n);
    uint32_t v = 12345;
    for (size_t i = 0; i < n; ++i) {
        v = v * 1664525u + 1013904223u;
        if (!std::strcmp(kind, "random")) b[i] = uint8_t(v >> 24);
        else if (!std::strcmp(kind, "zeros")) b[i] = 0;
        else if (!std::strcmp(kind, "rows")) b[i] = uint8_t((i % 97) < 50 ? (i / 3) & 0xFF : 0x80 + (i % 5));
        else b[i] = uint8_t("abcab"[(v >> 28) % 5]);  // small alphabet, many short matches
    }
    return b;
}

}  // namespace

TEST_CASE("implode round trips", "[implode]")
{
    struct {
        const char* kind;
        size_t size;
    } inputs[] = {{"random", 1}, {"random", 3}, {"zeros", 1}, {"zeros", 70000}, {"random", 20000},
                  {"rows", 50000}, {"letters", 30000}, {"letters", 519}, {"zeros", 8192}};
    for (unsigned mode : {0u, 1u})
    for (unsigned dict : {1024u, 2048u, 4096u}) {
        for (auto& in : inputs) {
            INFO(in.kind << " " << in.size << " dictionary " << dict << " literal mode " << mode);
            Bytes data = Sample(in.kind, in.size);
            unsigned rc = 9;
            Bytes packed = Implode(data, dict, &rc, mode);
            REQUIRE(rc == 0);
            CHECK(packed[0] == mode);
            CHECK(packed[1] == (dict == 1024 ? 4 : dict == 2048 ? 5 : 6));
            for (unsigned piece : {2048u, 7u}) {
                Bytes back = Explode(packed, &rc, piece);
                CHECK(rc == 0);
                CHECK(back == data);
            }
            if (!std::strcmp(in.kind, "zeros") && in.size > 1000) CHECK(packed.size() < in.size / 50);
        }
    }
}

TEST_CASE("coded literals", "[implode]")
{
    unsigned rc = 9;
    SECTION("every byte value survives, and text shrinks more than with binary literals")
    {
        Bytes all(512);
        for (size_t i = 0; i < all.size(); ++i) all[i] = uint8_t(i * 97 + (i >> 8));
        Bytes packed = Implode(all, 1024, &rc, 1);
        REQUIRE(rc == 0);
        CHECK(Explode(packed, &rc) == all);
        CHECK(rc == 0);
        const char* text = "the quick brown fox jumps over the lazy dog; THE FIVE BOXING WIZARDS JUMP QUICKLY. ";
        Bytes prose;
        for (uint32_t v = 7; prose.size() < 6000;) {
            v = v * 1103515245u + 12345u;
            prose.push_back(uint8_t(text[(v >> 16) % 84]));
        }
        Bytes coded = Implode(prose, 4096, &rc, 1), binary = Implode(prose, 4096, &rc, 0);
        CHECK(coded.size() < binary.size());
        CHECK(Explode(coded, &rc) == prose);
    }
    SECTION("a hand-made stream: 'A', 'B', ' ' with the fixed literal code, then the end code")
    {
        // Literal codes (canonical over the fixed code lengths, stored inverted): 'A' is the
        // 6-bit code 28, 'B' the 7-bit code 106, ' ' the 4-bit code 0.
        Bytes back = Explode({1, 4, 0x62, 0x54, 0x1F, 0xF0, 0x0F}, &rc);
        CHECK(rc == 0);
        CHECK(back == Bytes({'A', 'B', ' '}));
    }
}

TEST_CASE("explode of the format's published example", "[implode]")
{
    // Binary literals, 1024-byte dictionary: 'A', 'I', then a copy of 11 from distance 2.
    unsigned rc = 9;
    Bytes back = Explode({0x00, 0x04, 0x82, 0x24, 0x25, 0x8F, 0x80, 0x7F}, &rc);
    CHECK(rc == 0);
    CHECK(std::string(back.begin(), back.end()) == "AIAIAIAIAIAIA");
}

TEST_CASE("implode of nothing and header checks", "[implode]")
{
    unsigned rc = 9;
    Bytes empty = Implode(Bytes(), 4096, &rc);
    REQUIRE(rc == 0);
    // header, then the end code: copy bit, length code 15 (7 bits, stored
    // inverted) and 8 extra bits of ones; padded with a zero byte
    CHECK(empty == Bytes({0, 6, 0x01, 0xFF, 0x00}));
    CHECK(Explode(empty, &rc).empty());
    CHECK(rc == 0);

    Implode(Bytes(10, 1), 3000, &rc);
    CHECK(rc == 1);
    Implode(Bytes(10, 1), 4096, &rc, 2);
    CHECK(rc == 2);
    Bytes emptyCoded = Implode(Bytes(), 1024, &rc, 1);
    CHECK(rc == 0);
    CHECK(emptyCoded == Bytes({1, 4, 0x01, 0xFF, 0x00}));
    CHECK(Explode(emptyCoded, &rc).empty());
    CHECK(rc == 0);

    struct {
        const char* what;
        Bytes data;
        unsigned rc;
    } cases[] = {{"dictionary code 7", {0, 7, 0, 0, 0, 0}, 1},
                 {"dictionary code 3", {0, 3, 0, 0, 0, 0}, 1},
                 {"literal mode 2", {2, 6, 0, 0, 0, 0}, 2},
                 {"four bytes", {0, 6, 0x01, 0xFF}, 3},
                 {"nothing", {}, 3}};
    for (auto& k : cases) {
        INFO(k.what);
        Explode(k.data, &rc);
        CHECK(rc == k.rc);
    }
}

TEST_CASE("explode of damaged streams", "[implode]")
{
    Bytes data = Sample("rows", 20000);
    unsigned rc = 9;
    Bytes packed = Implode(data, 2048, &rc);
    REQUIRE(rc == 0);
    SECTION("cut short: what was produced is handed over, result 4")
    {
        Bytes cut(packed.begin(), packed.begin() + packed.size() / 2);
        Bytes back = Explode(cut, &rc);
        CHECK(rc == 4);
        CHECK(back.size() < data.size());
        CHECK(std::equal(back.begin(), back.end(), data.begin()));
    }
    SECTION("a copy from before the start of the data is refused")
    {
        // literal 'A', then a copy of length 3 from distance 64
        Bytes bad = {0, 4, 0x82, 0x70, 0xF2, 0x01, 0, 0};
        Explode(bad, &rc);
        CHECK(rc == 4);
    }
    SECTION("a writer that cuts at the destination's end gets no more")
    {
        Bytes back = Explode(packed, &rc, 2048, 1000);
        CHECK(rc == 0);
        CHECK(back.size() == 1000);
        CHECK(std::equal(back.begin(), back.end(), data.begin()));
    }
    SECTION("random garbage never crashes")
    {
        for (uint32_t seed = 1; seed < 40; ++seed) {
            Bytes g = Sample("random", 300 + seed * 7);
            g[0] = uint8_t(seed & 1);  // both literal modes
            g[1] = uint8_t(4 + seed % 3);
            Explode(g, &rc);
            CHECK((rc == 0 || rc == 4));
        }
    }
}
