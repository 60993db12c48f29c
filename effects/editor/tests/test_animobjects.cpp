// Objects from animation data: a host (personality 0) that hands the
// library an effect block and, for data selector 9, an animation-data
// record (made with the animation-data library's own layout and read back
// through bin/mobra.dll).  Loading from the host makes one path per object
// of the record, where the record puts it, with its picture, name and
// outline; the same record again and the rebuild after an undo step keep
// the paths and give them their pictures back.
#include <catch2/catch.hpp>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "fxeditor.h"
#include "fxhost_host.h"
#include "fxscene.h"
#include "mobra_build.h"

using namespace fxtest;

namespace {

// Three objects on a 640 x 480 page; the second has a four-point outline.
std::vector<uint8_t> Record(int32_t number)
{
    std::vector<MobraSource> objects(3);
    for (int i = 0; i < 3; ++i) {
        objects[size_t(i)].box = {1 + i, 30, 4, 0, 100 * i, 40 * i, 20, 10, 0, 0, 0, 0, 0};
        objects[size_t(i)].name = "object " + std::to_string(i + 1);
        objects[size_t(i)].pixels.assign(20 * 10, 0xFF000000u | uint32_t(i + 1));
    }
    objects[1].box.points = 4;
    objects[1].points = {0, 0, 20, 0, 20, 10, 0, 10};
    return MobraWrite(640, 480, number, objects);
}

struct Host {
    TestHost h{"Cubby Test", true};
    std::vector<uint8_t> record;
    bool giveRecord = true;
    Host()
    {
        h.Number(0);
        h.answer = [this](UINT message, WPARAM, void *rec, bool &handled) -> INT_PTR {
            if (message != FXN_GET_DATA || !rec) return 0;
            auto *r = static_cast<FxHostDataRecord *>(rec);
            if (r->selector != 9) return 0;
            handled = true;
            r->value = giveRecord && !record.empty() ? uintptr_t(record.data()) : 0;
            return 1;
        };
        const std::string script = "Path 1: Keyframe 1.1 { at frame 1 } Keyframe 1.2 { at frame 9 }";
        FxEffectBlock b = {};
        b.size = FXB_HEADER_SIZE;
        b.version = FXB_VERSION;
        b.textLength = b.dataLength = uint32_t(script.size() + 1);
        b.textOffset = FXB_HEADER_SIZE;
        b.timeStamp = 7;
        b.cardId = FXB_NO_CARD;
        h.block.assign(reinterpret_cast<const uint8_t *>(&b), reinterpret_cast<const uint8_t *>(&b + 1));
        h.block.insert(h.block.end(), script.begin(), script.end());
        h.block.push_back(0);
        REQUIRE(h.Attach() == 1);
    }
    ~Host() { h.Detach(); }
    FxEffect *Effect() { return FxCurrentEffect(h.Instance()); }
};

uint32_t FirstPixel(FxPath *p)
{
    return p->image.pixels ? static_cast<const uint32_t *>(p->image.pixels)[0] : 0;
}

}  // namespace

TEST_CASE("The host's animation-data record becomes the effect's paths", "[animobjects]")
{
    REQUIRE(Library());
    Host host;
    host.record = Record(42);
    const int told = host.h.Count(FXN_EFFECT_LOADED);
    REQUIRE(host.h.Send(FXN_LOAD_EFFECT, 0) == 1);
    FxEffect *e = host.Effect();
    REQUIRE(e);
    REQUIRE(CountPaths(e->first) == 3);
    CHECK(e->animationRecord == 42);
    // The host hears of the block and of the record.
    CHECK(host.h.Count(FXN_EFFECT_LOADED) == told + 2);
    // The effect's space: its view's virtual size, else the host's frame.
    FxInstance *in = host.h.Instance();
    const double vw = e->view && e->view->virtualWidth > 0 ? e->view->virtualWidth : in->frameWidth;
    const double vh = e->view && e->view->virtualHeight > 0 ? e->view->virtualHeight : in->frameHeight;
    const double hf = vw / 640, vf = vh / 480;
    int i = 0;
    for (FxPath *p = e->first; p; p = p->next, ++i) {
        INFO("object " << i + 1);
        CHECK(std::string(p->name) == "object " + std::to_string(i + 1));
        CHECK(p->head->next == p->head);   // one keyframe: where the record puts it
        CHECK(p->head->startFrame == 1 + i);
        CHECK(p->head->position[0] == Approx(100 * i * hf - vw / 2 + 10 * hf));
        CHECK(p->head->position[1] == Approx(40 * i * vf - vh / 2 + 5 * vf));
        CHECK(p->image.width == 20);
        CHECK(p->image.height == 10);
        CHECK(FirstPixel(p) == (0xFF000000u | uint32_t(i + 1)));
        CHECK((p->pathFlags & 0x1) != 0);
        // Only the second object has an outline.
        CHECK(((p->pathFlags & 0x4) != 0) == (i != 1));
    }
    const FxShape *outline = GetPathShape(e->first->next);
    REQUIRE(outline);
    REQUIRE(outline->count == 4);
    CHECK(outline->words[2] == SHAPE_DEFAULT_SIZE);   // the picture's right edge
    CHECK(outline->words[5] == SHAPE_DEFAULT_SIZE);   // and its bottom
    CHECK(e->current == e->first);

    SECTION("the same record again keeps the paths and their keyframes")
    {
        e->first->head->position[0] = 123.0;
        REQUIRE(host.h.Send(FXN_LOAD_EFFECT, 0) == 1);   // the block is the one loaded
        FxEffect *again = host.Effect();
        REQUIRE(CountPaths(again->first) == 3);
        CHECK(again->first->head->position[0] == 123.0);
        CHECK(FirstPixel(again->first) == 0xFF000001u);
    }
    SECTION("a new block with the record: its objects again")
    {
        host.h.block[offsetof(FxEffectBlock, timeStamp)] ^= 1;
        REQUIRE(host.h.Send(FXN_LOAD_EFFECT, 0) == 1);
        FxEffect *again = host.Effect();
        REQUIRE(CountPaths(again->first) == 3);
        CHECK(FirstPixel(again->first->next) == 0xFF000002u);
    }
    SECTION("an undo step takes the text back and the pictures come again")
    {
        // Keyframes inserted through the editor's command, the last undone.
        auto keyframes = [&] {
            int n = 0;
            FxKeyframe *k = host.Effect()->current->head;
            do {
                ++n;
                k = k->next;
            } while (k != host.Effect()->current->head);
            return n;
        };
        uintptr_t insert[2] = {3061, 0}, undo[2] = {FX_ID_UNDO, 0};
        REQUIRE(host.h.Send(FXN_COMMAND, 0, insert) == 1);
        REQUIRE(host.h.Send(FXN_COMMAND, 0, insert) == 1);
        REQUIRE(keyframes() == 3);
        REQUIRE(host.h.Send(FXN_COMMAND, 0, undo) == 1);
        FxEffect *now = host.Effect();
        REQUIRE(CountPaths(now->first) == 3);
        CHECK(keyframes() == 2);
        int n = 1;
        for (FxPath *p = now->first; p; p = p->next) CHECK(FirstPixel(p) == (0xFF000000u | uint32_t(n++)));
    }
    SECTION("a record that is not one, or none, changes nothing")
    {
        host.record.assign(64, 0);
        host.h.block[offsetof(FxEffectBlock, timeStamp)] ^= 1;
        host.h.Send(FXN_LOAD_EFFECT, 0);
        FxEffect *now = host.Effect();
        REQUIRE(now);
        CHECK(CountPaths(now->first) == 1);
        CHECK(FirstPixel(now->first) == 0);
        host.giveRecord = false;
        host.h.block[offsetof(FxEffectBlock, timeStamp)] ^= 1;
        host.h.Send(FXN_LOAD_EFFECT, 0);
        CHECK(CountPaths(host.Effect()->first) == 1);
    }
}
