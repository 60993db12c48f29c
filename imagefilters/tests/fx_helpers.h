// Small helpers shared by the conversion tests: packed DIBs in global
// memory, requests, temporary files.
#ifndef FERRIX_TEST_FX_HELPERS_H
#define FERRIX_TEST_FX_HELPERS_H

#include <windows.h>
#include <string.h>
#include <stdint.h>
#include <string>
#include <vector>
#include "ferrix.h"

namespace fxt {

inline uint32_t rowBytes(int w, int bits) { return (uint32_t)((w * bits + 31) / 32 * 4); }

// A packed DIB: header, `colours` palette entries, rows (bottom-up unless
// topDown).  pixel(x, y) gives the bytes of image row y (0 = top) as a
// little-endian value of bits/8 bytes, or the index for palette depths.
template <class F>
HGLOBAL makeDib(int w, int h, int bits, F pixel, const std::vector<RGBQUAD> &palette = {}, bool topDown = false)
{
    uint32_t rb = rowBytes(w, bits);
    size_t size = sizeof(BITMAPINFOHEADER) + palette.size() * 4 + (size_t)rb * h;
    HGLOBAL g = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    BYTE *p = (BYTE *)GlobalLock(g);
    BITMAPINFOHEADER *bi = (BITMAPINFOHEADER *)p;
    bi->biSize = sizeof(*bi);
    bi->biWidth = w;
    bi->biHeight = topDown ? -h : h;
    bi->biPlanes = 1;
    bi->biBitCount = (WORD)bits;
    bi->biClrUsed = (DWORD)palette.size();
    bi->biSizeImage = rb * h;
    if (!palette.empty()) memcpy(p + sizeof(*bi), palette.data(), palette.size() * 4);
    BYTE *px = p + sizeof(*bi) + palette.size() * 4;
    for (int y = 0; y < h; y++) {
        BYTE *row = px + (size_t)rb * (topDown ? y : h - 1 - y);
        for (int x = 0; x < w; x++) {
            uint32_t v = pixel(x, y);
            if (bits >= 8) {
                memcpy(row + x * (bits / 8), &v, bits / 8);
            } else if (bits == 4) {
                row[x / 2] |= (BYTE)((v & 15) << (x % 2 ? 0 : 4));
            } else {
                if (v & 1) row[x / 8] |= (BYTE)(0x80 >> (x % 8));
            }
        }
    }
    GlobalUnlock(g);
    return g;
}

// Reads pixel (x, y) (y = 0 the top row) of a packed DIB.
inline uint32_t dibPixel(HGLOBAL dib, int x, int y)
{
    BYTE *p = (BYTE *)GlobalLock(dib);
    BITMAPINFOHEADER *bi = (BITMAPINFOHEADER *)p;
    int h = bi->biHeight < 0 ? -bi->biHeight : bi->biHeight;
    uint32_t colours = bi->biClrUsed ? bi->biClrUsed : (bi->biBitCount <= 8 ? 1u << bi->biBitCount : 0);
    BYTE *px = p + bi->biSize + colours * 4;
    uint32_t rb = rowBytes(bi->biWidth, bi->biBitCount);
    BYTE *row = px + (size_t)rb * (bi->biHeight < 0 ? y : h - 1 - y);
    uint32_t v = 0;
    int bits = bi->biBitCount;
    if (bits >= 8) memcpy(&v, row + x * (bits / 8), bits / 8);
    else if (bits == 4) v = (row[x / 2] >> (x % 2 ? 0 : 4)) & 15;
    else v = (row[x / 8] >> (7 - x % 8)) & 1;
    GlobalUnlock(dib);
    return v;
}

inline BITMAPINFOHEADER dibHeader(HGLOBAL dib)
{
    BITMAPINFOHEADER h;
    memcpy(&h, GlobalLock(dib), sizeof(h));
    GlobalUnlock(dib);
    return h;
}

inline RGBQUAD dibColour(HGLOBAL dib, int i)
{
    BYTE *p = (BYTE *)GlobalLock(dib);
    RGBQUAD q;
    memcpy(&q, p + ((BITMAPINFOHEADER *)p)->biSize + i * 4, 4);
    GlobalUnlock(dib);
    return q;
}

inline ConvertSource source()
{
    ConvertSource s;
    memset(&s, 0, sizeof(s));
    s.version = FX_REQUEST_VERSION;
    return s;
}

inline ConvertTarget target()
{
    ConvertTarget t;
    memset(&t, 0, sizeof(t));
    t.version = FX_REQUEST_VERSION;
    return t;
}

inline void setPath(char *field, const std::string &path)
{
    memset(field, 0, 260);
    strncpy(field, path.c_str(), 259);
}

inline std::string tempDir()
{
    char buf[MAX_PATH];
    GetTempPathA(sizeof(buf), buf);
    return buf;
}

inline std::string tempFile(const std::string &name) { return tempDir() + name; }

inline void writeFile(const std::string &path, const std::vector<BYTE> &bytes)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD n = 0;
    if (!bytes.empty()) WriteFile(h, bytes.data(), (DWORD)bytes.size(), &n, nullptr);
    CloseHandle(h);
}

inline std::vector<BYTE> readFile(const std::string &path)
{
    std::vector<BYTE> out;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return out;
    DWORD size = GetFileSize(h, nullptr), n = 0;
    out.resize(size);
    if (size) ReadFile(h, out.data(), size, &n, nullptr);
    CloseHandle(h);
    return out;
}

inline bool fileExists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace fxt

#endif
