// The store: entries by (kind, number) in memory, written whole to the
// store's file after every change.
//
// File layout (little-endian): "TALY", u32 version 1, u32 entry count;
// then per entry: i32 kind, i32 number, u32 name length (< 80), the name,
// u32 record size, u32 block size (a card's effect block, else 0), the
// record, the block.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tallyset.h"

namespace {

constexpr uint32_t MAX_PART = 64u << 20;   // a record or block; larger is refused
constexpr uint32_t MAX_ENTRIES = 1u << 20;

struct Entry {
    std::string name;
    std::vector<uint8_t> record;
    std::vector<uint8_t> block;
};

struct Store {
    CRITICAL_SECTION lock;
    std::map<std::pair<int, int>, Entry> entries;
    std::string file;
    Store() { InitializeCriticalSection(&lock); }
};

Store &TheStore()
{
    static Store s;
    return s;
}

struct Lock {
    Store &s;
    explicit Lock(Store &st) : s(st) { EnterCriticalSection(&s.lock); }
    ~Lock() { LeaveCriticalSection(&s.lock); }
};

bool IsCard(const void *record, size_t size)
{
    if (size < 16 + sizeof(void *))
        return false;
    uint32_t type;
    memcpy(&type, static_cast<const uint8_t *>(record) + 4, 4);
    return type == TALLY_CARD_TYPE;
}

void Put32(std::vector<uint8_t> &out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(v >> (8 * i)));
}

bool Save(const Store &s)
{
    if (s.file.empty())
        return true;
    std::vector<uint8_t> out = { 'T', 'A', 'L', 'Y' };
    Put32(out, 1);
    Put32(out, uint32_t(s.entries.size()));
    for (auto &kv : s.entries) {
        Put32(out, uint32_t(kv.first.first));
        Put32(out, uint32_t(kv.first.second));
        Put32(out, uint32_t(kv.second.name.size()));
        out.insert(out.end(), kv.second.name.begin(), kv.second.name.end());
        Put32(out, uint32_t(kv.second.record.size()));
        Put32(out, uint32_t(kv.second.block.size()));
        out.insert(out.end(), kv.second.record.begin(), kv.second.record.end());
        out.insert(out.end(), kv.second.block.begin(), kv.second.block.end());
    }
    // Written beside and then moved over, so a failed write keeps the old store.
    std::string temp = s.file + ".new";
    HANDLE h = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD done = 0;
    BOOL ok = WriteFile(h, out.data(), DWORD(out.size()), &done, nullptr) && done == out.size();
    CloseHandle(h);
    if (!ok || !MoveFileExA(temp.c_str(), s.file.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileA(temp.c_str());
        return false;
    }
    return true;
}

struct Reader {
    const uint8_t *p, *end;
    bool Get32(uint32_t &v)
    {
        if (end - p < 4)
            return false;
        v = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
        p += 4;
        return true;
    }
    bool Bytes(size_t n, const uint8_t *&out)
    {
        if (size_t(end - p) < n)
            return false;
        out = p;
        p += n;
        return true;
    }
};

// Parses a whole store file; false for anything that is not one.
bool Parse(const std::vector<uint8_t> &data, std::map<std::pair<int, int>, Entry> &out)
{
    if (data.size() < 12 || memcmp(data.data(), "TALY", 4) != 0)
        return false;
    Reader r{ data.data() + 4, data.data() + data.size() };
    uint32_t version, count;
    if (!r.Get32(version) || version != 1 || !r.Get32(count) || count > MAX_ENTRIES)
        return false;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t kind, number, nameLen, recLen, blockLen;
        const uint8_t *name, *rec, *block;
        if (!r.Get32(kind) || !r.Get32(number) || !r.Get32(nameLen) || nameLen >= TALLY_NAME_MAX ||
            !r.Bytes(nameLen, name) || !r.Get32(recLen) || !r.Get32(blockLen) || recLen > MAX_PART ||
            blockLen > MAX_PART || !r.Bytes(recLen, rec) || !r.Bytes(blockLen, block))
            return false;
        if (blockLen && !IsCard(rec, recLen))
            return false;
        Entry &e = out[{ int(kind), int(number) }];
        e.name.assign(reinterpret_cast<const char *>(name), nameLen);
        e.record.assign(rec, rec + recLen);
        e.block.assign(block, block + blockLen);
    }
    return r.p == r.end;
}

} // namespace

extern "C" int __cdecl RegSetFile(const char *path)
{
    Store &s = TheStore();
    Lock l(s);
    s.entries.clear();
    s.file = path && *path ? path : "";
    if (s.file.empty())
        return 1;
    HANDLE h = CreateFileA(s.file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return 1;   // a new store
    LARGE_INTEGER size;
    std::vector<uint8_t> data;
    bool ok = GetFileSizeEx(h, &size) && size.QuadPart < (1LL << 30);
    if (ok) {
        data.resize(size_t(size.QuadPart));
        DWORD got = 0;
        ok = data.empty() || (ReadFile(h, data.data(), DWORD(data.size()), &got, nullptr) && got == data.size());
    }
    CloseHandle(h);
    std::map<std::pair<int, int>, Entry> entries;
    if (!ok || !Parse(data, entries)) {
        // Not a store: nothing is loaded and nothing will be written over it.
        s.file.clear();
        return 0;
    }
    s.entries.swap(entries);
    return 1;
}

extern "C" const char *__cdecl RegGetFile(void)
{
    return TheStore().file.c_str();
}

extern "C" int __cdecl RegSetData(int kind, int number, const char *name, const void *record, int size)
{
    if (size < 0 || uint32_t(size) > MAX_PART || (size > 0 && !record))
        return 0;
    Entry e;
    e.name = name ? std::string(name, strnlen(name, TALLY_NAME_MAX - 1)) : std::string();
    const uint8_t *r = static_cast<const uint8_t *>(record);
    e.record.assign(r, r + size);
    if (IsCard(record, size_t(size))) {
        uint32_t blockSize;
        const uint8_t *block;
        memcpy(&blockSize, r + 12, 4);
        memcpy(&block, r + 16, sizeof block);
        if (block && blockSize <= MAX_PART)
            e.block.assign(block, block + blockSize);
    }
    Store &s = TheStore();
    Lock l(s);
    s.entries[{ kind, number }] = std::move(e);
    return Save(s) ? 1 : 0;
}

extern "C" void *__cdecl RegGetData(int kind, int number, char *name, int *length)
{
    Store &s = TheStore();
    Lock l(s);
    auto it = s.entries.find({ kind, number });
    if (it == s.entries.end())
        return nullptr;
    const Entry &e = it->second;
    size_t total = e.record.size() + e.block.size();
    uint8_t *copy = static_cast<uint8_t *>(malloc(total ? total : 1));
    if (!copy)
        return nullptr;
    if (!e.record.empty())
        memcpy(copy, e.record.data(), e.record.size());
    if (!e.block.empty()) {
        // The card's block follows its record; the record points at it.
        uint8_t *block = copy + e.record.size();
        memcpy(block, e.block.data(), e.block.size());
        memcpy(copy + 16, &block, sizeof block);
    }
    if (name) {
        memcpy(name, e.name.c_str(), e.name.size() + 1);
    }
    if (length)
        *length = int(e.record.size());
    return copy;
}

extern "C" void __cdecl RegFreeData(void *record)
{
    free(record);
}

extern "C" int __cdecl RegEnumData(int kind, int first, int last, TallyEnumProc callback, void *context)
{
    if (!callback)
        return 0;
    std::vector<int> numbers;
    {
        Store &s = TheStore();
        Lock l(s);
        for (auto it = s.entries.lower_bound({ kind, first }); it != s.entries.end(); ++it) {
            if (it->first.first != kind || it->first.second > last)
                break;
            numbers.push_back(it->first.second);
        }
    }
    // Called without the lock: a callback may read the entries.
    int calls = 0;
    for (int n : numbers) {
        ++calls;
        if (!callback(kind, n, context))
            break;
    }
    return calls;
}

extern "C" int __cdecl RegFillLBEx(HWND list, int kind, int style, int, void *, void *)
{
    if (!list)
        return 0;
    bool combo = (style & 0xFFFF) == 0x8005;
    UINT reset = combo ? CB_RESETCONTENT : LB_RESETCONTENT;
    UINT add = combo ? CB_ADDSTRING : LB_ADDSTRING;
    UINT setData = combo ? CB_SETITEMDATA : LB_SETITEMDATA;
    SendMessageA(list, reset, 0, 0);
    std::vector<std::pair<int, std::string>> items;
    {
        Store &s = TheStore();
        Lock l(s);
        for (auto &kv : s.entries)
            if (kv.first.first == kind)
                items.push_back({ kv.first.second, kv.second.name });
    }
    int n = 0;
    for (auto &it : items) {
        char text[TALLY_NAME_MAX + 16];
        snprintf(text, sizeof text, "%5d %s", it.first, it.second.c_str());
        LRESULT at = SendMessageA(list, add, 0, LPARAM(text));
        if (at >= 0) {
            SendMessageA(list, setData, WPARAM(at), LPARAM(it.first));
            ++n;
        }
    }
    return n;
}
