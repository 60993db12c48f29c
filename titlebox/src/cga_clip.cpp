#include "cga_clip.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "cuelink.h"
#include "ferrix.h"

namespace titlebox {

namespace {

bool ExtensionIs(const char* path, const char* lower, const char* upper)
{
    const char* dot = std::strrchr(path, '.');
    return dot && (!std::strcmp(dot + 1, lower) || !std::strcmp(dot + 1, upper));
}

struct File {
    HANDLE h;
    explicit File(HANDLE f) : h(f) {}
    ~File()
    {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
    bool ok() const { return h != INVALID_HANDLE_VALUE; }
    bool Read(void* p, DWORD n)
    {
        DWORD got = 0;
        return ReadFile(h, p, n, &got, nullptr) && got == n;
    }
    bool Write(const void* p, DWORD n)
    {
        DWORD put = 0;
        return WriteFile(h, p, n, &put, nullptr) && put == n;
    }
    bool Seek(int64_t at)
    {
        LARGE_INTEGER li;
        li.QuadPart = at;
        return SetFilePointerEx(h, li, nullptr, FILE_BEGIN);
    }
    int64_t Size()
    {
        LARGE_INTEGER li = {};
        GetFileSizeEx(h, &li);
        return li.QuadPart;
    }
};

HGLOBAL Realloc(HGLOBAL old, size_t n)
{
    if (old) {
        if (HGLOBAL r = GlobalReAlloc(old, n ? n : 1, GMEM_MOVEABLE | GMEM_ZEROINIT)) return r;
        GlobalFree(old);
    }
    return GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, n ? n : 1);
}

uint32_t Word(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

}  // namespace

int32_t ClipFrames(int64_t frames)
{
    return int32_t(std::min<int64_t>(std::max<int64_t>(frames, 0), kMaxClipFrames));
}

void PackRuns(const uint32_t* pixels, size_t count, std::vector<uint8_t>* out)
{
    out->clear();
    auto put = [&](uint32_t px, uint8_t n) {
        const uint8_t rec[5] = {uint8_t(px), uint8_t(px >> 8), uint8_t(px >> 16), uint8_t(px >> 24), n};
        out->insert(out->end(), rec, rec + 5);
    };
    for (size_t i = 0; i < count;) {
        size_t L = 1;
        while (i + L < count && pixels[i + L] == pixels[i]) ++L;
        for (size_t k = 0; k < L / 255; ++k) put(pixels[i], 255);
        put(pixels[i], uint8_t(L % 255));
        i += L;
    }
}

std::string CgaPathFor(const std::string& qcgPath)
{
    const size_t dot = qcgPath.find_last_of('.');
    return (dot == std::string::npos ? qcgPath : qcgPath.substr(0, dot)) + ".cga";
}

void CgAnimationClip::Warn(const char* text, const char* caption, UINT type) const
{
    if (!quiet) MessageBoxA(nullptr, text, caption, type);
}

CgAnimationClip::~CgAnimationClip()
{
    if (block) GlobalFree(block);
    if (recordData) GlobalFree(recordData);
}

CgaFileHeader CgAnimationClip::Header() const
{
    CgaFileHeader h = {};
    h.headerSize = 60;
    h.formatFlags = 0x12000;
    h.animated = kind == 0 ? 0 : 4;
    h.frameCount = frameCount;
    h.width = 320;
    h.height = 240;
    h.bitsPerPixel = 32;
    h.firstFrame = 60 + recordDataSize;
    h.loopCount = 1;
    h.recordOffset = 60;
    h.recordSize = recordDataSize;
    return h;
}

BOOL CgAnimationClip::LoadQcgTitle(const char* qcg)
{
    if (!qcg || !ExtensionIs(qcg, "qcg", "QCG")) return FALSE;
    File f(CreateFileA(qcg, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!f.ok()) return TRUE;  // nothing loaded
    uint8_t head[144];
    if (!f.Read(head, sizeof head) || Word(head) != 0xF7F5AECBu) {
        Warn("Invalid QCG File", "Nle", MB_OK | MB_ICONWARNING);
        return FALSE;
    }
    uint8_t bh[32];
    const int64_t fileSize = f.Size();
    // Every part length is checked against the file before the block is
    // allocated; a damaged title is refused with the same message.
    uint64_t total = 32;
    if (f.Read(bh, sizeof bh))
        total += uint64_t(Word(bh + 12)) + Word(bh + 20) + Word(bh + 24) + Word(bh + 28);
    if (total == 32 || Word(bh) != 32 || 144 + total > uint64_t(fileSize) || total > (uint64_t(1) << 30)) {
        Warn("Invalid QCG File", "Nle", MB_OK | MB_ICONWARNING);
        return FALSE;
    }
    kind = int32_t(Word(bh + 16));
    HGLOBAL nb = Realloc(block, size_t(total));
    block = nullptr;
    if (!nb) return FALSE;
    block = nb;
    blockSize = size_t(total);
    uint8_t* p = static_cast<uint8_t*>(GlobalLock(block));
    if (!f.Seek(144) || !f.Read(p, DWORD(total))) {
        GlobalUnlock(block);
        Warn("Invalid QCG File", "Nle", MB_OK | MB_ICONWARNING);
        return FALSE;
    }
    // The frames are counted from the size GetRecordData answers: the
    // image's own height for a roll (a roll is taller than its screen) and
    // the crawl's whole width for a crawl.
    char t1[128], t2[128];
    int w = 0, h = 0;
    if (!GetRecordData(reinterpret_cast<const QcgRecordBlock*>(p), t1, t2, 128, nullptr, &w, &h, nullptr, nullptr))
        Warn("Error: Cannot get image data", "Editor", MB_OK | MB_ICONERROR);
    const uint32_t sizeA = Word(p + 12);
    switch (kind) {
    case 0: frameCount = 1; break;
    case 1: frameCount = ClipFrames(int64_t(std::max(h, 0)) / 5); break;
    case 2: frameCount = ClipFrames(int64_t(std::max(w, 0)) / 10); break;
    case 4: frameCount = ClipFrames(Word(head + 12) ? int64_t(Word(head + 12)) : 60); break;
    default: break;
    }
    const uint32_t dataSize = Word(p + 20);
    HGLOBAL nd = Realloc(recordData, dataSize);
    recordData = nd;
    if (nd) {
        std::memcpy(GlobalLock(nd), p + 32 + sizeA, dataSize);
        GlobalUnlock(nd);
        recordDataSize = int32_t(dataSize);
    }
    GlobalUnlock(block);
    return TRUE;
}

BOOL CgAnimationClip::WriteCgaFile(const char* cga)
{
    if (!block || !cga) return FALSE;
    path = cga;
    File f(CreateFileA(cga, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr));
    if (!f.ok()) {
        Warn("Couldn't be create file handle!", nullptr, MB_OK);
        return FALSE;
    }
    CgaFileHeader first = Header();
    first.firstFrame = 60;
    first.recordOffset = 0;
    first.recordSize = 0;
    f.Write(&first, sizeof first);
    if (recordData && recordDataSize) {
        f.Write(GlobalLock(recordData), DWORD(recordDataSize));
        GlobalUnlock(recordData);
    }
    std::vector<uint32_t> frame(size_t(width) * height);
    std::vector<uint8_t> runs;
    runs.reserve(frame.size() * 5);
    const uint8_t* p = static_cast<const uint8_t*>(GlobalLock(block));
    const uint32_t sizeA = Word(p + 12);
    const uint8_t* image = p + 32 + sizeA + Word(p + 20) + Word(p + 24);
    for (int32_t i = 0; i < frameCount; ++i) {
        std::fill(frame.begin(), frame.end(), 0u);
        const int r = QCGGetRenderedData(257, p + 32, image, frame.data(), uint16_t(width), uint16_t(height),
                                         width * 4, double(i), double(frameCount),
                                         reinterpret_cast<const QcgRecordBlock*>(p));
        if (!r) {
            Warn("Error: Cannot get rendered data", "Editor", MB_OK | MB_ICONERROR);
            continue;
        }
        PackRuns(frame.data(), frame.size(), &runs);
        const int32_t n = int32_t(runs.size());
        f.Write(&n, 4);
        f.Write(runs.data(), DWORD(runs.size()));
    }
    GlobalUnlock(block);
    // A clip written over an older, longer file ends where this one ends.
    SetEndOfFile(f.h);
    const CgaFileHeader final = Header();
    f.Seek(0);
    f.Write(&final, sizeof final);
    return TRUE;
}

BOOL CgAnimationClip::LoadCgaFile(const char* cga)
{
    if (!cga || !ExtensionIs(cga, "cga", "CGA")) return FALSE;
    kind = 20;
    path = cga;
    // Reading only: a missing file is not made.
    File f(CreateFileA(cga, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!f.ok()) {
        Warn("Couldn't be create files !", nullptr, MB_OK);
        return FALSE;
    }
    CgaFileHeader h;
    if (!f.Read(&h, sizeof h)) return FALSE;
    const int64_t size = f.Size();
    if (h.recordSize != 0) {
        if (h.recordSize < 0 || h.recordOffset < 0 || int64_t(h.recordOffset) + h.recordSize > size) return FALSE;
        HGLOBAL nd = Realloc(recordData, size_t(h.recordSize));
        recordData = nd;
        if (!nd) return FALSE;
        void* p = GlobalLock(nd);
        const bool ok = f.Seek(h.recordOffset) && f.Read(p, DWORD(h.recordSize));
        GlobalUnlock(nd);
        if (!ok) return FALSE;
        recordDataSize = h.recordSize;
    }
    return TRUE;
}

namespace {

// The record data converted to a GDI bitmap by the image filters.
HBITMAP StillBitmap(HGLOBAL recordData, int* w, int* h)
{
    if (!recordData) return nullptr;
    ConvertSource src = {};
    src.hDib = recordData;
    ConvertTarget tgt = {};
    HBITMAP result = nullptr;
    tgt.resultBitmap = &result;
    if (ferrixConvert(&src, &tgt) != 0 || !result) {
        if (result) DeleteObject(result);
        return nullptr;
    }
    *w = tgt.width;
    *h = tgt.height;
    return result;
}

void Blit(HDC dc, HBITMAP bmp, int x, int y, int w, int h)
{
    HDC mem = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(mem, bmp);
    StretchBlt(dc, x, y, w, h, mem, 0, 0, w, h, SRCCOPY);
    SelectObject(mem, old);
    DeleteDC(mem);
}

}  // namespace

SIZE CgAnimationClip::DrawStill(HDC dc, int left, int top, int right, int bottom)
{
    int w = 0, h = 0;
    HBITMAP bmp = StillBitmap(recordData, &w, &h);
    if (!bmp) return SIZE{0, 0};
    int x = left, y = top;
    if (w < right - left || h < bottom - top) {
        x = (right - left - w) / 2;
        y = (bottom - top - h) / 2;
    }
    Blit(dc, bmp, x, y, w, h);
    DeleteObject(bmp);
    return SIZE{w, h};
}

SIZE CgAnimationClip::DrawOnPage(HDC dc, RECT* rect)
{
    int w = 0, h = 0;
    HBITMAP bmp = StillBitmap(recordData, &w, &h);
    if (!bmp) return SIZE{0, 0};
    Blit(dc, bmp, rect->left, rect->top, w, h);
    rect->right = rect->left + w;
    rect->bottom = rect->top + h;
    DeleteObject(bmp);
    return SIZE{w, h};
}

}  // namespace titlebox
