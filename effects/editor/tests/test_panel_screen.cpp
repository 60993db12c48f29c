// The attribute panel behind the pages, in an editor opened by a host of
// its own: value commands reach the placement, keyframe and timing fields
// with the rules of each control, and the refresh gives the positioners
// the ranges and values of the current keyframe.  Values come in as the
// control's change notice from an edit holding the text.
#include <catch2/catch.hpp>

#include <cmath>
#include <cstring>
#include <string>

#include "editor_host.h"
#include "placet.h"

using namespace fxtest;

namespace {

// A value for control `id` handed to the tool dialog as its notice.
void Value(EditorHost &e, int id, const char *text)
{
    HWND edit = CreateWindowExA(0, "EDIT", text, WS_CHILD, 0, 0, 10, 10, e.frame, nullptr, nullptr, nullptr);
    SendMessageA(e.Tool(), WM_COMMAND, MAKEWPARAM(id, EN_KILLFOCUS), reinterpret_cast<LPARAM>(edit));
    DestroyWindow(edit);
}

double Number(HWND positioner, unsigned which)
{
    double d = 0;
    SendMessageA(positioner, PLM_GETNUMBER, PLN_DOUBLE | which, reinterpret_cast<LPARAM>(&d));
    return d;
}

const char *kThreeKeyframes = "Path 1: Keyframe 1.1 { at frame 1 } Keyframe 1.2 { at frame 30 } Keyframe 1.3 { at frame 50 }";

}  // namespace

TEST_CASE("Twist values that would fold the outline are refused; extend and skew recompute the corners",
          "[editor][screen][panel]")
{
    REQUIRE(Library());
    EditorHost e(2);
    REQUIRE(e.Open());
    FxKeyframe *k = e.Keyframe();
    REQUIRE(k);
    const double w = k->width;
    REQUIRE(w > 0);
    const int undo = e.Effect()->undoCount;

    Value(e, 3555, "0.1");
    CHECK(k->twist[0] == Approx(0.1));
    CHECK(k->corners[1][0] - k->corners[0][0] == Approx(1.2 * w));
    // Twist 1 crosses the outline's edges: refused, nothing kept, no snapshot.
    const int afterFirst = e.Effect()->undoCount;
    CHECK(afterFirst == undo + 1);
    Value(e, 3555, "1");
    CHECK(k->twist[0] == Approx(0.1));
    CHECK(k->corners[1][0] - k->corners[0][0] == Approx(1.2 * w));
    CHECK(e.Effect()->undoCount == afterFirst);

    Value(e, 3535, "0.25");
    CHECK(k->extend[0] == Approx(0.25));
    CHECK(k->corners[1][0] - k->corners[0][0] == Approx((1.2 + 0.5) * w));
}

TEST_CASE("Anchors and pivots keep the object in place and move its turning point", "[editor][screen][panel]")
{
    REQUIRE(Library());
    EditorHost e(2);
    REQUIRE(e.Open());
    FxKeyframe *k = e.Keyframe();
    REQUIRE(k);
    Value(e, 3230, "40");
    Value(e, 3235, "-20");
    const double x = k->position[0] + k->offset[0], y = k->position[1] + k->offset[1];
    SECTION("anchor on the bottom-right corner")
    {
        PostMessageA(e.Tool(), WM_COMMAND, MAKEWPARAM(3512, BN_CLICKED), 0);
        Pump(100);
        CHECK(k->position[0] + k->offset[0] == Approx(x));
        CHECK(k->position[1] + k->offset[1] == Approx(y));
        CHECK(k->offset[0] == Approx(-k->width / 2));
        CHECK(k->offset[1] == Approx(-k->height / 2));
    }
    SECTION("pivot on the middle of the right edge")
    {
        PostMessageA(e.Tool(), WM_COMMAND, MAKEWPARAM(3515, BN_CLICKED), 0);
        Pump(100);
        CHECK(k->position[0] == Approx(40));
        CHECK(k->offset[0] == Approx(-k->width / 2));
        CHECK(k->offset[1] == Approx(0).margin(1e-9));
    }
}

TEST_CASE("Scale values: linked while Modify X and Y together is checked, else one axis", "[editor][screen][panel]")
{
    REQUIRE(Library());
    EditorHost e(2);
    REQUIRE(e.Open());
    FxKeyframe *k = e.Keyframe();
    REQUIRE(k);
    Value(e, 3565, "2");
    CHECK(k->scale[0] == 2.0);
    CHECK(k->scale[1] == 2.0);
    CHECK(k->scale[2] == 2.0);
    PostMessageA(e.Tool(), WM_COMMAND, MAKEWPARAM(3567, BN_CLICKED), 0);
    Pump(100);
    Value(e, 3570, "3");
    CHECK(k->scale[0] == 2.0);
    CHECK(k->scale[1] == 3.0);
}

TEST_CASE("Keyframe controls: ranges from the neighbours, lengths to the previous and next keyframe",
          "[editor][screen][panel]")
{
    REQUIRE(Library());
    EditorHost e(2);
    e.script = kThreeKeyframes;
    REQUIRE(e.Open());
    FxPath *p = e.Effect()->current;
    REQUIRE(p);
    Value(e, 3150, "2");
    FxKeyframe *k = e.Keyframe();
    REQUIRE(k);
    REQUIRE(k->index == 2);
    HWND number = GetDlgItem(e.Tool(), 3150), start = GetDlgItem(e.Tool(), 3155);
    REQUIRE(number);
    REQUIRE(start);
    CHECK(Number(number, PLN_MIN) == 1);
    CHECK(Number(number, PLN_MAX) == 3);
    CHECK(Number(number, PLN_VALUE) == 2);
    CHECK(Number(start, PLN_MIN) == 2);
    CHECK(Number(start, PLN_MAX) == 49);
    CHECK(Number(start, PLN_VALUE) == 30);
    // Frames before the next keyframe: 10 puts the third one at 40.
    Value(e, 3175, "10");
    CHECK(k->next->startFrame == 40);
    // Frames after the previous keyframe: 5 puts this one at 6.
    Value(e, 3170, "5");
    CHECK(k->startFrame == 6);
    CHECK(Number(start, PLN_VALUE) == 6);
}

TEST_CASE("A value that leaves the effect text as it was takes no snapshot and tells the host nothing",
          "[editor][screen][panel]")
{
    REQUIRE(Library());
    EditorHost e(2);
    REQUIRE(e.Open());
    Value(e, 3230, "15");
    const int undo = e.Effect()->undoCount;
    const int told = e.host.Count(FXN_CHANGED);
    CHECK(told >= 1);
    Value(e, 3230, "15");
    CHECK(e.Effect()->undoCount == undo);
    CHECK(e.host.Count(FXN_CHANGED) == told);
    Value(e, 3230, "16");
    CHECK(e.Effect()->undoCount == undo + 1);
    CHECK(e.host.Count(FXN_CHANGED) == told + 1);
}

TEST_CASE("Selecting a keyframe by number while the frame follows the keyframe moves the frame and tells the host",
          "[editor][screen][panel]")
{
    REQUIRE(Library());
    EditorHost e(2);
    e.script = kThreeKeyframes;
    REQUIRE(e.Open());
    FxEffect *fx = e.Effect();
    fx->flags |= 0x4000 | 0x8000;
    e.host.stored.clear();
    Value(e, 3150, "3");
    REQUIRE(e.Keyframe());
    CHECK(e.Keyframe()->index == 3);
    CHECK(fx->currentFrame == 50);
    // The host hears the frame and then the frame with the effect's length.
    CHECK(e.host.storedType == -6);
    REQUIRE(e.host.stored.size() == 16);
    double rec[2];
    std::memcpy(rec, e.host.stored.data(), sizeof rec);
    CHECK(rec[0] == 50.0);
}
