// Block memory: zeroed allocation, growth, pattern fills in phase with the
// destination, word-order comparison, swaps, rectangle copies and flips.
#include <catch2/catch.hpp>
#include <cstring>
#include <vector>
#include "layer_fixture.h"

static std::vector<BYTE> bytes(const void *p, size_t n)
{
    return std::vector<BYTE>((const BYTE *)p, (const BYTE *)p + n);
}

TEST_CASE("M32_alloc gives zeroed blocks and M32_realloc zero-fills the growth")
{
    BYTE *p = (BYTE *)M32_alloc(16);
    REQUIRE(p);
    CHECK(bytes(p, 16) == std::vector<BYTE>(16, 0));
    memset(p, 0x5A, 16);
    p = (BYTE *)M32_realloc(p, 32);
    REQUIRE(p);
    CHECK(bytes(p, 16) == std::vector<BYTE>(16, 0x5A));
    CHECK(bytes(p + 16, 16) == std::vector<BYTE>(16, 0));
    CHECK(M32_free(p) == 0);

    BYTE *q = (BYTE *)M32_realloc(NULL, 8);   // null block: a fresh zeroed one
    REQUIRE(q);
    CHECK(bytes(q, 8) == std::vector<BYTE>(8, 0));
    M32_free(q);
}

TEST_CASE("fills without a destination allocate exactly the filled bytes")
{
    BYTE *a = (BYTE *)M32_memset(NULL, 0x1AB, 5);
    REQUIRE(a);
    CHECK(bytes(a, 5) == std::vector<BYTE>(5, 0xAB));
    CHECK(HeapSize(GetProcessHeap(), 0, a) == 5);
    M32_free(a);

    BYTE *b = (BYTE *)M32_lmemset(NULL, 0x11223344, 3);
    REQUIRE(b);
    CHECK(HeapSize(GetProcessHeap(), 0, b) == 12);
    CHECK(bytes(b, 12) == std::vector<BYTE>{0x44, 0x33, 0x22, 0x11, 0x44, 0x33, 0x22, 0x11, 0x44, 0x33, 0x22, 0x11});
    M32_free(b);

    BYTE *c = (BYTE *)M32_imemset(NULL, 0xBEEF, 3);
    REQUIRE(c);
    CHECK(HeapSize(GetProcessHeap(), 0, c) == 6);
    CHECK(bytes(c, 6) == std::vector<BYTE>{0xEF, 0xBE, 0xEF, 0xBE, 0xEF, 0xBE});
    M32_free(c);

    BYTE d[4] = {1, 2, 3, 4};
    CHECK(M32_memset(d, 9, 0) == NULL);        // count 0: nothing written
    CHECK(M32_lmemset(d, 9, 0) == NULL);
    CHECK(bytes(d, 4) == std::vector<BYTE>{1, 2, 3, 4});
}

TEST_CASE("patterned fills stay in phase with the destination at every alignment")
{
    struct Case { int width; DWORD value; };
    const Case cases[] = {{1, 0xAB}, {2, 0xBEEF}, {4, 0x11223344}};
    for (const Case &cs : cases)
        for (int offset = 0; offset < 4; ++offset)
            for (DWORD count = 0; count < 11; ++count) {
                alignas(16) BYTE buf[64];
                memset(buf, 0xCC, sizeof buf);
                BYTE *dst = buf + 8 + offset;
                if (cs.width == 1) M32_memset(dst, (LONG)cs.value, count);
                else if (cs.width == 2) M32_imemset(dst, (LONG)cs.value, count);
                else M32_lmemset(dst, cs.value, count);
                size_t n = count * cs.width;
                INFO("width " << cs.width << " offset " << offset << " count " << count);
                for (size_t i = 0; i < n; ++i) REQUIRE(dst[i] == (BYTE)(cs.value >> (8 * (i % cs.width))));
                CHECK(dst[-1] == 0xCC);
                CHECK(dst[n] == 0xCC);
            }
}

TEST_CASE("M32_memcpy copies, allocates for a missing destination, refuses empty input")
{
    const char src[] = "layers";
    char out[8] = {};
    CHECK(M32_memcpy(out, src, 7) == out);
    CHECK(std::string(out) == "layers");
    char *fresh = (char *)M32_memcpy(NULL, src, 7);
    REQUIRE(fresh);
    CHECK(std::string(fresh) == "layers");
    M32_free(fresh);
    CHECK(M32_memcpy(out, NULL, 7) == NULL);
    CHECK(M32_memcpy(out, src, 0) == NULL);
}

TEST_CASE("M32_memcmp: bytes up to alignment and at the tail, word order in between")
{
    CHECK(M32_memcmp(NULL, NULL, 4) == 0);
    CHECK(M32_memcmp("abc", NULL, 3) == 0);
    CHECK(M32_memcmp("abc", "abd", 3) == -1);
    CHECK(M32_memcmp("abd", "abc", 3) == 1);
    CHECK(M32_memcmp("same", "same", 4) == 0);

    // Within an aligned 8-byte unit the most significant byte of the
    // little-endian word decides, not the first differing byte.
    alignas(16) BYTE a[16] = {}, b[16] = {};
    a[0] = 2; b[0] = 1;       // first byte larger in a
    a[3] = 1; b[3] = 2;       // but the word's top byte larger in b
    CHECK(M32_memcmp(a, b, 16) == -1);
    CHECK(memcmp(a, b, 16) > 0);
    // The tail goes byte by byte again.
    alignas(16) BYTE c[11] = {}, d[11] = {};
    c[8] = 1; d[10] = 5;
    CHECK(M32_memcmp(c, d, 11) == 1);
    // Before the second block is aligned, bytes decide in order.
    alignas(16) BYTE e[16] = {}, f[16] = {};
    e[1] = 1; e[2] = 0; f[1] = 0; f[2] = 9;
    CHECK(M32_memcmp(e + 1, f + 1, 2) == 1);
}

TEST_CASE("M32_memswap exchanges contents at any alignment")
{
    for (int off = 0; off < 4; ++off) {
        alignas(16) BYTE a[32], b[32];
        for (int i = 0; i < 32; ++i) { a[i] = (BYTE)i; b[i] = (BYTE)(100 + i); }
        CHECK(M32_memswap(a + off, b + 3, 13) == 1);
        for (int i = 0; i < 13; ++i) {
            REQUIRE(a[off + i] == 103 + i);
            REQUIRE(b[3 + i] == off + i);
        }
        CHECK(a[off + 13] == off + 13);
    }
    BYTE x = 1;
    CHECK(M32_memswap(NULL, &x, 1) == 0);
    CHECK(M32_memswap(&x, &x, 0) == 0);
}

TEST_CASE("M32_ddbcopy copies a rectangle with signed pitches")
{
    // 4x3 source of 1-byte pixels, copied 2x2 from (1,1) to (0,1) of a 3x3.
    BYTE src[12], dst[9];
    for (int i = 0; i < 12; ++i) src[i] = (BYTE)(i + 1);
    memset(dst, 0, sizeof dst);
    CHECK(M32_ddbcopy(dst, 0, 1, 3, src, 1, 1, 4, 2, 2, 1) == 1);
    CHECK(bytes(dst, 9) == std::vector<BYTE>{0, 0, 0, 6, 7, 0, 10, 11, 0});

    // A bottom-up destination: start at the last row, negative pitch.
    memset(dst, 0, sizeof dst);
    CHECK(M32_ddbcopy(dst + 6, 0, 0, -3, src, 0, 0, 4, 3, 3, 1) == 1);
    CHECK(bytes(dst, 9) == std::vector<BYTE>{9, 10, 11, 5, 6, 7, 1, 2, 3});

    memset(dst, 0, sizeof dst);
    CHECK(M32_ddbcopy(dst, 0, 0, 3, src, 0, 0, 4, 3, 0, 1) == 1);   // no rows: nothing
    CHECK(bytes(dst, 9) == std::vector<BYTE>(9, 0));
    CHECK(M32_ddbcopy(NULL, 0, 0, 3, src, 0, 0, 4, 3, 3, 1) == 0);
    CHECK(M32_ddbcopy(dst, 0, 0, 3, NULL, 0, 0, 4, 3, 3, 1) == 0);
}

TEST_CASE("M32_ddbflip turns rows upside down, the middle row stays")
{
    struct Case { LONG rows; std::vector<BYTE> expect; };
    const Case cases[] = {
        {1, {1, 2, 0, 0, 0, 0}},
        {2, {3, 4, 1, 2, 0, 0}},
        {3, {5, 6, 3, 4, 1, 2}},
    };
    for (const Case &c : cases) {
        BYTE img[6] = {1, 2, 3, 4, 5, 6};
        for (LONG r = c.rows; r < 3; ++r) img[2 * r] = img[2 * r + 1] = 0;
        CHECK(M32_ddbflip(img, 2, c.rows) == 1);
        CHECK(bytes(img, 6) == c.expect);
    }
    CHECK(M32_ddbflip(NULL, 2, 3) == 0);
}
