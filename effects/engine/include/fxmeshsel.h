// The 3D mesh page's selector: one group per mesh effect of the table, the
// saved mesh effects of the store (kind 15, numbers 0..9999) listed in the
// group of their mesh GUID, and the page's option flags.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdint>
#include <vector>

constexpr int MESH_STORE_KIND = 15;
constexpr int MESH_STORE_SLOTS = 10000;

// A bit set of n bits in (n + 16) / 32 words.
struct FxBitSet {
    std::vector<uint32_t> words;
    int bits = 0;
    explicit FxBitSet(int n = 0) : words(size_t((n + 16) / 32 + 1), 0), bits(n) {}
    void Set(int i);
    void ClearAll();
    bool Test(int i) const;
    // The first clear bit, now set; -1 when every bit is set.
    int TakeFirstClear();
};

struct MeshSavedEntry {
    uint32_t slot;
    char name[80];
};
static_assert(sizeof(MeshSavedEntry) == 84, "saved mesh effect entry");

struct MeshGroup {
    GUID id;
    std::vector<MeshSavedEntry> entries;
};

struct MeshSelector {
    HWND page;
    std::vector<MeshGroup> groups;
    FxBitSet slots{MESH_STORE_SLOTS};
    bool numberedNames;
    bool applyAll, reverse, animate;
    int placement;   // 0 start, 1 over, 2 end
};

// A selector for the page: a group per entry of the mesh-effect table (in
// table order), the store's saved effects loaded when the store is bound.
// numberedNames: saved effects are listed as "Effect %d".
MeshSelector *MeshSelectCreate(HWND page, bool numberedNames);
void MeshSelectDestroy(MeshSelector *selector);
// Stores a saved mesh effect (mesh GUID, flag, FX script text) under the
// first free slot number and the name, and lists it in its group.  The
// slot number, or -1 when no slot is free (with the box "No more space in
// the registry for this effect"), the store is missing or refuses.
int MeshSelectSaveToRegistry(MeshSelector *selector, const GUID *mesh, uint8_t flag, const char *scriptText,
                             const char *name);
