// The frame renderer and the raster step on real layers: depth order,
// steps and frame times, the callback protocol with cancel, crop, soft
// edges, transparency, filters, four-corner mapping, fields, the reuse of
// mapped layers and bad input.
#include "fxscene.h"
#include "render_fixture.h"

#include <cmath>
#include <string>

#include "fxscript.h"

namespace {

// What the callbacks saw, step by step.
struct Call {
    int step;
    int index;
    double time;
    uint32_t position;
    uint32_t number;
};
std::vector<Call> g_calls;
int g_cancelAt = -1;   // cancel at this many progress calls

int Record(int step, FxRenderJob *job)
{
    g_calls.push_back(Call{ step, job->currentIndex, job->frameTime, job->positionFlags, job->objectNumber });
    return int(g_calls.size()) != g_cancelAt;
}

int Pass(int, FxRenderJob *)
{
    return 1;
}

std::vector<Call> Steps(int step)
{
    std::vector<Call> out;
    for (auto &c : g_calls)
        if (c.step == step)
            out.push_back(c);
    return out;
}

// A two-object effect spanning frames 1..10.
struct Timeline : Scene {
    Timeline() : Scene(32, 24)
    {
        FxPath *a = Add(2, 2, 8, 8, kRed);
        AddKey(a, 10, 10, 0);
        Add(12, 12, 8, 8, kBlue);
        g_calls.clear();
        g_cancelAt = -1;
    }
    FxRenderJob Callbacks(uint32_t flags = 0)
    {
        FxRenderJob j = Job(flags);
        j.target = nullptr;
        j.object = Record;
        return j;
    }
};

} // namespace

TEST_CASE("Objects are drawn in depth order, whichever way they are composited", "[render][order]")
{
    Scene s(40, 30);
    // Listed first but farther away: the blue square lies under the red one.
    s.Add(5, 5, 16, 12, kBlue, 3000);
    s.Add(12, 9, 16, 12, kRed, 1000);

    SECTION("back to front, each object over the picture (default)")
    {
        REQUIRE(s.Frame(1) == 0);
        CHECK(s.At(6, 6) == kBlue);
        CHECK(s.At(14, 10) == kRed);   // the overlap
        CHECK(s.At(27, 20) == kRed);
        CHECK(s.At(1, 1) == 0);
    }
    SECTION("front to back, each object under the picture")
    {
        REQUIRE(s.Frame(1, RJ_ON_TOP) == 0);
        CHECK(s.At(6, 6) == kBlue);
        CHECK(s.At(14, 10) == kRed);
    }
    SECTION("list order and the reversed depth order put the far object on top")
    {
        REQUIRE(s.Frame(1, RJ_LIST_ORDER) == 0);
        CHECK(s.At(14, 10) == kRed);   // the later object is composited last
        REQUIRE(s.Frame(1, RJ_REVERSE_DEPTH) == 0);
        CHECK(s.At(14, 10) == kBlue);
    }
    SECTION("the draw list holds the active objects farthest first")
    {
        for (FxPath *p = s.list; p; p = p->next) {
            EvaluatePathAtTime(s.view, p, 1, 0);
            p->pathFlags |= PATH_ACTIVE;
        }
        FxPath *order[3];
        REQUIRE(OrderDrawList(order, 2, s.list, nullptr, 0) == 2);
        CHECK(order[0] == s.list);
        CHECK(order[1] == s.list->next);
        CHECK(order[2] == nullptr);
        CHECK((s.list->pathFlags & PATH_ACTIVE) == 0);
        s.list->next->pathFlags |= PATH_ACTIVE;
        REQUIRE(OrderDrawList(order, 2, s.list, nullptr, 0) == 1);
        CHECK(order[0] == s.list->next);
    }
}

TEST_CASE("Steps map onto frame times", "[render][steps]")
{
    Timeline t;

    SECTION("step count 0 renders every frame from 1 to the last")
    {
        FxRenderJob j = t.Callbacks();
        j.progress = Record;
        j.object = nullptr;
        REQUIRE(RenderFrames(t.view, t.list, nullptr, &j) == 0);
        auto frames = Steps(RS_FRAME);
        // One progress call per step, then one per object.
        std::vector<double> times;
        for (auto &c : frames)
            if (c.position == 0 && c.number == 0)
                times.push_back(c.time);
        REQUIRE(times.size() == 10);
        for (int i = 0; i < 10; ++i)
            CHECK(times[size_t(i)] == Approx(i + 1));
        CHECK(j.frameCount == 10);
        CHECK(j.objectCount == 2);
        CHECK(j.firstFrame == 1);
        CHECK(j.lastFrame == 10);
    }
    SECTION("one step renders the first frame each time")
    {
        FxRenderJob j = t.Callbacks();
        j.stepCount = 1;
        j.fromIndex = 1;
        j.toIndex = 1;
        REQUIRE(RenderFrames(t.view, t.list, nullptr, &j) == 0);
        for (auto &c : Steps(RS_FRAME))
            CHECK(c.time == 1.0);
    }
    SECTION("steps spread over a range with an extra divisor and 0-based indices")
    {
        FxRenderJob j = t.Callbacks(RJ_ZERO_BASED | RJ_EXTRA_DIVISOR);
        j.stepCount = 6;   // divisor 6 - 2
        j.fromIndex = 0;
        j.toIndex = 4;
        REQUIRE(RenderFrames(t.view, t.list, nullptr, &j) == 0);
        std::vector<double> times;
        for (auto &c : Steps(RS_FRAME))
            if (c.position & RP_FIRST_OBJECT)
                times.push_back(c.time);
        REQUIRE(times.size() == 5);
        for (int i = 0; i < 5; ++i)
            CHECK(times[size_t(i)] == Approx(1 + i * 9.0 / 4));
    }
    SECTION("backwards from the to index down to the from index")
    {
        FxRenderJob j = t.Callbacks(RJ_BACKWARDS);
        j.fromIndex = 3;
        j.toIndex = 6;
        REQUIRE(RenderFrames(t.view, t.list, nullptr, &j) == 0);
        std::vector<int> idx;
        for (auto &c : Steps(RS_FRAME))
            if (c.position & RP_FIRST_OBJECT)
                idx.push_back(c.index);
        CHECK(idx == std::vector<int>{ 6, 5, 4, 3 });
        CHECK((Steps(RS_FRAME).back().position & RP_LAST_STEP) != 0);
    }
    SECTION("jitter keeps every time inside the range")
    {
        FxRenderJob j = t.Callbacks(RJ_JITTER);
        REQUIRE(RenderFrames(t.view, t.list, nullptr, &j) == 0);
        for (auto &c : Steps(RS_FRAME)) {
            CHECK(c.time >= 1.0);
            CHECK(c.time <= 10.0);
        }
    }
}

TEST_CASE("The callback protocol", "[render][callbacks]")
{
    Timeline t;

    SECTION("start, per-object calls with position flags, end")
    {
        FxRenderJob j = t.Callbacks();
        j.fromIndex = 9;
        j.toIndex = 10;
        REQUIRE(RenderFrames(t.view, t.list, nullptr, &j) == 0);
        REQUIRE(g_calls.size() == 6);
        CHECK(g_calls[0].step == RS_START);
        CHECK(g_calls[1].position == RP_FIRST_OBJECT);
        CHECK(g_calls[2].position == RP_LAST_OBJECT);
        CHECK(g_calls[3].position == (RP_FIRST_OBJECT | RP_LAST_STEP));
        CHECK(g_calls[4].position == (RP_LAST_OBJECT | RP_LAST_STEP));
        CHECK(g_calls[5].step == RS_END);
        // Farther objects first; equal depths keep list order.
        CHECK(g_calls[1].number == 1);
        CHECK(g_calls[2].number == 2);
    }
    SECTION("a frame without active objects still gets one call")
    {
        SetKeyframeRingFlags(t.list->head, KF_HIDDEN);
        SetKeyframeRingFlags(t.list->next->head, KF_HIDDEN);
        FxRenderJob j = t.Callbacks();
        j.fromIndex = 9;
        j.toIndex = 10;
        REQUIRE(RenderFrames(t.view, t.list, nullptr, &j) == 0);
        auto f = Steps(RS_FRAME);
        REQUIRE(f.size() == 2);
        CHECK(f[0].position == RP_EMPTY);
        CHECK(f[1].position == (RP_EMPTY | RP_LAST_STEP));
    }
    SECTION("objects limited to their span are left out before it starts")
    {
        FxPath *late = t.Add(0, 0, 4, 4, kGreen, 1000, 5);
        (void)late;
        FxRenderJob j = t.Callbacks(RJ_SPAN_ONLY);
        j.fromIndex = 4;
        j.toIndex = 5;
        REQUIRE(RenderFrames(t.view, t.list, nullptr, &j) == 0);
        int at4 = 0, at5 = 0;
        for (auto &c : Steps(RS_FRAME))
            (c.index == 4 ? at4 : at5) += c.number == 3;
        CHECK(at4 == 0);
        CHECK(at5 == 1);
    }
    SECTION("a cancel stops the render; the closing calls still run once")
    {
        g_cancelAt = 4;   // start, then three frame calls
        FxRenderJob j = t.Callbacks(RJ_PREPOST);
        j.progress = Pass;
        REQUIRE(RenderFrames(t.view, t.list, nullptr, &j) == -1);
        // The start call, two pre-pass calls, then the first frame call cancels.
        CHECK(g_calls[0].step == RS_START);
        CHECK(Steps(RS_PRE).size() == 2);
        CHECK(Steps(RS_FRAME).size() == 1);
        CHECK(Steps(RS_POST).size() == 2);
        CHECK(Steps(RS_END).size() == 1);
        CHECK(Steps(RS_POST)[1].position == RP_LAST_OBJECT);
        CHECK(j.drawList == nullptr);
    }
    SECTION("once-per-step calls on odd steps only")
    {
        FxRenderJob j = t.Callbacks(RJ_ODD_STEPS | RJ_FIELD_STEPS);
        REQUIRE(RenderFrames(t.view, t.list, nullptr, &j) == 0);
        std::vector<int> idx;
        for (auto &c : Steps(RS_FRAME))
            idx.push_back(c.index);
        CHECK(idx == std::vector<int>{ 2, 4, 6, 8, 10, 12, 14, 16, 18, 20 });
        CHECK(j.frameRate == 60);
    }
    SECTION("loop and ping-pong run passes until a callback cancels, answering 0")
    {
        g_cancelAt = 40;
        FxRenderJob j = t.Callbacks(RJ_PING_PONG);
        j.progress = Record;
        j.object = nullptr;
        j.fromIndex = 1;
        j.toIndex = 3;
        CHECK(RenderFrames(t.view, t.list, nullptr, &j) == 0);
        CHECK(j.pass > 2);
        std::vector<int> idx;
        for (auto &c : Steps(RS_FRAME))
            if (c.number == 0 && idx.size() < 9)
                idx.push_back(c.index);
        CHECK(idx == std::vector<int>{ 1, 2, 3, 3, 2, 1, 1, 2, 3 });
    }
    SECTION("the object word goes to the callback and comes back")
    {
        SetObjectWord(t.list, 7);
        FxRenderJob j = t.Callbacks();
        j.fromIndex = j.toIndex = 1;
        j.object = [](int step, FxRenderJob *job) {
            if (step == RS_FRAME && job->objectNumber == 1) {
                CHECK(job->corners.objectWord == 7);
                job->corners.objectWord = 9;
            }
            return 1;
        };
        REQUIRE(RenderFrames(t.view, t.list, nullptr, &j) == 0);
        CHECK(GetObjectWord(t.list) == 9);
        CHECK(GetObjectWord(t.list->next) == 0);
    }
}

TEST_CASE("Corners follow the origin mode", "[render][corners]")
{
    Scene s(40, 20);
    FxPath *p = s.Add(10, 4, 8, 6, kRed);
    REQUIRE(EvaluatePathAtTime(s.view, p, 1, 0));
    FxRenderJob j = s.Job();
    ObjectCorners c;
    struct Case {
        uint32_t mode;
        double x0, y0, topDx, leftDy;
    } cases[] = {
        { 5, 10, 4, 8, 6 },              // centred
        { 0, -10, -6, 8, 6 },            // the centre of the frame at 0
        { 2 | 8, 30, 16, -8, -6 },       // mirrored
    };
    for (auto &k : cases) {
        j.originMode = k.mode;
        REQUIRE(ComputeObjectCorners(s.view, &j, &c, p, &p->work) == 1);
        INFO("mode " << k.mode);
        CHECK(c.x0 == Approx(k.x0));
        CHECK(c.y0 == Approx(k.y0));
        CHECK(c.topDx == Approx(k.topDx));
        CHECK(c.leftDy == Approx(k.leftDy));
        CHECK(c.leftDx == Approx(0).margin(1e-9));
        CHECK(c.xBend == Approx(0).margin(1e-9));
        CHECK(c.imageWidth == 8);
        CHECK(c.imageHeight == 6);
        CHECK(c.state == &p->work);
    }
    CHECK(ComputeObjectCorners(s.view, &j, &c, p, nullptr) == 0);
}

TEST_CASE("Picture attributes of an object", "[render][raster]")
{
    Scene s(120, 40);

    SECTION("crop of 10 % left and right clears columns 0-9 and 90-99")
    {
        FxPath *p = s.Add(10, 10, 100, 20, kGreen);
        p->head->crop[0] = 10;   // left
        p->head->crop[1] = 10;   // right
        REQUIRE(s.Frame(1) == 0);
        for (int x : { 0, 9, 90, 99 })
            CHECK(s.At(10 + x, 15) == 0);
        for (int x : { 10, 50, 89 })
            CHECK(s.At(10 + x, 15) == kGreen);
    }
    SECTION("crop of the top and bottom")
    {
        FxPath *p = s.Add(10, 10, 100, 20, kGreen);
        p->head->crop[2] = 25;   // top
        p->head->crop[3] = 50;   // bottom
        REQUIRE(s.Frame(1) == 0);
        CHECK(s.At(50, 14) == 0);
        CHECK(s.At(50, 15) == kGreen);
        CHECK(s.At(50, 19) == kGreen);
        CHECK(s.At(50, 20) == 0);
    }
    SECTION("transparency: 50 % halves the alpha, 100 % draws and counts nothing")
    {
        FxPath *p = s.Add(10, 10, 20, 10, kRed);
        p->head->fade = 50;
        REQUIRE(s.Frame(1) == 0);
        DWORD px = s.At(15, 15);
        CHECK((px >> 24) == 127);
        CHECK((px & 0xFFFFFF) == 0xFF0000);
        p->head->fade = 100;
        FxRenderJob j = s.Job();
        ClearLayer(s.target);
        REQUIRE(RenderFrames(s.view, s.list, nullptr, &j) == 0);
        CHECK(j.drawnCount == 0);
        CHECK(s.At(15, 15) == 0);
    }
    SECTION("a soft edge spreads the image past its edges, centred")
    {
        FxPath *p = s.Add(40, 10, 20, 20, kBlue);
        p->head->blur[0] = p->head->blur[1] = 2;
        REQUIRE(s.Frame(1) == 0);
        int inside = int(s.At(50, 20) >> 24), edge = int(s.At(40, 20) >> 24), out = int(s.At(38, 20) >> 24),
            farAway = int(s.At(30, 20) >> 24);
        CHECK(inside == 255);
        CHECK(edge < 255);
        CHECK(edge > 64);
        CHECK(out > 0);
        CHECK(out < edge);
        CHECK(farAway == 0);
        // Symmetric about the object's centre.
        CHECK(int(s.At(59, 20) >> 24) == Approx(edge).margin(2));
        CHECK(int(s.At(61, 20) >> 24) == Approx(out).margin(2));
    }
    SECTION("colour filters change the colour, mosaic makes blocks")
    {
        FxPath *p = s.Add(10, 10, 20, 20, 0);
        Scene::SetImage(p, 20, 20, 0);
        auto *px = static_cast<DWORD *>(p->image.pixels);
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 20; ++x)
                px[y * 20 + x] = 0xFF000000u | DWORD(x * 12) << 16 | DWORD(y * 12);
        REQUIRE(s.Frame(1) == 0);
        DWORD plain = s.At(15, 15);
        p->head->luminance[0] = 40;
        REQUIRE(s.Frame(1) == 0);
        CHECK(s.At(15, 15) != plain);
        CHECK((s.At(15, 15) >> 24) == 255);
        p->head->luminance[0] = 0;
        p->head->mosaic[0] = p->head->mosaic[1] = 4;
        REQUIRE(s.Frame(1) == 0);
        CHECK(s.At(10, 10) == s.At(13, 13));
        CHECK(s.At(10, 10) != s.At(14, 10));
        p->head->mosaic[0] = p->head->mosaic[1] = 1;
        REQUIRE(s.Frame(1) == 0);
        CHECK(s.At(15, 15) == plain);
    }
}

TEST_CASE("Four-corner mapping and whole-pixel moves", "[render][raster][mapping]")
{
    Scene s(64, 48);

    SECTION("a quarter turn maps the image's left half to its top")
    {
        FxPath *p = s.Add(22, 14, 20, 20, 0);
        Scene::SetImage(p, 20, 20, kRed);
        auto *px = static_cast<DWORD *>(p->image.pixels);
        for (int y = 0; y < 20; ++y)
            for (int x = 10; x < 20; ++x)
                px[y * 20 + x] = kGreen;
        p->head->orientation = QuatFromEuler(0, 0, FX_PI / 2);
        REQUIRE(s.Frame(1) == 0);
        DWORD top = s.At(32, 17), bottom = s.At(32, 30);
        // Turned a quarter either way, the halves end up above each other.
        CHECK(top != bottom);
        CHECK(((top == kRed && bottom == kGreen) || (top == kGreen && bottom == kRed)));
        CHECK(s.At(25, 17) == top);
        CHECK(s.At(10, 24) == 0);
    }
    SECTION("a sub-pixel position is mapped with blended edges")
    {
        s.Add(10.5, 10, 10, 10, kRed);
        REQUIRE(s.Frame(1) == 0);
        DWORD edge = s.At(10, 15);
        CHECK((edge >> 24) > 0);
        CHECK((edge >> 24) < 255);
        CHECK(s.At(15, 15) == kRed);
    }
    SECTION("a degenerate quad draws nothing")
    {
        FxPath *p = s.Add(10, 10, 10, 10, kRed);
        double(*c)[3] = p->head->corners;
        const double line[4][2] = { { -5, -5 }, { 0, 0 }, { 5, 5 }, { 0, 0 } };
        for (int i = 0; i < 4; ++i) {
            c[i][0] = line[i][0];
            c[i][1] = line[i][1];
        }
        REQUIRE(s.Frame(1) == 0);
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x)
                REQUIRE(s.At(x, y) == 0);
    }
    SECTION("a move by exactly 3 pixels reuses the mapped layer, 3 pixels to the right")
    {
        FxPath *p = s.Add(10.25, 10, 10, 10, kRed);
        p->head->orientation = QuatFromEuler(0, 0, 0.3);
        Scene::AddKey(p, 2, 3, 0);
        REQUIRE(s.Frame(1) == 0);
        Layer *mapped = p->image.layers[2];
        REQUIRE(mapped);
        std::vector<DWORD> before;
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x)
                before.push_back(s.At(x, y));
        REQUIRE(s.Frame(2) == 0);
        CHECK(p->image.layers[2] == mapped);
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 61; ++x)
                REQUIRE(s.At(x + 3, y) == before[size_t(y * 64 + x)]);
    }
    SECTION("an object partly outside the frame is clipped, one wholly outside skipped")
    {
        s.Add(-5, -5, 10, 10, kRed);
        s.Add(100, 10, 10, 10, kBlue);
        FxRenderJob j = s.Job();
        ClearLayer(s.target);
        REQUIRE(RenderFrames(s.view, s.list, nullptr, &j) == 0);
        CHECK(j.drawnCount == 1);
        CHECK(s.At(0, 0) == kRed);
        CHECK(s.At(4, 4) == kRed);
        CHECK(s.At(5, 5) == 0);
    }
}

TEST_CASE("A mirrored vertical origin renders the picture bottom up", "[render][mapping]")
{
    Scene s(32, 24);
    FxPath *p = s.Add(8, 2, 16, 8, 0);
    Scene::SetImage(p, 16, 8, kRed);
    auto *px = static_cast<DWORD *>(p->image.pixels);
    for (int i = 16 * 4; i < 16 * 8; ++i)
        px[i] = kGreen;   // the lower half
    REQUIRE(s.Frame(1) == 0);
    CHECK(s.At(12, 3) == kRed);
    CHECK(s.At(12, 8) == kGreen);
    CHECK(s.At(12, 12) == 0);
    // Bottom-up rows: picture line y lands on row 23 - y.
    ClearLayer(s.target);
    FxRenderJob j = s.Job();
    j.originMode = 1 | 8;
    REQUIRE(RenderFrames(s.view, s.list, nullptr, &j) == 0);
    CHECK(s.At(12, 23 - 3) == kRed);
    CHECK(s.At(12, 23 - 8) == kGreen);
    CHECK(s.At(12, 3) == 0);
}

TEST_CASE("Interlaced fields", "[render][fields]")
{
    Scene s(16, 12);
    FxPath *p = s.Add(2, 3, 8, 6, kRed);
    FxPath *list[2] = { p, nullptr };
    EvaluatePathAtTime(s.view, p, 1, 0);
    FxRenderJob j = s.Job();

    SECTION("field 1 writes odd lines only")
    {
        ClearLayer(s.target);
        CHECK(RasterizeObjects(s.view, s.target, list, &j, 1) == 1);
        for (int y = 3; y < 9; ++y)
            CHECK(s.At(4, y) == ((y & 1) ? kRed : 0u));
    }
    SECTION("an object at an odd top line starts one line lower on field 0")
    {
        ClearLayer(s.target);
        CHECK(RasterizeObjects(s.view, s.target, list, &j, 0) == 1);
        CHECK(s.At(4, 2) == 0);
        CHECK(s.At(4, 3) == 0);
        CHECK(s.At(4, 4) == kRed);
        CHECK(s.At(4, 5) == 0);
        CHECK(s.At(4, 8) == kRed);
        CHECK(s.At(4, 10) == 0);
    }
    SECTION("inverted parity swaps the fields")
    {
        ClearLayer(s.target);
        j.flags = RJ_INVERT_FIELDS;
        CHECK(RasterizeObjects(s.view, s.target, list, &j, 0) == 1);
        CHECK(s.At(4, 3) == kRed);
        CHECK(s.At(4, 4) == 0);
    }
    SECTION("field steps alternate the fields over a whole render")
    {
        ClearLayer(s.target);
        FxRenderJob r = s.Job(RJ_FIELDS);
        r.stepCount = 2;
        r.fromIndex = 1;
        r.toIndex = 1;
        REQUIRE(RenderFrames(s.view, s.list, nullptr, &r) == 0);
        CHECK(s.At(4, 4) == kRed);   // step 1: field 0
        CHECK(s.At(4, 3) == 0);
    }
}

TEST_CASE("Rendering keeps no reference it does not own", "[render][layers]")
{
    Scene s(32, 24);
    FxPath *plain = s.Add(2, 2, 8, 8, kRed);
    FxPath *soft = s.Add(12, 4, 8, 8, kGreen);
    soft->head->blur[0] = 1;
    FxPath *turned = s.Add(4, 12, 8, 8, kBlue);
    turned->head->orientation = QuatFromEuler(0, 0, 0.5);
    FxPath *cropped = s.Add(20, 14, 8, 8, kRed);
    cropped->head->crop[0] = 25;
    Scene::AddKey(plain, 4, 5, 0);
    for (uint32_t flags : { 0u, RJ_FIELDS, RJ_FIELD_STEPS, RJ_ON_TOP | RJ_CLEAR, RJ_FIELDS | RJ_TARGET_ITSELF }) {
        FxRenderJob j = s.Job(flags);
        REQUIRE(RenderFrames(s.view, s.list, nullptr, &j) == 0);
        INFO("flags " << flags);
        CHECK(s.target->refCount == 1);
        CHECK(s.target->firstChild == nullptr);   // every clipped view was released
    }
    // The object's own layers: the source held by the path and by each
    // keyframe, a filtered copy kept only for a soft edge, the mapped layer.
    // The path, its two keyframes and its work keyframe, and the filtered
    // and mapped slots, which are the source itself here; the same after
    // one more render.
    Layer *src = plain->image.layers[0];
    CHECK(src->refCount == 1 + 2 + 1 + 2);
    FxRenderJob again = s.Job();
    REQUIRE(RenderFrames(s.view, s.list, nullptr, &again) == 0);
    CHECK(src->refCount == 6);
    CHECK(soft->image.layers[1] != nullptr);
    CHECK(soft->image.layers[1] != soft->image.layers[0]);
    CHECK(cropped->image.layers[1] == nullptr);               // released after mapping
    CHECK(turned->image.layers[2] != turned->image.layers[0]);
}

namespace {
int g_linkCode = 0;
Layer *g_linkTarget = nullptr;
FxPath *g_linkFirst = nullptr;
int __cdecl LinkCommand(FxRendererLink *link, int code, void *data)
{
    g_linkCode = code;
    g_linkTarget = link->target;
    g_linkFirst = static_cast<FxRenderJob *>(data)->drawList[0];
    return 1;
}
} // namespace

TEST_CASE("A realtime renderer that draws is handed the frame instead", "[render][link]")
{
    Scene s(16, 16);
    s.Add(2, 2, 4, 4, kRed);
    FxRendererLink link = { LinkCommand, nullptr, 1, nullptr };
    s.view->link = &link;
    FxRenderJob j = s.Job();
    REQUIRE(RenderFrames(s.view, s.list, nullptr, &j) == 0);
    CHECK(g_linkCode == 11);
    CHECK(g_linkTarget == s.target);
    CHECK(g_linkFirst == s.list);
    CHECK(j.drawnCount == 1);
    CHECK(s.At(3, 3) == 0);   // drawn by the realtime renderer, not here
    link.draws = 0;
    REQUIRE(RenderFrames(s.view, s.list, nullptr, &j) == 0);
    CHECK(s.At(3, 3) == kRed);
    s.view->link = nullptr;
}

TEST_CASE("An effect parsed from FX script renders", "[render][script]")
{
    Scene s(64, 48);
    const char *text = "Path 1:\n"
                       "Keyframe 1.1\n{\n at frame 1, with delay = 0\n Position: x = -16, y = 0, z = 1000.\n"
                       " Shape: Width = 16.000 Height = 16.000\n}\n"
                       "Keyframe 1.2\n{\n at frame 11, with delay = 0\n Position: x = 16, y = 0, z = 1000.\n"
                       " Shape: Width = 16.000 Height = 16.000\n}\n";
    REQUIRE(AppendNewPath(&s.list));
    REQUIRE(parsefx(text, s.list, nullptr, FXS_MEMORY) == 1);
    Scene::SetImage(s.list, 16, 16, kGreen);
    REQUIRE(s.Frame(1) == 0);
    CHECK(s.At(10, 24) == kGreen);   // x from 8 to 24
    CHECK(s.At(30, 24) == 0);
    REQUIRE(s.Frame(11) == 0);
    CHECK(s.At(10, 24) == 0);
    CHECK(s.At(45, 24) == kGreen);   // x from 40 to 56
}

TEST_CASE("Bad input answers cleanly", "[render][errors]")
{
    Scene s(16, 16);
    s.Add(2, 2, 4, 4, kRed);
    FxRenderJob j = s.Job();
    CHECK(RenderFrames(s.view, s.list, nullptr, nullptr) == -1);
    CHECK(RenderFrames(nullptr, s.list, nullptr, &j) == -1);
    CHECK(RenderFrames(s.view, nullptr, nullptr, &j) == -1);
    FxPath *none[1] = { nullptr };
    CHECK(RasterizeObjects(s.view, nullptr, none, &j, 2) == 0);
    CHECK(RasterizeObjects(s.view, s.target, nullptr, &j, 2) == 0);

    SECTION("a zero-size target draws nothing")
    {
        j.width = j.height = 0;
        ClearLayer(s.target);
        REQUIRE(RenderFrames(s.view, s.list, nullptr, &j) == 0);
        CHECK(j.drawnCount == 0);
        CHECK(s.At(3, 3) == 0);
    }
    SECTION("an object without an image is not drawn")
    {
        s.Add(8, 8, 4, 4, 0);
        ClearLayer(s.target);
        REQUIRE(RenderFrames(s.view, s.list, nullptr, &j) == 0);
        CHECK(j.drawnCount == 1);
    }
    SECTION("without the graphics core nothing is drawn and nothing fails")
    {
        FxGraphicsSlots keep = g_fxGraphics;
        g_fxGraphics.CreateCompatibleLayer = nullptr;
        g_fxGraphics.CreateClippedLayer = nullptr;
        g_fxGraphics.FourCornerMapLayer = nullptr;
        g_fxGraphics.CompositOnBottomLayerEx = nullptr;
        ClearLayer(s.target);
        REQUIRE(RenderFrames(s.view, s.list, nullptr, &j) == 0);
        CHECK(s.At(3, 3) == 0);
        g_fxGraphics = keep;
    }
    SECTION("drawing into a view without a window or device context fails at once")
    {
        g_calls.clear();
        j.flags = RJ_DRAW_VIEW;
        j.progress = Record;
        CHECK(RenderFrames(s.view, s.list, nullptr, &j) == -1);
        CHECK(g_calls.empty());
    }
}

namespace {
int g_fuzzCalls = 0;
int FuzzStop(int, FxRenderJob *)
{
    return ++g_fuzzCalls < 60;
}
} // namespace

TEST_CASE("Random jobs never write outside the target", "[render][fuzz]")
{
    Scene s(40, 30);
    // The target of the fuzz is a window into a larger block whose margins
    // must stay as they are.
    const int W = 40, H = 30, pad = 16, pitch = W + 2 * pad;
    const DWORD sentinel = 0x5A5A5A5A;
    std::vector<DWORD> block(size_t(pitch) * (H + 2 * pad), sentinel);
    Layer *target = CreateCompatibleLayer(&block[size_t(pad * pitch + pad)], W, H, pitch * 4);
    REQUIRE(target);

    unsigned seed = 12345;
    auto rnd = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return int((seed >> 8) & 0x7FFFFF);
    };
    auto range = [&](int lo, int hi) { return lo + rnd() % (hi - lo + 1); };
    for (int i = 0; i < 5; ++i) {
        FxPath *p = s.Add(range(-20, 50), range(-20, 40), range(1, 30), range(1, 20), 0xFF000000u | DWORD(rnd()),
                          range(500, 3000), range(1, 4));
        FxKeyframe *k = Scene::AddKey(p, range(5, 12), range(-30, 30), range(-30, 30));
        k->orientation = QuatFromEuler(range(-3, 3) * 0.4, range(-3, 3) * 0.4, range(-6, 6) * 0.5);
        k->fade = range(-10, 110);
        k->blur[0] = range(0, 3);
        k->crop[range(0, 3)] = range(0, 120);
        k->mosaic[0] = range(0, 5);
        k->tint[0] = range(0, 1) * 30;
    }
    const uint32_t allowed = RJ_FIELDS | RJ_PREPOST | RJ_SPAN_ONLY | RJ_ALL_OBJECTS | RJ_ZERO_BASED | RJ_END_POINT |
                             RJ_FIELD_STEPS | RJ_EXTRA_DIVISOR | RJ_TARGET_ITSELF | RJ_FIELD_0 | RJ_FIELD_1 |
                             RJ_REVERSE_DEPTH | RJ_LIST_ORDER | RJ_ON_TOP | RJ_CLEAR | RJ_ODD_STEPS | RJ_EVEN_STEPS |
                             RJ_INVERT_FIELDS | RJ_JITTER | RJ_BACKWARDS | RJ_LOOP | RJ_PING_PONG;
    int rounds = getenv("FX_FUZZ_ROUNDS") ? atoi(getenv("FX_FUZZ_ROUNDS")) : 40;
    for (int r = 0; r < rounds; ++r) {
        FxRenderJob j;
        memset(&j, 0, sizeof j);
        j.flags = uint32_t(rnd()) & allowed;
        j.flags |= (uint32_t(rnd()) << 9) & allowed;
        j.width = range(0, 3) * W / 2.0;
        j.height = range(0, 3) * H / 2.0;
        j.originMode = uint32_t(range(0, 15));
        j.target = target;
        j.fromIndex = range(-3, 25);
        j.toIndex = range(-3, 25);
        j.stepCount = range(0, 30);
        j.increment = range(-3, 3);
        j.rangeStart = range(0, 6);
        j.rangeEnd = range(0, 14);
        j.rangeMode = range(0, 3);
        g_fuzzCalls = 0;
        j.progress = FuzzStop;
        INFO("round " << r << " flags " << std::hex << j.flags);
        int result = RenderFrames(s.view, s.list, nullptr, &j);
        CHECK(result >= -1);
        CHECK(j.drawList == nullptr);
        CHECK(target->refCount == 1);
        int spoilt = 0;
        for (int y = 0; y < H + 2 * pad; ++y)
            for (int x = 0; x < pitch; ++x)
                if ((y < pad || y >= pad + H || x < pad || x >= pad + W) && block[size_t(y * pitch + x)] != sentinel)
                    ++spoilt;
        REQUIRE(spoilt == 0);
    }
    DeleteLayer(target);
}

TEST_CASE("The outline preview draws into the view's device context", "[render][outline]")
{
    Scene s(80, 60);
    FxPath *p = s.Add(20, 15, 40, 30, 0);
    // A white memory picture as the view's device context.
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = s.view->width;
    bi.bmiHeader.biHeight = -s.view->height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void *bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    REQUIRE(bmp);
    HGDIOBJ old = SelectObject(dc, bmp);
    auto *px = static_cast<DWORD *>(bits);
    const int vw = s.view->width, vh = s.view->height;
    auto clear = [&] {
        for (int i = 0; i < vw * vh; ++i)
            px[i] = 0xFFFFFF;
        memset(s.view->dirty, 0, sizeof s.view->dirty);
        s.view->flags &= ~VIEW_DIRTY_VALID;
    };
    auto inked = [&](int x, int y) { return (px[y * vw + x] & 0xFFFFFF) != 0xFFFFFF; };
    s.view->dc = dc;
    FxRenderJob j = s.Job();
    j.target = nullptr;

    SECTION("the corner polygon and the update rectangle")
    {
        clear();
        j.flags = RJ_DRAW_VIEW;
        REQUIRE(RenderFrames(s.view, s.list, nullptr, &j) == 0);
        const FxKeyframe &w = p->work;
        int x0 = int(w.screenCorners[0][0]), y0 = int(w.screenCorners[0][1]);
        int x2 = int(w.screenCorners[2][0]), y2 = int(w.screenCorners[2][1]);
        CHECK(inked((x0 + x2) / 2, y0));   // top edge
        CHECK(inked(x0, (y0 + y2) / 2));   // left edge
        CHECK_FALSE(inked(x0 + 3, y0 + 3));
        CHECK(inked(w.screenCentre[0] + 8, w.screenCentre[1]));   // the number's circle
        CHECK((s.view->flags & VIEW_DIRTY_VALID) != 0);
        CHECK(s.view->dirty[0] <= x0);
        CHECK(s.view->dirty[0] + s.view->dirty[2] >= x2);
        CHECK(s.view->dc == dc);   // a device context the view had stays
    }
    SECTION("an object without an outline of its own gets the default one")
    {
        // The alternate style's default crosses the object through its
        // centre; the plain default lies on the corner polygon.
        clear();
        j.flags = RJ_DRAW_VIEW;
        REQUIRE(RenderFrames(s.view, s.list, nullptr, &j) == 0);
        const FxKeyframe &w = p->work;
        const int cx = int((w.screenCorners[0][0] + w.screenCorners[2][0]) / 2);
        const int qy = int(w.screenCorners[0][1] + (w.screenCorners[2][1] - w.screenCorners[0][1]) / 4);
        REQUIRE(cx > 0);
        CHECK_FALSE(inked(cx, qy));
        clear();
        s.view->flags |= VIEW_ALTERNATE_SHAPE;
        REQUIRE(RenderFrames(s.view, s.list, nullptr, &j) == 0);
        CHECK(inked(cx, qy));
        s.view->flags &= ~VIEW_ALTERNATE_SHAPE;
    }
    SECTION("without the outline nothing is drawn; without the rectangle nothing is collected")
    {
        clear();
        j.flags = RJ_DRAW_VIEW | RJ_NO_OUTLINE;
        REQUIRE(RenderFrames(s.view, s.list, nullptr, &j) == 0);
        int inkedCount = 0;
        for (int i = 0; i < vw * vh; ++i)
            inkedCount += (px[i] & 0xFFFFFF) != 0xFFFFFF;
        CHECK(inkedCount == 0);
        clear();
        FxRenderJob k = s.Job(RJ_DRAW_VIEW | RJ_NO_UPDATE_RECT);
        k.target = nullptr;
        REQUIRE(RenderFrames(s.view, s.list, nullptr, &k) == 0);
        CHECK((s.view->flags & VIEW_DIRTY_VALID) == 0);
    }
    s.view->dc = nullptr;
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
}
