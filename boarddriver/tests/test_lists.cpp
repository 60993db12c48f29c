// Command lists without a board: the memory stream, the image take, the
// host-board transition list and the on-board pattern generator, checked
// against hand-worked words and by playing the lists on a simulated frame.
#include <catch2/catch.hpp>
#include <windows.h>
#include <string.h>
#include <set>
#include <vector>
#include "cmdlist.h"
#include "playback.h"

namespace {

std::vector<DWORD> words_of(const BYTE *p, DWORD size)
{
    std::vector<DWORD> w(size / 4);
    memcpy(w.data(), p, w.size() * 4);
    return w;
}

struct OwnedList {
    BYTE *data;
    DWORD size = 0;
    ~OwnedList() { M32_free(data); }
    std::vector<DWORD> words() const { return words_of(data, size); }
};

// Splits a list into its frame records (up to the zero size word).
std::vector<std::vector<DWORD>> frame_records(const BYTE *list, DWORD size)
{
    std::vector<std::vector<DWORD>> out;
    for (DWORD at = 0; at + 4 <= size;) {
        DWORD n;
        memcpy(&n, list + at, 4);
        if (!n) break;
        REQUIRE(murnak::check_frame_record(list + at, size - at) == n);
        out.push_back(words_of(list + at, n));
        at += n;
    }
    return out;
}

// Sub-records of a frame record: tag -> payload.
std::vector<std::pair<DWORD, std::vector<DWORD>>> subs(const std::vector<DWORD> &rec)
{
    std::vector<std::pair<DWORD, std::vector<DWORD>>> out;
    for (size_t i = 2; i + 2 <= rec.size();) {
        DWORD size = rec[i], tag = rec[i + 1];
        out.push_back({ tag, std::vector<DWORD>(rec.begin() + i + 2, rec.begin() + i + size / 4) });
        i += size / 4;
    }
    return out;
}

Layer *layer_of(LONG w, LONG h, DWORD base)
{
    Layer *l = CreateLayer(w, h, 1);
    for (LONG y = 0; y < h; ++y)
        for (LONG x = 0; x < w; ++x) ((DWORD *)(l->pixels + y * l->pitch))[x] = base + (DWORD)(y * w + x);
    return l;
}

} // namespace

TEST_CASE("The image take writes one image record through nested chunks", "[image]")
{
    Layer *colour = layer_of(4, 2, 0xFF100000);
    Layer *key = layer_of(4, 2, 0x80200000);

    SECTION("with an alpha plane: the hand-worked 108-byte block")
    {
        OwnedList l;
        l.data = BuildImageList(colour, 0x040000, key, 3, &l.size);
        REQUIRE(l.data);
        CHECK(l.size == 108);
        auto w = l.words();
        REQUIRE(w.size() == 27);
        CHECK(w[0] == 100);
        CHECK(w[1] == 0xFFFFFF9Bu);
        CHECK(w[2] == 84);                       // inner chunk: header, three words, two planes
        CHECK(w[3] == 0xC0000019u);
        CHECK(w[4] == 0);
        CHECK(w[5] == 6);                        // fields: twice the duration
        CHECK(w[6] == 0);
        for (DWORD i = 0; i < 8; ++i) {
            CHECK(w[7 + i] == 0xFF100000u + i);
            CHECK(w[15 + i] == 0x80200000u + i);
        }
        CHECK(w[23] == 8);
        CHECK(w[24] == 0);
        CHECK(w[25] == 0);
        CHECK(w[26] == 0);
    }
    SECTION("colour only (code bits 8-15 set): no alpha plane and the other tag")
    {
        OwnedList l;
        l.data = BuildImageList(colour, 0x040100, key, 2, &l.size);
        REQUIRE(l.data);
        CHECK(l.size == 4 * 2 * 4 + 44);
        auto w = l.words();
        CHECK(w[0] == l.size - 8);
        CHECK(w[1] == ~(l.size - 8));
        CHECK(w[3] == 0xC0000025u);
        CHECK(w[6] == 1);
        // The record plays as an image of 4 fields.
        murnak::Stage stage;
        std::vector<DWORD> frame(8, 0);
        stage.visible = { (BYTE *)frame.data(), 4, 2, 16 };
        CHECK(murnak::play_frame_record(l.data, w[0], stage) == 4);
        CHECK(frame[7] == 0xFF100007u);
    }
    SECTION("no layer or no access gives no list")
    {
        DWORD size = 1;
        CHECK(BuildImageList(nullptr, 0x040000, key, 2, &size) == nullptr);
        CHECK(size == 0);
    }
    DeleteLayer(colour);
    DeleteLayer(key);
}

TEST_CASE("The memory stream", "[stream]")
{
    SECTION("a fixed stream writes what fits and marks itself full")
    {
        BYTE buf[10] = {};
        MemoryStream s;
        REQUIRE(ms_open_buffer(&s, buf, sizeof buf, 0));
        const char text[] = "0123456789abc";
        CHECK(ms_write(&s, text, 13) == 10);
        CHECK((s.flags & MS_FULL));
        CHECK(memcmp(buf, "0123456789", 10) == 0);
        CHECK(ms_close(&s) == 10);
    }
    SECTION("a growable global stream grows, seeks by its three origins and reads back")
    {
        MemoryStream s;
        REQUIRE(ms_open_global(&s, 16, MS_GROW | MS_TERMINATE));
        std::vector<BYTE> big(0x12000, 0x5A);
        CHECK(ms_write(&s, big.data(), (DWORD)big.size()) == big.size());
        CHECK(s.capacity >= big.size());
        CHECK(ms_seek(&s, 4, 0) == 4);
        CHECK(ms_seek(&s, 4, 1) == 8);
        CHECK(ms_seek(&s, -2, 2) == 0x12000 - 2);
        BYTE two[2] = {};
        CHECK(ms_read(&s, two, 2) == 2);
        CHECK(two[1] == 0x5A);
        CHECK(ms_close(&s) == 0x12000 + 8);          // with the terminator
    }
    SECTION("a read stops at the end of a fixed buffer")
    {
        BYTE buf[10] = { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10 };
        MemoryStream s;
        REQUIRE(ms_open_buffer(&s, buf, sizeof buf, 0));
        CHECK(ms_seek(&s, 8, 1) == 8);
        BYTE out[4] = {};
        CHECK(ms_read(&s, out, 4) == 2);
        CHECK(out[1] == 10);
        CHECK(ms_seek(&s, 50, 0) == 10);           // no further than the buffer
        CHECK((s.flags & MS_FULL));
        ms_close(&s);
    }
    SECTION("an inner chunk records its size and tag, an outer one its size, check word and trailer")
    {
        DWORD buf[16] = {};
        MemoryStream s;
        REQUIRE(ms_open_buffer(&s, buf, sizeof buf, MS_TERMINATE));
        ms_begin_chunk(&s, 1);
        ms_begin_chunk(&s, 7);
        DWORD v = 0x1234;
        ms_write(&s, &v, 4);
        ms_end_chunk(&s, 0xC0000003);
        ms_end_chunk(&s, 5);
        CHECK(ms_close(&s) == 36);
        const DWORD want[] = { 28, ~28u, 12, 0xC0000003, 0x1234, 8, 1, 0, 0 };
        CHECK(std::vector<DWORD>(buf, buf + 9) == std::vector<DWORD>(want, want + 9));
    }
    SECTION("an unreadable buffer is refused")
    {
        MemoryStream s;
        CHECK_FALSE(ms_open_buffer(&s, nullptr, 16, 0));
    }
}

TEST_CASE("Host-board transition lists", "[host]")
{
    SECTION("wipe code 2 over 2 fields: the hand-worked words")
    {
        OwnedList l;
        l.data = HostTransitionList(0x000302, 2, &l.size);
        REQUIRE(l.data);
        const DWORD rec = 36;
        const std::vector<DWORD> want = {
            rec, ~rec, 20, 0xC000001E, 1, 0,        3, 8, 0,
            rec, ~rec, 20, 0xC000001E, 1, 0x800000, 3, 8, 0,
            rec, ~rec, 20, 0xC000001E, 1, 0x1000000, 3, 8, 0,
            28, ~28u, 12, 0xC000001F, 3, 8, 0,
            0,
        };
        CHECK(l.size == want.size() * 4);
        CHECK(l.words() == want);
    }

    struct Case { DWORD code, duration; size_t records; DWORD firstTag; DWORD pattern; };
    const Case cases[] = {
        { 0x000002, 10, 12, 0xC000001E, 1 },      // 11 positions and the closing record
        { 0x000001, 601, 602, 0xC000001E, 4 },    // duration clamped to 600
        { 0x000007, 10, 2, 0xC000001E, 1 },       // no pattern: the full position at once
        { 0x000002, 1, 2, 0xC000001E, 1 },        // too short: low byte 0xFF, duration 2
        { 0x050000, 4, 6, 0xC000001E, 0 },        // a mix: pattern 0
        { 0x0A0002, 4, 1, 0xC0000020, 2 },
    };
    for (const Case &c : cases) {
        INFO(std::hex << c.code << " " << std::dec << c.duration);
        OwnedList l;
        l.data = HostTransitionList(c.code, c.duration, &l.size);
        REQUIRE(l.data);
        auto recs = frame_records(l.data, l.size);
        REQUIRE(recs.size() == c.records);
        auto first = subs(recs.front());
        REQUIRE(first.size() == 2);
        CHECK(first[0].first == c.firstTag);
        CHECK(first[0].second[0] == c.pattern);
        if (c.records == 2) CHECK(first[0].second[1] == 0x1000000u);
        if (c.firstTag == 0xC000001E) {
            CHECK(subs(recs.back())[0].first == 0xC000001Fu);
            CHECK(subs(recs[recs.size() - 2])[0].second[1] == 0x1000000u);
        }
    }
}

namespace {

// Plays a whole on-board list on a frame and says whether the incoming
// picture was revealed everywhere.
struct Sim {
    LONG w, h;
    std::vector<DWORD> visible, incoming, old;
    murnak::Stage stage;
    Sim(LONG w_, LONG h_) : w(w_), h(h_), visible(w * h, 0x01010101), incoming(w * h), old(visible)
    {
        for (LONG i = 0; i < w * h; ++i) incoming[i] = 0xFF000000u | (DWORD)i;
        stage.visible = { (BYTE *)visible.data(), w, h, w * 4 };
        stage.incoming = { (BYTE *)incoming.data(), w, h, w * 4 };
        stage.old = { (BYTE *)old.data(), w, h, w * 4 };
    }
    void play(const std::vector<std::vector<DWORD>> &recs)
    {
        for (const auto &r : recs) murnak::play_frame_record((const BYTE *)r.data(), (DWORD)r.size() * 4, stage);
    }
};

std::vector<std::vector<DWORD>> board_list(LONG w, LONG h, DWORD code, DWORD second, DWORD duration,
                                           bool crop = false)
{
    PatternWindow win = { 0, 0, w, h, { 1, 2, 3, 4 }, crop };
    DWORD size = 0;
    BYTE *list = BoardTransitionList(win, code, second, duration, &size, 7);
    REQUIRE(list);
    auto recs = frame_records(list, size);
    DWORD tail;
    memcpy(&tail, list + size - 4, 4);
    CHECK(tail == 0);
    M32_free(list);
    return recs;
}

size_t count_rects(const std::vector<DWORD> &rec)
{
    for (auto &s : subs(rec))
        if (s.first == 0xC0000002) return s.second[0];
    return 0;
}

} // namespace

TEST_CASE("On-board patterns reveal the whole picture in batches", "[patterns]")
{
    SECTION("every code's last fields show the new picture")
    {
        const DWORD codes[] = { 0,       1,       2,       3,       4,       5,       9,       13,      15,
                                16,      17,      18,      22,      28,      29,      30,      0x10000, 0x10103,
                                0x10401, 0x20000, 0x20005, 0x2000D, 0x30001, 0x60002, 0x70003, 0x90000, 0x40000,
                                0x50000, 0x0300FF, 31,     0x123456 };
        for (DWORD code : codes) {
            INFO(std::hex << code);
            auto recs = board_list(64, 48, code, (code >> 8) & 0xFF, 10);
            REQUIRE(recs.size() >= 2);
            // The two last records both hold the full-frame rectangle.
            for (size_t k = recs.size() - 2; k < recs.size(); ++k) {
                bool full = false;
                for (auto &s : subs(recs[k]))
                    if (s.first == 0xC0000002)
                        for (DWORD i = 0; i < s.second[0]; ++i)
                            if (s.second[1 + 4 * i] == 0 && s.second[2 + 4 * i] == 0 && s.second[3 + 4 * i] == 64 &&
                                s.second[4 + 4 * i] == 48)
                                full = true;
                CHECK(full);
            }
            Sim sim(64, 48);
            sim.play(recs);
            CHECK(sim.visible == sim.incoming);
        }
    }
    SECTION("a random dissolve over 480 lines reveals each of the 240 line pairs once, v per frame")
    {
        const LONG n = 8;
        auto recs = board_list(32, 480, 0, 0, n);
        const size_t v = (480 / n) / 2;
        std::multiset<DWORD> lines;
        for (size_t k = 0; k + 2 < recs.size(); ++k) {
            CHECK(count_rects(recs[k]) == v);
            if (k % 2) continue;                              // the second field repeats the first
            for (auto &s : subs(recs[k]))
                if (s.first == 0xC0000002)
                    for (DWORD i = 0; i < s.second[0]; ++i) {
                        CHECK(s.second[3 + 4 * i] == 32);
                        CHECK(s.second[4 + 4 * i] == 2);
                        lines.insert(s.second[1 + 4 * i]);
                    }
        }
        CHECK(lines.size() == 240);
        CHECK(std::set<DWORD>(lines.begin(), lines.end()).size() == 240);
        CHECK(*lines.rbegin() == 478);
        // Not in order.
        auto first = subs(recs[0])[0].second;
        CHECK_FALSE((first[1] == 0 && first[5] == 2 && first[9] == 4));
    }
    SECTION("duration 7 runs as 6; duration 0 runs code 255 over 2")
    {
        CHECK(board_list(64, 48, 13, 0, 7) == board_list(64, 48, 13, 0, 6));
        auto zero = board_list(64, 48, 13, 0, 0);
        REQUIRE(zero.size() == 2);
        CHECK(count_rects(zero[0]) == 1);
        CHECK(board_list(64, 48, 0xFF, 0, 4) == zero);
    }
    SECTION("crop words go out first, in both fields")
    {
        auto recs = board_list(64, 48, 1, 0, 4, true);
        REQUIRE(recs.size() >= 3);
        for (int k = 0; k < 2; ++k) {
            auto s = subs(recs[k]);
            REQUIRE(s.size() == 2);
            CHECK(s[0].first == 0xC0000016u);
            CHECK(s[0].second == std::vector<DWORD>{ 1, 2, 3, 4 });
        }
        for (auto &s : subs(recs[2])) CHECK(s.first != 0xC0000016u);
    }
    SECTION("a cross mix steps its levels field by field")
    {
        auto recs = board_list(16, 8, 0x40000, 0, 4);
        std::vector<DWORD> a;
        for (auto &r : recs)
            for (auto &s : subs(r))
                if (s.first == 0xC0000003) a.push_back(s.second[0]);
        REQUIRE(a.size() == 5);
        CHECK(a == std::vector<DWORD>{ 0x1000000, 0xC00000, 0x800000, 0x400000, 0 });
    }
    SECTION("batch sizes")
    {
        CHECK(pattern_batch(0, 8, 720, 480, 0) == 30);
        CHECK(pattern_batch(0, 600, 720, 480, 0) == 1);
        CHECK(pattern_batch(15, 8, 720, 480, 0) == 1440);
        CHECK(pattern_batch(0x10000, 10, 720, 480, 1000) == 100);
        CHECK(pattern_batch(0x20007, 10, 720, 480, 0) == 432);
        CHECK(pattern_batch(0x90000, 10, 720, 480, 0) == 2880);
        CHECK(pattern_batch(0x20010, 10, 720, 480, 0) == -1);
    }
}
