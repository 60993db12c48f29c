/* Pure parts of the button's face: looks, bevel pens and the placement of
 * text and bitmap boxes. */
#include "internal.h"
#include "knobset.h"

#include <catch2/catch.hpp>

HINSTANCE KnobkitModule() { return nullptr; }
UINT KnobkitPropAtom() { return 0; }

TEST_CASE("Bevel pens from a face colour", "[knobface]")
{
    CHECK(KnobHighlight(0xC0C0C0) == 0xFFFFFF);
    CHECK(KnobShadow(0xC0C0C0) == 0x7F7F7F);
    CHECK(KnobHighlight(RGB(10, 157, 158)) == RGB(107, 254, 255));
    CHECK(KnobShadow(RGB(65, 66, 200)) == RGB(0, 1, 135));
}

TEST_CASE("Looks table", "[knobface]")
{
    struct Row {
        uint32_t look;
        int outline, up, pressed;
        bool inset;
    } rows[] = {
        {0, 2, 2, -1, true}, {KNBS_TABLOOK, 0, 1, -1, false}, {KNBS_SUNKEN, 0, -1, -1, false},
        {KNBS_FLAT, 0, 0, 0, false}, {KNBS_BORDER, 1, 0, 0, false}, {KNBS_SEMIFLAT, 2, 0, -1, false},
        {KNBS_BEVELED, 1, 2, -1, true}, {KNBS_SHADOW, 1, 0, 0, false}, {KNBS_TECHNOID, 0, 0, 0, false},
    };
    for (const Row &r : rows) {
        INFO(r.look);
        LookInfo l = KnobLook(r.look);
        CHECK(l.outline == r.outline);
        CHECK(l.bevel_up == r.up);
        CHECK(l.bevel_pressed == r.pressed);
        CHECK(l.inset == r.inset);
    }
}

TEST_CASE("Placement of text and bitmap", "[knobface]")
{
    RECT inner = {2, 2, 102, 42};
    SIZE text = {40, 10}, none = {0, 0}, bmp = {20, 20};
    SECTION("alignment codes and offsets")
    {
        CHECK(KnobPlace(inner, text, 2, none, 0, true, false).text.x == 62);
        CHECK(KnobPlace(inner, text, 0, none, 0, true, false).text.x == 32);
        CHECK(KnobPlace(inner, text, 1, none, 0, true, false).text.x == 2);
        CHECK(KnobPlace(inner, text, 4, none, 0, true, false).text.y == 2);
        CHECK(KnobPlace(inner, text, 8, none, 0, true, false).text.y == 32);
        /* 64/128 of a 100-pixel width is 50; -1/128 rounds toward minus infinity. */
        CHECK(KnobPlace(inner, text, 1 | (64 << 4), none, 0, true, false).text.x == 52);
        CHECK(KnobPlace(inner, text, 1 | (0xFF << 4), none, 0, true, false).text.x == 1);
        /* Pixel offsets with bit 20. */
        CHECK(KnobPlace(inner, text, 1 | (5 << 4) | 0x100000, none, 0, true, false).text.x == 7);
    }
    SECTION("text relative to its bitmap, and pairing")
    {
        /* Text left of a centred bitmap ends at the bitmap's left edge. */
        Placed p = KnobPlace(inner, text, 1 | 0x200000, bmp, 0, true, true);
        CHECK(p.text.x + text.cx == p.bitmap.x);
        /* Paired with the bitmap left-aligned: the text starts at 2, the bitmap at 42. */
        p = KnobPlace(inner, text, 1 | 0x200000 | 0x400000, bmp, 1 | 0x400000, true, true);
        CHECK(p.bitmap.x == 42);
        CHECK(p.text.x == 2);
    }
}
