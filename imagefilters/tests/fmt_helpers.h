// Helpers for the format filter tests: run a reader or a writer through its
// function table on in-memory bytes or temporary files, and little byte
// builders for hand-made fixtures.
#pragma once
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "fxcore.h"

namespace fmt_test {

using Bytes = std::vector<uint8_t>;

inline void Put8(Bytes& b, uint32_t v) { b.push_back(uint8_t(v)); }
inline void Le16(Bytes& b, uint32_t v) { Put8(b, v); Put8(b, v >> 8); }
inline void Le32(Bytes& b, uint32_t v) { Le16(b, v); Le16(b, v >> 16); }
inline void Be16(Bytes& b, uint32_t v) { Put8(b, v >> 8); Put8(b, v); }
inline void Be32(Bytes& b, uint32_t v) { Be16(b, v >> 16); Be16(b, v); }
inline void Str(Bytes& b, const char* s) { while (*s) Put8(b, uint8_t(*s++)); }
inline void Append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }
inline uint32_t GetLe16(const Bytes& b, size_t at) { return b[at] | (b[at + 1] << 8); }
inline uint32_t GetLe32(const Bytes& b, size_t at) { return GetLe16(b, at) | (GetLe16(b, at + 2) << 16); }
inline uint32_t GetBe16(const Bytes& b, size_t at) { return (b[at] << 8) | b[at + 1]; }

// A file in the temporary folder, named per process so that test programs
// running side by side in one prefix never share a file.
inline std::string TempPath(const char* name)
{
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    char pid[16];
    wsprintfA(pid, "%lu_", GetCurrentProcessId());
    return std::string(dir) + pid + name;
}

inline bool SaveFile(const std::string& path, const Bytes& data)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD done = 0;
    BOOL ok = data.empty() || WriteFile(h, data.data(), DWORD(data.size()), &done, nullptr);
    CloseHandle(h);
    return ok && done == data.size();
}

inline Bytes LoadFile(const std::string& path)
{
    Bytes out;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return out;
    DWORD size = GetFileSize(h, nullptr), done = 0;
    out.resize(size);
    if (size && !ReadFile(h, out.data(), size, &done, nullptr)) out.clear();
    CloseHandle(h);
    return out;
}

// Result of reading one image through a reader's table.
struct Decoded {
    int openRc = 0;      // result of open
    int rc = 0;          // first failure after open, or 0
    ConvertSource s;     // the source as the reader described it
    std::vector<Bytes> rows;  // rows in the reader's delivery order
    std::vector<RGBQUAD> palette;
    bool overrun = false;  // a reader wrote past the row or image it was given
    bool skipped = false;  // the image was larger than the caller allowed; nothing read
};

const uint8_t kGuard = 0xA5;
const size_t kGuardBytes = 32;

inline bool GuardIntact(const uint8_t* p)
{
    for (size_t i = 0; i < kGuardBytes; ++i)
        if (p[i] != kGuard) return false;
    return true;
}

// Opens, prepares and reads every row (or the whole image) of `data`.
// Every buffer handed to the reader is followed by guard bytes that must
// stay untouched.  Images of more than maxPixels are opened only.
inline Decoded Decode(FxReaderOpen open, const Bytes& data, uint64_t maxPixels = 1u << 24)
{
    Decoded d;
    std::memset(&d.s, 0, sizeof d.s);
    d.s.version = FX_REQUEST_VERSION;
    Bytes copy = data;
    std::string empty = TempPath("fx_empty.tmp");
    BufferedStream* st;
    if (copy.empty()) {  // a memory stream needs some memory: use an empty file
        SaveFile(empty, copy);
        st = bfOpenFile(empty.c_str(), 0);
    } else {
        st = bfSetMem(copy.data(), uint32_t(data.size()), uint32_t(data.size()), 0);
    }
    d.s.stream = st;
    d.openRc = open(&d.s);
    if (d.openRc == 0 && uint64_t(d.s.width) * d.s.height > maxPixels) {
        d.skipped = true;
        if (d.s.close) d.s.close(&d.s);
    } else if (d.openRc == 0) {
        ConvertSource& s = d.s;
        if (s.prepare) d.rc = s.prepare(&s);
        if (d.rc == 0 && s.getPalette && s.paletteCount) {
            int want = s.paletteCount > 256 ? 256 : s.paletteCount;
            d.palette.resize(size_t(want) + kGuardBytes / 4);
            std::memset(d.palette.data() + want, kGuard, kGuardBytes);
            int n = s.getPalette(&s, d.palette.data(), want);
            if (!GuardIntact(reinterpret_cast<uint8_t*>(d.palette.data() + want))) d.overrun = true;
            d.palette.resize(n > 0 ? size_t(n) : 0);
        }
        if (d.rc == 0 && s.beginRows) d.rc = s.beginRows(&s);
        if (d.rc == 0) {
            uint32_t bpr = s.bytesPerRow;
            if (s.readRow) {
                for (int y = 0; y < s.height && d.rc == 0; ++y) {
                    Bytes row(bpr + kGuardBytes, 0);
                    std::memset(row.data() + bpr, kGuard, kGuardBytes);
                    d.rc = s.readRow(&s, row.data());
                    if (!GuardIntact(row.data() + bpr)) d.overrun = true;
                    row.resize(bpr);
                    d.rows.push_back(row);
                }
            } else if (s.readImage) {
                size_t size = size_t(bpr) * s.height;
                Bytes block(size + kGuardBytes, 0);
                std::memset(block.data() + size, kGuard, kGuardBytes);
                d.rc = s.readImage(&s, block.data(), LONG(bpr));
                if (!GuardIntact(block.data() + size)) d.overrun = true;
                for (int y = 0; y < s.height; ++y)
                    d.rows.emplace_back(block.begin() + size_t(y) * bpr, block.begin() + size_t(y + 1) * bpr);
            }
        }
        if (s.close) s.close(&s);
    }
    bfDestroy(st);
    return d;
}

// Writes rows through a writer's table into a temporary file and returns
// the file's bytes.  `t` carries width, height, depth, options, row order
// and sub-format; rc receives the first failure.
inline Bytes Encode(FxWriterOpen open, ConvertTarget t, const std::vector<Bytes>& rows,
                    const std::vector<RGBQUAD>& palette, int* rc, const char* name = "fx_encode.tmp")
{
    std::string path = TempPath(name);
    t.stream = bfOpenFile(path.c_str(), 4);
    int r = t.stream ? open(&t) : FX_E_OPEN;
    if (r == 0 && t.setPalette && !palette.empty()) t.setPalette(&t, palette.data(), int(palette.size()));
    if (r == 0 && t.beginOutput) r = t.beginOutput(&t);
    if (r == 0 && t.beginRows) r = t.beginRows(&t);
    for (size_t i = 0; r == 0 && i < rows.size(); ++i) r = t.writeRow(&t, rows[i].data());
    if (t.close) {
        int c = t.close(&t);
        if (r == 0) r = c;
    }
    if (t.stream) bfDestroy(t.stream);
    if (rc) *rc = r;
    Bytes out = LoadFile(path);
    DeleteFileA(path.c_str());
    return out;
}

inline ConvertTarget Target(int width, int height, int depth, uint16_t sub = 0)
{
    ConvertTarget t;
    std::memset(&t, 0, sizeof t);
    t.version = FX_REQUEST_VERSION;
    t.width = uint16_t(width);
    t.height = uint16_t(height);
    t.depth = uint16_t(depth);
    t.subFormat = sub;
    return t;
}

// First entry of an enumerator, and the number of entries it reports.
inline FormatRecord Entry(FxEnumFormats e, int index, int* left = nullptr)
{
    FormatRecord r;
    std::memset(&r, 0, sizeof r);
    int n = e(index, &r);
    if (left) *left = n;
    return r;
}

}  // namespace fmt_test
