// The warp shapes and the table of mesh effects: building the table from
// the plug-in enumeration, setting an effect's parameters from a
// keyframe's warp values, building its mesh, its realtime cost and its
// presets.
#include "fxutil.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "fxedit.h"
#include "fxeval.h"

int (*g_fxEnumMeshEffects)(FxMeshEnumCallback callback, void *context) = nullptr;
FxMeshEffect *(*g_fxMakeMeshEffect)(const GUID &id) = nullptr;
FxMeshTable g_fxMeshTable = {nullptr, 0, -1};

namespace {

constexpr int MESH_SHAPE_ID = 9004;
constexpr int MAX_WARP_PARAMS = 16;
constexpr int PRESET_VALUES = 30;

const FxShapeEntry kBuiltIn[] = {
    {"Page Curl", 9000, 6, 0, 0, nullptr, 1, 0, {}, {}},
    {"Splash", 9001, 6, 0, 0, nullptr, 2, 0, {}, {}},
    {"Sphere", 9002, 6, 0, 0, nullptr, 3, 0, {}, {}},
    {"Bursts and Shears", 9003, 7, 0, 0, nullptr, 4, 0, {}, {}},
    {"Pinches", 9004, 4, 0, 0, nullptr, 13, 0, {}, {}},
};

FxShapeEntry *g_meshShapes;
int g_meshShapeCount;
bool g_meshShapesBuilt;
bool g_withMesh;
FxWarpEntry *g_warps;
ByteBuffer *g_costScratch;

int Capacity(const FxMeshTable &t)
{
    int c = 8;
    while (c < t.count)
        c *= 2;
    return c;
}

bool Valid(const FxMeshEntry &e)
{
    return e.evaluator != nullptr;
}

// The table index of the valid entry with this GUID, or -1.
int FindEntry(const GUID *id)
{
    if (!id)
        return -1;
    for (int i = 0; i < g_fxMeshTable.count; ++i)
        if (Valid(g_fxMeshTable.entries[i]) && IsEqualGUID(g_fxMeshTable.entries[i].info.id, *id))
            return i;
    return -1;
}

FxMeshEntry *EntryOf(const GUID *id)
{
    int i = FindEntry(id);
    return i < 0 ? nullptr : &g_fxMeshTable.entries[i];
}

// Sets parameter `index` from a double by its descriptor's type; other
// types are left alone.
void SetByType(FxMeshEffect *fx, int index, double v)
{
    FxMeshParamDesc d = {};
    fx->ParamDescriptor(index, &d);
    switch (d.type) {
    case 1:
    case 7: {
        int32_t n = int32_t(v);   // toward zero
        fx->SetParam(index, &n);
        break;
    }
    case 4: {
        float f = float(v);
        fx->SetParam(index, &f);
        break;
    }
    case 5:
        fx->SetParam(index, &v);
        break;
    default:
        break;
    }
}

int ParamCount(FxMeshEffect *fx)
{
    int n = 0;
    fx->ParamCount(&n);
    return n;
}

// Parameters 2 .. n - 1 from the warp values (at most sixteen of them).
void SetWarpParams(FxMeshEffect *fx, int n, const double params[16])
{
    for (int i = 2; i < n && i - 2 < MAX_WARP_PARAMS; ++i)
        SetByType(fx, i, params ? params[i - 2] : 0.0);
}

// A shape parameter from an effect's descriptor.
void ConvertParam(const FxMeshParamDesc &d, FxShapeParam *p)
{
    p->kind = 1;
    lstrcpynA(p->name, d.name, sizeof p->name);
    p->minimum = d.hasMinimum ? d.minimum : -100.0;
    p->maximum = d.hasMaximum ? d.maximum : 100.0;
    if (d.hasMinimum && d.hasMaximum)
        p->step = (p->maximum - p->minimum) * 0.001;
    else
        p->step = (d.type == 1 || d.type == 7) ? 1.0 : 0.1;
    p->defaultValue = d.defaultValue;
}

ByteBuffer *MakeWarpBuffer(const GUID &id, const double params[16], double width, double height, ByteBuffer *existing)
{
    return CreateMeshData(&id, params, width, height, 0, existing);
}

int WarpCost(const GUID &id, const double params[16], double a, double b)
{
    return MeshEffectCost(&id, params, a, b);
}

// The evaluator's warp table: one entry per valid mesh effect, in order.
void FillWarpTable()
{
    delete[] g_warps;
    g_warps = nullptr;
    g_fxWarps = {};
    int valid = 0;
    for (int i = 0; i < g_fxMeshTable.count; ++i)
        valid += Valid(g_fxMeshTable.entries[i]);
    if (!valid)
        return;
    g_warps = new (std::nothrow) FxWarpEntry[valid]();
    if (!g_warps)
        return;
    int w = 0;
    for (int s = 0; s < g_meshShapeCount; ++s) {
        const FxShapeEntry &shape = g_meshShapes[s];
        FxWarpEntry &e = g_warps[w++];
        e.id = shape.meshId;
        e.paramCount = shape.paramCount;
        for (int p = 0; p < shape.paramCount; ++p) {
            e.params[p].kind = shape.storage[p].kind;
            e.params[p].defaultValue = shape.storage[p].defaultValue;
            e.params[p].computedValue = shape.storage[p].defaultValue;
        }
    }
    g_fxWarps.entries = g_warps;
    g_fxWarps.count = w;
}

void BuildMeshShapes()
{
    FreeMeshTable();
    if (g_fxEnumMeshEffects)
        g_fxEnumMeshEffects(reinterpret_cast<FxMeshEnumCallback>(RegisterMeshEffect), &g_fxMeshTable);
    delete[] g_meshShapes;
    g_meshShapes = nullptr;
    g_meshShapeCount = 0;
    if (g_fxMeshTable.count > 0)
        g_meshShapes = new (std::nothrow) FxShapeEntry[g_fxMeshTable.count]();
    for (int i = 0; g_meshShapes && i < g_fxMeshTable.count; ++i) {
        FxMeshEntry &e = g_fxMeshTable.entries[i];
        if (g_fxMakeMeshEffect) {
            e.evaluator = g_fxMakeMeshEffect(e.info.id);
            e.picon = g_fxMakeMeshEffect(e.info.id);
        }
        if (!Valid(e))
            continue;
        FxShapeEntry &s = g_meshShapes[g_meshShapeCount++];
        memcpy(s.name, e.info.name, sizeof s.name);
        s.name[sizeof s.name - 1] = 0;
        s.id = MESH_SHAPE_ID;
        s.filter = 1;
        s.mesh = 1;
        s.meshId = e.info.id;
        // The effect's own parameters follow the two sizes it is given.
        int n = ParamCount(e.evaluator);
        int count = 0;
        for (int p = 2; p < n && count < MAX_WARP_PARAMS; ++p) {
            FxMeshParamDesc d = {};
            e.evaluator->ParamDescriptor(p, &d);
            ConvertParam(d, &s.storage[count++]);
        }
        s.paramCount = count;
        s.params = s.storage;
    }
    FillWarpTable();
    g_fxMakeWarpBuffer = MakeWarpBuffer;
    g_fxMeshEffectCost = WarpCost;
}

}  // namespace

int RegisterMeshEffect(void *table, const MeshEffectInfo *info)
{
    auto *t = static_cast<FxMeshTable *>(table);
    if (!t || !info)
        return 1;
    if (t->count == 0 || t->count == Capacity(*t)) {
        int cap = t->count == 0 ? 8 : Capacity(*t) * 2;
        auto *grown = static_cast<FxMeshEntry *>(realloc(t->entries, size_t(cap) * sizeof(FxMeshEntry)));
        if (!grown)
            return 0;
        t->entries = grown;
    }
    FxMeshEntry &e = t->entries[t->count++];
    e.info = *info;
    e.evaluator = nullptr;
    e.picon = nullptr;
    return 1;
}

void FreeMeshTable()
{
    for (int i = 0; i < g_fxMeshTable.count; ++i) {
        delete g_fxMeshTable.entries[i].evaluator;
        delete g_fxMeshTable.entries[i].picon;
    }
    free(g_fxMeshTable.entries);
    g_fxMeshTable = {nullptr, 0, -1};
    if (g_fxWarps.entries == g_warps)
        g_fxWarps = {};
    delete[] g_warps;
    g_warps = nullptr;
    delete[] g_meshShapes;
    g_meshShapes = nullptr;
    g_meshShapeCount = 0;
    g_meshShapesBuilt = false;
}

int InitShapeList(int withMesh)
{
    g_withMesh = withMesh != 0;
    if (g_withMesh && !g_meshShapesBuilt) {
        BuildMeshShapes();
        g_meshShapesBuilt = true;
    }
    int n = 0;
    GetShapeList(&n);
    return n;
}

const FxShapeEntry *GetShapeList(int *count)
{
    if (g_withMesh) {
        if (count)
            *count = g_meshShapeCount;
        return g_meshShapes;
    }
    if (count)
        *count = int(sizeof kBuiltIn / sizeof kBuiltIn[0]);
    return kBuiltIn;
}

const FxShapeEntry *FindShapeById(int32_t id)
{
    int n = 0;
    const FxShapeEntry *list = GetShapeList(&n);
    for (int i = 0; i < n; ++i)
        if (list[i].id == id)
            return &list[i];
    return nullptr;
}

int FindMeshEffectByGuid(const GUID *id)
{
    if (!id)
        return -1;
    int valid = 0;
    for (int i = 0; i < g_fxMeshTable.count; ++i) {
        const FxMeshEntry &e = g_fxMeshTable.entries[i];
        if (!Valid(e))
            continue;
        if (IsEqualGUID(e.info.id, *id))
            return valid;
        ++valid;
    }
    return -1;
}

ByteBuffer *CreateMeshData(const GUID *id, const double params[16], double a, double b, int secondObject,
                           ByteBuffer *buffer)
{
    if (!id)
        return nullptr;
    FxMeshTable &t = g_fxMeshTable;
    int index = -1;
    if (t.lastUsed >= 0 && t.lastUsed < t.count && Valid(t.entries[t.lastUsed]) &&
        IsEqualGUID(t.entries[t.lastUsed].info.id, *id))
        index = t.lastUsed;
    else
        index = FindEntry(id);
    if (index < 0)
        return nullptr;
    t.lastUsed = index;
    FxMeshEffect *fx = secondObject ? t.entries[index].picon : t.entries[index].evaluator;
    if (!fx)
        return nullptr;
    int n = ParamCount(fx);
    if (n > 0)
        SetByType(fx, 0, a);
    if (n > 1)
        SetByType(fx, 1, b);
    SetWarpParams(fx, n, params);
    ByteBuffer *made = nullptr;
    if (!buffer)
        buffer = made = new (std::nothrow) ByteBuffer();
    if (!buffer)
        return nullptr;
    if (fx->BuildMesh(buffer) != 0) {
        delete made;
        return nullptr;
    }
    return buffer;
}

int MeshEffectCost(const GUID *id, const double params[16], double a, double b)
{
    FxMeshEntry *e = EntryOf(id);
    if (!e)
        return 0;
    FxMeshEffect *fx = e->evaluator;
    SetWarpParams(fx, ParamCount(fx), params);
    int first = 0, second = 0;
    if (fx->RealtimeCost(&first, &second) == 0)
        return first + 2 * second;
    if (!g_costScratch)
        g_costScratch = new (std::nothrow) ByteBuffer();
    if (!g_costScratch)
        return 3;
    // A mesh that could not be built costs nothing: never the cost left
    // behind by an earlier mesh.
    if (!CreateMeshData(id, params, a, b, 0, g_costScratch) || g_costScratch->Capacity() < sizeof(FxMeshHeader))
        return 0;
    return reinterpret_cast<const FxMeshHeader *>(g_costScratch->Data())->cost;
}

int GetMeshPresetCount(const GUID *id)
{
    FxMeshEntry *e = EntryOf(id);
    if (!e)
        return 0;
    int n = 0;
    e->evaluator->PresetCount(&n);
    return n;
}

int GetMeshPreset(const GUID *id, int preset, double *values)
{
    FxMeshEntry *e = EntryOf(id);
    if (!e || !values)
        return 0;
    FxMeshEffect *fx = e->evaluator;
    void *pointers[PRESET_VALUES] = {};
    fx->PresetValues(pointers, preset);
    int n = ParamCount(fx);
    if (n < 1)
        return 1;
    // A preset covers at most 30 parameters.
    if (n > PRESET_VALUES)
        n = PRESET_VALUES;
    for (int i = 0; i < n; ++i) {
        if (!pointers[i])
            return 0;
        FxMeshParamDesc d = {};
        fx->ParamDescriptor(i, &d);
        switch (d.type) {
        case 1:
        case 7: values[i] = double(*static_cast<const int32_t *>(pointers[i])); break;
        case 4: values[i] = double(*static_cast<const float *>(pointers[i])); break;
        case 5: values[i] = *static_cast<const double *>(pointers[i]); break;
        default: break;
        }
    }
    return 1;
}
