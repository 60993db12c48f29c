// The animation-data library: records read from files or taken in memory,
// checked whole before any handle is given, then read object by object.
#include "mobra.h"

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

constexpr uint64_t kMaxRecord = uint64_t(256) << 20;
constexpr int32_t kMaxPoints = 65536;
constexpr size_t kMaxFiles = 64;

// Asked of the memory manager, never by touching the bytes.  Memory it
// does not manage (the C run-time's own heap of a winelib host) is the
// caller's to give; reserved, guard and no-access pages are refused.
bool Readable(const void *p, uint64_t n)
{
    if (!p || n > kMaxRecord) return false;
    const uint8_t *at = static_cast<const uint8_t *>(p);
    const uint8_t *const end = at + n;
    while (at < end) {
        MEMORY_BASIC_INFORMATION mi;
        if (!VirtualQuery(at, &mi, sizeof mi) || mi.State == MEM_RESERVE) return false;
        if (mi.State == MEM_COMMIT && (mi.Protect & (PAGE_GUARD | PAGE_NOACCESS))) return false;
        at = static_cast<const uint8_t *>(mi.BaseAddress) + mi.RegionSize;
    }
    return true;
}

// Whether the `bytes` at `p` hold one sound record.
bool Sound(const uint8_t *p, uint64_t bytes)
{
    if (bytes < sizeof(MobraHeader)) return false;
    MobraHeader h;
    std::memcpy(&h, p, sizeof h);
    if (h.magic != MOBRA_MAGIC || h.size > bytes || h.count > MOBRA_MAX_OBJECTS) return false;
    if (uint64_t(sizeof h) + uint64_t(h.count) * sizeof(MobraObject) > h.size) return false;
    for (uint32_t i = 0; i < h.count; ++i) {
        MobraObject o;
        std::memcpy(&o, p + sizeof h + size_t(i) * sizeof o, sizeof o);
        const MobraBox &b = o.box;
        if (b.width < 0 || b.height < 0 || b.width > MOBRA_MAX_SIDE || b.height > MOBRA_MAX_SIDE) return false;
        if (b.points < 0 || b.points > kMaxPoints) return false;
        const uint64_t pixels = uint64_t(b.width) * uint64_t(b.height) * 4;
        if (pixels && uint64_t(o.pixelOffset) + pixels > h.size) return false;
        if (b.points && uint64_t(o.pointOffset) + uint64_t(b.points) * 8 > h.size) return false;
    }
    return true;
}

const MobraHeader *Header(LONG_PTR record)
{
    return reinterpret_cast<const MobraHeader *>(record);
}

const MobraObject *Object(LONG_PTR record, LONG_PTR n)
{
    const MobraHeader *h = Header(record);
    if (!h || n < 0 || uint64_t(n) >= h->count) return nullptr;
    return reinterpret_cast<const MobraObject *>(reinterpret_cast<const uint8_t *>(h) + sizeof *h) + n;
}

// Records read from files, kept for the life of the process: handles of
// them stay good however often a name is opened again.
struct FileRecord {
    std::string name;
    std::vector<uint8_t> bytes;
};
std::mutex g_lock;
std::vector<FileRecord *> g_files;

bool ReadWhole(LPCSTR name, std::vector<uint8_t> *out)
{
    HANDLE f = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size = {};
    bool ok = GetFileSizeEx(f, &size) && uint64_t(size.QuadPart) >= sizeof(MobraHeader) &&
              uint64_t(size.QuadPart) <= kMaxRecord;
    if (ok) {
        out->resize(size_t(size.QuadPart));
        DWORD got = 0;
        ok = ReadFile(f, out->data(), DWORD(out->size()), &got, nullptr) && got == out->size();
    }
    CloseHandle(f);
    return ok;
}

}  // namespace

extern "C" {

LONG_PTR WINAPI mobraOpen(LPCSTR name)
{
    if (!name) return 0;
    std::vector<uint8_t> bytes;
    if (!ReadWhole(name, &bytes) || !Sound(bytes.data(), bytes.size())) return 0;
    std::lock_guard<std::mutex> hold(g_lock);
    for (FileRecord *r : g_files)
        if (r->name == name && r->bytes == bytes) return LONG_PTR(r->bytes.data());
    if (g_files.size() >= kMaxFiles) return 0;
    g_files.push_back(new FileRecord{name, std::move(bytes)});
    return LONG_PTR(g_files.back()->bytes.data());
}

LONG_PTR WINAPI mobraCast(LONG_PTR data, LONG_PTR size)
{
    const uint8_t *p = reinterpret_cast<const uint8_t *>(data);
    if (!Readable(p, sizeof(MobraHeader))) return 0;
    uint64_t bytes = uint64_t(size);
    if (size <= 0) {
        MobraHeader h;
        std::memcpy(&h, p, sizeof h);
        bytes = h.size;
    }
    if (!Readable(p, bytes) || !Sound(p, bytes)) return 0;
    return data;
}

LONG_PTR WINAPI mobraGetInfo(LONG_PTR record, void *info)
{
    const MobraHeader *h = Header(record);
    if (!h || !info) return 0;
    MobraInfo i = {int32_t(h->count), h->width, h->height, h->number, h->flags};
    std::memcpy(info, &i, sizeof i);
    return 1;
}

LONG_PTR WINAPI mobraGetBox(LONG_PTR record, LONG_PTR n, void *box)
{
    const MobraObject *o = Object(record, n);
    if (!o || !box) return 0;
    std::memcpy(box, &o->box, sizeof o->box);
    return 1;
}

LONG_PTR WINAPI mobraGetBmp(LONG_PTR record, LONG_PTR n, void *pixels)
{
    const MobraObject *o = Object(record, n);
    if (!o || !pixels || !o->box.width || !o->box.height) return 0;
    std::memcpy(pixels, reinterpret_cast<const uint8_t *>(record) + o->pixelOffset,
                size_t(o->box.width) * size_t(o->box.height) * 4);
    return 1;
}

LONG_PTR WINAPI mobraGetPts(LONG_PTR record, LONG_PTR n, void *points)
{
    const MobraObject *o = Object(record, n);
    if (!o || !points || !o->box.points) return 0;
    std::memcpy(points, reinterpret_cast<const uint8_t *>(record) + o->pointOffset, size_t(o->box.points) * 8);
    return 1;
}

LONG_PTR WINAPI mobraGetName(LONG_PTR record, LONG_PTR n, char *name)
{
    const MobraObject *o = Object(record, n);
    if (!o || !name) return 0;
    std::memcpy(name, o->name, sizeof o->name);
    name[sizeof o->name - 1] = 0;
    return 1;
}

}  // extern "C"
