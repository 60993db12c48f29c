// Editor scene drawing: paths, keyframe outlines, motion lines, frame
// ticks, shapes and the picture and title-safe outlines drawn into a
// memory device context and checked pixel by pixel at hand-worked places,
// and the preview picture rendered through the real graphics core.
#include <catch2/catch.hpp>

#include <algorithm>
#include <cstring>
#include <vector>

#include "fxscene.h"
#include "render_fixture.h"

namespace {

constexpr COLORREF kUnselCurrent = RGB(255, 0, 0), kUnsel = RGB(0, 255, 0), kSel = RGB(0, 0, 255),
                   kSelCurrent = RGB(255, 255, 0), kLocked = RGB(0, 255, 255), kMark = RGB(255, 0, 255),
                   kPicture = RGB(128, 0, 0), kSafe = RGB(0, 128, 0), kSingle = RGB(0, 0, 128),
                   kBrush = RGB(64, 64, 64);

// A style of distinct colours, one per pen.
struct Style {
    FxSceneStyle s = {};
    Style(int ticks = 1)
    {
        const COLORREF c[SP_PEN_COUNT] = { RGB(1, 1, 1), kLocked, kMark, kSel, kUnsel,
                                           kSelCurrent, kUnselCurrent, kPicture, kSafe, kSingle };
        for (int i = 0; i < SP_PEN_COUNT; ++i)
            s.pens[i] = CreatePen(PS_SOLID, 1, c[i]);
        s.brushes[0] = CreateSolidBrush(kBrush);
        s.tickInterval = ticks;
        s.flags = SS_OWNED;
    }
    ~Style()
    {
        for (HPEN p : s.pens)
            DeleteObject(p);
        DeleteObject(s.brushes[0]);
    }
};

// A w x h memory context over a black 32-bit DIB section, and a view of
// the same size in pixels (virtual units = pixels, origin in the middle).
struct Canvas {
    int w, h;
    HDC dc;
    HBITMAP bmp, old;
    uint32_t *bits = nullptr;
    FxView view;
    Style style;

    Canvas(int width, int height, int ticks = 1) : w(width), h(height), style(ticks)
    {
        BITMAPINFO bi = {};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = -h;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        dc = CreateCompatibleDC(nullptr);
        void *p = nullptr;
        bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &p, nullptr, 0);
        REQUIRE(bmp);
        bits = static_cast<uint32_t *>(p);
        old = static_cast<HBITMAP>(SelectObject(dc, bmp));
        memset(&view, 0, sizeof view);
        view.width = w;
        view.height = h;
        view.virtualWidth = w;
        view.virtualHeight = h;
        view.scaleX = view.scaleY = 1;
        view.originX = w / 2;
        view.originY = h / 2;
        view.distance = 1000;
        view.dc = dc;
        view.styleTable = &style.s;
        Rect(view.picture, 2, 2, w - 3, h - 3);
        Rect(view.safeArea, 5, 5, w - 6, h - 6);
    }
    ~Canvas()
    {
        SelectObject(dc, old);
        DeleteObject(bmp);
        DeleteDC(dc);
    }
    static void Rect(POINT p[5], int l, int t, int r, int b)
    {
        p[0] = { l, t };
        p[1] = { r, t };
        p[2] = { r, b };
        p[3] = { l, b };
        p[4] = p[0];
    }
    void Clear() { memset(bits, 0, size_t(w) * h * 4); }
    // The pixel as a COLORREF.
    COLORREF At(int x, int y) const
    {
        uint32_t v = bits[y * w + x];
        return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
    }
};

// An object of 20 x 10 whose centre moves from screen (20, 40) at frame 1
// to (60, 40) at frame 11 in a 100 x 80 view.
struct TwoKeys {
    FxPath *list = nullptr;
    FxKeyframe *k1 = nullptr, *k2 = nullptr;
    TwoKeys(FxView *view, int second = 11, double dx = 40)
    {
        REQUIRE(AppendNewPath(&list));
        k1 = list->head;
        SetKeyframeSize(k1, 20, 10);
        SetCornersFromSize(k1, 20, 10);
        k1->position[0] = 20 - view->width / 2;
        k1->position[1] = 0;
        k2 = NewKeyframe();
        REQUIRE(k2);
        CopyKeyframe(k2, k1);
        k1->next = k1->prev = k2;
        k2->next = k2->prev = k1;
        k2->index = 2;
        k2->startFrame = k2->endFrame = second;
        k2->startTime = k2->endTime = second;
        k2->position[0] += dx;
        NoteKeyframeChange(list, FXC_POSITION);
        RecomputePath(view, list);
    }
    ~TwoKeys() { FreeEffect(list); }
    FxEditContext State(int frame) const { return FxEditContext{ list, list, k1, frame }; }
};

} // namespace

TEST_CASE("The pen of a keyframe follows its flags and the current frame", "[scene]")
{
    Canvas c(100, 80);
    struct Row {
        uint32_t kfFlags;
        int startFrame;
        uint32_t viewFlags;
        int pen;   // -1: none
    };
    const Row rows[] = {
        { 0, 5, 0, SP_UNSELECTED },
        { 0, 3, 0, SP_UNSELECTED_CURRENT },
        { KF_SELECTED, 3, 0, SP_SELECTED_CURRENT },
        { KF_LOCKED | KF_SELECTED, 3, 0, SP_SELECTED_CURRENT },   // the current frame comes first
        { KF_LOCKED | KF_SELECTED, 5, 0, SP_LOCKED },
        { KF_SELECTED, 5, 0, SP_SELECTED },
        { KF_SELECTED | KF_MARKED, 5, 0, SP_SELECTED_MARK },
        { KF_SELECTED | KF_MARKED | KF_WORK, 5, 0, SP_SELECTED_CURRENT },
        { KF_WORK, 5, 0, SP_UNSELECTED_CURRENT },
        { KF_SELECTED, 3, VIEW_SINGLE_PEN, SP_SINGLE },
        { KF_HIDDEN, 5, 0, -1 },
        { KF_HIDDEN, 5, VIEW_SINGLE_PEN, -1 },
    };
    FxKeyframe *kf = NewKeyframe();
    for (const Row &r : rows) {
        CAPTURE(r.kfFlags, r.startFrame, r.viewFlags);
        kf->flags = r.kfFlags;
        kf->startFrame = r.startFrame;
        c.view.flags = r.viewFlags;
        HPEN want = r.pen < 0 ? nullptr : c.style.s.pens[r.pen];
        CHECK(SelectKeyframePen(&c.view, kf, 3) == want);
    }
    c.view.styleTable = nullptr;
    kf->flags = 0;
    CHECK(SelectKeyframePen(&c.view, kf, 3) == nullptr);
    CHECK(SelectKeyframePen(nullptr, kf, 3) == nullptr);
    FreeKeyframe(kf);
}

TEST_CASE("Paths are drawn with their keyframes' pens", "[scene]")
{
    Canvas c(100, 80);
    TwoKeys e(&c.view);
    FxEditContext st = e.State(1);

    SECTION("outlines, the motion line, the picture outline")
    {
        DrawPaths(&c.view, &st, SD_PICTURE);
        // Keyframe 1 (current frame): corners (10, 35) .. (30, 45).
        CHECK(c.At(15, 35) == kUnselCurrent);
        CHECK(c.At(10, 40) == kUnselCurrent);
        // Keyframe 2: (50, 35) .. (70, 45).
        CHECK(c.At(55, 35) == kUnsel);
        CHECK(c.At(70, 42) == kUnsel);
        // The motion line runs between them with the first keyframe's pen.
        CHECK(c.At(40, 40) == kUnselCurrent);
        CHECK(c.At(40, 38) == 0);
        CHECK(c.At(50, 2) == kPicture);
        CHECK(c.At(50, 5) == 0);   // no safe area without the view's flag
        // The second keyframe is the last: no motion line back to the first.
        CHECK(c.At(40, 41) == 0);
    }
    SECTION("the safe area with the view's flag, no picture without the drawing flag")
    {
        c.view.flags |= VIEW_SAFE_TITLE;
        DrawPaths(&c.view, &st, 0);
        CHECK(c.At(50, 5) == kSafe);
        CHECK(c.At(50, 2) == 0);
    }
    SECTION("hidden and selected keyframes")
    {
        e.k2->flags |= KF_HIDDEN;
        DrawPaths(&c.view, &st, 0);
        CHECK(c.At(55, 35) == 0);
        CHECK(c.At(15, 35) == kUnselCurrent);
        c.Clear();
        e.k2->flags = KF_SELECTED;
        st.frame = 4;
        DrawPaths(&c.view, &st, 0);
        CHECK(c.At(55, 35) == kSel);
        CHECK(c.At(15, 35) == kUnsel);
        CHECK(c.At(40, 40) == kUnsel);
    }
    SECTION("the current path only, or every path")
    {
        TwoKeys other(&c.view);
        for (FxKeyframe *k : { other.k1, other.k2 }) {
            k->position[1] = -20;   // centre row 20
            ProjectKeyframe(&c.view, other.list, k, 0);
        }
        e.list->next = other.list;
        DrawPaths(&c.view, &st, 0);
        CHECK(c.At(15, 15) == 0);
        DrawPaths(&c.view, &st, SD_EVERY_PATH);
        CHECK(c.At(15, 15) == kUnselCurrent);
        e.list->next = nullptr;
    }
    SECTION("bad arguments draw nothing")
    {
        DrawPaths(nullptr, &st, SD_PICTURE);
        DrawPaths(&c.view, nullptr, SD_PICTURE);
        c.view.styleTable = nullptr;
        DrawPaths(&c.view, &st, SD_PICTURE);   // no style: no pens, no keyframes
        CHECK(c.At(15, 35) == 0);
    }
}

TEST_CASE("Frame ticks mark the frames of a transition", "[scene]")
{
    // Ticks need a client area of at least 481 x 361.
    Canvas c(500, 400);
    TwoKeys e(&c.view, 5, 200);   // four frames from x 50 to x 250
    FxEditContext st = e.State(3);
    REQUIRE(e.k1->tickCount == 4);
    auto *pts = static_cast<int32_t(*)[2]>(e.k1->ownedBuffer);

    SECTION("squares of half-size 3 for every frame but the current one")
    {
        DrawPaths(&c.view, &st, SD_TICKS);
        for (int i = 1; i < 4; ++i) {
            CAPTURE(i);
            const int x = pts[i][0], y = pts[i][1];
            // Frame 1 + i; frame 3 is the current frame.
            COLORREF want = i == 2 ? 0 : kUnsel;
            CHECK(c.At(x, y - 3) == want);
            CHECK(c.At(x + 3, y + 2) == want);
            CHECK(c.At(x, y - 4) == 0);
        }
        // Drawn once: the flag is cleared.
        CHECK(!(e.k1->drawFlags & KD_TICKS));
        CHECK(c.At(pts[0][0], pts[0][1] - 3) == 0);   // sample 0 is the keyframe itself
    }
    SECTION("no ticks without the flag, in a small view, or without an interval")
    {
        DrawPaths(&c.view, &st, SD_TICKS | SD_ALL_PATHS);
        CHECK(c.At(pts[1][0], pts[1][1] - 3) == 0);
        c.style.s.tickInterval = 0;
        DrawPaths(&c.view, &st, SD_TICKS);
        CHECK(c.At(pts[1][0], pts[1][1] - 3) == 0);
        c.style.s.tickInterval = 1;
        c.view.width = 480;
        e.k1->drawFlags |= KD_TICKS;
        DrawPaths(&c.view, &st, SD_TICKS);
        CHECK(c.At(pts[1][0], pts[1][1] - 3) == 0);
    }
    SECTION("an interval of 2 draws smaller squares on even samples")
    {
        c.style.s.tickInterval = 2;
        st.frame = 1;
        DrawPaths(&c.view, &st, SD_TICKS);
        CHECK(c.At(pts[2][0], pts[2][1] - 2) == kUnselCurrent);   // frame 1: the current pen
        CHECK(c.At(pts[2][0], pts[2][1] - 3) == 0);
        CHECK(c.At(pts[1][0], pts[1][1] - 2) == 0);
        CHECK(c.At(pts[3][0], pts[3][1] - 2) == 0);
    }
}

TEST_CASE("A long transition spreads its ticks over at most 64 marks", "[scene]")
{
    Canvas c(500, 400);
    TwoKeys e(&c.view, 201, 300);   // 200 frames: every third sample (200 / 64)
    FxEditContext st = e.State(1);
    REQUIRE(e.k1->tickCount == 200);
    DrawPaths(&c.view, &st, SD_TICKS);
    auto *pts = static_cast<int32_t(*)[2]>(e.k1->ownedBuffer);
    CHECK(c.At(pts[3][0], pts[3][1] - 2) == kUnselCurrent);
    CHECK(c.At(pts[3][0], pts[3][1] - 3) == 0);
}

TEST_CASE("Shape lists are drawn run by run", "[scene]")
{
    Canvas c(100, 80);
    SelectObject(c.dc, c.style.s.pens[SP_SELECTED]);
    const int32_t list[] = {
        int32_t(SHAPE_HEADER), 1,
        int32_t(SHAPE_CLOSED), 3, 10, 10, 30, 10, 30, 30,   // closed: the edge back to (10, 10) too
        int32_t(SHAPE_OPEN), 3, 50, 10, 70, 10, 70, 30,     // open: no closing edge
        int32_t(SHAPE_END), 0,
    };
    CHECK(DrawShapePoints(c.dc, list, 10) == 2);
    CHECK(c.At(20, 10) == kSel);
    CHECK(c.At(30, 20) == kSel);
    CHECK(c.At(20, 20) == kSel);   // the closing diagonal
    CHECK(c.At(70, 20) == kSel);
    CHECK(c.At(60, 20) == 0);

    // A run whose count passes the end of the list stops the drawing.
    c.Clear();
    const int32_t bad[] = { int32_t(SHAPE_OPEN), 2, 10, 50, 40, 50, int32_t(SHAPE_OPEN), 1000, 0, 0 };
    CHECK(DrawShapePoints(c.dc, bad, 4) == 1);
    CHECK(c.At(25, 50) == kSel);
    CHECK(DrawShapePoints(c.dc, bad, 0) == 0);
    CHECK(DrawShapePoints(nullptr, bad, 4) == 0);
}

TEST_CASE("Shapes are mapped onto the keyframe's corners", "[scene]")
{
    FxKeyframe *kf = NewKeyframe();
    const double corners[4][2] = { { 10, 20 }, { 110, 20 }, { 110, 70 }, { 10, 70 } };
    memcpy(kf->screenCorners, corners, sizeof corners);

    SECTION("a tagged list in its own space")
    {
        int32_t w[] = { int32_t(SHAPE_HEADER), 1, int32_t(SHAPE_WIDTH), 1000, int32_t(SHAPE_HEIGHT), 500,
                        int32_t(SHAPE_CLOSED), 2, 500, 250, 1000, 500, int32_t(SHAPE_END), 0 };
        TransformShape(kf, w, 7);
        CHECK(w[8] == 60);
        CHECK(w[9] == 45);
        CHECK(w[10] == 110);
        CHECK(w[11] == 70);
        CHECK(uint32_t(w[6]) == SHAPE_CLOSED);
        CHECK(w[7] == 2);
        CHECK(w[3] == 1000);
    }
    SECTION("a plain list in the default space, and a degenerate quad")
    {
        int32_t w[] = { 0, 0, 100000, 100000, 25000, 50000 };
        TransformShape(kf, w, 3);
        CHECK(std::vector<int32_t>(w, w + 6) == std::vector<int32_t>{ 10, 20, 110, 70, 35, 45 });
        const double flat[4][2] = { { 10, 20 }, { 60, 20 }, { 110, 20 }, { 60, 20 } };
        memcpy(kf->screenCorners, flat, sizeof flat);
        int32_t v[] = { 50000, 50000, 100000, 0 };
        TransformShape(kf, v, 2);
        CHECK(std::vector<int32_t>(v, v + 4) == std::vector<int32_t>{ 10, 20, 10, 20 });
    }
    FreeKeyframe(kf);
}

TEST_CASE("A keyframe outline carries its shape, anchor line and number box", "[scene]")
{
    Canvas c(100, 80);
    TwoKeys e(&c.view);
    FxKeyframe *kf = e.k1;   // corners (10, 35) .. (30, 45), centre (20, 40)
    SelectObject(c.dc, c.style.s.pens[SP_SELECTED]);
    // Four points on the corners of the object's own space: as segments
    // the top and bottom edges' diagonals, as a polyline also the side.
    const int32_t pts[] = { 0, 0, 100000, 100000, 100000, 0, 0, 100000 };
    REQUIRE(SetPathShape(e.list, pts, 4, 0));
    const FxShape *shape = GetPathShape(e.list);
    REQUIRE(shape);
    CHECK(shape->count == 4);

    SECTION("segments")
    {
        DrawKeyframeOutline(&c.view, kf, shape);
        CHECK(c.At(20, 40) == kSel);       // crossing of the two diagonals
        CHECK(c.At(30, 40) == kSel);       // outline
        CHECK(c.At(25, 38) == 0);          // not on either diagonal
    }
    SECTION("one polyline")
    {
        REQUIRE(SetPathShape(e.list, pts, 4, SHAPE_POLYLINE));
        shape = GetPathShape(e.list);
        DrawKeyframeOutline(&c.view, kf, shape);
        CHECK(c.At(20, 40) == kSel);
        // The middle point pair (30, 45) -> (30, 35) lies on the outline;
        // check the pixels do not differ from segments except along it.
        CHECK(c.At(25, 38) == 0);
    }
    SECTION("filled and numbered")
    {
        kf->drawFlags |= KD_FILLED | KD_NUMBER | KD_DRAWN;
        DrawKeyframeOutline(&c.view, kf, shape);
        CHECK(c.At(25, 38) == kBrush);     // the polygon filled with brush 0
        CHECK(c.At(11, 51) == kBrush);     // in the number box, outside the circle
        CHECK(c.At(20, 30) == kSel);       // top of the circle
        CHECK(!(kf->drawFlags & (KD_NUMBER | KD_DRAWN)));
        CHECK(kf->drawFlags & KD_FILLED);
    }
    SECTION("an offset object joins its centre to its position")
    {
        kf->offset[1] = -20;
        ProjectKeyframe(&c.view, e.list, kf, 0);
        REQUIRE(kf->screenCentre[1] == 20);
        DrawKeyframeOutline(&c.view, kf, nullptr);
        CHECK(c.At(20, 30) == kSel);
        c.Clear();
        kf->drawFlags |= KD_NO_ANCHOR_LINE;
        DrawKeyframeOutline(&c.view, kf, nullptr);
        CHECK(c.At(20, 30) == 0);
    }
    CHECK(SetPathShape(e.list, nullptr, 0, 0) == 1);
    CHECK(GetPathShape(e.list) == nullptr);
    CHECK(SetPathShape(e.list, nullptr, 3, 0) == 0);
}

TEST_CASE("Objects without an outline of their own are drawn with the default one", "[scene]")
{
    // The two defaults: one closed run of 20 points, and the alternate
    // style's run of 40 with two open runs of 10; every point inside the
    // default space.
    const FxShape *plain = DefaultPathShape(nullptr);
    FxView alt = {};
    alt.flags = VIEW_ALTERNATE_SHAPE;
    const FxShape *cross = DefaultPathShape(&alt);
    REQUIRE(plain);
    REQUIRE(cross);
    CHECK(plain->count == 21);
    CHECK(cross->count == 63);
    struct Run {
        uint32_t tag;
        int n;
    };
    auto runs = [](const FxShape *sh) {
        std::vector<Run> out;
        for (int i = 0; i < sh->count;) {
            Run r{ uint32_t(sh->words[2 * i]), sh->words[2 * i + 1] };
            out.push_back(r);
            for (int k = 1; k <= r.n; ++k) {
                CHECK(sh->words[2 * (i + k)] >= 0);
                CHECK(sh->words[2 * (i + k)] <= SHAPE_DEFAULT_SIZE);
                CHECK(sh->words[2 * (i + k) + 1] >= 0);
                CHECK(sh->words[2 * (i + k) + 1] <= SHAPE_DEFAULT_SIZE);
            }
            i += 1 + r.n;
        }
        return out;
    };
    auto p = runs(plain), x = runs(cross);
    REQUIRE(p.size() == 1);
    CHECK(p[0].tag == SHAPE_CLOSED);
    CHECK(p[0].n == 20);
    REQUIRE(x.size() == 3);
    CHECK((x[0].tag == SHAPE_CLOSED && x[0].n == 40));
    CHECK((x[1].tag == SHAPE_OPEN && x[1].n == 10));
    CHECK((x[2].tag == SHAPE_OPEN && x[2].n == 10));

    Canvas c(100, 80);
    TwoKeys e(&c.view);   // object 1 from (10, 35) to (30, 45), centre (20, 40)
    FxEditContext st = e.State(1);
    CHECK(PathOutlineShape(&c.view, e.list) == plain);

    SECTION("the plain default lies on the outline")
    {
        DrawScene(&c.view, &st, 0);
        CHECK(c.At(20, 35) == kUnselCurrent);
        CHECK(c.At(20, 37) == 0);
        CHECK(c.At(15, 40) == 0);
    }
    SECTION("the alternate default crosses the object through its centre")
    {
        c.view.flags |= VIEW_ALTERNATE_SHAPE;
        CHECK(PathOutlineShape(&c.view, e.list) == cross);
        DrawScene(&c.view, &st, 0);
        CHECK(c.At(20, 37) == kSingle);
        CHECK(c.At(15, 40) == kSingle);
        CHECK(c.At(20, 43) == kSingle);
        CHECK(c.At(15, 37) == 0);
    }
    SECTION("an own outline comes first, and a list of runs needs no header")
    {
        c.view.flags |= VIEW_ALTERNATE_SHAPE;
        // One open run across the middle, its tag first.
        const int32_t line[] = { int32_t(SHAPE_OPEN), 2, 0, 50000, 100000, 50000 };
        REQUIRE(SetPathShape(e.list, line, 3, 0));
        CHECK(PathOutlineShape(&c.view, e.list) == GetPathShape(e.list));
        DrawScene(&c.view, &st, 0);
        CHECK(c.At(15, 40) == kSingle);
        CHECK(c.At(20, 37) == 0);   // no vertical centre line
        CHECK(c.At(11, 36) == 0);   // the tag pair drew nothing near the corner
    }
}

TEST_CASE("DrawScene draws the outline pass and the paths into the view's context", "[scene]")
{
    Canvas c(100, 80);
    TwoKeys e(&c.view);
    FxEditContext st = e.State(1);

    SECTION("current path, picture outline")
    {
        uint32_t r = DrawScene(&c.view, &st, SD_PICTURE);
        CHECK((r & SD_PICTURE));
        CHECK(c.At(50, 2) == kPicture);
        CHECK(c.At(15, 35) == kUnselCurrent);
        CHECK(c.At(55, 35) == kUnsel);
        CHECK(c.At(40, 40) == kUnselCurrent);
    }
    SECTION("without a current object the picture flag goes")
    {
        st.path = nullptr;
        st.kf = nullptr;
        uint32_t r = DrawScene(&c.view, &st, SD_PICTURE);
        CHECK(!(r & SD_PICTURE));
        CHECK(c.At(50, 2) == 0);
    }
    SECTION("the first drawing after the rectangle was set is a full one")
    {
        c.view.flags |= VIEW_RECT_SET;
        uint32_t r = DrawScene(&c.view, &st, 0);
        CHECK((r & 0x2008) == 0x2008);
        CHECK(!(c.view.flags & VIEW_RECT_SET));
    }
    SECTION("no outlines with 0x20")
    {
        DrawScene(&c.view, &st, SD_NO_OUTLINES);
        CHECK(c.At(55, 35) == 0);
    }
    SECTION("no context and no window: nothing drawn, no crash")
    {
        c.view.dc = nullptr;
        CHECK(DrawScene(&c.view, &st, SD_PICTURE) == SD_PICTURE);
        CHECK(DrawScene(nullptr, &st, 7) == 7);
        CHECK(DrawScene(&c.view, nullptr, 7) == 7);
    }
}

TEST_CASE("Scene colours and styles", "[scene]")
{
    CHECK(DefaultSceneColour("SafeTitle") == 0x80C000);
    CHECK(DefaultSceneColour("border") == 0x0000F8);
    CHECK(DefaultSceneColour("SelPathGhosts") == FX_NO_COLOUR);
    CHECK(DefaultSceneColour("Nothing") == FX_NO_COLOUR);
    CHECK(ResolveSceneColour(0x10000006) == GetSysColor(6));
    CHECK(ResolveSceneColour(0x00123456) == 0x123456);
    CHECK(ResolveSceneColour(FX_NO_COLOUR) == FX_NO_COLOUR);

    // A style from the defaults draws the safe area in "SafeTitle".
    FxSceneStyle *s = MakeSceneStyle(nullptr, 2);
    REQUIRE(s);
    CHECK(s->tickInterval == 2);
    Canvas c(100, 80);
    c.view.styleTable = s;
    c.view.flags |= VIEW_SAFE_TITLE;
    FxEditContext st = { nullptr, nullptr, nullptr, 1 };
    DrawPaths(&c.view, &st, SD_PICTURE);
    CHECK(c.At(50, 5) == RGB(0x00, 0xC0, 0x80));
    CHECK(c.At(50, 2) == RGB(0xF8, 0, 0));
    FreeSceneStyle(s);
    FreeSceneStyle(nullptr);
}

namespace {

// A realtime renderer link that records the commands it gets.
struct RecordingLink {
    FxRendererLink link = {};
    struct Call {
        int code;
        uint32_t number, position;
        uintptr_t word;
        FxPath *first;
        int drawn;
    };
    std::vector<Call> calls;
    static int __cdecl Command(FxRendererLink *l, int code, void *data)
    {
        auto *self = reinterpret_cast<RecordingLink *>(l);
        auto *job = static_cast<FxRenderJob *>(data);
        self->calls.push_back({code, job->objectNumber, job->positionFlags, job->corners.objectWord, job->firstObject,
                               job->drawnCount});
        job->corners.objectWord = 0x100 + job->objectNumber;  // the link's own word for the object
        return 1;
    }
    RecordingLink() { link.command = Command; }
};

} // namespace

TEST_CASE("Through the realtime renderer link every active object is one command, in drawing order", "[scene]")
{
    Canvas c(100, 80);
    FxPath *list = nullptr;
    REQUIRE(AppendNewPath(&list));
    FxPath *third = list;  // the slot is left on the path appended
    REQUIRE(AppendNewPath(&third));
    REQUIRE(AppendNewPath(&third));
    FxPath *second = list->next;
    REQUIRE(second->next == third);
    RecordingLink rec;
    c.view.link = &rec.link;
    FxEditContext st = {list, third, third->head, 1};

    SECTION("every object, first and last marked, the object word kept")
    {
        CHECK(DrawSceneThroughLink(&c.view, third, &st, 0) == 3);
        REQUIRE(rec.calls.size() == 3);
        CHECK(rec.calls[0].position == RP_FIRST_OBJECT);
        CHECK(rec.calls[1].position == 0);
        CHECK(rec.calls[2].position == RP_LAST_OBJECT);
        for (auto &call : rec.calls) {
            CHECK(call.code == 5);
            CHECK(call.first == list);  // found by walking back from the given path
            CHECK(call.drawn == 3);
        }
        std::vector<uint32_t> numbers;
        for (auto &call : rec.calls) numbers.push_back(call.number);
        std::sort(numbers.begin(), numbers.end());
        CHECK(numbers == std::vector<uint32_t>{uint32_t(list->number), uint32_t(second->number),
                                               uint32_t(third->number)});
        // What the link left in the word comes back on the next drawing.
        rec.calls.clear();
        DrawSceneThroughLink(&c.view, list, &st, 0);
        for (auto &call : rec.calls) CHECK(call.word == 0x100 + call.number);
        // No object keeps the active mark.
        for (FxPath *p = list; p; p = p->next) CHECK(!(p->pathFlags & PATH_ACTIVE));
    }
    SECTION("a hidden object is left out; one object is first and last")
    {
        second->head->flags |= KF_HIDDEN;
        list->head->flags |= KF_HIDDEN;
        CHECK(DrawSceneThroughLink(&c.view, list, &st, 0) == 1);
        REQUIRE(rec.calls.size() == 1);
        CHECK(rec.calls[0].number == uint32_t(third->number));
        CHECK(rec.calls[0].position == (RP_FIRST_OBJECT | RP_LAST_OBJECT));
    }
    SECTION("the command code follows the view's flags")
    {
        const struct { uint32_t flags; int code; } rows[] = {
            {0, 5}, {0x400000, 9}, {0x200000, 10}, {0x600000, 10}};
        for (auto &row : rows) {
            rec.calls.clear();
            c.view.flags = row.flags;
            DrawSceneThroughLink(&c.view, list, &st, 0);
            REQUIRE_FALSE(rec.calls.empty());
            CHECK(rec.calls[0].code == row.code);
        }
    }
    SECTION("without a path: the state alone as object 1")
    {
        CHECK(DrawSceneThroughLink(&c.view, nullptr, &st, 0) == 1);
        REQUIRE(rec.calls.size() == 1);
        CHECK(rec.calls[0].number == 1);
        CHECK(rec.calls[0].position == (RP_FIRST_OBJECT | RP_LAST_OBJECT));
        CHECK(rec.calls[0].first == nullptr);
    }
    SECTION("DrawScene hands the outlines to the link when the view drives it")
    {
        c.view.flags |= 0x80000;
        DrawScene(&c.view, &st, SD_PICTURE);
        CHECK(rec.calls.size() == 3);
        CHECK(c.At(50, 2) == 0);  // no GDI outlines
    }
    c.view.link = nullptr;
    FreeEffect(list);
}
