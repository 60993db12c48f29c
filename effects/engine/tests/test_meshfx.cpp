// Warp shapes and mesh effects: the built-in list, the table built from
// the plug-in enumeration with effect objects of our own, parameter
// conversion, building meshes with the warp values, the realtime cost and
// presets; then the back-to-front walk of a hand-made mesh tree and the
// depth sort of loose triangles.
#include <catch2/catch.hpp>

#include <cstring>
#include <map>
#include <vector>

#include "fxedit.h"
#include "fxeval.h"
#include "fxutil.h"

namespace {

const GUID kA = {0xA, 1, 1, {1, 2, 3, 4, 5, 6, 7, 8}};
const GUID kB = {0xB, 1, 1, {1, 2, 3, 4, 5, 6, 7, 8}};
const GUID kC = {0xC, 1, 1, {1, 2, 3, 4, 5, 6, 7, 8}};   // its object cannot be made
const GUID kNone = {0xD, 1, 1, {1, 2, 3, 4, 5, 6, 7, 8}};

// A mesh effect whose parameters are described by a table; it records what
// is set and builds a block whose cost word is `meshCost`.
struct FakeEffect : FxMeshEffect {
    std::vector<FxMeshParamDesc> desc;
    std::map<int, double> set;        // index -> value as stored
    int costAnswer = 0, first = 0, second = 0;
    int meshCost = 0;
    int buildFails = 0;
    int builds = 0;
    std::vector<std::vector<char>> presetStore;
    bool presetNull = false;
    bool second_ = false;

    int ParamCount(int *n) override
    {
        *n = int(desc.size());
        return 0;
    }
    int ParamDescriptor(int i, FxMeshParamDesc *out) override
    {
        if (i < 0 || i >= int(desc.size()))
            return 1;
        *out = desc[size_t(i)];
        return 0;
    }
    int SetParam(int i, const void *v) override
    {
        switch (desc[size_t(i)].type) {
        case 1: case 7: set[i] = *static_cast<const int32_t *>(v); break;
        case 4: set[i] = *static_cast<const float *>(v); break;
        case 5: set[i] = *static_cast<const double *>(v); break;
        default: set[i] = 1e300; break;   // never expected
        }
        return 0;
    }
    int BuildMesh(ByteBuffer *b) override
    {
        ++builds;
        if (buildFails)
            return 1;
        auto *h = reinterpret_cast<FxMeshHeader *>(b->Reserve(sizeof(FxMeshHeader)));
        *h = {};
        h->kind = 6;
        h->cost = meshCost;
        return 0;
    }
    int RealtimeCost(int *a, int *b) override
    {
        *a = first;
        *b = second;
        return costAnswer;
    }
    int PresetCount(int *n) override
    {
        *n = int(presetStore.size());
        return 0;
    }
    int PresetValues(void **values, int preset) override
    {
        for (size_t i = 0; i < desc.size() && i < 30; ++i)
            values[i] = presetNull && i == 1 ? nullptr : presetStore[size_t(preset)].data() + 8 * i;
        return 0;
    }
};

FxMeshParamDesc P(int type, const char *name, int hasMin = 0, double mn = 0, int hasMax = 0, double mx = 0,
                  double def = 0)
{
    FxMeshParamDesc d = {};
    d.type = type;
    lstrcpynA(d.name, name, sizeof d.name);
    d.hasMinimum = hasMin;
    d.minimum = mn;
    d.hasMaximum = hasMax;
    d.maximum = mx;
    d.defaultValue = def;
    return d;
}

// The objects made, by GUID, in the order made (evaluator, then picon).
std::vector<std::pair<GUID, FakeEffect *>> g_made;
int g_enumerations;

// A has two sizes and three parameters; B has twenty parameters of mixed
// types.
std::vector<FxMeshParamDesc> Describe(const GUID &id)
{
    std::vector<FxMeshParamDesc> d = {P(5, "width"), P(5, "height")};
    if (IsEqualGUID(id, kA)) {
        d.push_back(P(1, "Count", 1, 0, 1, 1000, 12));
        d.push_back(P(4, "Bend", 0, 0, 0, 0, 0.5));
        d.push_back(P(7, "Steps"));
    } else {
        for (int i = 2; i < 20; ++i)
            d.push_back(P(i % 3 == 0 ? 1 : i % 3 == 1 ? 4 : 5, "p", 1, -1, 1, 1));
    }
    return d;
}

int WINAPI_Enum(FxMeshEnumCallback cb, void *ctx)
{
    ++g_enumerations;
    for (const GUID *g : {&kA, &kC, &kB}) {
        MeshEffectInfo info = {};
        info.id = *g;
        snprintf(info.name, sizeof info.name, "Effect %lX", (unsigned long)g->Data1);
        if (!cb(ctx, &info))
            break;
    }
    return 0;
}

FxMeshEffect *Make(const GUID &id)
{
    if (IsEqualGUID(id, kC))
        return nullptr;
    auto *e = new FakeEffect();
    e->desc = Describe(id);
    g_made.push_back({id, e});
    return e;
}

FakeEffect *Evaluator(const GUID &id)
{
    int i = 0;
    for (; i < g_fxMeshTable.count; ++i)
        if (IsEqualGUID(g_fxMeshTable.entries[i].info.id, id))
            return static_cast<FakeEffect *>(g_fxMeshTable.entries[i].evaluator);
    return nullptr;
}

FakeEffect *Picon(const GUID &id)
{
    for (int i = 0; i < g_fxMeshTable.count; ++i)
        if (IsEqualGUID(g_fxMeshTable.entries[i].info.id, id))
            return static_cast<FakeEffect *>(g_fxMeshTable.entries[i].picon);
    return nullptr;
}

struct MeshEffects {
    MeshEffects()
    {
        g_made.clear();
        g_enumerations = 0;
        g_fxEnumMeshEffects = WINAPI_Enum;
        g_fxMakeMeshEffect = Make;
        REQUIRE(InitShapeList(1) == 2);
    }
    ~MeshEffects()
    {
        FreeMeshTable();
        InitShapeList(0);
        g_fxEnumMeshEffects = nullptr;
        g_fxMakeMeshEffect = nullptr;
        g_fxMakeWarpBuffer = nullptr;
        g_fxMeshEffectCost = nullptr;
    }
};

}  // namespace

TEST_CASE("The built-in warp shapes", "[shapes]")
{
    REQUIRE(InitShapeList(0) == 5);
    int n = 0;
    const FxShapeEntry *list = GetShapeList(&n);
    struct Want { const char *name; int id, params, filter; };
    const Want want[] = {{"Page Curl", 9000, 6, 1}, {"Splash", 9001, 6, 2}, {"Sphere", 9002, 6, 3},
                         {"Bursts and Shears", 9003, 7, 4}, {"Pinches", 9004, 4, 13}};
    REQUIRE(n == 5);
    for (int i = 0; i < 5; ++i) {
        CHECK(std::string(list[i].name) == want[i].name);
        CHECK(list[i].id == want[i].id);
        CHECK(list[i].paramCount == want[i].params);
        CHECK(list[i].filter == want[i].filter);
        CHECK(list[i].mesh == 0);
    }
    CHECK(FindShapeById(9002) == &list[2]);
    CHECK(FindShapeById(8999) == nullptr);
}

TEST_CASE("Mesh effects become shapes and warps once", "[shapes][mesh]")
{
    MeshEffects fx;
    CHECK(g_enumerations == 1);
    CHECK(g_fxMeshTable.count == 3);   // C stays in the table, not valid
    int n = 0;
    const FxShapeEntry *list = GetShapeList(&n);
    REQUIRE(n == 2);
    CHECK(std::string(list[0].name) == "Effect A");
    CHECK(std::string(list[1].name) == "Effect B");
    for (int i = 0; i < 2; ++i) {
        CHECK(list[i].id == 9004);
        CHECK(list[i].filter == 1);
        CHECK(list[i].mesh == 1);
    }
    // A's parameters after the two sizes: a bounded whole number, an
    // unbounded single, an unbounded whole number.
    REQUIRE(list[0].paramCount == 3);
    const FxShapeParam *p = list[0].params;
    CHECK(std::string(p[0].name) == "Count");
    CHECK((p[0].minimum == 0 && p[0].maximum == 1000 && p[0].step == Approx(1.0) && p[0].defaultValue == 12));
    CHECK((p[1].minimum == -100.0 && p[1].maximum == 100.0 && p[1].step == 0.1));
    CHECK(p[2].step == 1.0);
    CHECK(list[1].paramCount == 16);   // B's eighteen, cut to sixteen

    CHECK(FindMeshEffectByGuid(&kA) == 0);
    CHECK(FindMeshEffectByGuid(&kB) == 1);   // counted among the valid entries
    CHECK(FindMeshEffectByGuid(&kC) == -1);
    CHECK(FindMeshEffectByGuid(&kNone) == -1);
    CHECK(FindMeshEffectByGuid(nullptr) == -1);

    REQUIRE(g_fxWarps.count == 2);
    CHECK(IsEqualGUID(g_fxWarps.entries[1].id, kB));
    CHECK(g_fxWarps.entries[0].paramCount == 3);
    CHECK(g_fxWarps.entries[0].params[0].defaultValue == 12);

    // A second call reuses the list.
    CHECK(InitShapeList(1) == 2);
    CHECK(g_enumerations == 1);
}

TEST_CASE("Meshes are built with the sizes and the warp values", "[mesh]")
{
    MeshEffects fx;
    double warp[16];
    for (int i = 0; i < 16; ++i)
        warp[i] = -2.75 - i;

    SECTION("sizes first, then the warp values by type; whole numbers toward zero")
    {
        FakeEffect *a = Evaluator(kA);
        ByteBuffer *b = CreateMeshData(&kA, warp, 640, 480, 0, nullptr);
        REQUIRE(b);
        CHECK(a->builds == 1);
        CHECK(a->set == std::map<int, double>{{0, 640}, {1, 480}, {2, -2}, {3, float(-3.75)}, {4, -4}});
        delete b;
    }

    SECTION("an effect of two parameters takes only the sizes")
    {
        FakeEffect *a = Evaluator(kA);
        a->desc.resize(2);
        ByteBuffer own;
        CHECK(CreateMeshData(&kA, warp, 1, 2, 0, &own) == &own);
        CHECK(a->set == std::map<int, double>{{0, 1}, {1, 2}});
    }

    SECTION("more than eighteen parameters: only sixteen warp values")
    {
        FakeEffect *b = Evaluator(kB);
        ByteBuffer own;
        REQUIRE(CreateMeshData(&kB, warp, 1, 1, 0, &own) == &own);
        CHECK(b->set.size() == 18);
        CHECK(b->set.count(17) == 1);
        CHECK(b->set.count(18) == 0);
    }

    SECTION("the second object serves the picons; the entry found is remembered")
    {
        ByteBuffer own;
        REQUIRE(CreateMeshData(&kB, warp, 1, 0.75, 1, &own) == &own);
        CHECK(Picon(kB)->builds == 1);
        CHECK(Evaluator(kB)->builds == 0);
        CHECK(g_fxMeshTable.lastUsed == 2);
        REQUIRE(CreateMeshData(&kA, warp, 1, 1, 0, &own));
        CHECK(g_fxMeshTable.lastUsed == 0);
    }

    SECTION("no effect, no mesh; a failed build returns nothing")
    {
        CHECK(CreateMeshData(&kNone, warp, 1, 1, 0, nullptr) == nullptr);
        CHECK(CreateMeshData(&kC, warp, 1, 1, 0, nullptr) == nullptr);
        CHECK(CreateMeshData(nullptr, warp, 1, 1, 0, nullptr) == nullptr);
        Evaluator(kA)->buildFails = 1;
        CHECK(CreateMeshData(&kA, warp, 1, 1, 0, nullptr) == nullptr);
        ByteBuffer own;
        CHECK(CreateMeshData(&kA, warp, 1, 1, 0, &own) == nullptr);
    }

    SECTION("the evaluator's warp buffer comes from the table")
    {
        REQUIRE(g_fxMakeWarpBuffer);
        ByteBuffer *b = g_fxMakeWarpBuffer(kA, warp, 32, 16, nullptr);
        REQUIRE(b);
        CHECK(Evaluator(kA)->set[0] == 32);
        DeleteWarpBuffer(0, uintptr_t(b));
    }
}

TEST_CASE("The realtime cost of a mesh effect", "[mesh]")
{
    MeshEffects fx;
    double warp[16] = {};
    FakeEffect *a = Evaluator(kA);

    a->first = 100;
    a->second = 30;
    CHECK(MeshEffectCost(&kA, warp, 1, 1) == 160);
    CHECK(a->builds == 0);

    // No answer: the cost word of a built mesh.
    a->costAnswer = 1;
    a->meshCost = 777;
    CHECK(MeshEffectCost(&kA, warp, 1, 1) == 777);
    // A mesh that cannot be built costs nothing, whatever was built before.
    a->buildFails = 1;
    CHECK(MeshEffectCost(&kA, warp, 1, 1) == 0);

    CHECK(MeshEffectCost(&kNone, warp, 1, 1) == 0);   // a built-in warp
    CHECK(MeshEffectCost(nullptr, warp, 1, 1) == 0);
    REQUIRE(g_fxMeshEffectCost);
    a->buildFails = 0;
    CHECK(g_fxMeshEffectCost(kA, warp, 1, 1) == 777);
}

TEST_CASE("Presets of a mesh effect", "[mesh]")
{
    MeshEffects fx;
    FakeEffect *a = Evaluator(kA);
    // Five parameters: double, double, whole, single, whole.
    std::vector<char> store(8 * 5);
    double d0 = 1.5, d1 = -2.5;
    int32_t i2 = 42, i4 = -7;
    float f3 = 0.25f;
    memcpy(&store[0], &d0, 8);
    memcpy(&store[8], &d1, 8);
    memcpy(&store[16], &i2, 4);
    memcpy(&store[24], &f3, 4);
    memcpy(&store[32], &i4, 4);
    a->presetStore = {store, store};

    CHECK(GetMeshPresetCount(&kA) == 2);
    CHECK(GetMeshPresetCount(&kNone) == 0);
    CHECK(GetMeshPresetCount(nullptr) == 0);

    double values[5] = {9, 9, 9, 9, 9};
    REQUIRE(GetMeshPreset(&kA, 1, values) == 1);
    CHECK(values[0] == 1.5);
    CHECK(values[1] == -2.5);
    CHECK(values[2] == 42);
    CHECK(values[3] == 0.25);
    CHECK(values[4] == -7);

    a->presetNull = true;
    CHECK(GetMeshPreset(&kA, 0, values) == 0);
    CHECK(GetMeshPreset(&kNone, 0, values) == 0);
    a->desc.clear();
    CHECK(GetMeshPreset(&kA, 0, values) == 1);
}

TEST_CASE("Without plug-ins there are no mesh shapes", "[shapes][mesh]")
{
    FreeMeshTable();
    g_fxEnumMeshEffects = nullptr;
    CHECK(InitShapeList(1) == 0);
    CHECK(g_fxWarps.count == 0);
    double warp[16] = {};
    CHECK(MeshEffectCost(&kA, warp, 1, 1) == 0);
    FreeMeshTable();
    InitShapeList(0);
    g_fxMakeWarpBuffer = nullptr;
    g_fxMeshEffectCost = nullptr;
}

// ---------------------------------------------------------------- drawing

namespace {

// A mesh data block with the given nodes, `faces` faces (face i's first
// corner names position i) and positions whose z is given.
std::vector<int32_t> Block(const std::vector<FxMeshNode> &nodes, int faces, const std::vector<float> &z = {})
{
    int positions = std::max(int(z.size()), faces);
    std::vector<int32_t> b(8);
    b[0] = 6;
    b[3] = positions;
    b[6] = int32_t(nodes.size());
    for (int i = 0; i < positions; ++i) {
        float xyz[3] = {0, 0, i < int(z.size()) ? z[size_t(i)] : 0.f};
        for (float f : xyz) {
            int32_t w;
            memcpy(&w, &f, 4);
            b.push_back(w);
        }
    }
    for (const FxMeshNode &n : nodes) {
        int32_t w[FX_MESH_NODE_WORDS];
        memcpy(w, &n, sizeof w);
        b.insert(b.end(), w, w + FX_MESH_NODE_WORDS);
    }
    for (int f = 0; f < faces; ++f) {
        std::vector<int32_t> face(FX_MESH_FACE_WORDS, 0);
        face[0] = f;
        b.insert(b.end(), face.begin(), face.end());
    }
    return b;
}

FxMeshNode N(int kind, int l1, int l2, int l3, int first = 0, int count = 0)
{
    FxMeshNode n = {};
    n.kind = kind;
    n.link[0] = l1;
    n.link[1] = l2;
    n.link[2] = l3;
    n.first = first;
    n.count = count;
    return n;
}

FxMeshNode Plane(FxMeshNode n, bool second, float z)
{
    float *normal = second ? n.normal2 : n.normal;
    normal[2] = z;
    return n;
}

struct Drawn {
    MeshTreeWalker walker;
    std::vector<int> faces;
    static void Record(void *ctx, const int32_t *face) { static_cast<Drawn *>(ctx)->faces.push_back(face[0]); }
    std::vector<int> Walk(const std::vector<int32_t> &block, float eyeZ)
    {
        REQUIRE(walker.Attach(block.data(), block.size() * 4));
        walker.eye[2] = eyeZ;
        walker.drawFace = Record;
        walker.context = this;
        faces.clear();
        WalkMeshTree(&walker, 0);
        return faces;
    }
};

}  // namespace

TEST_CASE("Mesh trees are walked back to front", "[meshdraw]")
{
    using V = std::vector<int>;
    struct Case {
        const char *what;
        std::vector<FxMeshNode> nodes;
        int faces;
        float eye;
        V want;
    };
    const Case cases[] = {
        {"kind 0: before, the face, after, then the chain", {N(0, 3, 1, 2, 0), N(0, -1, -1, -1, 1), N(0, -1, -1, -1, 2), N(0, -1, -1, -1, 3)}, 4, 1, V{1, 0, 2, 3}},
        {"kind 1: a run of faces", {N(1, -1, -1, -1, 1, 3)}, 5, 1, V{1, 2, 3}},
        {"kind 2 seen from the front", {Plane(N(2, -1, -1, -1, 0, 3), false, 1)}, 3, 5, V{0, 1, 2}},
        {"kind 2 seen from behind: reversed", {Plane(N(2, -1, -1, -1, 0, 3), false, 1)}, 3, -5, V{2, 1, 0}},
        {"kind 3 behind the plane", {Plane(N(3, 1, 2, 3), true, 1), N(0, -1, -1, -1, 1), N(0, -1, -1, -1, 2), N(0, -1, -1, -1, 3)}, 4, -1, V{1, 3, 2}},
        {"kind 3 exactly on the plane counts as in front", {Plane(N(3, 1, 2, 3), true, 1), N(0, -1, -1, -1, 1), N(0, -1, -1, -1, 2), N(0, -1, -1, -1, 3)}, 4, 0, V{2, 3, 1}},
        {"kind 6 picks a side", {Plane(N(6, 1, 2, -1), true, 1), N(0, -1, -1, -1, 1), N(0, -1, -1, -1, 2)}, 3, -2, V{2}},
        {"kind 7: a list of nodes, reversed from behind", {Plane(N(7, -1, -1, -1, 1, 2), false, 1), N(0, -1, -1, -1, 1), N(0, -1, -1, -1, 2)}, 3, -2, V{2, 1}},
        {"kind 5 and unknown kinds end the walk", {N(0, 1, -1, -1, 0), N(5, 2, -1, -1), N(0, -1, -1, -1, 1)}, 2, 1, V{0}},
        {"an unknown kind", {N(9, 1, -1, -1), N(0, -1, -1, -1, 0)}, 1, 1, V{}},
        {"indices outside the arrays are skipped", {N(0, 99, 57, -1, 500), N(1, -1, -1, -1, 0, 10)}, 2, 1, V{}},
    };
    for (const Case &c : cases) {
        INFO(c.what);
        Drawn d;
        CHECK(d.Walk(Block(c.nodes, c.faces), c.eye) == c.want);
    }

    SECTION("a tree that loops ends")
    {
        Drawn d;
        std::vector<int> faces = d.Walk(Block({N(0, 1, 0, -1, 0), N(0, 0, 1, -1, 1)}, 2), 1);
        CHECK(faces.size() < 100);
    }

    SECTION("kind 4 sorts its triangles by their nearest corner")
    {
        Drawn d;
        // Faces 0..2 name positions 0..2 in their first corner; their other
        // corners name position 0 (z 5).
        std::vector<int32_t> block = Block({N(4, -1, -1, -1, 0, 3)}, 3, {5, -1, 3});
        CHECK(d.Walk(block, 1) == V{1, 2, 0});
    }
}

TEST_CASE("Depth comparison and the triangle sort", "[meshdraw]")
{
    float a[3] = {0, 0, 1}, b[3] = {5, 5, 2}, c[3] = {9, 9, 1};
    CHECK(CompareDepth(a, b) == -1);
    CHECK(CompareDepth(b, a) == 1);
    CHECK(CompareDepth(a, c) == 0);

    MeshTreeWalker w;
    CHECK_FALSE(w.Attach(nullptr, 0));
    std::vector<int32_t> block = Block({}, 1);
    CHECK_FALSE(w.Attach(block.data(), 16));
    block[3] = 1000;   // more positions than the block holds
    CHECK_FALSE(w.Attach(block.data(), block.size() * 4));
    block[3] = -1;
    CHECK_FALSE(w.Attach(block.data(), block.size() * 4));

    // Equal depths keep their order; a triangle naming no known position
    // still gets drawn.
    Drawn d;
    std::vector<int32_t> tri = Block({}, 4, {2, 2, -3, 0});
    REQUIRE(d.walker.Attach(tri.data(), tri.size() * 4));
    d.walker.drawFace = Drawn::Record;
    d.walker.context = &d;
    DrawSortedTriangles(&d.walker, d.walker.faces, 4);
    CHECK(d.faces == std::vector<int>{2, 3, 0, 1});
    DrawSortedTriangles(&d.walker, nullptr, 4);
    DrawSortedTriangles(nullptr, d.walker.faces, 4);
    CHECK(d.faces.size() == 4);
}
