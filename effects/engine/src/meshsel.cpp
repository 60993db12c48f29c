// The mesh page's selector: groups of saved mesh effects by mesh GUID, kept
// in the store of numbered entries.
#include "fxmeshsel.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "fxbind.h"
#include "fxutil.h"

void FxBitSet::Set(int i)
{
    if (i >= 0 && i < bits)
        words[size_t(i) / 32] |= 1u << (i % 32);
}

void FxBitSet::ClearAll()
{
    for (uint32_t &w : words)
        w = 0;
}

bool FxBitSet::Test(int i) const
{
    return i >= 0 && i < bits && (words[size_t(i) / 32] >> (i % 32) & 1);
}

int FxBitSet::TakeFirstClear()
{
    for (int i = 0; i < bits; ++i)
        if (!Test(i)) {
            Set(i);
            return i;
        }
    return -1;
}

namespace {

typedef void *(__cdecl *GetDataProc)(int kind, int number, char *name, int *length);
typedef void(__cdecl *FreeDataProc)(void *record);
typedef int(__cdecl *EnumProc)(int kind, int number, void *context);
typedef int(__cdecl *EnumDataProc)(int kind, int first, int last, EnumProc callback, void *context);

// Lists {slot, name} in every group of the GUID; true when one took it.
bool AddToGroups(MeshSelector *s, const GUID &id, int slot, const char *name)
{
    MeshSavedEntry e;
    memset(&e, 0, sizeof e);
    e.slot = uint32_t(slot);
    if (s->numberedNames)
        snprintf(e.name, sizeof e.name, "Effect %d", slot);
    else
        snprintf(e.name, sizeof e.name, "%s", name ? name : "");
    bool taken = false;
    for (MeshGroup &g : s->groups)
        if (IsEqualGUID(g.id, id)) {
            g.entries.push_back(e);
            taken = true;
        }
    return taken;
}

int __cdecl LoadOne(int kind, int number, void *context)
{
    auto *s = static_cast<MeshSelector *>(context);
    auto get = reinterpret_cast<GetDataProc>(g_fxTallyset.RegGetData);
    char name[80] = "";
    int length = 0;
    void *record = get ? get(kind, number, name, &length) : nullptr;
    if (!record)
        return 1;
    name[sizeof name - 1] = 0;
    // A record too short to hold a GUID names no mesh effect.
    if (length >= int(sizeof(GUID))) {
        GUID id;
        memcpy(&id, record, sizeof id);
        if (AddToGroups(s, id, number, name))
            s->slots.Set(number);
    }
    if (g_fxTallyset.RegFreeData)
        g_fxTallyset.RegFreeData(record);
    return 1;
}

} // namespace

MeshSelector *MeshSelectCreate(HWND page, bool numberedNames)
{
    auto *s = new (std::nothrow) MeshSelector();
    if (!s)
        return nullptr;
    s->page = page;
    s->numberedNames = numberedNames;
    s->applyAll = false;
    s->reverse = false;
    s->animate = true;
    s->placement = 2;
    for (int i = 0; i < g_fxMeshTable.count; ++i) {
        MeshGroup g;
        g.id = g_fxMeshTable.entries[i].info.id;
        s->groups.push_back(g);
    }
    auto enumerate = reinterpret_cast<EnumDataProc>(g_fxTallyset.RegEnumData);
    if (enumerate && g_fxTallyset.RegGetData)
        enumerate(MESH_STORE_KIND, 0, MESH_STORE_SLOTS - 1, LoadOne, s);
    return s;
}

void MeshSelectDestroy(MeshSelector *selector)
{
    delete selector;
}

int MeshSelectSaveToRegistry(MeshSelector *s, const GUID *mesh, uint8_t flag, const char *scriptText,
                             const char *name)
{
    if (!s || !mesh || !scriptText)
        return -1;
    int slot = s->slots.TakeFirstClear();
    if (slot < 0) {
        MessageBoxA(s->page, "No more space in the registry for this effect", "3D Mesh Effects",
                    MB_OK | MB_ICONEXCLAMATION);
        return -1;
    }
    size_t textLength = strlen(scriptText);
    std::vector<unsigned char> record(17 + textLength + 1);
    memcpy(record.data(), mesh, 16);
    record[16] = flag;
    memcpy(record.data() + 17, scriptText, textLength + 1);
    // The size handed to the store leaves the ending NUL out.
    if (!g_fxTallyset.RegSetData ||
        !g_fxTallyset.RegSetData(MESH_STORE_KIND, slot, name ? name : "", record.data(), int(17 + textLength))) {
        // Not stored: the number stays free for the next save.
        s->slots.words[size_t(slot) / 32] &= ~(1u << (slot % 32));
        return -1;
    }
    AddToGroups(s, *mesh, slot, name);
    return slot;
}
