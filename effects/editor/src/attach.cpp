// Personalities, capability entries, and what FXN_ATTACH makes and
// FXN_DETACH frees.
#include <cstdio>
#include <cstring>
#include <vector>

#include "fxhost.h"
#include "fxmainview.h"
#include "fxregdlg.h"

namespace {

// (code, extra flags) lists of the personalities.
const FxCapPair kListA[] = {{0x2C800002, 0x4000}, {0x2C80000B, 0},      {0x2C800001, 0x2},
                            {0x2C800005, 0},      {0x2C800008, 0},      {0x2C800009, 0},
                            {0x2C800011, 0x4000}, {0x2C800007, 0x4000}, {0x2C80000C, 0x4000}};
const FxCapPair kListB[] = {{0x2C800002, 0x4000}, {0x2C800001, 0x2},    {0x2C80000E, 0x4000},
                            {0x2C80000D, 0x4000}, {0x2C800010, 0x4000}, {0x2C800012, 0x4000},
                            {0x2C800013, 0},      {0x2C800011, 0x4000}, {0x2C800007, 0x4000}};
const FxCapPair kListC[] = {{0x2C800002, 0}};
const FxCapPair kListD[] = {{0x2C800013, 0}};

const FxPersonality kRows[FX_PERSONALITIES] = {
    {0, 0x711FFFFF, 0x18, 8, 2, 9, kListA, "Ostrel", "Animation", "quillon.ini", "TarvoFX:BIND", 3000, 3000, 3000,
     0x862, 0x319},
    {0x800C0002, 0x110C06C3, 0x16, 0x14, 2, 9, kListB, "DVE", "DVE", "quillon.ini", "TarvoDVE:BIND", 3000, 3001,
     3001, 0x800, 0x389},
    {0x800C0002, 0x511FFFFF, 0x16, 0x14, 2, 9, kListB, "Morvix", "DVE", "quillon.ini", "TarvoWishkit:BIND", 3000,
     3001, 3001, 0x800, 0x389},
    {0, 0x110C06C3, 0x18, 8, 2, 9, kListA, "Caplift", "Animation", "quillon.ini", "TarvoFX:BIND", 3000, 3000, 3000,
     0x862, 0x319},
    {0x800C0002, 0x100C06C3, 0x16, 0x14, 11, 9, kListB, "DVE", "DVE", "quillon.ini", "TarvoDVE:BIND", 3000, 3001,
     3001, 0x800, 0x399},
    {2, 0, 0x16, 0x14, 7, 1, kListC, "ExtDVE", "ExtDVE", "quillon.ini", "TarvoExtDVE:BIND", 3000, 3001, 3001, 0x801,
     0x100},
    {0x800C0002, 0x710DB6C3, 0x16, 0x14, 2, 9, kListB, "Morvix", "DVE", "quillon.ini", "TarvoWishkit:BIND", 3000,
     3001, 3001, 0x800, 0x389},
    {0x800C0002, 0x110C06C3, 0x16, 0x14, 2, 1, kListD, "DVE", "DVE", "quillon.ini", "TarvoDVE:BIND", 3000, 3001,
     3001, 0x862, 0x389},
};

// The library's entry table; descriptions below 0x10000 are string ids.
struct EntryRow {
    uint32_t code, media, flags, source, destination;
    uintptr_t description;
    const char *extension;
};
#define TEXT_ID(t) reinterpret_cast<uintptr_t>(t)
const EntryRow kEntries[] = {
    {0x2C800002, 0x10, 0x4002, 0x20000001, 0x10000007, TEXT_ID("SpooletHdr"), nullptr},
    {0x2C80000F, 0x2, 0x1, 0x20000005, 0, TEXT_ID("Image As Object"), nullptr},
    {1, 0x10, 0x1, 0x20000001, 0, TEXT_ID("Image As Object"), nullptr},
    {0x2C80000B, 0x10, 0x4000, 0x20000001, 0, TEXT_ID("Mobra"), nullptr},
    {0x2C800001, 0x18, 0xA, 0x20000001, 0x20000001, 130, nullptr},
    {0x2C800011, 0x8, 0x400A, 0x20000001, 0x20000001, 132, nullptr},
    {0x2C80000A, 0x8, 0x4008, 0x20000001, 0, 131, nullptr},
    {0x2C800005, 0x8004, 0, 0, 0x30000001, 133, nullptr},
    {0x2C800005, 0x4, 0x4000, 0, 0x30000001, 133, nullptr},
    {0x2C800008, 0x2, 0x1, 0, 0x30000001, 134, nullptr},
    {0x2C800009, 0x2, 0x1001, 0, 0x30000001, 135, nullptr},
    {0x2C800003, 0x8, 0x8, 0, 0x20000001, TEXT_ID("DVE Script"), "dve"},
    {0x2C80000E, 0x100, 0x4000, 0, 0x30000001, 136, nullptr},
    {0x2C80000D, 0x100, 0x4000, 0, 0x30000001, 137, nullptr},
    {0x2C800010, 0x10, 0x4000, 0, 0x30000001, TEXT_ID("3D VFX in memory"), nullptr},
    {0x2C800013, 0x8000, 0, 0, 0x30000001, 138, nullptr},
    {0x2C800007, 0x10, 0x4021, 0, 0x30000001, TEXT_ID("PostageStamp"), nullptr},
    {0x2C80000C, 0x12, 0x4000, 0, 0x30000001, TEXT_ID("render frame using FXFRI"), nullptr},
    {0x2C800070, 0x2, 0x1, 0, 0x30000001, TEXT_ID("frame 15 of 25"), nullptr},
    {0, 0, 0, 0, 0, 0, nullptr},
};
#undef TEXT_ID

// Every live instance, so that a node's private field is only taken for an
// instance when it is one (before attach it points at the host's data).
std::vector<FxInstance *> g_live;
// Capability arrays handed out, by node.
int g_useCount;
void *g_shared;

bool IsLive(const FxInstance *inst)
{
    for (FxInstance *p : g_live)
        if (p == inst) return true;
    return false;
}

void Forget(FxInstance *inst)
{
    for (size_t i = 0; i < g_live.size(); ++i)
        if (g_live[i] == inst) {
            g_live.erase(g_live.begin() + long(i));
            return;
        }
}

void BindAttachLibraries(uint32_t mask)
{
    if (mask) BindLibraries(GetFxInstance(), mask);
}
void FreeAttachLibraries(uint32_t mask)
{
    if (mask) FreeLibraries(mask);
}

void RegisterBindClass(const FxPersonality &row, HINSTANCE module)
{
    WNDCLASSA wc;
    if (GetClassInfoA(module, row.bindClass, &wc)) return;
    std::memset(&wc, 0, sizeof wc);
    wc.style = 0x200B;
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = module;
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hIcon = LoadIconA(module, row.product);
    wc.lpszClassName = row.bindClass;
    RegisterClassA(&wc);
}

// Reads the personality choice from the host's private data.
struct Choice {
    uint32_t index = 0;
    uint32_t hostKind = 0;
    uint32_t features = 0;
    bool fromSelect = false;
};
Choice ReadChoice(const CubbyPrivateData *priv)
{
    Choice c;
    if (!priv) return c;
    c.hostKind = priv->hostKind;
    if (priv->type == REG_BINARY && priv->value) {
        const uint8_t *bytes = reinterpret_cast<const uint8_t *>(priv->value);
        uint32_t head[2];
        std::memcpy(head, bytes, sizeof head);
        if (head[1] == FX_SELECT_ID) {
            FxPersonalitySelect sel;
            std::memset(&sel, 0, sizeof sel);
            size_t n = head[0] < sizeof sel ? head[0] : sizeof sel;
            if (n < sizeof head) n = sizeof head;
            std::memcpy(&sel, bytes, n);
            c.index = sel.index;
            c.features = sel.features;
            if (sel.hostKind) c.hostKind = sel.hostKind;
            c.fromSelect = true;
        }
    } else if (priv->type == REG_DWORD) {
        c.index = uint32_t(priv->value);
    }
    return c;
}

void DirectoryOf(HMODULE module, char *out, size_t size)
{
    out[0] = 0;
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(module, path, MAX_PATH);
    if (!n || n >= MAX_PATH) return;
    char *cut = nullptr;
    for (char *p = path; *p; ++p)
        if (*p == '\\' || *p == '/') cut = p;
    if (!cut) return;
    cut[1] = 0;
    lstrcpynA(out, path, int(size));
}

void FreeInstance(FxInstance *inst)
{
    for (HPEN &pen : inst->pens)
        if (pen) DeleteObject(pen);
    if (inst->brush) DeleteObject(inst->brush);
    if (inst->mainWindow && IsWindow(inst->mainWindow)) DestroyWindow(inst->mainWindow);
    for (HWND &w : inst->editorWindows)
        if (w && IsWindow(w)) DestroyWindow(w);
    FxFreeRenderProgress(inst);
    DeleteEffect(inst->host.effect);
    FxFreeSceneStyle(inst);
    FxFree(inst);
}

}  // namespace

const FxPersonality &FxPersonalityRow(int index)
{
    return kRows[index >= 0 && index < FX_PERSONALITIES ? index : 0];
}

int FxUseCount()
{
    FxLockAttach();
    const int n = g_useCount;
    FxUnlockAttach();
    return n;
}

bool FxSharedBlockExists()
{
    FxLockAttach();
    const bool b = g_shared != nullptr;
    FxUnlockAttach();
    return b;
}

FxInstance *FxInstanceOf(CubbyNode *node)
{
    if (!node || !node->privateData) return nullptr;
    FxInstance *inst = static_cast<FxInstance *>(node->privateData);
    FxLockAttach();
    const bool ok = IsLive(inst) && inst->own == node;
    FxUnlockAttach();
    return ok ? inst : nullptr;
}

uint32_t FxMergeFeatures(uint32_t row, uint32_t select)
{
    if (row && select) {
        uint32_t r = ((select | 0x80800000u) & row) | (select & 0x80800000u);
        if (r & 0x80000000u) r &= ~0x10000000u;
        return r;
    }
    return row ? row : select;
}

CubbyFormatEntry *FxBuildCaps(int personality, uint32_t *count)
{
    *count = 0;
    const FxPersonality &row = FxPersonalityRow(personality);
    CubbyFormatEntry *caps = static_cast<CubbyFormatEntry *>(FxAlloc(sizeof(CubbyFormatEntry) * size_t(row.capCount)));
    if (!caps) return nullptr;
    uint32_t n = 0;
    for (int i = 0; i < row.capCount; ++i) {
        const EntryRow *e = kEntries;
        while (e->code && e->code != row.caps[i].code) ++e;
        // A code the table does not carry is not offered.
        if (!e->code) continue;
        CubbyFormatEntry &c = caps[n++];
        c.code = e->code;
        c.media = e->media;
        c.flags = e->flags | row.caps[i].extraFlags;
        c.source = e->source;
        c.destination = e->destination;
        c.description = e->description;
        c.extension = reinterpret_cast<uintptr_t>(e->extension);
        c.module = (e->code & 0xFFFF0000u) == 0x2C800000u ? GetFxInstance() : nullptr;
    }
    if (!n) {
        FxFree(caps);
        return nullptr;
    }
    *count = n;
    return caps;
}

INT_PTR FxAttach(CubbyNode *own, CubbyNode *peer)
{
    if (!own) return 0;
    // A node attached already stays as it is; the call is counted so that
    // every attach pairs with a detach.
    if (FxInstanceOf(own)) {
        FxLockAttach();
        ++g_useCount;
        FxUnlockAttach();
        return 1;
    }
    if (!GetFxInstance()) SetFxInstance(own->module ? own->module : peer ? peer->module : nullptr);
    own->module = own->moduleCopy = GetFxInstance();

    const CubbyPrivateData *priv = static_cast<const CubbyPrivateData *>(own->privateData);
    void *const descriptor = own->privateData;
    if (!priv || priv->hostKind != FX_HOST_EMBEDDED) own->flags |= 1;
    const Choice choice = ReadChoice(priv);

    FxLockAttach();
    BindAttachLibraries(choice.index < FX_PERSONALITIES ? FxPersonalityRow(int(choice.index)).attachLibraries : 0);
    if (g_useCount < 1) {
        g_shared = FxAlloc(256);
        g_useCount = 1;
    } else {
        ++g_useCount;
    }
    FxUnlockAttach();

    FxInstance *inst = static_cast<FxInstance *>(FxAlloc(sizeof(FxInstance)));
    if (!inst) return 0;
    const int index = choice.index < FX_PERSONALITIES ? int(choice.index) : 0;
    const FxPersonality &row = kRows[index];
    inst->personality = index;
    inst->own = own;
    inst->peer = peer;
    inst->hostKind = choice.hostKind;
    inst->flags = row.initialFlags;
    inst->kind = row.kind;
    inst->lastFrameSent = -1;
    inst->features = inst->featuresCopy = FxMergeFeatures(row.features, choice.fromSelect ? choice.features : 0);
    FxLockAttach();
    g_live.push_back(inst);
    FxUnlockAttach();
    own->privateData = inst;

    lstrcpynA(inst->product, row.product, sizeof inst->product);
    lstrcpynA(inst->mode, row.mode, sizeof inst->mode);
    HINSTANCE module = GetFxInstance();
    RegisterBindClass(row, module);
    FxMakeAttachPens(inst);
    own->accelerators = LoadAcceleratorsA(module, MAKEINTRESOURCEA(row.accelId));
    own->icon = LoadIconA(module, MAKEINTRESOURCEA(row.iconId));
    if (!own->menu) own->menu = LoadMenuA(module, MAKEINTRESOURCEA(row.menuId));
    inst->menu = own->menu;

    own->caps = FxBuildCaps(index, &own->capCount);

    char dir[MAX_PATH];
    DirectoryOf(peer ? peer->module : nullptr, dir, sizeof dir);
    std::snprintf(inst->iniPath, sizeof inst->iniPath, "%s%s", dir, row.iniName);
    if (const char *path = reinterpret_cast<const char *>(FxCallHost(inst, FXN_GET_FILE, 0, nullptr)))
        lstrcpynA(inst->iniPath, path, sizeof inst->iniPath);
    if (const char *reg = reinterpret_cast<const char *>(FxCallHost(inst, FXN_GET_FILE, 1, nullptr)))
        if (g_fxTallyset.RegSetFile) g_fxTallyset.RegSetFile(reg);

    inst->undoWords[0] = 0xC01;
    inst->undoWords[1] = (inst->features & 0x38) ? 0xC02 : 0;
    inst->undoWords[2] = 3;
    FxReadHostFormat(inst);

    FxSyncEffectHost(inst);
    inst->host.hooks.placeDve = FxPlaceDveHook;
    inst->host.effect = NewEffect(&inst->host, 0);
    if (!inst->host.effect) {
        // The host keeps its data; the count stays raised until its detach.
        FxLockAttach();
        Forget(inst);
        FxUnlockAttach();
        FxFree(own->caps);
        own->caps = nullptr;
        own->capCount = 0;
        own->privateData = descriptor;
        FreeInstance(inst);
        return 0;
    }
    LoadEffect(&inst->host, nullptr, FXL_HOST, nullptr);
    // A new effect's first object takes the default soft border.
    FxEffect *e = inst->host.effect;
    if (e && !(e->flags & FXE_FROM_HOST) && e->first && e->first->head)
        e->first->head->softness = FxReadSetting(inst, 11);
    return 1;
}

INT_PTR FxDetach(CubbyNode *own)
{
    if (!own) return 0;
    FxInstance *inst = FxInstanceOf(own);
    uint32_t libraries = 0;
    if (inst) {
        libraries = FxPersonalityRow(inst->personality).attachLibraries;
        FxLockAttach();
        Forget(inst);
        FxUnlockAttach();
        // Only an array of ours is freed; a node never attached keeps what
        // its host put there.
        FxFree(own->caps);
        FxForgetRequests(inst);
        FreeInstance(inst);
    }
    own->privateData = nullptr;
    own->capCount = 0;
    own->caps = nullptr;
    FxLockAttach();
    FreeAttachLibraries(libraries);
    if (g_useCount == 1) {
        FxFree(g_shared);
        g_shared = nullptr;
    }
    if (g_useCount > 0) --g_useCount;
    FxUnlockAttach();
    return 1;
}
