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

#include "fxmodel.h"
#include "fxpicon.h"

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
    // The page: the group shown (-1 the list of groups), the first row of
    // five picons shown, the picons (null when none can be drawn).
    int group = -1;
    int row = 0;
    PiconRenderer *renderer = nullptr;
    PiconAnimator *picons = nullptr;
};

// The page's controls (dialog 3017).
enum {
    MESH_PICON_FIRST = 4000, MESH_PICON_COUNT = 10, MESH_TITLE = 4200, MESH_BACK = 4201, MESH_APPLY_ALL = 4202,
    MESH_APPLY_OPTIONS = 4203, MESH_REVERSE = 4204, MESH_ANIMATE = 4205, MESH_START = 4210, MESH_OVER = 4211,
    MESH_END = 4212, MESH_STAGGER = 3760, MESH_ROWS = 10000, MESH_ROW_SCROLL = 10002
};

// A selector for the page: when the page has picture button 4000, the
// picon renderer (the box "Failed to start the picon generator, no picons
// will be created" when it cannot start) and the animator; a group per entry of the mesh-effect table (in
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

// Rebuilds the page: the title (the group's name or "3D Mesh Effects"), the
// option controls (shown inside a group), the row range, and the picons of
// the effects shown.
void MeshSelectRefresh(MeshSelector *selector);
// The items of the view shown: groups, or the saved effects of the group.
int MeshSelectItemCount(const MeshSelector *selector);
// The name a group is listed by: its mesh effect's name, else "Effect %d".
void MeshSelectGroupName(const MeshSelector *selector, int group, char *name, size_t size);
// A click on picon `index` (counted from the first row shown): in the list
// of groups it opens that group (1); inside a group it applies that saved
// effect to `object` (or, with Apply All, to every object of `objects`,
// each later by the stagger) at the placement (1); 0 when nothing was
// done ("Error loading effect" when the saved effect cannot be read).
int MeshSelectApply(MeshSelector *selector, int index, FxPath *object, FxPath *objects);
// Back from a group to the list of groups.
void MeshSelectGoBack(MeshSelector *selector);
void MeshSelectSetRow(MeshSelector *selector, int row);
void MeshSelectSetApplyAll(MeshSelector *selector, bool on);
void MeshSelectSetReverse(MeshSelector *selector, bool on);
void MeshSelectSetAnimate(MeshSelector *selector, bool on);
void MeshSelectSetPlacement(MeshSelector *selector, int placement);
void MeshSelectPausePicons(MeshSelector *selector);
void MeshSelectResumePicons(MeshSelector *selector);
// Forgets the chosen group (back to the list) and stops the picons.
void MeshSelectClear(MeshSelector *selector);
// 1 when there is no selector or no group is chosen.
int MeshSelectIsEmpty(const MeshSelector *selector);

// Lays the mesh of `mesh` (the warp fields of its keyframes) onto `target`:
// placement 0 as new keyframes before the path, 1 onto the path's own
// keyframes, 2 as new keyframes after it; new keyframes start `delay`
// frames later.  The mesh keyframes keep their spacing.  1 when applied.
int ApplyMeshEffect(FxPath *target, FxPath *mesh, int placement, int delay);
