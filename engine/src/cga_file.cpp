/*
 * CG clip file reader.
 */
#include "cga_file.h"
#include <cstring>
#include <vector>

size_t CgaExpandRuns(const uint8_t *runs, size_t n, uint32_t *frame, size_t capacity)
{
    size_t out = 0;
    for (size_t i = 0; i + sizeof(CgaRunRecord) <= n && out < capacity; i += sizeof(CgaRunRecord)) {
        CgaRunRecord r;
        memcpy(&r, runs + i, sizeof(r));
        size_t k = r.count;
        if (k > capacity - out) k = capacity - out;
        for (size_t j = 0; j < k; j++) frame[out++] = r.pixel;
    }
    if (out < capacity) memset(frame + out, 0, (capacity - out) * sizeof(uint32_t));
    return out;
}

static bool read_at(HANDLE f, int64_t pos, void *buf, DWORD n)
{
    LARGE_INTEGER li;
    li.QuadPart = pos;
    if (!SetFilePointerEx(f, li, nullptr, FILE_BEGIN)) return false;
    DWORD got = 0;
    return ReadFile(f, buf, n, &got, nullptr) && got == n;
}

BOOL CgaReader::Open(const char *path)
{
    Close();
    file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return FALSE;
    LARGE_INTEGER li;
    if (!GetFileSizeEx(file, &li) || !read_at(file, 0, &header, sizeof(header)) ||
        header.firstFrame < (int32_t)sizeof(header) || header.firstFrame > li.QuadPart) {
        Close();
        return FALSE;
    }
    size = li.QuadPart;
    pos = header.firstFrame;
    return TRUE;
}

void CgaReader::Close()
{
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    file = INVALID_HANDLE_VALUE;
    header = CgaFileHeader();
    size = pos = 0;
}

BOOL CgaReader::Rewind()
{
    if (!IsOpen()) return FALSE;
    pos = header.firstFrame;
    return TRUE;
}

BOOL CgaReader::ReadFrame(uint32_t *frame)
{
    if (!IsOpen()) return FALSE;
    int32_t n = 0;
    if (pos + 4 > size || !read_at(file, pos, &n, 4)) return FALSE;
    /* A writer needs at most one run per pixel (plus a few empty ones); twice
     * that bounds the buffer against a corrupt count. */
    const int64_t most = 2 * (int64_t)CGA_FRAME_PIXELS * sizeof(CgaRunRecord);
    if (n < 0 || n > most || pos + 4 + n > size) return FALSE;
    std::vector<uint8_t> runs((size_t)n);
    if (n && !read_at(file, pos + 4, runs.data(), (DWORD)n)) return FALSE;
    CgaExpandRuns(runs.data(), (size_t)n, frame, CGA_FRAME_PIXELS);
    pos += 4 + (int64_t)n;
    return TRUE;
}
