/* Property strings: reading pairs by both controls' rules, writing them
 * byte-exact, and the edge cases of malformed text. */
#include <windows.h>
#include "propstr.h"

#include <catch2/catch.hpp>
#include <cstring>
#include <string>
#include <vector>

using propstr::Pair;
using propstr::Reader;

namespace {

struct Got {
    uint32_t code;
    bool is_string;
    uint32_t number;
    std::string text;
    bool operator==(const Got &o) const
    {
        return code == o.code && is_string == o.is_string && number == o.number && text == o.text;
    }
};

std::vector<Got> ReadAll(const char *text, Reader reader)
{
    std::vector<Got> out;
    const char *p = text;
    Pair pair;
    while (propstr::ReadPair(p, reader, pair)) {
        out.push_back({pair.code, pair.is_string, pair.number, pair.text ? pair.text : ""});
        propstr::FreePair(pair);
    }
    return out;
}

} // namespace

TEST_CASE("Pairs are read by the button's rules", "[propstr]")
{
    struct Case {
        const char *text;
        std::vector<Got> pairs;
    } cases[] = {
        {"0`2`171`Knobset", {{0, false, 2, ""}, {0x4171, true, 0, "Knobset"}}},
        {"0`2`", {{0, false, 2, ""}}},
        {"0`2`171", {{0, false, 2, ""}}},                       /* a lone final code is no pair */
        {"0`241`F0`D001`E0`2", {{0, false, 0x241, ""}, {0xF0, false, 0xD001, ""}, {0xE0, false, 2, ""}}},
        {"1171`1234`", {{0x71, false, 0x1234, ""}}},            /* global-memory kind read as a number: bits cleared */
        {"2073`5`", {{0x73, false, 5, ""}}},                    /* GDI kind cleared too */
        {"171``74`FF", {{0x4171, true, 0, ""}, {0x74, false, 0xFF, ""}}},  /* "" is no value */
        {"74`FFFFFFFF`", {{0x74, false, 0xFFFFFFFFu, ""}}},
        {"", {}},
    };
    for (const Case &c : cases) {
        INFO(c.text);
        CHECK(ReadAll(c.text, Reader::Button) == c.pairs);
    }
}

TEST_CASE("The positioner reads a string whenever bit 8 is set and steps one character after the code", "[propstr]")
{
    CHECK(ReadAll("1171`abc`150`-2.5", Reader::Positioner) ==
          std::vector<Got>{{0x1171, true, 0, "abc"}, {0x150, true, 0, "-2.5"}});
    /* The button would read the same pair as a number. */
    CHECK(ReadAll("1171`abc`", Reader::Button) == std::vector<Got>{{0x71, false, 0xABC, ""}});
    /* The positioner's one-character step: a code with trailing junk before its backquote. */
    CHECK(ReadAll("30x`7`", Reader::Positioner) == std::vector<Got>{{0x30, false, 0, ""}});
}

TEST_CASE("A double-byte character whose trail byte is a backquote survives only with bit 0x800", "[propstr]")
{
    /* 0x82 0x60 is one character in code page 932; under another ANSI code
     * page IsDBCSLeadByte says no and both readings split the value. */
    if (!IsDBCSLeadByte(0x82)) {
        CHECK(ReadAll("971`\x82`x`", Reader::Button).front().text == "\x82");
        return;
    }
    CHECK(ReadAll("971`\x82`x`", Reader::Button).front().text == "\x82`x");
    CHECK(ReadAll("171`\x82`x`", Reader::Button).front().text == "\x82");
}

TEST_CASE("Pairs are written byte-exact and only when they fit", "[propstr]")
{
    char buf[64];
    std::memset(buf, 'Z', sizeof buf);
    size_t n = 0;
    n += propstr::AppendPair(buf + n, sizeof buf - n, 0, 0x241, nullptr);
    n += propstr::AppendPair(buf + n, sizeof buf - n, 0xF0, 0xD001, nullptr);
    n += propstr::AppendPair(buf + n, sizeof buf - n, 0x171, 0, "Knobset");
    propstr::Finish(buf, n);
    const char expected[] = {'0', 0x60, '2', '4', '1', 0x60, 'F', '0', 0x60, 'D', '0', '0', '1', 0x60,
                             '1', '7', '1', 0x60, 'K', 'n', 'o', 'b', 's', 'e', 't', 0};
    REQUIRE(n == sizeof expected);  /* the last backquote became the NUL */
    CHECK(std::memcmp(buf, expected, sizeof expected) == 0);

    /* "171`abc`" is 8 characters: it needs space for 9 with its NUL. */
    char tight[9];
    CHECK(propstr::AppendPair(tight, 8, 0x171, 0, "abc") == 0);
    CHECK(propstr::AppendPair(tight, 9, 0x171, 0, "abc") == 8);
    CHECK(std::string(tight) == "171`abc`");
    CHECK(propstr::PairLength(0xFFFF, 0xFFFFFFFF, nullptr) == 14);
    CHECK(propstr::AppendPair(nullptr, 100, 0, 1, nullptr) == 0);
}

TEST_CASE("Written strings read back to the same pairs", "[propstr]")
{
    struct In {
        uint32_t code, number;
        const char *text;
    } in[] = {{0, 0x241, nullptr}, {0xF0, 0xD001, nullptr}, {0xE0, 0x8, nullptr},
              {0x171, 0, "Play"}, {0x74, 0x00FF8040, nullptr}, {0x1B8, 0, "8 Arial"}};
    char buf[256];
    size_t n = 0;
    for (const In &i : in) n += propstr::AppendPair(buf + n, sizeof buf - n, i.code, i.number, i.text);
    propstr::Finish(buf, n);
    std::vector<Got> back = ReadAll(buf, Reader::Button);
    REQUIRE(back.size() == 6);
    for (size_t i = 0; i < back.size(); ++i) {
        bool string = propstr::IsStringCode(in[i].code);
        CHECK(back[i].code == (string ? (in[i].code | 0x4000) : in[i].code));
        if (string) CHECK(back[i].text == in[i].text);
        else CHECK(back[i].number == in[i].number);
    }
}

TEST_CASE("Labels and malformed strings", "[propstr]")
{
    CHECK_FALSE(propstr::HasSeparator("Knobset"));
    CHECK(propstr::HasSeparator("0`2`"));
    CHECK_FALSE(propstr::HasSeparator(nullptr));
    /* Junk, lone separators and over-long numbers never overrun or loop. */
    const char *junk[] = {"`", "``", "```", "zz`zz`", "123456789ABCDEF`1`", "171`", "0`", "`0`0`"};
    for (const char *j : junk) {
        INFO(j);
        std::vector<Got> got = ReadAll(j, Reader::Button);
        CHECK(got.size() <= 2);
    }
    CHECK(ReadAll("123456789ABCDEF`1`", Reader::Button).front().code == 0xCDEF);
}
