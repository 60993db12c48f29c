// The mesh page's selector: groups of saved mesh effects by mesh GUID, kept
// in the store of numbered entries.
#include "fxmeshsel.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "fxbind.h"
#include "fxedit.h"
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

namespace {

void StartPiconsOf(MeshSelector *s)
{
    if (!s->page || !GetDlgItem(s->page, MESH_PICON_FIRST))
        return;
    RECT rc;
    GetClientRect(GetDlgItem(s->page, MESH_PICON_FIRST), &rc);
    HMODULE module = reinterpret_cast<HMODULE>(GetWindowLongPtrA(s->page, GWLP_HINSTANCE));
    s->renderer = StartPiconRenderer(rc.right - 4, rc.bottom - 4, module);
    if (s->renderer)
        s->picons = CreatePiconAnimator(s->page, s->renderer);
    if (!s->picons) {
        StopPiconRenderer(s->renderer);
        s->renderer = nullptr;
        static LONG told = 0;
        if (InterlockedExchange(&told, 1) == 0)
            MessageBoxA(s->page, "Failed to start the picon generator, no picons will be created", "3D Mesh Effects",
                        MB_OK | MB_ICONEXCLAMATION);
    }
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
    StartPiconsOf(s);
    return s;
}

void MeshSelectDestroy(MeshSelector *selector)
{
    if (!selector)
        return;
    DestroyPiconAnimator(selector->picons);
    StopPiconRenderer(selector->renderer);
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

// ---------------------------------------------------------------- the page

namespace {

constexpr int PER_ROW = 5;
constexpr UINT POS_GET = WM_USER + 0x120, POS_SET = WM_USER + 0x121;
constexpr WPARAM POS_VALUE = 0x1000, POS_SET_VALUE = 4096, POS_SET_MAX = 4098;

void ShowItem(HWND page, int id, bool on)
{
    if (HWND c = GetDlgItem(page, id))
        ShowWindow(c, on ? SW_SHOW : SW_HIDE);
}

// A saved effect's record: GUID, flag and FX script text.
struct SavedRecord {
    GUID mesh;
    uint8_t flag;
    std::string text;
};

bool ReadSaved(int slot, SavedRecord *out)
{
    auto get = reinterpret_cast<GetDataProc>(g_fxTallyset.RegGetData);
    if (!get)
        return false;
    char name[80] = "";
    int length = 0;
    void *record = get(MESH_STORE_KIND, slot, name, &length);
    if (!record)
        return false;
    bool ok = length >= 17;
    if (ok) {
        const auto *b = static_cast<const char *>(record);
        memcpy(&out->mesh, b, 16);
        out->flag = uint8_t(b[16]);
        out->text.assign(b + 17, size_t(length - 17));
        // The text ends at its NUL when the record holds one.
        out->text.resize(strnlen(out->text.c_str(), out->text.size()));
    }
    if (g_fxTallyset.RegFreeData)
        g_fxTallyset.RegFreeData(record);
    return ok;
}

// The keys of a saved effect: its first path's keyframes.
PiconSource SavedSource(const SavedRecord &r)
{
    PiconSource src;
    src.mesh = r.mesh;
    src.inverted = (r.flag & 1) != 0;
    if (FxPath *fx = ParseEffectText(r.text.c_str())) {
        if (FxKeyframe *k = fx->head)
            do {
                PiconKey key;
                memcpy(key.values, k->warpParams, sizeof key.values);
                key.opacity = 1.0 - k->fade / 100.0;
                src.keys.push_back(key);
                k = k->next;
            } while (k && k != fx->head);
        FreeEffect(fx);
    }
    return src;
}

// The keys of a mesh effect of the table: its presets, else its defaults.
PiconSource TableSource(const GUID &id)
{
    PiconSource src;
    src.mesh = id;
    src.inverted = false;
    const int presets = GetMeshPresetCount(&id);
    for (int p = 0; p < presets && p < 64; ++p) {
        // A preset starts with the two sizes; the mesh values follow.
        double all[32] = {};
        PiconKey key = {};
        key.opacity = 1.0;
        if (!GetMeshPreset(&id, p, all))
            continue;
        memcpy(key.values, all + 2, sizeof key.values);
        src.keys.push_back(key);
    }
    if (src.keys.empty()) {
        PiconKey key = {};
        key.opacity = 1.0;
        int count = 0;
        const FxShapeEntry *shapes = GetShapeList(&count);
        for (int i = 0; shapes && i < count; ++i)
            if (shapes[i].mesh && IsEqualGUID(shapes[i].meshId, id))
                for (int p = 0; p < shapes[i].paramCount && p < 16; ++p)
                    key.values[p] = shapes[i].storage[p].defaultValue;
        src.keys.push_back(key);
    }
    return src;
}

int RowCount(const MeshSelector *s)
{
    return (MeshSelectItemCount(s) + PER_ROW - 1) / PER_ROW;
}

} // namespace

int MeshSelectItemCount(const MeshSelector *s)
{
    if (!s)
        return 0;
    if (s->group < 0 || s->group >= int(s->groups.size()))
        return int(s->groups.size());
    return int(s->groups[size_t(s->group)].entries.size());
}

void MeshSelectGroupName(const MeshSelector *s, int group, char *name, size_t size)
{
    if (!name || !size)
        return;
    name[0] = 0;
    if (!s || group < 0 || group >= int(s->groups.size()))
        return;
    const char *given = "";
    for (int i = 0; i < g_fxMeshTable.count; ++i)
        if (IsEqualGUID(g_fxMeshTable.entries[i].info.id, s->groups[size_t(group)].id)) {
            given = g_fxMeshTable.entries[i].info.name;
            break;
        }
    if (given[0])
        snprintf(name, size, "%.63s", given);
    else
        snprintf(name, size, "Effect %d", group + 1);
}

void MeshSelectRefresh(MeshSelector *s)
{
    if (!s)
        return;
    const bool inGroup = s->group >= 0 && s->group < int(s->groups.size());
    if (!inGroup)
        s->group = -1;
    const int lastRow = RowCount(s) > 2 ? RowCount(s) - 2 : 0;
    if (s->row > lastRow)
        s->row = lastRow;
    if (s->row < 0)
        s->row = 0;
    if (!s->page)
        return;
    char title[80] = "3D Mesh Effects";
    if (inGroup)
        MeshSelectGroupName(s, s->group, title, sizeof title);
    SetDlgItemTextA(s->page, MESH_TITLE, title);
    if (HWND rows = GetDlgItem(s->page, MESH_ROWS)) {
        SendMessageA(rows, POS_SET, POS_SET_MAX, lastRow);
        SendMessageA(rows, POS_SET, POS_SET_VALUE, s->row);
    }
    if (HWND bar = GetDlgItem(s->page, MESH_ROW_SCROLL)) {
        SetScrollRange(bar, SB_CTL, 0, lastRow, FALSE);
        SetScrollPos(bar, SB_CTL, s->row, TRUE);
    }
    for (int id : {MESH_BACK, MESH_APPLY_ALL, MESH_APPLY_OPTIONS, MESH_REVERSE, MESH_ANIMATE, MESH_START, MESH_OVER,
                   MESH_END})
        ShowItem(s->page, id, inGroup);
    for (int id = MESH_STAGGER; id <= MESH_STAGGER + 4; ++id)
        ShowItem(s->page, id, inGroup);
    if (HWND st = GetDlgItem(s->page, MESH_STAGGER))
        EnableWindow(st, s->applyAll);
    CheckDlgButton(s->page, MESH_APPLY_ALL, s->applyAll ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(s->page, MESH_REVERSE, s->reverse ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(s->page, MESH_ANIMATE, s->animate ? BST_CHECKED : BST_UNCHECKED);
    CheckRadioButton(s->page, MESH_START, MESH_END, MESH_START + s->placement);
    // The picons of the items shown, with the items' names as captions.
    std::vector<PiconSource> sources;
    const int first = s->row * PER_ROW;
    const int count = MeshSelectItemCount(s);
    for (int i = 0; i < MESH_PICON_COUNT; ++i) {
        const int item = first + i;
        char name[80] = "";
        if (item < count) {
            if (inGroup) {
                const MeshSavedEntry &e = s->groups[size_t(s->group)].entries[size_t(item)];
                snprintf(name, sizeof name, "%s", e.name);
                SavedRecord r;
                if (ReadSaved(int(e.slot), &r))
                    sources.push_back(SavedSource(r));
                else
                    sources.push_back(PiconSource());
            } else {
                MeshSelectGroupName(s, item, name, sizeof name);
                sources.push_back(TableSource(s->groups[size_t(item)].id));
            }
        }
        if (HWND b = GetDlgItem(s->page, MESH_PICON_FIRST + i)) {
            SetWindowTextA(b, name);
            EnableWindow(b, item < count);
        }
    }
    if (s->picons)
        StartPicons(s->picons, sources, inGroup ? 1 : 0, s->animate);
}

int ApplyMeshEffect(FxPath *target, FxPath *mesh, int placement, int delay)
{
    if (!target || !target->head || !mesh || !mesh->head)
        return 0;
    std::vector<const FxKeyframe *> keys;
    const FxKeyframe *k = mesh->head;
    do {
        keys.push_back(k);
        k = k->next;
    } while (k && k != mesh->head && keys.size() < 100000);
    const int m = int(keys.size());
    auto warpOnto = [](FxKeyframe *dst, const FxKeyframe *src) {
        dst->warpFlags = src->warpFlags;
        dst->warpNumber = src->warpNumber;
        dst->warpId = src->warpId;
        memcpy(dst->warpParams, src->warpParams, sizeof dst->warpParams);
    };
    if (delay < 0)
        delay = 0;
    if (placement == 1) {
        // Onto the path's own keyframes, one mesh key each (the last one
        // for every further keyframe).
        int i = 0;
        FxKeyframe *t = target->head;
        do {
            warpOnto(t, keys[size_t(i < m ? i : m - 1)]);
            ++i;
            t = t->next;
        } while (t && t != target->head);
    } else {
        // New keyframes with the mesh keys' own spacing, a key's spacing
        // (at least one frame) away from the path.
        const int span = keys.back()->startFrame - keys.front()->startFrame;
        int gap = m > 1 ? keys[1]->startFrame - keys[0]->startFrame : 10;
        if (gap < 1)
            gap = 1;
        FxKeyframe *anchor = placement == 0 ? target->head : LastKeyframe(target);
        int base;
        if (placement == 0) {
            base = target->head->startFrame + delay;
            ShiftPathFrames(target, span + gap + delay);
        } else {
            base = anchor->endFrame + gap + delay;
        }
        std::vector<FxKeyframe *> made;
        for (int j = 0; j < m; ++j) {
            FxKeyframe *copy = NewKeyframe();
            if (!copy) {
                for (FxKeyframe *c : made)
                    FreeKeyframe(c);
                return 0;
            }
            const bool ownPixels = anchor->bufferFlags & 1;
            CopyKeyframe(copy, anchor);
            if (ownPixels) {
                copy->pixels = nullptr;
                copy->pixelSize = 0;
            }
            const int frame = base + (keys[size_t(j)]->startFrame - keys.front()->startFrame);
            copy->startFrame = copy->endFrame = frame;
            copy->startTime = copy->endTime = frame;
            copy->delay = 0;
            copy->spins[0] = copy->spins[1] = copy->spins[2] = 0;
            warpOnto(copy, keys[size_t(j)]);
            made.push_back(copy);
        }
        // Linked in order before the head (a ring: before the head is after
        // the last), the head moved to the first new one for the start.
        FxKeyframe *head = target->head;
        for (FxKeyframe *c : made) {
            FxKeyframe *last = head->prev;
            c->prev = last;
            c->next = head;
            last->next = c;
            head->prev = c;
        }
        if (placement == 0)
            target->head = made.front();
        RenumberRing(target);
        AttachPathImageToAll(target);
    }
    if (!target->current)
        target->current = target->head;
    CopyKeyframe(&target->work, target->current);
    return 1;
}

int MeshSelectApply(MeshSelector *s, int index, FxPath *object, FxPath *objects)
{
    if (!s || index < 0 || index >= MESH_PICON_COUNT)
        return 0;
    const int item = s->row * PER_ROW + index;
    if (item >= MeshSelectItemCount(s))
        return 0;
    if (s->group < 0) {
        s->group = item;
        s->row = 0;
        MeshSelectRefresh(s);
        return 1;
    }
    const MeshSavedEntry &e = s->groups[size_t(s->group)].entries[size_t(item)];
    SavedRecord r;
    FxPath *fx = ReadSaved(int(e.slot), &r) ? ParseEffectText(r.text.c_str()) : nullptr;
    if (!fx) {
        MessageBoxA(s->page, "Error loading effect", "3D Mesh Effects", MB_OK | MB_ICONEXCLAMATION);
        return 0;
    }
    if (s->reverse)
        ReversePath(fx);
    int stagger = 0;
    if (s->page)
        if (HWND st = GetDlgItem(s->page, MESH_STAGGER))
            stagger = int(SendMessageA(st, POS_GET, POS_VALUE, 0));
    int done = 0;
    if (s->applyAll && objects) {
        int delay = 0;
        for (FxPath *p = objects; p; p = p->next) {
            done |= ApplyMeshEffect(p, fx, s->placement, delay);
            delay += stagger;
        }
    } else {
        done = ApplyMeshEffect(object, fx, s->placement, 0);
    }
    FreeEffect(fx);
    return done;
}

void MeshSelectGoBack(MeshSelector *s)
{
    if (!s || s->group < 0)
        return;
    s->row = s->group / PER_ROW;
    s->group = -1;
    MeshSelectRefresh(s);
}

void MeshSelectSetRow(MeshSelector *s, int row)
{
    if (!s || row == s->row)
        return;
    s->row = row;
    MeshSelectRefresh(s);
}

void MeshSelectSetApplyAll(MeshSelector *s, bool on)
{
    if (!s)
        return;
    s->applyAll = on;
    if (s->page)
        if (HWND st = GetDlgItem(s->page, MESH_STAGGER))
            EnableWindow(st, on);
}

void MeshSelectSetReverse(MeshSelector *s, bool on)
{
    if (s)
        s->reverse = on;
}

void MeshSelectSetAnimate(MeshSelector *s, bool on)
{
    if (!s || s->animate == on)
        return;
    s->animate = on;
    MeshSelectRefresh(s);
}

void MeshSelectSetPlacement(MeshSelector *s, int placement)
{
    if (s && placement >= 0 && placement <= 2)
        s->placement = placement;
}

void MeshSelectPausePicons(MeshSelector *s)
{
    if (s)
        PausePicons(s->picons);
}

void MeshSelectResumePicons(MeshSelector *s)
{
    if (s)
        ResumePicons(s->picons);
}

void MeshSelectClear(MeshSelector *s)
{
    if (!s)
        return;
    StopPicons(s->picons);
    s->group = -1;
    s->row = 0;
}

int MeshSelectIsEmpty(const MeshSelector *s)
{
    return !s || s->group < 0;
}
