// Page control handlers: an instance holding an effect with one path of
// three keyframes (frames 1, 30, 60) and a page window with the link
// buttons and combo the handlers read; each command goes through the
// dispatch and the test checks the current keyframe and the masks.
#include <catch2/catch.hpp>

#include <cstring>

#include "fxbind.h"
#include "fxdata.h"
#include "fxedit.h"
#include "fxpages.h"

namespace {

struct PageFixture {
    FxInstance inst{};
    HWND page = nullptr;

    PageFixture()
    {
        inst.personality = 1;
        inst.host.personality = 1;
        inst.frameWidth = 720;
        inst.frameHeight = 486;
        inst.host.effect = NewEffect(&inst.host, 0);
        REQUIRE(inst.host.effect);
        FxPath *p = path();
        REQUIRE(p);
        REQUIRE(p->head);
        p->head->startFrame = p->head->endFrame = 1;
        p->head->startTime = p->head->endTime = 1;
        for (int frame : {30, 60}) {
            FxKeyframe *k = NewKeyframe();
            REQUIRE(k);
            ResetKeyframeAttributes(k);
            REQUIRE(InsertKeyframeAtFrame(p, frame, k, 0));
        }
        p->current = p->head;
        fx()->currentFrame = 1;
        page = CreateWindowExA(0, "STATIC", "page", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
        REQUIRE(page);
        for (int id : {3677, 3647, 3652, 3637, 3682, 3662, 3692, 3712, 3725, 3672, 3800, 3801, 3803, 3143})
            CreateWindowExA(0, "BUTTON", "", WS_CHILD | BS_AUTOCHECKBOX, 0, 0, 10, 10, page, HMENU(INT_PTR(id)),
                            nullptr, nullptr);
        for (int id : {3805, 3806, 3807})
            CreateWindowExA(0, "BUTTON", "", WS_CHILD | BS_AUTORADIOBUTTON, 0, 0, 10, 10, page, HMENU(INT_PTR(id)),
                            nullptr, nullptr);
        HWND combo = CreateWindowExA(0, "COMBOBOX", "", WS_CHILD | CBS_DROPDOWNLIST, 0, 0, 100, 100, page,
                                     HMENU(INT_PTR(3737)), nullptr, nullptr);
        for (const char *s : {"Normal", "Screen", "Multiply", "Hard Light"}) SendMessageA(combo, CB_ADDSTRING, 0, LPARAM(s));
    }
    ~PageFixture()
    {
        DestroyWindow(page);
        DeleteEffect(inst.host.effect);
    }
    FxEffect *fx() { return inst.host.effect; }
    FxPath *path() { return fx()->current ? fx()->current : fx()->first; }
    FxKeyframe *kf() { return path()->current; }
    void check(int id, bool on) { SendDlgItemMessageA(page, id, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0); }
    FxPageCommand run(int id, double value = 0, int code = FXN_VALUE)
    {
        FxPageCommand c;
        FxInitPageCommand(&c, &inst, page, id, code, value);
        handled = FxPageCommandDispatch(&c);
        return c;
    }
    int handled = 0;
};

}  // namespace

TEST_CASE("crop margins follow the all-edges and selected-edges buttons", "[pages][filter]")
{
    PageFixture f;
    FxKeyframe *k = f.kf();
    SECTION("a lone margin changes only its own slot")
    {
        FxPageCommand c = f.run(3665, 12.5);
        CHECK(f.handled);
        CHECK(k->crop[1] == 12.5);  // 3665 is the right edge
        CHECK(k->crop[0] == 0);
        CHECK(k->crop[2] == 0);
        CHECK(k->crop[3] == 0);
        CHECK((c.editor & 0x10));
    }
    SECTION("with all edges linked every margin takes the value")
    {
        f.check(3677, true);
        f.run(3677, 0, FXN_CLICK);
        for (int id : {3647, 3652, 3637, 3682}) CHECK(SendDlgItemMessageA(f.page, id, BM_GETCHECK, 0, 0) == BST_CHECKED);
        f.run(3680, 7);
        for (double c : k->crop) CHECK(c == 7);
        f.check(3677, false);
        f.run(3677, 0, FXN_CLICK);
        for (int id : {3647, 3652, 3637, 3682}) CHECK(SendDlgItemMessageA(f.page, id, BM_GETCHECK, 0, 0) == BST_UNCHECKED);
    }
    SECTION("selected edges move together, unselected ones stay")
    {
        f.check(3647, true);  // 3665, right
        f.check(3637, true);  // 3675, left
        f.run(3665, 20);
        CHECK(k->crop[1] == 20);
        CHECK(k->crop[0] == 20);
        CHECK(k->crop[2] == 0);
        CHECK(k->crop[3] == 0);
        // A margin whose own button is clear moves alone.
        f.run(3680, 3);
        CHECK(k->crop[2] == 3);
        CHECK(k->crop[1] == 20);
    }
}

TEST_CASE("X and Y pairs copy to their partner only while linked", "[pages][filter]")
{
    PageFixture f;
    FxKeyframe *k = f.kf();
    struct Pair {
        int a, b, link;
    };
    for (Pair p : {Pair{3655, 3660, 3662}, Pair{3685, 3690, 3692}}) {
        auto get = [&](int id) -> double {
            switch (id) {
            case 3655: return k->blur[0];
            case 3660: return k->blur[1];
            case 3685: return k->mosaic[0];
            default: return k->mosaic[1];
            }
        };
        f.check(p.link, false);
        f.run(p.a, 4);
        f.run(p.b, 9);
        CHECK(get(p.a) == 4);
        CHECK(get(p.b) == 9);
        f.check(p.link, true);
        f.run(p.b, 6);
        CHECK(get(p.a) == 6);
        CHECK(get(p.b) == 6);
    }
    // Shadow offset: personality 2 keeps Y ten times larger.
    f.check(3712, true);
    f.run(3710, 5);
    CHECK(k->shadowRect[0] == 5);
    CHECK(k->shadowRect[1] == 5);
    f.inst.personality = 2;
    f.run(3700, 4);
    CHECK(k->shadowRect[1] == 40);
    CHECK(k->shadowRect[0] == 4);
}

TEST_CASE("filter flags, blend, strobe field, clip kind and video values", "[pages][filter]")
{
    PageFixture f;
    FxKeyframe *k = f.kf();
    f.check(3725, true);
    f.run(3725, 0, FXN_CLICK);
    CHECK((k->attributeMode & FXK_CHROMA_MASK));
    f.check(3725, false);
    f.run(3725, 0, FXN_CLICK);
    CHECK(!(k->attributeMode & FXK_CHROMA_MASK));

    SendDlgItemMessageA(f.page, 3737, CB_SETCURSEL, 3, 0);
    f.run(3737, 0, CBN_SELCHANGE);
    CHECK(FxKeyframeBlendMode(k) == 3);
    f.run(3809, 0, FXN_CLICK);
    CHECK(FxKeyframeClipKind(k) == 2);
    CHECK(FxKeyframeBlendMode(k) == 3);  // the words do not disturb each other
    f.run(3808, 0, FXN_CLICK);
    CHECK(FxKeyframeClipKind(k) == 0);

    f.check(3672, true);
    f.run(3672, 0, FXN_CLICK);
    CHECK(k->cropMode == 1);

    f.check(3800, true);
    f.run(3800, 0, FXN_CLICK);
    f.check(3801, true);
    f.run(3801, 0, FXN_CLICK);
    CHECK(k->monoFlags == 0x3);
    f.check(3800, false);
    f.run(3800, 0, FXN_CLICK);
    CHECK(k->monoFlags == 0x2);

    k->monoColour = 0x80123456u;
    f.check(3803, true);
    f.run(3803, 0, FXN_CLICK);
    CHECK(k->monoColour == 0x00123456u);
    f.check(3803, false);
    f.run(3803, 0, FXN_CLICK);
    CHECK(k->monoColour == 0x80123456u);

    k->strobeFlags = 1;
    f.run(3806, 0, FXN_CLICK);
    CHECK(k->strobeFlags == 0u);  // none checked: both fields, no stray field number
    f.check(3807, true);
    f.run(3807, 0, FXN_CLICK);
    CHECK(k->strobeFlags == 2u);

    f.run(3810, 5);
    f.run(3815, 12);
    f.run(3820, 1.25);
    f.run(3835, -45);
    CHECK(k->posterize == 5);
    CHECK(k->strobeValue == 12);
    CHECK(k->procamp[0] == 1.25);
    CHECK(k->procamp[3] == -45);

    // Ids the handlers do not own are left to the next handler.
    f.run(3625, 50);
    CHECK(!f.handled);
    f.run(4999, 1);
    CHECK(!f.handled);
}

TEST_CASE("tool buttons make their tool current; view buttons flip view flags", "[pages][tools]")
{
    PageFixture f;
    CHECK(f.run(3076, 0, FXN_CLICK).tool == 3076);
    CHECK(f.run(3122, 0, FXN_CLICK).tool == 3075);
    CHECK(f.run(3074, 0, FXN_DRAG).tool == 0);

    struct Row {
        int id;
        uint32_t before, after, redraw;
    };
    for (Row r : {Row{3091, 0, 0x80, 0x10}, Row{3094, 0x100, 0, 0x2010}, Row{3095, 0, 0x400, 0x2010},
                  Row{3096, 0x10, 0, 0x10}, Row{3092, 0, 0x200, 0x2010}, Row{3092, 0x200, 0, 0x2010},
                  Row{3092, 0xA00, 0x200, 0x2010}, Row{3093, 0, 0xA00, 0x2010}, Row{3093, 0xA00, 0, 0x2010}}) {
        CAPTURE(r.id, r.before);
        f.inst.viewFlags = r.before;
        FxPageCommand c = f.run(r.id, 0, FXN_CLICK);
        CHECK(f.inst.viewFlags == r.after);
        CHECK(c.redraw == r.redraw);
        CHECK(c.editor == 0x4000000);
    }
}

TEST_CASE("reset buttons restore the keyframe's groups", "[pages][tools]")
{
    PageFixture f;
    FxKeyframe *k = f.kf();
    k->position[0] = 100;
    k->position[2] = 3000;
    k->spins[1] = 4;
    k->extend[0] = 0.5;
    k->skew[1] = 0.25;
    k->twist[2] = 1;
    k->crop[0] = 10;

    FxPageCommand c = f.run(3066, 0, FXN_CLICK);
    CHECK(k->extend[0] == 0);
    CHECK(k->skew[1] == 0);
    CHECK(k->twist[2] == 0);
    CHECK(k->position[0] == 100);  // other groups untouched
    CHECK(c.redraw == 0x45000);
    CHECK(c.editor == 0x200000);

    c = f.run(3065, 0, FXN_CLICK);
    CHECK(k->position[0] == k->defaultX);
    CHECK(k->position[2] == 1000.0);
    CHECK(k->spins[1] == 0);
    CHECK(c.editor == (0x8 | 0x4 | 0x100000));
    CHECK(k->crop[0] == 10);

    c = f.run(3067, 0, FXN_CLICK);
    CHECK(k->crop[0] == 0);
    CHECK(c.redraw == 0xD5100);

    // The redraw bits that follow from an attribute edit's editor bits.
    FxPageCommand e{};
    e.editor = 0x8 | 0x100000;
    FxAddEditRedraw(&e);
    CHECK(e.redraw == (0x85100 | 0x20000));
}

TEST_CASE("flip orientation negates the path's quaternions only before a later keyframe", "[pages][tools]")
{
    PageFixture f;
    FxKeyframe *last = f.path()->head->prev;
    REQUIRE(last->index == 3);
    f.path()->head->orientation.w = 1;
    f.run(3247, 0, FXN_CLICK);
    CHECK(f.path()->head->orientation.w == -1);
    f.path()->current = last;
    FxPageCommand c = f.run(3247, 0, FXN_CLICK);
    CHECK(f.path()->head->orientation.w == -1);
    CHECK(c.redraw == 0);
}

TEST_CASE("fit to clip starts the effect at frame 1 and stretches it to the end frame", "[pages][tools]")
{
    PageFixture f;
    ShiftEffectFrames(f.fx()->first, 9);  // 10, 39, 69
    REQUIRE(f.path()->head->startFrame == 10);
    f.fx()->endFrame = 120;
    FxPageCommand c = f.run(3048, 0, FXN_CLICK);
    CHECK(f.path()->head->startFrame == 1);
    CHECK(LastKeyframe(f.path())->endFrame == 120);
    CHECK(c.editor == 0x1FFFFFF);
}

TEST_CASE("tool bar: frame, keyframe stepping and time sync", "[pages][bar]")
{
    PageFixture f;
    FxEffect *fx = f.fx();
    fx->flags |= FXE_FOLLOW_KEYFRAME;
    FxPageCommand c = f.run(3130, 45);
    CHECK(fx->currentFrame == 45);
    CHECK(!(fx->flags & FXE_FOLLOW_KEYFRAME));
    CHECK(c.redraw == 0x80002000);
    f.run(3130, 0);  // frames count from 1
    CHECK(fx->currentFrame == 45);

    // 45 lies in the second keyframe's range: next is the third, previous the first.
    f.run(3138, 0, FXN_CLICK);
    CHECK(fx->currentFrame == 60);
    CHECK(f.kf()->index == 3);
    c = f.run(3138, 0, FXN_CLICK);  // nothing after the last
    CHECK(fx->currentFrame == 60);
    CHECK(c.redraw == 0);
    f.run(3139, 0, FXN_CLICK);
    CHECK(fx->currentFrame == 30);
    CHECK(f.kf()->index == 2);
    f.run(3139, 0, FXN_CLICK);
    CHECK(fx->currentFrame == 1);
    c = f.run(3139, 0, FXN_CLICK);
    CHECK(fx->currentFrame == 1);
    CHECK(c.redraw == 0);

    // Time sync on jumps to the current keyframe's start.
    f.path()->current = f.path()->head->next;
    fx->currentFrame = 44;
    f.run(3140, 0, FXN_CLICK);
    CHECK((fx->flags & FXE_FOLLOW_KEYFRAME));
    CHECK(fx->currentFrame == 30);
    f.run(3140, 0, FXN_CLICK);
    CHECK(!(fx->flags & FXE_FOLLOW_KEYFRAME));
}

namespace {
int g_answer;
std::string g_question;
int WINAPI Ask(HWND, LPCSTR text, LPCSTR, UINT)
{
    g_question = text;
    return g_answer;
}
}  // namespace

TEST_CASE("set thumbnail frame asks first; No leaves it alone", "[pages][bar]")
{
    PageFixture f;
    auto saved = g_fxTundrix.iErrMessageBox;
    g_fxTundrix.iErrMessageBox = Ask;
    f.fx()->currentFrame = 17;
    const int before = f.fx()->thumbnailFrame;

    g_answer = IDNO;
    f.run(3143, 0, FXN_CLICK);
    CHECK(g_question == "Use frame 17 as the Thumbnail frame?");
    CHECK(f.fx()->thumbnailFrame == before);
    CHECK(SendDlgItemMessageA(f.page, 3143, BM_GETCHECK, 0, 0) == BST_UNCHECKED);

    g_answer = IDYES;
    FxPageCommand c = f.run(3143, 0, FXN_CLICK);
    CHECK(f.fx()->thumbnailFrame == 17);
    CHECK(SendDlgItemMessageA(f.page, 3143, BM_GETCHECK, 0, 0) == BST_CHECKED);
    CHECK(c.editor == 0x41000001);

    // Checked already: no question.
    g_question.clear();
    f.fx()->currentFrame = 20;
    f.run(3143, 0, FXN_CLICK);
    CHECK(g_question.empty());
    CHECK(f.fx()->thumbnailFrame == 17);

    // Without the codec library the movie is left as it is.
    std::strcpy(f.fx()->renderFile, "C:\\nowhere\\clip.avi");
    CHECK(FxRenewThumbnail(&f.inst, nullptr, nullptr, 0) == 0);
    g_fxTundrix.iErrMessageBox = saved;
}
