// The mesh page's picons: hand-made mesh blocks drawn off-screen with
// OpenGL into a memory bitmap (no display), the animator on a window of the
// test's own with picture buttons that record what they are lent, and the
// mesh of a saved effect laid before, onto and after a path.
#include <catch2/catch.hpp>

#include <cstring>
#include <string>
#include <vector>

#include "fxedit.h"
#include "fxmeshsel.h"
#include "fxpicon.h"
#include "fxutil.h"

namespace {

// A kind-6 mesh block: one square face of half-size `half` at depth z
// (corners in the face's own order), its normal towards the viewer.
std::vector<int32_t> Square(float half, float z = 0.0f, int corners = 4, int kind = 6)
{
    std::vector<int32_t> b(8, 0);
    b[0] = kind;
    b[3] = 4;   // positions
    b[4] = 1;   // normals
    b[5] = 4;   // texture coordinates
    b[6] = 0;   // nodes
    auto put = [&](float f) {
        int32_t w;
        memcpy(&w, &f, 4);
        b.push_back(w);
    };
    const float xy[4][2] = {{-half, -half}, {half, -half}, {half, half}, {-half, half}};
    for (auto &p : xy) {
        put(p[0]);
        put(p[1]);
        put(z);
    }
    put(0);
    put(0);
    put(1);
    const float uv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (auto &t : uv) {
        put(t[0]);
        put(t[1]);
    }
    std::vector<int32_t> face(FX_MESH_FACE_WORDS, 0);
    for (int c = 0; c < 4; ++c) {
        face[size_t(c * FX_FACE_CORNER_WORDS)] = c;
        face[size_t(c * FX_FACE_CORNER_WORDS + 1)] = 0;
        face[size_t(c * FX_FACE_CORNER_WORDS + 2)] = c;
    }
    face[FX_FACE_COUNT_WORD] = corners;
    b.insert(b.end(), face.begin(), face.end());
    return b;
}

std::vector<uint32_t> Draw(PiconRenderer *r, const std::vector<int32_t> &block, double opacity = 1.0,
                           bool *ok = nullptr)
{
    bool drawn = DrawPiconMesh(r, block.data(), block.size() * 4, opacity, false);
    if (ok)
        *ok = drawn;
    return std::vector<uint32_t>(r->pixels, r->pixels + size_t(r->width) * r->height);
}

// Pixels of the picture that differ from `other`.
int Differ(const std::vector<uint32_t> &a, const std::vector<uint32_t> &b)
{
    int n = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        n += (a[i] & 0xFFFFFF) != (b[i] & 0xFFFFFF);
    return n;
}

} // namespace

namespace {

// The background sample's dark blue tiles (and their filtered edges) and
// the face sample's orange.
bool Background(uint32_t p)
{
    const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
    return r >= 38 && r <= 58 && g >= 42 && g <= 66 && b >= 62 && b <= 98;
}
bool Orange(uint32_t p)
{
    const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
    return r > 150 && r > b + 80 && g > b;
}

} // namespace

TEST_CASE("The picon renderer draws a mesh into its bitmap without a display", "[picon]")
{
    // The program carries the library's sample pictures.
    PiconRenderer *r = StartPiconRenderer(64, 48, GetModuleHandleA(nullptr));
    REQUIRE(r);
    REQUIRE(r->pixels);
    CHECK(r->width == 64);
    CHECK(r->height == 48);
    std::vector<int32_t> none = Square(0.2f);
    none.resize(8 + 4 * 3 + 3 + 4 * 2);   // the arrays without a face
    bool ok = false;
    const std::vector<uint32_t> empty = Draw(r, none, 1.0, &ok);
    REQUIRE(ok);
    // The background sample covers the whole view.
    for (uint32_t p : empty) {
        INFO(std::hex << p);
        REQUIRE(Background(p));
    }
    const std::vector<uint32_t> little = Draw(r, Square(0.1f));
    const std::vector<uint32_t> large = Draw(r, Square(0.25f));
    const int w = r->width, h = r->height;
    auto at = [&](const std::vector<uint32_t> &px, int x, int y) { return px[size_t(y) * w + x] & 0xFFFFFF; };
    // The square wears the face sample; the corners of the view stay
    // background.
    CHECK(Orange(at(little, w / 2, h / 2)));
    CHECK(Background(at(little, 1, 1)));
    CHECK(Background(at(large, w - 2, h - 2)));
    const int littleArea = Differ(little, empty), largeArea = Differ(large, empty);
    CHECK(littleArea > 20);
    CHECK(largeArea > littleArea * 4);
    CHECK(largeArea < w * h);
    // A triangle (corner count 3) covers about half the square.
    const int triangle = Differ(Draw(r, Square(0.25f, 0.0f, 3)), empty);
    CHECK(triangle > largeArea / 3);
    CHECK(triangle < largeArea * 2 / 3);
    // Half opacity lets the background through.
    const std::vector<uint32_t> faint = Draw(r, Square(0.25f), 0.5);
    CHECK(at(faint, w / 2, h / 2) != at(large, w / 2, h / 2));
    CHECK_FALSE(Background(at(faint, w / 2, h / 2)));
    // Without the library's pictures every sample is plain white.
    PiconRenderer *plain = StartPiconRenderer(16, 16, nullptr);
    REQUIRE(plain);
    for (uint32_t p : Draw(plain, none))
        CHECK((p & 0xFFFFFF) == 0xFFFFFF);
    StopPiconRenderer(plain);

    SECTION("blocks that are no mesh draw nothing")
    {
        std::vector<int32_t> kind5 = Square(0.2f, 0.0f, 4, 5);
        CHECK_FALSE(DrawPiconMesh(r, kind5.data(), kind5.size() * 4, 1.0, false));
        std::vector<int32_t> cut = Square(0.2f);
        CHECK_FALSE(DrawPiconMesh(r, cut.data(), 40, 1.0, false));
        cut[3] = 0x7FFFFFFF;   // more positions than the block holds
        CHECK_FALSE(DrawPiconMesh(r, cut.data(), cut.size() * 4, 1.0, false));
        CHECK_FALSE(DrawPiconMesh(r, nullptr, 100, 1.0, false));
        // Wild indices in a face are left out, never read.
        std::vector<int32_t> wild = Square(0.2f);
        for (int c = 0; c < 4; ++c)
            wild[wild.size() - FX_MESH_FACE_WORDS + size_t(c * FX_FACE_CORNER_WORDS)] = 1 << 30;
        CHECK(DrawPiconMesh(r, wild.data(), wild.size() * 4, 1.0, false));
    }
    StopPiconRenderer(r);
    CHECK(StartPiconRenderer(0, 10, nullptr) == nullptr);
    CHECK(StartPiconRenderer(10, 100000, nullptr) == nullptr);
}

namespace {

// A page of the test's own: ten picture buttons that remember the bitmap
// they are lent (the picture buttons' property message).
struct Page {
    HWND window = nullptr;
    static HBITMAP lent[PICON_SLOTS];
    static LONG posts[PICON_SLOTS];
    static WNDPROC buttonProc;
    static LRESULT CALLBACK Button(HWND w, UINT msg, WPARAM wp, LPARAM lp)
    {
        const int i = GetDlgCtrlID(w) - PICON_FIRST_CONTROL;
        if (msg == PICON_MESSAGE && i >= 0 && i < PICON_SLOTS) {
            if (wp == PICON_LENT) {
                lent[i] = reinterpret_cast<HBITMAP>(lp);
                ++posts[i];
            }
            return 0;
        }
        return CallWindowProcA(buttonProc, w, msg, wp, lp);
    }
    Page()
    {
        window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 400, 200, nullptr, nullptr, nullptr, nullptr);
        for (int i = 0; i < PICON_SLOTS; ++i) {
            HWND b = CreateWindowExA(0, "BUTTON", "", WS_CHILD, i * 40, 0, 36, 28, window,
                                     reinterpret_cast<HMENU>(intptr_t(PICON_FIRST_CONTROL + i)), nullptr, nullptr);
            buttonProc = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrA(b, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Button)));
            lent[i] = nullptr;
            posts[i] = 0;
        }
    }
    ~Page() { DestroyWindow(window); }
    static void Pump()
    {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&m);
    }
};
HBITMAP Page::lent[PICON_SLOTS];
LONG Page::posts[PICON_SLOTS];
WNDPROC Page::buttonProc;

// The mesh effect of the animator test: a square whose half-size is the
// first value (drawn from a block of the test's, not a plug-in's).
class SquareEffect : public FxMeshEffect {
public:
    double half = 0.1;
    int ParamCount(int *count) override
    {
        *count = 3;
        return 0;
    }
    int ParamDescriptor(int, FxMeshParamDesc *out) override
    {
        out->type = 5;   // doubles
        return 0;
    }
    int SetParam(int index, const void *value) override
    {
        if (index == 2)
            half = *static_cast<const double *>(value);
        return 0;
    }
    int BuildMesh(ByteBuffer *buffer) override
    {
        std::vector<int32_t> b = Square(float(half));
        uint8_t *p = buffer->Reserve(uint32_t(b.size() * 4));
        if (!p)
            return 1;
        memcpy(buffer->Take(uint32_t(b.size() * 4)), b.data(), b.size() * 4);
        return 0;
    }
    int RealtimeCost(int *a, int *b) override
    {
        *a = *b = 0;
        return 0;
    }
    int PresetCount(int *count) override
    {
        *count = 0;
        return 0;
    }
    int PresetValues(void **, int) override { return 1; }
};

template <class Pred>
bool WaitFor(Pred pred, DWORD ms = 5000)
{
    const DWORD end = GetTickCount() + ms;
    while (!pred()) {
        if (int(GetTickCount() - end) > 0)
            return false;
        Page::Pump();
        Sleep(10);
    }
    return true;
}

} // namespace

TEST_CASE("The picon animator lends each button its slot's picture and steps through the keys", "[picon]")
{
    SquareEffect evaluator, picon;
    FxMeshEntry entry = {};
    entry.info.id = {7, 7, 7, {7, 7, 7, 7, 7, 7, 7, 7}};
    entry.evaluator = &evaluator;
    entry.picon = &picon;
    g_fxMeshTable = {&entry, 1, -1};
    Page page;
    PiconRenderer *r = StartPiconRenderer(32, 24, GetModuleHandleA(nullptr));
    REQUIRE(r);
    // The picon size is the button's less 4 pixels each way.
    PiconRenderer *wrong = StartPiconRenderer(30, 30, nullptr);
    CHECK(CreatePiconAnimator(page.window, wrong) == nullptr);
    StopPiconRenderer(wrong);
    PiconAnimator *a = CreatePiconAnimator(page.window, r);
    REQUIRE(a);

    PiconSource src;
    src.mesh = entry.info.id;
    src.inverted = false;
    PiconKey k = {};
    k.opacity = 1.0;
    k.values[0] = 0.05;
    src.keys.push_back(k);
    k.values[0] = 0.3;
    src.keys.push_back(k);
    // The mesh-effect table hands the keys' values on from parameter 2 up.
    StartPicons(a, {src, src, src}, 0, false);
    Page::Pump();
    CHECK(a->used == 3);
    CHECK(a->thread == nullptr);
    for (int i = 0; i < 3; ++i)
        CHECK(Page::lent[i] == a->slots[i].dib);
    CHECK(Page::lent[3] == nullptr);
    int firstArea = 0;
    for (int i = 0; i < 32 * 24; ++i)
        firstArea += Orange(a->slots[0].pixels[i]);
    CHECK(firstArea > 0);

    // Animated: the thread draws round after round into the same slots.
    StartPicons(a, {src}, 0, true);
    REQUIRE(a->thread);
    const LONG posted = Page::posts[0];
    REQUIRE(WaitFor([&] { return a->rounds >= 4 && Page::posts[0] > posted + 2; }));
    CHECK(Page::lent[0] == a->slots[0].dib);
    CHECK(Page::lent[1] == nullptr);   // a slot no longer used lets its button go
    // Paused, no more rounds draw; resumed, they do.
    PausePicons(a);
    Page::Pump();
    Sleep(100);
    Page::Pump();
    const LONG heldPosts = Page::posts[0];
    Sleep(200);
    Page::Pump();
    CHECK(Page::posts[0] <= heldPosts + 1);
    ResumePicons(a);
    CHECK(WaitFor([&] { return Page::posts[0] > heldPosts + 2; }));
    // Lends the page has not read yet when the animator stops must not
    // reach the buttons after the bitmaps are taken back.
    const LONG unread = a->rounds;
    for (int t = 0; t < 1000 && a->rounds < unread + 3; ++t)
        Sleep(10);
    StopPicons(a);
    CHECK(a->thread == nullptr);
    DestroyPiconAnimator(a);
    Page::Pump();
    for (int i = 0; i < PICON_SLOTS; ++i)
        CHECK(Page::lent[i] == nullptr);   // taken back before the bitmaps go
    StopPiconRenderer(r);
    g_fxMeshTable = {nullptr, 0, -1};
}

namespace {

FxPath *Parse(const char *text)
{
    FxPath *p = ParseEffectText(text);
    REQUIRE(p);
    return p;
}

std::vector<int> Frames(FxPath *p)
{
    std::vector<int> f;
    FxKeyframe *k = p->head;
    do {
        f.push_back(k->startFrame);
        k = k->next;
    } while (k != p->head);
    return f;
}

std::vector<unsigned> Warps(FxPath *p)
{
    std::vector<unsigned> w;
    FxKeyframe *k = p->head;
    do {
        w.push_back(unsigned(k->warpId.Data1));
        k = k->next;
    } while (k != p->head);
    return w;
}

} // namespace

TEST_CASE("A saved mesh effect is laid before, onto or after a path", "[picon][meshapply]")
{
    const char *target = "Path 1: Keyframe 1.1 { at frame 10 } Keyframe 1.2 { at frame 20 }"
                         " Keyframe 1.3 { at frame 30 }";
    const char *mesh = "Path 1: Keyframe 1.1 { at frame 1 Warp: flags 0, mode 0 guid_data1 71 guid_data2 0"
                       " guid_data3 0 guid_data4 0 guid_data5 0, param1 0.5 }"
                       " Keyframe 1.2 { at frame 5 Warp: flags 0, mode 0 guid_data1 72 guid_data2 0"
                       " guid_data3 0 guid_data4 0 guid_data5 0, param1 0.75 }";
    struct Case {
        int placement, delay;
        std::vector<int> frames;
        std::vector<unsigned> warps;
    };
    const Case cases[] = {
        {0, 0, {10, 14, 18, 28, 38}, {71, 72, 0, 0, 0}},
        {0, 3, {13, 17, 21, 31, 41}, {71, 72, 0, 0, 0}},
        {1, 0, {10, 20, 30}, {71, 72, 72}},
        {2, 0, {10, 20, 30, 34, 38}, {0, 0, 0, 71, 72}},
        {2, 6, {10, 20, 30, 40, 44}, {0, 0, 0, 71, 72}},
    };
    for (const Case &c : cases) {
        DYNAMIC_SECTION("placement " << c.placement << " delay " << c.delay)
        {
            FxPath *t = Parse(target);
            FxPath *m = Parse(mesh);
            REQUIRE(ApplyMeshEffect(t, m, c.placement, c.delay) == 1);
            CHECK(Frames(t) == c.frames);
            CHECK(Warps(t) == c.warps);
            // The ring stays numbered 1..n from the head.
            int n = 1;
            FxKeyframe *k = t->head;
            do {
                CHECK(k->index == n++);
                CHECK(k->next->prev == k);
                k = k->next;
            } while (k != t->head);
            const double param = c.placement == 1 ? t->head->warpParams[0] : 0.0;
            if (c.placement == 1)
                CHECK(param == Approx(0.5));
            FreeEffect(t);
            FreeEffect(m);
        }
    }
    FxPath *t = Parse(target);
    CHECK(ApplyMeshEffect(t, nullptr, 2, 0) == 0);
    CHECK(ApplyMeshEffect(nullptr, t, 2, 0) == 0);
    CHECK(Frames(t) == std::vector<int>{10, 20, 30});
    FreeEffect(t);
}
