// Thumbnails of path lists: the bitmap's size, the temporary view's flags,
// the keyframe mark moved for the drawing and put back, the renderer link
// lent only for positive frames and never told to go, and the default
// keyframe size left alone.
#include <catch2/catch.hpp>

#include "fxdata.h"
#include "fxedit.h"
#include "fxview.h"

namespace {

struct Seen {
    int calls = 0;
    uint32_t viewFlags = 0;
    FxRendererLink *link = nullptr;
    uint32_t headFlags = 0, currentFlags = 0;
    int frame = 0;
    double x = 0;
    bool dc = false;
} g_seen;

void Draw(FxEffectHost *, FxView *v, FxPath *list, int frame)
{
    ++g_seen.calls;
    g_seen.viewFlags = v->flags;
    g_seen.link = v->link;
    g_seen.headFlags = list->head->flags;
    g_seen.currentFlags = list->current->flags;
    g_seen.frame = frame;
    g_seen.x = list->work.position[0];
    g_seen.dc = v->dc != nullptr;
    // Something to find in the picture.
    RECT r = { 0, 0, 4, 4 };
    FillRect(v->dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
}

int g_linkCommands;
int __cdecl LinkCommand(FxRendererLink *, int, void *)
{
    ++g_linkCommands;
    return 1;
}

}  // namespace

TEST_CASE("thumbnails of path lists", "[thumbnail]")
{
    FxEffectHost host{};
    host.personality = 1;
    host.fieldOption = 1;
    host.hooks.drawScene = Draw;
    host.effect = NewEffect(&host, 0);
    REQUIRE(host.effect);
    int32_t d[13] = {};
    d[0] = 720;
    d[1] = 576;
    SIZE client = { 360, 288 };
    FxView *current = CreateView(d, nullptr, 0x2 | 0x80 | 0x4 | VIEW_NO_LAYER, nullptr, &client, nullptr);
    REQUIRE(current);
    static FxRendererLink link = { LinkCommand, nullptr };
    current->link = &link;
    host.effect->view = current;

    // A template: one path moving from x 0 at frame 1 to x 100 at frame 11,
    // its second keyframe current and marked.
    FxPath *list = nullptr;
    REQUIRE(AppendNewPath(&list));
    REQUIRE(InsertKeyframeCopy(list, 0, INSERT_AFTER));
    FxKeyframe *second = LastKeyframe(list);
    second->startFrame = second->endFrame = 11;
    second->startTime = second->endTime = 11;
    second->position[0] = 100;
    list->current = second;
    second->flags |= FXK_THUMB_MARK;
    const uint32_t headBefore = list->head->flags;

    double kw, kh;
    SetDefaultKeyframeSize(123, 45);
    g_seen = Seen();
    g_linkCommands = 0;
    HBITMAP bmp = RenderPathThumbnail(&host, list, 64, 48, 6);
    REQUIRE(bmp);
    BITMAP info{};
    REQUIRE(GetObjectA(bmp, sizeof info, &info));
    CHECK(info.bmWidth == 64);
    CHECK(info.bmHeight == 48);
    CHECK(g_seen.calls == 1);
    CHECK(g_seen.dc);
    CHECK((g_seen.viewFlags & ~VIEW_RECT_SET) == (0x548u | 0x2 | 0x80 | 0x1));
    CHECK(g_seen.link == &link);
    CHECK(g_seen.frame == 6);
    CHECK(g_seen.x == Approx(50).margin(1));
    CHECK((g_seen.headFlags & FXK_THUMB_MARK) != 0);
    CHECK((g_seen.currentFlags & FXK_THUMB_MARK) == 0);
    // Afterwards: the mark is back, the link untouched, the size kept.
    CHECK(list->head->flags == headBefore);
    CHECK((second->flags & FXK_THUMB_MARK) != 0);
    CHECK(current->link == &link);
    CHECK(g_linkCommands == 0);
    GetDefaultKeyframeSize(&kw, &kh);
    CHECK(kw == 123);
    CHECK(kh == 45);
    // The drawing went into the bitmap.
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bmp);
    CHECK((GetPixel(dc, 1, 1) & 0xFFFFFF) == 0xFFFFFF);
    CHECK((GetPixel(dc, 30, 30) & 0xFFFFFF) == 0);
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bmp);

    SECTION("frame 0 borrows no link")
    {
        HBITMAP b0 = RenderPathThumbnail(&host, list, 16, 16, 0);
        REQUIRE(b0);
        CHECK(g_seen.link == nullptr);
        DeleteObject(b0);
    }
    SECTION("without an effect view or drawing, a blank picture")
    {
        host.hooks.drawScene = nullptr;
        host.effect->view = nullptr;
        HBITMAP b1 = RenderPathThumbnail(&host, list, 8, 8, 3);
        CHECK(b1);
        DeleteObject(b1);
        host.effect->view = current;
        GetDefaultKeyframeSize(&kw, &kh);
        CHECK(kw == 123);
    }
    SECTION("bad arguments")
    {
        CHECK(RenderPathThumbnail(&host, nullptr, 8, 8, 1) == nullptr);
        CHECK(RenderPathThumbnail(&host, list, 0, 8, 1) == nullptr);
        CHECK(RenderPathThumbnail(&host, list, 8, -1, 1) == nullptr);
    }
    current->link = nullptr;
    FreeEffect(list);
    DeleteEffect(host.effect);
}
