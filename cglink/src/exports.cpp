// The CG link's exports: argument checks, then the checked views and the
// renderer.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "fxlink.h"
#include "record.h"
#include "render.h"

using namespace cuelink;

namespace {

bool ImageOf(const void* image, const QcgRecordBlock* block, ImagePart* img)
{
    // The image part's size: the block's when the part lies inside it,
    // else what can be read from the pointer on.
    size_t n = kUnknownSize;
    Block b;
    if (block && b.From(block) && b.image == image) n = b.imageSize;
    return img->Parse(static_cast<const uint8_t*>(image), n);
}

PartA PartAOf(const void* partA, const QcgRecordBlock* block)
{
    Block b;
    if (block && b.From(block) && b.a.p == partA) return b.a;
    return PartA::From(static_cast<const uint8_t*>(partA), Readable(partA, 30) ? 30 : 0);
}

}  // namespace

extern "C" {

int WINAPI QCGGetRenderedData(DWORD flags, const void* partA, const void* image, void* buffer, int width,
                              int height, int stride, double position, double total,
                              const QcgRecordBlock* block)
{
    if (width == 0 || !image || !buffer) return 0;
    ImagePart img;
    if (!ImageOf(image, block, &img)) return 0;
    const PartA a = PartAOf(partA, block);
    if (!a.isRecord) return Render(flags, nullptr, img, buffer, width, height, stride, 0, 0) ? 1 : 0;
    if (a.type < 3) return Render(flags, &a, img, buffer, width, height, stride, position, total) ? 1 : 0;
    if (a.type == QCG_TYPE_ANIMATION && block) {
        const uint8_t *effect, *object;
        size_t effectSize, objectSize;
        if (a.Trailer(block->flags, &effect, &effectSize, &object, &objectSize) && effect) {
            int h = -height;
            if (flags & (QCG_RENDER_FIELD_ODD | QCG_RENDER_FIELD_EVEN)) h /= 2;
            const int r = FxRenderAnimation(buffer, width, h, stride ? stride : width * 4, int(position),
                                            int(total), effect, effectSize, object, objectSize, flags);
            if (r) return r;
        }
    }
    // Animations without the effects library show their image part.
    return Render(flags, nullptr, img, buffer, width, height, stride, 0, 0) ? 1 : 0;
}

int WINAPI ExGetRenderedData(DWORD flags, const void* partA, const void* image, void* buffer, int width,
                             int height, int position, int total, const QcgRecordBlock* block)
{
    return QCGGetRenderedData(flags, partA, image, buffer, width, height, 0, position, total, block);
}

int WINAPI GetRenderedData(const QcgRecordBlock* block, void* buffer, int width, int height, int position,
                           int total, const DWORD* flags)
{
    if (!block) return 0;
    const int w = uint16_t(width), h = int16_t(height);
    const int rows = h < 0 ? -h : h;
    if (!w || !rows || !Writable(buffer, size_t(w) * rows * 4)) return 0;
    Block b;
    if (!b.From(block)) return 0;
    return ExGetRenderedData((flags ? *flags : 0) | QCG_RENDER_BLEND, b.a.p, b.image, buffer, w, h, position,
                             total, block);
}

int WINAPI GetQCGRenderedData(DWORD flags, const char* fileName, void* buffer, int width, int height,
                              int position, int total, const QcgRecordBlock* block)
{
    if (!fileName) return 0;
    OFSTRUCT of = {};
    of.cBytes = sizeof of;
    HFILE hf = OpenFile(fileName, &of, OF_READ | OF_SHARE_DENY_WRITE);
    if (hf == HFILE_ERROR) return 0;
    HANDLE file = HANDLE(intptr_t(hf));
    int result = 0;
    auto readAt = [&](uint64_t off, void* out, DWORD n) {
        LARGE_INTEGER li;
        li.QuadPart = LONGLONG(off);
        DWORD got = 0;
        return SetFilePointerEx(file, li, nullptr, FILE_BEGIN) && ReadFile(file, out, n, &got, nullptr) &&
               got == n;
    };
    uint8_t head[144];
    QcgRecordBlock bh;
    LARGE_INTEGER fileSize = {};
    GetFileSizeEx(file, &fileSize);
    if (readAt(0, head, sizeof head) && U32(head) == 0xF7F5AECBu && readAt(144, &bh, sizeof bh) &&
        bh.headerLength == sizeof bh) {
        const uint64_t parts = uint64_t(bh.sizeA) + bh.dataSize + bh.textSize + bh.imageSize;
        // The whole record must lie inside the file before anything is
        // allocated; it is read as one block so that an animation's
        // trailer in part A reaches the effects library.
        if (parts <= (uint64_t(1) << 30) && 176 + parts <= uint64_t(fileSize.QuadPart)) {
            std::vector<uint8_t> whole(sizeof bh + size_t(parts) + 4);
            if (readAt(144, whole.data(), DWORD(sizeof bh + parts))) {
                auto* own = reinterpret_cast<QcgRecordBlock*>(whole.data());
                // The caller's block says which trailer parts an animation
                // carries; without one the file's own header does.
                if (block && Readable(block, sizeof *block)) own->flags = block->flags;
                const uint8_t* a = whole.data() + sizeof bh;
                const uint8_t* image = a + bh.sizeA + bh.dataSize + bh.textSize;
                result = QCGGetRenderedData(flags, a, image, buffer, width, height, 0, position, total, own);
            }
        }
    }
    CloseHandle(file);
    return result;
}

int WINAPI ExGetRecordData(const QcgRecordBlock* block, char* text, char* text2, int length, HGLOBAL* data,
                           int* width, int* height, int* type, int* value, int* frames)
{
    if (!block) return 0;
    Block b;
    if (!b.From(block)) return 0;
    size_t n = uint16_t(length);
    const size_t textSize = uint16_t(b.textSize);
    if (n == 0 || n > textSize) n = textSize;
    for (char* t : {text, text2}) {
        if (!t || n == 0) continue;
        std::memcpy(t, b.text, n);
        t[n - 1] = 0;
    }
    int result = 1;
    if (data) {
        *data = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, b.dataSize ? b.dataSize : 1);
        if (*data) {
            if (void* p = GlobalLock(*data)) {
                if (b.dataSize) std::memcpy(p, b.data, b.dataSize);
                GlobalUnlock(*data);
            }
        } else {
            result = 0;
        }
    }
    ImagePart img;
    const bool haveImage = img.Parse(b.image, b.imageSize);
    if (width) *width = !haveImage ? 0 : (b.a.type == QCG_TYPE_CRAWL ? img.CrawlWidth() : img.width);
    if (height) *height = haveImage ? img.height : 0;
    if (type) *type = b.a.type;
    if (value) *value = b.a.value;
    if (frames) *frames = b.a.frames > 29999 ? 120 : b.a.frames;
    return result;
}

int WINAPI GetRecordData(const QcgRecordBlock* block, char* text, char* text2, int length, HGLOBAL* data,
                         int* width, int* height, int* type, int* value)
{
    return ExGetRecordData(block, text, text2, length, data, width, height, type, value, nullptr);
}

int WINAPI GetCrawlPosEx(const void* partA, const void* image)
{
    ImagePart img;
    if (!img.Parse(static_cast<const uint8_t*>(image), kUnknownSize)) return 0;
    const PartA a = PartA::From(static_cast<const uint8_t*>(partA), Readable(partA, 30) ? 30 : 0);
    return CrawlPos(partA ? &a : nullptr, img);
}

int WINAPI GetCrawlPos(const QcgRecordBlock* block)
{
    Block b;
    if (!b.From(block)) return 0;
    ImagePart img;
    if (!img.Parse(b.image, b.imageSize)) return 0;
    return CrawlPos(&b.a, img);
}

BITMAPINFOHEADER* WINAPI GetBitmapData(const QcgRecordBlock* block, int* width, int* height)
{
    Block b;
    if (!b.From(block)) return nullptr;
    ImagePart img;
    if (!img.Parse(b.image, b.imageSize)) return nullptr;
    if (img.kind != QCG_KIND_STILL && img.kind != QCG_KIND_ROLL && img.kind != QCG_KIND_CRAWL) return nullptr;
    const int w = img.kind == QCG_KIND_CRAWL ? img.CrawlWidth() : img.width;
    const uint64_t bytes = sizeof(BITMAPINFOHEADER) + uint64_t(w) * img.height * 4 + 4;
    if (bytes > (uint64_t(1) << 31)) return nullptr;
    auto* bi = static_cast<BITMAPINFOHEADER*>(GlobalAlloc(GPTR, size_t(bytes)));
    if (!bi) return nullptr;
    bi->biSize = sizeof(BITMAPINFOHEADER);
    bi->biWidth = w;
    bi->biHeight = img.height;
    bi->biPlanes = 1;
    bi->biBitCount = 32;
    if (w && !DecodeBitmap(img, reinterpret_cast<uint32_t*>(bi + 1), w)) {
        GlobalFree(bi);
        return nullptr;
    }
    if (width) *width = bi->biWidth;
    if (height) *height = bi->biHeight;
    return bi;
}

void WINAPI FreeBitmapData(BITMAPINFOHEADER* bitmap)
{
    if (bitmap) GlobalFree(bitmap);
}

int WINAPI CuelinkDone(void)
{
    FxDone();
    return 1;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void* reserved)
{
    // Unloaded by FreeLibrary: the effects link is released.  At process
    // exit the effects library may already be gone, so it is not called.
    if (reason == DLL_PROCESS_DETACH && !reserved) FxDone();
    return TRUE;
}

}  // extern "C"
