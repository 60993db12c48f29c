// The mesh plug-in registry over the test plug-ins (tests/meshplug), copied
// into a fresh folder with a few files that are not plug-ins.
#include <catch2/catch.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fxmeshreg.h"

namespace {

GUID PlugGuid(unsigned number)
{
    GUID g = { number, 0x4d45, 0x5348, { 0x80, 0, 0, 0, 0, 0, 0, 0x42 } };
    return g;
}

std::string BinDir()
{
    char exe[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, exe, MAX_PATH);
    REQUIRE(n > 0);
    std::string s(exe, n);
    return s.substr(0, s.find_last_of('\\') + 1);
}

// A folder of plug-ins: the named ones copied from beside the test program.
struct PlugFolder {
    std::string path;
    explicit PlugFolder(std::vector<const char *> plugs)
    {
        char tmp[MAX_PATH];
        GetTempPathA(MAX_PATH, tmp);
        char name[MAX_PATH];
        snprintf(name, sizeof name, "%.200sfxmeshreg_%u_%u\\", tmp, unsigned(GetCurrentProcessId()),
                 unsigned(GetTickCount()));
        path = name;
        CreateDirectoryA(path.c_str(), nullptr);
        for (const char *p : plugs)
            REQUIRE(CopyFileA((BinDir() + p + ".iMFEffect").c_str(), (path + p + ".iMFEffect").c_str(), FALSE));
        REQUIRE(SetMeshSearchDirectory(path.c_str()));
    }
    void Write(const char *file, const char *text)
    {
        HANDLE f = CreateFileA((path + file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        REQUIRE(f != INVALID_HANDLE_VALUE);
        DWORD written;
        WriteFile(f, text, DWORD(strlen(text)), &written, nullptr);
        CloseHandle(f);
    }
    // The plug-in files in the order the folder search returns them.
    std::vector<std::string> SearchOrder() const
    {
        std::vector<std::string> out;
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA((path + "*.iMFEffect").c_str(), &fd);
        if (h != INVALID_HANDLE_VALUE) {
            do
                out.push_back(fd.cFileName);
            while (FindNextFileA(h, &fd));
            FindClose(h);
        }
        return out;
    }
    ~PlugFolder()
    {
        FreeMeshRegistry();
        SetMeshSearchDirectory(nullptr);
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA((path + "*").c_str(), &fd);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                std::string f = path + fd.cFileName;
                if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    RemoveDirectoryA(f.c_str());
                else
                    DeleteFileA(f.c_str());
            } while (FindNextFileA(h, &fd));
            FindClose(h);
        }
        RemoveDirectoryA(path.c_str());
    }
};

struct Seen {
    std::vector<MeshEffectInfo> infos;
    int stopAfter = 1000;
};
int Collect(void *context, const MeshEffectInfo *info)
{
    auto *seen = static_cast<Seen *>(context);
    seen->infos.push_back(*info);
    return int(seen->infos.size()) < seen->stopAfter;
}

std::vector<MeshEffectInfo> Enumerate(int stopAfter = 1000)
{
    Seen seen;
    seen.stopAfter = stopAfter;
    CHECK(EnumerateMeshEffects(Collect, &seen) == 0);
    return seen.infos;
}

} // namespace

TEST_CASE("Mesh plug-ins found in their folder", "[meshreg]")
{
    PlugFolder folder({ "meshA", "meshB", "meshC", "meshD" });
    folder.Write("junk.iMFEffect", "not a library");
    folder.Write("meshA.txt", "not a plug-in name");
    CreateDirectoryA((folder.path + "folder.iMFEffect").c_str(), nullptr);

    std::vector<MeshEffectInfo> all = Enumerate();
    // meshA: 1, 2; meshB: 2, 3; meshC: 4; meshD has no enumeration; the
    // rest are not libraries.
    REQUIRE(all.size() == 4);
    for (size_t i = 1; i < all.size(); ++i)
        CHECK(memcmp(&all[i - 1].id, &all[i].id, sizeof(GUID)) < 0);   // GUID order

    SECTION("the records and their libraries")
    {
        MeshEffectEntry e;
        REQUIRE(FindMeshEffectEntry(&all[0].id, &e));
        CHECK(std::string(e.path) == folder.path + "meshA.iMFEffect");
        GUID ripple = PlugGuid(1);
        CHECK(IsEqualGUID(e.info.id, ripple));
        CHECK(std::string(e.info.name) == "Ripple");
        CHECK(std::string(e.info.text) == "waves from the centre");
        CHECK(e.info.value == 11);
        REQUIRE(FindMeshEffectEntry(&all[3].id, &e));
        CHECK(std::string(e.path) == folder.path + "meshC.iMFEffect");
    }
    SECTION("two plug-ins with one GUID: the one found later wins")
    {
        std::vector<std::string> order = folder.SearchOrder();
        auto at = [&](const char *f) { return std::find(order.begin(), order.end(), f) - order.begin(); };
        bool bLater = at("meshB.iMFEffect") > at("meshA.iMFEffect");
        GUID twist = PlugGuid(2);
        MeshEffectEntry e;
        REQUIRE(FindMeshEffectEntry(&twist, &e));
        CHECK(std::string(e.info.name) == (bLater ? "Twist (second)" : "Twist (first)"));
    }
    SECTION("the enumeration stops when the callback says so")
    {
        CHECK(Enumerate(2).size() == 2);
    }
    SECTION("every enumeration scans the folder again")
    {
        DeleteFileA((folder.path + "meshB.iMFEffect").c_str());
        std::vector<MeshEffectInfo> now = Enumerate();
        CHECK(now.size() == 3);   // 1 and 2 from meshA, 4 from meshC
        MeshEffectEntry e;
        GUID fold = PlugGuid(3);
        CHECK_FALSE(FindMeshEffectEntry(&fold, &e));
        GUID twist = PlugGuid(2);
        REQUIRE(FindMeshEffectEntry(&twist, &e));
        CHECK(std::string(e.info.name) == "Twist (first)");
    }
}

TEST_CASE("Mesh factories bound by GUID", "[meshreg][factory]")
{
    PlugFolder folder({ "meshA", "meshC" });
    GUID ripple = PlugGuid(1), orphan = PlugGuid(4), unknown = PlugGuid(99);
    MeshFactory *factory = reinterpret_cast<MeshFactory *>(1);

    // The first request scans the folder once.
    REQUIRE(GetMeshFactory(&ripple, &factory) == MESH_OK);
    REQUIRE(factory);
    FxMeshEffect *effect = factory->CreateEffect();
    REQUIRE(effect);
    int first = 0, second = -1;
    CHECK(effect->RealtimeCost(&first, &second) == 0);
    CHECK(first == 1);
    delete effect;

    CHECK(GetMeshFactory(&orphan, &factory) == MESH_E_EXPORT);   // no factory export
    CHECK(factory == nullptr);
    CHECK(GetMeshFactory(&unknown, &factory) == MESH_E_LOAD);    // no library for it
    CHECK(GetMeshFactory(nullptr, &factory) == MESH_E_LOAD);

    SECTION("a library gone since the scan cannot be loaded")
    {
        folder.Write("meshE.iMFEffect", "no longer a library");
        MeshEffectInfo info = {};
        info.id = unknown;
        std::string path = folder.path + "meshE.iMFEffect";
        AddMeshEffect(const_cast<char *>(path.c_str()), &info);
        CHECK(GetMeshFactory(&unknown, &factory) == MESH_E_LOAD);
    }
    SECTION("the mesh-effect table is filled through the registry")
    {
        InstallMeshRegistry();
        int count = InitShapeList(1);
        CHECK(count == 2);   // Ripple and Twist; the orphan makes no object
        int n = 0;
        const FxShapeEntry *shapes = GetShapeList(&n);
        REQUIRE(n == 2);
        CHECK(std::string(shapes[0].name) == "Ripple");
        CHECK(shapes[0].mesh == 1);
        CHECK(shapes[0].paramCount == 1);   // Amount, after the two sizes
        CHECK(std::string(shapes[0].storage[0].name) == "Amount");
        CHECK(FindMeshEffectByGuid(&ripple) >= 0);
        CHECK(FindMeshEffectByGuid(&orphan) < 0);
        FreeMeshTable();
        g_fxEnumMeshEffects = nullptr;
        g_fxMakeMeshEffect = nullptr;
    }
}
