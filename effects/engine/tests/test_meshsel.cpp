// The mesh page's selector over a store of numbered entries kept in memory
// by the test: groups by mesh GUID, loading, saving with slot numbers and
// the record layout, a full store and a refusing one.
#include <catch2/catch.hpp>

#include <map>
#include <string>

#include "fxbind.h"
#include "fxedit.h"
#include "fxmeshsel.h"
#include "fxutil.h"
#include "msgbox_capture.h"

namespace {

struct Stored {
    std::string name;
    std::string bytes;
};
std::map<int, Stored> g_store;
bool g_refuse;

int __cdecl SetData(int kind, int number, const char *name, const void *record, int size)
{
    if (kind != MESH_STORE_KIND || g_refuse)
        return 0;
    g_store[number] = { name, std::string(static_cast<const char *>(record), size_t(size)) };
    return 1;
}
void *__cdecl GetData(int, int number, char *name, int *length)
{
    auto it = g_store.find(number);
    if (it == g_store.end())
        return nullptr;
    strcpy(name, it->second.name.c_str());
    *length = int(it->second.bytes.size());
    char *copy = static_cast<char *>(malloc(it->second.bytes.size() + 1));
    memcpy(copy, it->second.bytes.data(), it->second.bytes.size());
    return copy;
}
void __cdecl FreeData(void *record)
{
    free(record);
}
typedef int(__cdecl *EnumProc)(int, int, void *);
int __cdecl EnumData(int kind, int first, int last, EnumProc callback, void *context)
{
    for (auto &item : g_store)
        if (item.first >= first && item.first <= last && !callback(kind, item.first, context))
            break;
    return 1;
}

GUID Mesh(unsigned n)
{
    GUID g = { n, 1, 2, { 3, 4, 5, 6, 7, 8, 9, 10 } };
    return g;
}

// Two mesh effects in the table and the store bound.
struct Fixture {
    FxMeshEntry entries[2] = {};
    Fixture()
    {
        entries[0].info.id = Mesh(1);
        entries[1].info.id = Mesh(2);
        g_fxMeshTable.entries = entries;
        g_fxMeshTable.count = 2;
        g_store.clear();
        g_refuse = false;
        g_fxTallyset.RegSetData = SetData;
        g_fxTallyset.RegGetData = reinterpret_cast<decltype(g_fxTallyset.RegGetData)>(GetData);
        g_fxTallyset.RegFreeData = reinterpret_cast<decltype(g_fxTallyset.RegFreeData)>(FreeData);
        g_fxTallyset.RegEnumData = reinterpret_cast<decltype(g_fxTallyset.RegEnumData)>(EnumData);
    }
    ~Fixture()
    {
        g_fxMeshTable = { nullptr, 0, -1 };
        g_fxTallyset = {};
    }
    static void Put(int number, const char *name, GUID id)
    {
        std::string bytes(reinterpret_cast<const char *>(&id), 16);
        bytes += '\0';
        bytes += "text";
        g_store[number] = { name, bytes };
    }
};

} // namespace

TEST_CASE("The mesh selector's groups and saved effects", "[meshsel]")
{
    Fixture f;
    Fixture::Put(0, "Wave", Mesh(1));
    Fixture::Put(3, "Spin", Mesh(2));
    Fixture::Put(4, "Lost", Mesh(9));   // no such mesh effect
    MeshSelector *s = MeshSelectCreate(nullptr, false);
    REQUIRE(s);
    CHECK_FALSE(s->applyAll);
    CHECK_FALSE(s->reverse);
    CHECK(s->animate);
    CHECK(s->placement == 2);
    REQUIRE(s->groups.size() == 2);
    REQUIRE(s->groups[0].entries.size() == 1);
    CHECK(s->groups[0].entries[0].slot == 0);
    CHECK(std::string(s->groups[0].entries[0].name) == "Wave");
    REQUIRE(s->groups[1].entries.size() == 1);
    CHECK(s->groups[1].entries[0].slot == 3);
    CHECK(s->slots.Test(0));
    CHECK(s->slots.Test(3));
    CHECK_FALSE(s->slots.Test(4));   // its GUID matched no group

    SECTION("saves take the first free number and store the record")
    {
        GUID id = Mesh(2);
        CHECK(MeshSelectSaveToRegistry(s, &id, 1, "FX script", "New") == 1);
        CHECK(MeshSelectSaveToRegistry(s, &id, 0, "", "Newer") == 2);
        CHECK(MeshSelectSaveToRegistry(s, &id, 0, "x", "Third") == 4);   // over the unmatched record
        const std::string &b = g_store[1].bytes;
        REQUIRE(b.size() == 17 + 9);   // GUID, flag, text without its NUL
        CHECK(memcmp(b.data(), &id, 16) == 0);
        CHECK(b[16] == 1);
        CHECK(b.substr(17) == "FX script");
        CHECK(g_store[1].name == "New");
        REQUIRE(s->groups[1].entries.size() == 4);
        CHECK(std::string(s->groups[1].entries[1].name) == "New");
        CHECK(s->groups[0].entries.size() == 1);
    }
    SECTION("a refusing store keeps the number free and lists nothing")
    {
        g_refuse = true;
        GUID id = Mesh(1);
        CHECK(MeshSelectSaveToRegistry(s, &id, 0, "x", "No") == -1);
        CHECK_FALSE(s->slots.Test(1));
        CHECK(s->groups[0].entries.size() == 1);
        g_fxTallyset.RegSetData = nullptr;
        CHECK(MeshSelectSaveToRegistry(s, &id, 0, "x", "No") == -1);
    }
    SECTION("a full store says so and stores nothing")
    {
        for (int i = 0; i < MESH_STORE_SLOTS; ++i)
            s->slots.Set(i);
        CHECK(s->slots.TakeFirstClear() == -1);
        MsgBoxCapture boxes;
        GUID id = Mesh(1);
        size_t before = g_store.size();
        CHECK(MeshSelectSaveToRegistry(s, &id, 0, "x", "Full") == -1);
        REQUIRE(boxes.texts().size() == 1);
        CHECK(boxes.texts()[0] == "No more space in the registry for this effect");
        CHECK(g_store.size() == before);
    }
    MeshSelectDestroy(s);
}

TEST_CASE("The mesh selector in numbered-name mode and without a store", "[meshsel]")
{
    Fixture f;
    Fixture::Put(7, "Named", Mesh(1));
    MeshSelector *s = MeshSelectCreate(nullptr, true);
    REQUIRE(s);
    REQUIRE(s->groups[0].entries.size() == 1);
    CHECK(std::string(s->groups[0].entries[0].name) == "Effect 7");
    MeshSelectDestroy(s);

    g_fxTallyset = {};
    s = MeshSelectCreate(nullptr, false);
    REQUIRE(s);
    CHECK(s->groups[0].entries.empty());
    MeshSelectDestroy(s);
}

TEST_CASE("A click on a picon opens its group, then applies the saved effect", "[meshsel]")
{
    Fixture f;
    const char *saved = "Path 1: Keyframe 1.1 { at frame 1 Warp: flags 0, mode 0 guid_data1 2 guid_data2 1"
                        " guid_data3 2 guid_data4 100992003 guid_data5 168364039, param1 0.5 }"
                        " Keyframe 1.2 { at frame 3 Warp: flags 0, mode 0 guid_data1 2 guid_data2 1"
                        " guid_data3 2 guid_data4 100992003 guid_data5 168364039, param1 0.9 }";
    std::string bytes(reinterpret_cast<const char *>(&f.entries[1].info.id), 16);
    bytes += '\0';
    bytes += saved;
    g_store[5] = { "Twirl", bytes };
    Fixture::Put(6, "Broken", Mesh(2));   // "text" is no effect
    MeshSelector *s = MeshSelectCreate(nullptr, false);
    REQUIRE(s);
    CHECK(MeshSelectIsEmpty(s));
    CHECK(MeshSelectItemCount(s) == 2);
    // Picon 1 of the list of groups opens the second mesh effect's group.
    REQUIRE(MeshSelectApply(s, 1, nullptr, nullptr) == 1);
    CHECK_FALSE(MeshSelectIsEmpty(s));
    CHECK(MeshSelectItemCount(s) == 2);
    CHECK(MeshSelectApply(s, 7, nullptr, nullptr) == 0);   // no item there

    FxPath *objects = ParseEffectText("Path 1: Keyframe 1.1 { at frame 1 } Path 2: Keyframe 2.1 { at frame 1 }");
    REQUIRE(objects);
    REQUIRE(objects->next);
    SECTION("onto the object alone, after its path")
    {
        REQUIRE(MeshSelectApply(s, 0, objects->next, objects) == 1);
        CHECK(objects->head->next == objects->head);   // the other object is untouched
        FxKeyframe *k = objects->next->head->next;
        const GUID want = Mesh(2);
        CHECK(IsEqualGUID(k->warpId, want));
        CHECK(k->warpParams[0] == Approx(0.5));
        CHECK(k->next->warpParams[0] == Approx(0.9));
    }
    SECTION("reversed, onto every object")
    {
        MeshSelectSetReverse(s, true);
        MeshSelectSetApplyAll(s, true);
        MeshSelectSetPlacement(s, 1);
        REQUIRE(MeshSelectApply(s, 0, objects, objects) == 1);
        const GUID want = Mesh(2);
        for (FxPath *p = objects; p; p = p->next) {
            CHECK(IsEqualGUID(p->head->warpId, want));
            CHECK(p->head->warpParams[0] == Approx(0.9));
        }
    }
    SECTION("a saved effect that cannot be read says so and changes nothing")
    {
        MsgBoxCapture boxes;
        CHECK(MeshSelectApply(s, 1, objects, objects) == 0);
        REQUIRE(boxes.texts().size() == 1);
        CHECK(boxes.texts()[0] == "Error loading effect");
        CHECK(objects->head->warpFlags == objects->next->head->warpFlags);
        CHECK(objects->head->next == objects->head);
    }
    FreeEffect(objects);
    MeshSelectGoBack(s);
    CHECK(MeshSelectIsEmpty(s));
    MeshSelectDestroy(s);
}
