// The mesh plug-in registry: a map from effect GUID to the library that
// offers it, filled by scanning the plug-in folder.
#include "fxmeshreg.h"

#include <cstdio>
#include <cstring>
#include <map>

namespace {

struct GuidLess {
    bool operator()(const GUID &a, const GUID &b) const { return memcmp(&a, &b, sizeof a) < 0; }
};

struct Registry {
    std::map<GUID, MeshEffectEntry, GuidLess> entries;
    bool built = false;
    char directory[MAX_PATH] = "";
};

Registry &TheRegistry()
{
    static Registry registry;   // emptied and freed at process exit
    return registry;
}

} // namespace

bool SetMeshSearchDirectory(const char *directory)
{
    Registry &r = TheRegistry();
    if (!directory) {
        r.directory[0] = 0;
        return true;
    }
    size_t n = strlen(directory);
    if (n > MAX_PATH - 16)
        return false;
    memcpy(r.directory, directory, n + 1);
    return true;
}

int AddMeshEffect(void *context, MeshEffectInfo *info)
{
    if (!info)
        return 1;
    MeshEffectEntry e;
    memset(&e, 0, sizeof e);
    snprintf(e.path, sizeof e.path, "%s", context ? static_cast<const char *>(context) : "");
    e.info.id = info->id;
    // The plug-in's texts are copied within their fields and always ended.
    memcpy(e.info.name, info->name, sizeof e.info.name);
    e.info.name[sizeof e.info.name - 1] = 0;
    memcpy(e.info.text, info->text, sizeof e.info.text);
    e.info.text[sizeof e.info.text - 1] = 0;
    e.info.value = info->value;
    TheRegistry().entries[e.info.id] = e;
    return 1;
}

void ScanMeshLibraries(const char *directory)
{
    if (!directory)
        directory = "";
    char pattern[MAX_PATH];
    int n = snprintf(pattern, sizeof pattern, "%s*.iMFEffect", directory);
    if (n <= 0 || n >= int(sizeof pattern))
        return;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        char path[MAX_PATH];
        n = snprintf(path, sizeof path, "%s%s", directory, found.cFileName);
        if (n <= 0 || n >= int(sizeof path))
            continue;
        HMODULE library = LoadLibraryA(path);
        if (!library)
            continue;
        auto enumerate = reinterpret_cast<MeshEnumerateEffectsProc>(GetProcAddress(library, MESH_ENUM_EXPORT));
        if (enumerate)
            enumerate(path, AddMeshEffect);
        FreeLibrary(library);
    } while (FindNextFileA(search, &found));
    SetErrorMode(oldMode);
    FindClose(search);
}

int EnumerateMeshEffects(FxMeshEnumCallback callback, void *context)
{
    Registry &r = TheRegistry();
    if (r.built)
        r.entries.clear();
    ScanMeshLibraries(r.directory);
    r.built = true;
    if (!callback)
        return 0;
    // The callback gets copies: it may enumerate again from inside.
    std::map<GUID, MeshEffectEntry, GuidLess> snapshot = r.entries;
    for (const auto &item : snapshot) {
        MeshEffectInfo info = item.second.info;
        if (!callback(context, &info))
            break;
    }
    return 0;
}

bool FindMeshEffectEntry(const GUID *id, MeshEffectEntry *out)
{
    if (!id)
        return false;
    Registry &r = TheRegistry();
    auto it = r.entries.find(*id);
    if (it == r.entries.end())
        return false;
    if (out)
        *out = it->second;
    return true;
}

int GetMeshFactory(const GUID *id, MeshFactory **out)
{
    if (out)
        *out = nullptr;
    Registry &r = TheRegistry();
    if (!r.built) {
        ScanMeshLibraries(r.directory);
        r.built = true;
    }
    MeshEffectEntry entry;
    memset(&entry, 0, sizeof entry);
    FindMeshEffectEntry(id, &entry);   // a GUID not registered: no library
    if (!entry.path[0])
        return MESH_E_LOAD;
    UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE library = LoadLibraryA(entry.path);
    SetErrorMode(oldMode);
    if (!library)
        return MESH_E_LOAD;
    auto get = reinterpret_cast<MeshGetObjectProc>(GetProcAddress(library, MESH_FACTORY_EXPORT));
    if (!get) {
        FreeLibrary(library);
        return MESH_E_EXPORT;
    }
    // The library stays loaded for the factory's life.
    MeshFactory *factory = get(*id);
    if (out)
        *out = factory;
    return MESH_OK;
}

void FreeMeshRegistry()
{
    Registry &r = TheRegistry();
    r.entries.clear();
    r.built = false;
}

namespace {

FxMeshEffect *MakeFromRegistry(const GUID &id)
{
    MeshFactory *factory = nullptr;
    if (GetMeshFactory(&id, &factory) != MESH_OK || !factory)
        return nullptr;
    return factory->CreateEffect();
}

} // namespace

void InstallMeshRegistry()
{
    g_fxEnumMeshEffects = EnumerateMeshEffects;
    g_fxMakeMeshEffect = MakeFromRegistry;
}
