// The host side of the node protocol.  The effects library is bound by file
// name; every call goes through the two nodes' notify functions.  The nodes,
// use count and started mark are process-wide: one lock guards them, so
// renderings on several threads start, use and release the link safely.
#include "fxlink.h"

#include <cstdio>
#include <cstring>

namespace cuelink {

namespace {

struct Lock {
    CRITICAL_SECTION cs;
    Lock() { InitializeCriticalSection(&cs); }
};
Lock g_lock;
struct Hold {
    Hold() { EnterCriticalSection(&g_lock.cs); }
    ~Hold() { LeaveCriticalSection(&g_lock.cs); }
};

CubbyNode g_own;
CubbyNode g_lib;
CubbyAppRecord g_recA, g_recB;
uint8_t g_personality[32];
uint32_t g_startFlags;
bool g_flagsKept;
int g_useCount;
bool g_animationStarted;  // the link started by QCGGetRenderedData
bool g_changed[2];
char g_iniPath[MAX_PATH], g_regPath[MAX_PATH];
CuelinkVideoHeader g_videoHead;
CuelinkVideoEntry g_videoEntry;

void Put32(uint8_t* p, uint32_t v)
{
    std::memcpy(p, &v, 4);
}

void Preset()
{
    std::memset(&g_own, 0, sizeof g_own);
    g_own.notify = FxOwnNotify;
    lstrcpynA(g_own.name, "Cubby 4.0 Renderer", sizeof g_own.name);

    std::memset(&g_recA, 0, sizeof g_recA);
    g_recA.flags = CAR_REPORT;
    g_recA.type = 1;
    g_recA.id = 0x2C800000;
    lstrcpynA(g_recA.name, "Animation", sizeof g_recA.name);
    lstrcpynA(g_recA.path, "Tarvofx.dll", sizeof g_recA.path);
    lstrcpynA(g_recA.notifyName, "FXNotify", sizeof g_recA.notifyName);
    g_recA.priv.type = REG_DWORD;
    g_recA.priv.value = 0;

    std::memset(&g_recB, 0, sizeof g_recB);
    g_recB.flags = CAR_COPY_PATH;
    g_recB.type = 1;
    g_recB.id = 0x2C810000;
    lstrcpynA(g_recB.name, "Quillon Morvix", sizeof g_recB.name);
    lstrcpynA(g_recB.path, "Tarvofx\\Tarvofx.dll", sizeof g_recB.path);
    lstrcpynA(g_recB.notifyName, "FXNotify", sizeof g_recB.notifyName);
    const uint32_t select[8] = {32, 0x2C800030, 0x511FFFFF, 0x80000000, 0, 0, 2, 0x2C940000};
    for (int i = 0; i < 8; ++i) Put32(g_personality + 4 * i, select[i]);
    g_recB.priv.type = REG_BINARY;
    g_recB.priv.value = uintptr_t(g_personality);
}

struct Init {
    Init() { Preset(); }
} g_init;

void ResetVideoFormat()
{
    std::memset(&g_videoHead, 0, sizeof g_videoHead);
    g_videoHead.size = sizeof g_videoHead;
    g_videoHead.count = 1;
    g_videoHead.entrySize = sizeof g_videoEntry;
    std::memset(&g_videoEntry, 0, sizeof g_videoEntry);
    g_videoEntry.size = sizeof g_videoEntry;
    g_videoEntry.frameRate = 25;
    g_videoEntry.width = 640;
    g_videoEntry.height = 480;
    g_videoEntry.aspectX = 4;
    g_videoEntry.aspectY = 3;
    g_videoEntry.flags = 2;  // bit 1 set, bit 0 clear
    g_videoEntry.fieldOrder = 2;
}

bool IsOwnKind(uint32_t id)
{
    return id == kOwnKindPlain || id == kOwnKindBoard;
}

bool HasDirectory(const char* path)
{
    return std::strchr(path, '\\') || std::strchr(path, '/') || std::strchr(path, ':');
}

// Directory part of a path, with its separator ("" when none).
void DirOf(const char* path, char* out, size_t size)
{
    lstrcpynA(out, path, int(size));
    char* cut = nullptr;
    for (char* p = out; *p; ++p)
        if (*p == '\\' || *p == '/') cut = p;
    if (cut)
        cut[1] = 0;
    else
        out[0] = 0;
}

void SettingsPaths()
{
    char dir[MAX_PATH] = "";
    if (g_lib.module) {
        char mod[MAX_PATH];
        if (GetModuleFileNameA(g_lib.module, mod, MAX_PATH)) DirOf(mod, dir, sizeof dir);
    }
    std::snprintf(g_iniPath, sizeof g_iniPath, "%squillon.ini", dir);
    char reg[MAX_PATH];
    GetPrivateProfileStringA("Preferences", "quillon.reg", "quillon.reg", reg, sizeof reg, g_iniPath);
    // Relative to the library's directory.
    char cur[MAX_PATH];
    const DWORD had = GetCurrentDirectoryA(MAX_PATH, cur);
    if (dir[0]) SetCurrentDirectoryA(dir);
    if (!GetFullPathNameA(reg, MAX_PATH, g_regPath, nullptr)) lstrcpynA(g_regPath, reg, MAX_PATH);
    if (had && had < MAX_PATH) SetCurrentDirectoryA(cur);
}

INT_PTR Call(CubbyNode* node, CubbyNode* peer, UINT msg, WPARAM wp, void* rec)
{
    if (!node || !node->notify) return 0;
    return node->notify(node, peer, msg, wp, rec);
}

int Attach()
{
    if (IsOwnKind(g_own.id)) {
        FxBindRecord(&g_recA, &g_lib, g_own.module);
    } else {
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Quillon\\Morvix\\1.0", 0, KEY_READ, &key) == ERROR_SUCCESS) {
            HKEY sub;
            HKEY from = key;
            if (RegOpenKeyExA(key, g_own.name, 0, KEY_READ, &sub) == ERROR_SUCCESS) from = sub;
            char path[260];
            DWORD size = sizeof path - 1, type = 0;
            if (RegQueryValueExA(from, "dllPath", nullptr, &type, reinterpret_cast<BYTE*>(path), &size) ==
                    ERROR_SUCCESS &&
                type == REG_SZ) {
                path[size < sizeof path ? size : sizeof path - 1] = 0;
                lstrcpynA(g_recB.path, path, sizeof g_recB.path);
            }
            if (from != key) RegCloseKey(from);
            RegCloseKey(key);
        }
        FxBindRecord(&g_recB, &g_lib, g_own.module);
    }
    SettingsPaths();
    ResetVideoFormat();
    const INT_PTR r = Call(&g_lib, &g_own, FXN_ATTACH, 0, nullptr);
    if (IsOwnKind(g_own.id)) {
        uint32_t state[2] = {0x80010000, 0x7D7FFFFF};
        Call(&g_lib, &g_own, FXN_STATE, 7, state);
    }
    return int(r);
}

int Detach()
{
    const INT_PTR r = Call(&g_lib, &g_own, FXN_DETACH, 0, nullptr);
    g_lib.caps = nullptr;
    g_lib.capCount = 0;
    return int(r);
}

bool CapUsable(uint32_t w)
{
    return (w & 0x1111) && !(w & 0x40000000);
}

}  // namespace

CubbyNode* FxOwnNode() { return &g_own; }
CubbyNode* FxLibraryNode() { return &g_lib; }
CubbyAppRecord* FxRecordA() { return &g_recA; }
CubbyAppRecord* FxRecordB() { return &g_recB; }
int FxUseCount()
{
    Hold h;
    return g_useCount;
}

void FxInstallDir(char* out, size_t size)
{
    out[0] = 0;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "QuillonFileType\\shell\\open", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    char cmd[MAX_PATH + 64];
    DWORD n = sizeof cmd - 1, type = 0;
    if (RegQueryValueExA(key, "command", nullptr, &type, reinterpret_cast<BYTE*>(cmd), &n) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
        cmd[n < sizeof cmd ? n : sizeof cmd - 1] = 0;
        // A quoted program path keeps its directory without the quote.
        const char* start = cmd[0] == '"' ? cmd + 1 : cmd;
        DirOf(start, out, size);
    }
    RegCloseKey(key);
}

int FxBindRecord(CubbyAppRecord* rec, CubbyNode* node, HINSTANCE instance)
{
    bool found = false;
    char install[MAX_PATH];
    if (rec->flags & CAR_INSTALL_FIRST) {
        FxInstallDir(install, sizeof install);
        if (install[0] && (!HasDirectory(rec->path) || (rec->flags & CAR_INSTALL_FORCE))) {
            const char* file = rec->path;
            for (const char* p = rec->path; *p; ++p)
                if (*p == '\\' || *p == '/') file = p + 1;
            char joined[2 * MAX_PATH + 8];
            std::snprintf(joined, sizeof joined, "%s%s", install, file);
            lstrcpynA(rec->path, joined, sizeof rec->path);
            found = true;
        }
    }
    if (!found && (rec->flags & CAR_REGISTRY)) {
        HKEY apps, key;
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "TarvoWorks\\VMP4.0\\apps", 0, KEY_READ, &apps) == ERROR_SUCCESS) {
            if (RegOpenKeyExA(apps, rec->name, 0, KEY_READ, &key) == ERROR_SUCCESS) {
                auto dword = [&](const char* name, uint32_t* out) {
                    DWORD v, n = sizeof v, t;
                    if (RegQueryValueExA(key, name, nullptr, &t, reinterpret_cast<BYTE*>(&v), &n) == ERROR_SUCCESS &&
                        t == REG_DWORD)
                        *out = v;
                };
                auto text = [&](const char* name, char* out, DWORD cap) {
                    DWORD n = cap - 1, t;
                    if (RegQueryValueExA(key, name, nullptr, &t, reinterpret_cast<BYTE*>(out), &n) == ERROR_SUCCESS &&
                        t == REG_SZ)
                        out[n < cap ? n : cap - 1] = 0;
                };
                dword("Flags", &rec->flags);
                dword("Version", &rec->version);
                dword("Type", &rec->type);
                dword("Id", &rec->id);
                text("Path", rec->path, sizeof rec->path);
                text("NotifyFunc", rec->notifyName, sizeof rec->notifyName);
                DWORD t = 0, n = 0;
                if (RegQueryValueExA(key, "PrivateData", nullptr, &t, nullptr, &n) == ERROR_SUCCESS) {
                    rec->priv.type = t;
                    if (t == REG_DWORD || t == REG_DWORD_BIG_ENDIAN) {
                        DWORD v = 0;
                        n = sizeof v;
                        RegQueryValueExA(key, "PrivateData", nullptr, &t, reinterpret_cast<BYTE*>(&v), &n);
                        rec->priv.value = v;
                    } else if (n && n < (1u << 20)) {
                        void* block = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, n);
                        if (block &&
                            RegQueryValueExA(key, "PrivateData", nullptr, &t, static_cast<BYTE*>(block), &n) ==
                                ERROR_SUCCESS) {
                            if (rec->flags & CAR_PRIVATE_ALLOCATED)
                                HeapFree(GetProcessHeap(), 0, reinterpret_cast<void*>(rec->priv.value));
                            rec->priv.value = uintptr_t(block);
                            rec->flags |= CAR_PRIVATE_ALLOCATED;
                        } else if (block) {
                            HeapFree(GetProcessHeap(), 0, block);
                        }
                    }
                }
                RegCloseKey(key);
            } else if (rec->flags & CAR_INSTALL_FALLBACK) {
                FxInstallDir(install, sizeof install);
                if (install[0] && !HasDirectory(rec->path)) {
                    char joined[2 * MAX_PATH + 8];
                    std::snprintf(joined, sizeof joined, "%s%s", install, rec->path);
                    lstrcpynA(rec->path, joined, sizeof rec->path);
                }
            }
            RegCloseKey(apps);
        }
    }

    node->notify = nullptr;
    if (rec->type & 1) {
        char full[MAX_PATH], cur[MAX_PATH], dir[MAX_PATH];
        const DWORD had = GetCurrentDirectoryA(MAX_PATH, cur);
        if (!GetFullPathNameA(rec->path, MAX_PATH, full, nullptr)) lstrcpynA(full, rec->path, MAX_PATH);
        if (lstrcmpiA(full, rec->path) != 0) {
            // A relative path is taken from the host program's directory.
            char exe[MAX_PATH], exeDir[MAX_PATH];
            GetModuleFileNameA(nullptr, exe, MAX_PATH);
            DirOf(exe, exeDir, sizeof exeDir);
            if (exeDir[0] && !HasDirectory(rec->path)) std::snprintf(full, sizeof full, "%s%s", exeDir, rec->path);
        }
        DirOf(full, dir, sizeof dir);
        if (dir[0]) SetCurrentDirectoryA(dir);
        HMODULE mod = LoadLibraryA(full);
        if (!mod) {
            const char* file = rec->path;
            for (const char* p = rec->path; *p; ++p)
                if (*p == '\\' || *p == '/') file = p + 1;
            char found_path[MAX_PATH];
            if (SearchPathA(nullptr, file, nullptr, MAX_PATH, found_path, nullptr)) {
                mod = LoadLibraryA(found_path);
                if (mod) lstrcpynA(full, found_path, MAX_PATH);
            }
        }
        if (!mod) {
            mod = LoadLibraryA(rec->path);
            if (mod) lstrcpynA(full, rec->path, MAX_PATH);
        }
        if (had && had < MAX_PATH) SetCurrentDirectoryA(cur);
        if (!mod) {
            const DWORD err = GetLastError();
            if (rec->flags & CAR_REPORT) {
                char text[800];
                std::snprintf(text, sizeof text, "Could not load %s (%s);  Error %ld", rec->name, full, long(err));
                MessageBoxA(nullptr, text, rec->name, MB_OK | MB_ICONWARNING | MB_TASKMODAL);
            }
            return 0;
        }
        if (rec->flags & CAR_COPY_PATH) lstrcpynA(rec->path, full, sizeof rec->path);
        rec->module = mod;
        node->module = mod;
        FARPROC fn = GetProcAddress(mod, rec->notifyName);
        if (!fn) {
            const DWORD err = GetLastError();
            if (rec->flags & CAR_REPORT) {
                char text[800];
                std::snprintf(text, sizeof text, "Could not find %s in %s (%s);  Error %ld", rec->notifyName,
                              rec->name, full, long(err));
                MessageBoxA(nullptr, text, rec->name, MB_OK | MB_ICONWARNING | MB_TASKMODAL);
            }
            return 0;
        }
        node->notify = reinterpret_cast<CubbyNotify>(reinterpret_cast<void*>(fn));
    }
    if (node->id == 0) node->id = rec->id;
    if (node->name[0] == 0) lstrcpynA(node->name, rec->name, sizeof node->name);
    if (!node->privateData) node->privateData = &rec->priv;
    (void)instance;
    return 1;
}

INT_PTR WINAPI FxOwnNotify(CubbyNode* node, CubbyNode* peer, UINT message, WPARAM wparam, void* record)
{
    (void)peer;
    if (!node) return 0;
    switch (message) {
    case FXN_ATTACH:
        return Attach();
    case FXN_DETACH:
        return Detach();
    case FXN_EFFECT_CHANGED:
        g_changed[0] = g_changed[1] = true;
        return 0;
    case FXN_SETTINGS_PATH:
        if (wparam == 0) return INT_PTR(g_iniPath);
        if (wparam == 1) return INT_PTR(g_regPath);
        return 0;
    case FXN_VIDEO_FORMAT: {
        auto* q = static_cast<FxVideoFormatQuery*>(record);
        if (!q) return 0;
        if (q->code == 0) {
            ResetVideoFormat();
            return 1;
        }
        if (q->code != 17 || !q->out) return 0;
        if (q->index == 0) {
            std::memcpy(q->out, &g_videoHead, sizeof g_videoHead);
            return 1;
        }
        if (q->index <= g_videoHead.count) {
            if (q->form == 0x2C0000F3) {
                CuelinkVideoExtension ext = {sizeof ext, 0x2C0000F3, {0, 0, 0, 0, 0}};
                std::memcpy(q->out, &ext, sizeof ext);
            } else {
                std::memcpy(q->out, &g_videoEntry, sizeof g_videoEntry);
            }
            return 1;
        }
        return 0;
    }
    default:
        return 0;
    }
}

int FxLinkStart(HINSTANCE instance, uint32_t startFlags, const char* hostPath)
{
    Hold h;
    if (!g_flagsKept) {
        g_startFlags = startFlags;
        g_flagsKept = true;
    }
    if (hostPath && hostPath[0] && !HasDirectory(g_recA.path)) {
        char dir[MAX_PATH], joined[MAX_PATH];
        DirOf(hostPath, dir, sizeof dir);
        std::snprintf(joined, sizeof joined, "%s%s", dir, g_recA.path);
        lstrcpynA(g_recA.path, joined, sizeof g_recA.path);
    }
    if (g_useCount > 0) return ++g_useCount;
    g_own.module = instance;
    g_own.window = nullptr;
    g_own.id = ((g_startFlags & 0x0F000000) || g_startFlags == 2048) ? kOwnKindBoard : kOwnKindPlain;
    g_useCount = 1;
    Call(&g_own, nullptr, FXN_ATTACH, 0, nullptr);
    return g_useCount;
}

int FxLinkRelease()
{
    Hold h;
    if (g_useCount <= 0) return 0;
    if (--g_useCount == 0) Call(&g_own, nullptr, FXN_DETACH, 0, nullptr);
    return g_useCount;
}

int FxFlagDistance(uint32_t a, uint32_t b, uint32_t* nibbleA, uint32_t* nibbleB)
{
    int best = 32000;
    for (int c = 0; c < 4; ++c) {
        const uint32_t na = (a >> (4 * c)) & 15;
        if (!(na & 1)) continue;
        for (int f = 0; f < 4; ++f) {
            const uint32_t nb = (b >> (4 * f)) & 15;
            if (((nb & 7) ^ 6) != (na & 7)) continue;
            const int d = f * f + c * c;
            if (d < best) {
                best = d;
                if (nibbleA) *nibbleA = na << (4 * c);
                if (nibbleB) *nibbleB = nb << (4 * f);
            }
        }
    }
    return best;
}

bool FxMatchFormats(FxRequest* req, const CubbyNode* source, const CubbyNode* destination)
{
    // A node without entries offers the request itself.
    CubbyFormatEntry self = {req->code, req->unit, 0, req->sourceFlags, req->destFlags, 0, 0, nullptr};
    const CubbyFormatEntry* se = source && source->capCount ? source->caps : &self;
    const uint32_t sn = source && source->capCount ? source->capCount : 1;
    const CubbyFormatEntry* de = destination && destination->capCount ? destination->caps : &self;
    const uint32_t dn = destination && destination->capCount ? destination->capCount : 1;
    int best = 32000;
    uint32_t unit = 0, fa = 0, fb = 0;
    for (uint32_t i = 0; i < sn && best; ++i) {
        const CubbyFormatEntry& s = se[i];
        if (s.code != req->code || !s.media || !CapUsable(s.source)) continue;
        for (uint32_t j = 0; j < dn; ++j) {
            const CubbyFormatEntry& d = de[j];
            if (d.code != s.code || !CapUsable(d.destination)) continue;
            const uint32_t common = s.media & d.media;
            if (!common) continue;
            const uint32_t u = common & (0u - common);
            uint32_t na = 0, nb = 0;
            const int dist = FxFlagDistance(s.source, d.destination, &na, &nb);
            if (dist >= 32000) continue;
            if (dist < best || (dist == best && u < unit)) {
                best = dist;
                unit = u;
                fa = (s.source & 0xFFFF0000u) | na;
                fb = (d.destination & 0xFFFF0000u) | nb;
            }
            if (dist == 0 && u == 1) break;
        }
    }
    if (best >= 32000) return false;
    req->unit = unit;
    req->sourceFlags = fa;
    req->destFlags = fb;
    return true;
}

INT_PTR FxExchange(void* request, CubbyNode* receiver, CubbyNode* giver, CubbyNode* own)
{
    if (!request) return 0;
    const bool current = FxIsCurrentForm(request);
    FxRequest r;
    if (current)
        std::memcpy(&r, request, sizeof r);
    else
        FxFromOld(&r, static_cast<const FxRequestOld*>(request));
    auto back = [&] {
        if (current)
            std::memcpy(request, &r, sizeof r);
        else
            FxToOld(static_cast<FxRequestOld*>(request), &r);
    };
    INT_PTR result = 0;
    if (r.flags & 1) {
        result = receiver ? Call(receiver, own, FXN_REQUEST, FXP_DIRECT_SET, &r)
                          : Call(giver, own, FXN_REQUEST, FXP_DIRECT_GET, &r);
        back();
        return result;
    }
    if (!FxMatchFormats(&r, giver, receiver)) {
        back();
        return 0;
    }
    // Phases: the giver sizes and prepares, the receiver prepares, the
    // giver transfers (releasing its prepared block unless it keeps a copy),
    // the receiver takes the data, both finish.
    const bool keep = r.flags & 0x10;
    bool gaveSize = false, received = false;
    do {
        result = Call(giver, own, FXN_REQUEST, FXP_SIZE | FXP_PREPARE, &r);
        back();
        if (!result) break;
        gaveSize = true;
        Call(receiver, own, FXN_REQUEST, FXP_RECEIVE | (r.data ? FXP_PREPARE : FXP_SIZE | FXP_PREPARE), &r);
        back();
        const INT_PTR moved = Call(giver, own, FXN_REQUEST, FXP_TRANSFER | (keep ? 0 : FXP_RELEASE) | FXP_FINISH, &r);
        back();
        result = Call(receiver, own, FXN_REQUEST, FXP_RECEIVE | FXP_FINISH | (moved ? 0 : FXP_TRANSFER), &r);
        back();
        if (!result) break;
        received = true;
        Call(giver, own, FXN_REQUEST, FXP_FINISH, &r);
        Call(receiver, own, FXN_REQUEST, FXP_FINISH | FXP_RECEIVE, &r);
        back();
    } while (false);
    if (!received) {
        // Clean up what the nodes that took part prepared.
        if (gaveSize) {
            Call(receiver, own, FXN_REQUEST, FXP_FINISH | FXP_RELEASE | FXP_RECEIVE, &r);
            Call(giver, own, FXN_REQUEST, FXP_FINISH | FXP_RELEASE, &r);
        }
        Call(giver, own, FXN_REQUEST, FXP_FINISH, &r);
        back();
    }
    return result;
}

void FxBuildFrameFormat(FxFrameFormat* f, int width, int height, int stride, int position, int frames,
                        uint32_t callerFlags)
{
    std::memset(f, 0, sizeof *f);
    f->size = sizeof *f;
    uint32_t fmt = 0x2004;
    if (callerFlags & 0x800000) fmt |= 0x800000;
    const bool bottomUp = height < 0;
    uint32_t h = uint32_t(bottomUp ? -height : height);
    uint32_t field = 0;
    if (callerFlags & 0x20) field |= 4;
    if (callerFlags & 0x10) field |= 8;
    const uint32_t top = callerFlags >> 28;
    if (field) {
        field |= 1;
        if (stride == 8 * width || top == 1) {
            field |= 2;
            h *= 2;
        }
    } else if (top != 2 && top != 3) {
        fmt |= 0x40u << 8;
    }
    fmt |= field << 16;
    fmt |= (bottomUp ? 0x50u : 0x90u) << 24;
    if (callerFlags & 0x2000000) fmt |= 1u << 27;
    f->format = fmt;
    f->width = uint32_t(width);
    f->height = h;
    f->position = uint32_t(position);
    f->frames = uint32_t(frames);
    f->stride = uint32_t(stride);
}

int FxRenderAnimation(void* buffer, int width, int height, int stride, int position, int frames,
                      const void* effect, size_t effectSize, const void* object, size_t objectSize,
                      uint32_t callerFlags)
{
    (void)effectSize;
    {
        Hold h;
        if (!g_animationStarted) {
            char install[MAX_PATH];
            FxInstallDir(install, sizeof install);
            HMODULE self = nullptr;
            GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                               reinterpret_cast<const char*>(&FxRenderAnimation), &self);
            FxLinkStart(self, 419, install);
            g_animationStarted = true;
        }
        if (!g_lib.notify) return 0;
    }
    Hold h;  // one frame at a time through the library
    FxRequestOld set = {};
    set.data = const_cast<void*>(effect);
    set.code = (callerFlags & 0x1000000) ? FXD_EFFECT_TEXT : FXD_EFFECT_BLOCK;
    set.unit = 16;
    set.flags = 15;
    if (!FxExchange(&set, &g_lib, &g_own, &g_own)) return 0;
    if (callerFlags & 0x4000000) {
        FxRequest pos = {};
        uint32_t w[3] = {0, 0, 0};
        if (object) std::memcpy(w, object, objectSize < sizeof w ? objectSize : sizeof w);
        pos.data = reinterpret_cast<void*>(uintptr_t(w[0]));
        pos.marker = FXR_MARKER;
        pos.code = FXD_OBJECT_POSITION;
        pos.unit = 16;
        pos.flags = 15;
        pos.second = (uintptr_t(w[2]) << 16) | (w[1] & 0xFFFF);
        FxExchange(&pos, &g_lib, &g_own, &g_own);
    } else if (!(callerFlags & 0x8000000)) {
        FxRequestOld obj = {};
        obj.data = const_cast<void*>(object);
        obj.code = FXD_OBJECT_DATA;
        obj.unit = 16;
        obj.flags = 15;
        // The record's own size bounds what the library reads of it.
        obj.second = uintptr_t(objectSize);
        if (!FxExchange(&obj, &g_lib, &g_own, &g_own)) return 0;
    }
    FxFrameFormat format;
    FxBuildFrameFormat(&format, width, height, stride, position, frames, callerFlags);
    FxRequestOld frame = {};
    frame.data = buffer;
    frame.code = FXD_RENDER_FRAME;
    frame.unit = 16;
    frame.flags = 15;
    frame.second = uintptr_t(&format);
    return int(FxExchange(&frame, nullptr, &g_lib, &g_own));
}

void FxDone()
{
    bool release;
    {
        Hold h;
        release = g_animationStarted;
        g_animationStarted = false;
    }
    if (release) FxLinkRelease();
}

}  // namespace cuelink
