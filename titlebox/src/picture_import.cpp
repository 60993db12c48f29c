// Picture readers of the title page: see picture_import.h.
#include "picture_import.h"

#include <algorithm>
#include <cstring>

#include "decode.h"

namespace titlebox {

const char kWrongImageFormat[] = "This is a wrong image format.";
const char kWrongTargaDepth[] = "This's NOT 24 bits or 32 bits Targa-Format!";

namespace {

uint16_t U16(const uint8_t *p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t U32(const uint8_t *p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

bool ReadFileBytes(const std::string &path, std::vector<uint8_t> *out)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size;
    // Pictures larger than 256 MB are not title material.
    bool ok = GetFileSizeEx(h, &size) && size.QuadPart <= (256ll << 20);
    if (ok) {
        out->resize(size_t(size.QuadPart));
        DWORD n = 0;
        ok = out->empty() || (ReadFile(h, out->data(), DWORD(out->size()), &n, nullptr) && n == out->size());
    }
    CloseHandle(h);
    return ok;
}

bool Fail(std::string *error, const char *text)
{
    if (error) *error = text;
    return false;
}

}  // namespace

PictureKind PictureKindOf(const std::string &path)
{
    if (path.size() < 3) return PICTURE_UNKNOWN;
    std::string ext = path.substr(path.size() - 3);
    for (char &c : ext) c = char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (ext == "bmp") return PICTURE_BMP;
    if (ext == "tga") return PICTURE_TGA;
    if (ext == "gif") return PICTURE_GIF;
    if (ext == "jpg" || ext == "peg") return PICTURE_JPEG;
    return PICTURE_UNKNOWN;
}

bool DecodeBitmap(const std::vector<uint8_t> &f, Picture *out, std::string *error)
{
    // File header (14 bytes), then a 40-byte (or longer) info header or a
    // 12-byte core header, the colour table and the bits.
    if (f.size() < 14 + 12 || f[0] != 'B' || f[1] != 'M') return Fail(error, kWrongImageFormat);
    const uint8_t *info = f.data() + 14;
    const size_t infoBytes = f.size() - 14;
    const uint32_t headerSize = U32(info);
    int64_t width, height;
    unsigned bits, compression = BI_RGB, entryBytes;
    uint32_t colours = 0;
    if (headerSize == 12) {
        width = U16(info + 4);
        height = U16(info + 6);
        bits = U16(info + 10);
        entryBytes = 3;
        if (U16(info + 8) != 1) return Fail(error, kWrongImageFormat);
    } else if (headerSize >= 40 && headerSize <= infoBytes) {
        width = int32_t(U32(info + 4));
        height = int32_t(U32(info + 8));
        if (U16(info + 12) != 1) return Fail(error, kWrongImageFormat);
        bits = U16(info + 14);
        compression = U32(info + 16);
        colours = U32(info + 32);
        entryBytes = 4;
    } else {
        return Fail(error, kWrongImageFormat);
    }
    const int64_t rows = height < 0 ? -height : height;
    if (width <= 0 || rows <= 0 || width > kMaxPictureSide || rows > kMaxPictureSide)
        return Fail(error, kWrongImageFormat);
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return Fail(error, kWrongImageFormat);
    // Run-length packed bitmaps have no fixed size to check: only plain bits
    // (and 16/32-bit masks) are taken.
    if (!(compression == BI_RGB || (compression == BI_BITFIELDS && (bits == 16 || bits == 32))))
        return Fail(error, kWrongImageFormat);
    if (colours == 0 && bits <= 8) colours = 1u << bits;
    if (bits <= 8 && colours > (1u << bits)) return Fail(error, kWrongImageFormat);
    const uint64_t table = uint64_t(colours) * entryBytes + (compression == BI_BITFIELDS && headerSize == 40 ? 12 : 0);
    const uint64_t stride = ((uint64_t(width) * bits + 31) / 32) * 4;
    const uint64_t need = uint64_t(headerSize) + table + stride * rows;
    if (need > infoBytes) return Fail(error, kWrongImageFormat);

    // The info header as GDI wants it (a core header becomes an info header
    // with its 3-byte colour entries widened).
    std::vector<uint8_t> packed;
    if (headerSize == 12) {
        packed.assign(sizeof(BITMAPINFOHEADER) + colours * 4 + stride * rows, 0);
        BITMAPINFOHEADER h = {};
        h.biSize = sizeof(h);
        h.biWidth = LONG(width);
        h.biHeight = LONG(height);
        h.biPlanes = 1;
        h.biBitCount = WORD(bits);
        h.biCompression = BI_RGB;
        h.biClrUsed = colours;
        memcpy(packed.data(), &h, sizeof(h));
        for (uint32_t i = 0; i < colours; ++i) memcpy(&packed[sizeof(h) + i * 4], info + 12 + i * 3, 3);
        memcpy(&packed[sizeof(h) + colours * 4], info + 12 + colours * 3, size_t(stride * rows));
    } else {
        packed.assign(info, info + need);
        BITMAPINFOHEADER h;
        memcpy(&h, packed.data(), sizeof(h));
        h.biClrUsed = bits <= 8 ? colours : h.biClrUsed;
        memcpy(packed.data(), &h, sizeof(h));
    }
    const BITMAPINFO *bi = reinterpret_cast<const BITMAPINFO *>(packed.data());
    const uint8_t *srcBits = packed.data() + (headerSize == 12 ? sizeof(BITMAPINFOHEADER) + colours * 4 : size_t(need - stride * rows));

    // Drawn into a bottom-up 32-bit section, then read back.
    BITMAPINFO dst = {};
    dst.bmiHeader.biSize = sizeof(dst.bmiHeader);
    dst.bmiHeader.biWidth = LONG(width);
    dst.bmiHeader.biHeight = LONG(rows);
    dst.bmiHeader.biPlanes = 1;
    dst.bmiHeader.biBitCount = 32;
    dst.bmiHeader.biCompression = BI_RGB;
    void *dstBits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP section = CreateDIBSection(dc, &dst, DIB_RGB_COLORS, &dstBits, nullptr, 0);
    if (!dc || !section) {
        if (section) DeleteObject(section);
        if (dc) DeleteDC(dc);
        return Fail(error, kWrongImageFormat);
    }
    HGDIOBJ old = SelectObject(dc, section);
    SetStretchBltMode(dc, COLORONCOLOR);
    const int drawn = StretchDIBits(dc, 0, 0, int(width), int(rows), 0, 0, int(width), int(rows), srcBits, bi,
                                    DIB_RGB_COLORS, SRCCOPY);
    GdiFlush();
    Picture p;
    p.width = int(width);
    p.height = int(rows);
    const uint32_t *px = static_cast<const uint32_t *>(dstBits);
    p.pixels.assign(px, px + size_t(width) * rows);
    for (uint32_t &v : p.pixels) v &= 0x00FFFFFFu;  // alpha 0: the bitmap has none
    SelectObject(dc, old);
    DeleteObject(section);
    DeleteDC(dc);
    if (drawn <= 0) return Fail(error, kWrongImageFormat);
    *out = std::move(p);
    return true;
}

bool DecodeTarga(const std::vector<uint8_t> &f, Picture *out, std::string *error)
{
    if (f.size() < 18) return Fail(error, kWrongImageFormat);
    const unsigned idLength = f[0], colourMapType = f[1], imageType = f[2];
    const int width = U16(&f[12]), height = U16(&f[14]);
    const unsigned bits = f[16], descriptor = f[17];
    // Uncompressed true colour only.
    if (colourMapType != 0 || imageType != 2) return Fail(error, kWrongImageFormat);
    if (bits != 24 && bits != 32) return Fail(error, kWrongTargaDepth);
    if (width <= 0 || height <= 0 || width > kMaxPictureSide || height > kMaxPictureSide)
        return Fail(error, kWrongImageFormat);
    const size_t bpp = bits / 8, start = 18 + idLength;
    const size_t bytes = size_t(width) * height * bpp;
    if (f.size() < start || f.size() - start < bytes) return Fail(error, kWrongImageFormat);
    Picture p;
    p.width = width;
    p.height = height;
    p.perPixelAlpha = bits == 32;
    p.pixels.resize(size_t(width) * height);
    // Rows are stored bottom first unless the descriptor's top-left bit is set.
    const bool topDown = (descriptor & 0x20) != 0;
    for (int y = 0; y < height; ++y) {
        const uint8_t *src = &f[start + size_t(y) * width * bpp];
        uint32_t *dst = &p.pixels[size_t(topDown ? height - 1 - y : y) * width];
        for (int x = 0; x < width; ++x, src += bpp)
            dst[x] = uint32_t(src[0]) | uint32_t(src[1]) << 8 | uint32_t(src[2]) << 16 |
                     (bpp == 4 ? uint32_t(src[3]) << 24 : 0);
    }
    *out = std::move(p);
    return true;
}

bool DecodeGif(const std::vector<uint8_t> &f, Picture *out, std::string *error)
{
    size_t pos = 0;
    auto have = [&](size_t n) { return f.size() - pos >= n; };
    if (!have(6)) return Fail(error, "Error reading GIF Magic");
    if (memcmp(f.data(), "GIF", 3) != 0) return Fail(error, "is not a valid .GIF file");
    if (memcmp(f.data() + 3, "87a", 3) != 0 && memcmp(f.data() + 3, "89a", 3) != 0)
        return Fail(error, "Error, Bad GIF Version number");
    pos = 6;
    if (!have(7)) return Fail(error, "Error, failed to GIF read screen descriptor.\nGiving up");
    const unsigned screenFlags = f[pos + 4];
    pos += 7;
    uint8_t global[256 * 3] = {}, local[256 * 3] = {};
    bool hasGlobal = false;
    if (screenFlags & 0x80) {
        const size_t n = size_t(2) << (screenFlags & 7);
        if (!have(n * 3)) return Fail(error, "Error reading GIF file\nGIFScreen Colormap\nGiving up");
        memcpy(global, &f[pos], n * 3);
        pos += n * 3;
        hasGlobal = true;
    }
    int transparent = -1;
    for (;;) {
        if (!have(1)) return Fail(error, "Unexpected EOF in GIF.\nGiving up");
        const uint8_t kind = f[pos++];
        if (kind == ';') return Fail(error, "Unexpected EOF in GIF.\nGiving up");  // no image at all
        if (kind == '!') {
            if (!have(1)) return Fail(error, "Error on extension read.\nGiving up");
            const uint8_t label = f[pos++];
            for (;;) {
                if (!have(1)) return Fail(error, "Error on extension read.\nGiving up");
                const size_t n = f[pos++];
                if (n == 0) break;
                if (!have(n)) return Fail(error, "Error on extension read.\nGiving up");
                if (label == 0xF9 && n >= 4) transparent = (f[pos] & 1) ? f[pos + 3] : -1;
                pos += n;
            }
            continue;
        }
        if (kind != ',') return Fail(error, "is not a valid .GIF file");
        break;
    }
    if (!have(9)) return Fail(error, "Error on dimension read\nGiving up");
    const int width = U16(&f[pos + 4]), height = U16(&f[pos + 6]);
    const unsigned imageFlags = f[pos + 8];
    pos += 9;
    if (width <= 0 || height <= 0 || width > kMaxPictureSide || height > kMaxPictureSide)
        return Fail(error, "Error on dimension read\nGiving up");
    const uint8_t *colours = global;
    if (imageFlags & 0x80) {
        const size_t n = size_t(2) << (imageFlags & 7);
        if (!have(n * 3)) return Fail(error, "Error reading GIF file\nLocalColorMap\nGiving up");
        memcpy(local, &f[pos], n * 3);
        pos += n * 3;
        colours = local;
    } else if (!hasGlobal) {
        return Fail(error, "Error reading GIF colormap\nGiving up");
    }
    if (!have(1)) return Fail(error, "Unexpected EOF in GIF.\nGiving up");
    const int minSize = f[pos++];
    if (minSize < 1 || minSize > 8) return Fail(error, "is not a valid .GIF file");
    // The code stream, its sub-blocks joined.
    std::vector<uint8_t> data;
    for (;;) {
        if (!have(1)) break;  // a missing terminator: decode what came
        const size_t n = f[pos++];
        if (n == 0) break;
        if (!have(n)) return Fail(error, "Unexpected EOF in GIF.\nGiving up");
        data.insert(data.end(), f.begin() + pos, f.begin() + pos + n);
        pos += n;
    }

    const size_t total = size_t(width) * height;
    std::vector<uint8_t> index;
    index.reserve(total);
    static const int kCodes = 4096;
    std::vector<uint16_t> prefix(kCodes), suffix(kCodes), stack(kCodes + 1);
    const int clear = 1 << minSize, end = clear + 1;
    for (int i = 0; i < clear; ++i) suffix[i] = uint16_t(i);
    int size = minSize + 1, mask = (1 << size) - 1, avail = clear + 2, old = -1, first = 0;
    uint32_t datum = 0;
    int bits = 0;
    size_t in = 0;
    while (index.size() < total) {
        while (bits < size && in < data.size()) {
            datum |= uint32_t(data[in++]) << bits;
            bits += 8;
        }
        if (bits < size) break;
        int code = int(datum & uint32_t(mask));
        datum >>= size;
        bits -= size;
        if (code == clear) {
            size = minSize + 1;
            mask = (1 << size) - 1;
            avail = clear + 2;
            old = -1;
            continue;
        }
        if (code == end) break;
        if (old < 0) {
            if (code >= clear) return Fail(error, "is not a valid .GIF file");
            index.push_back(uint8_t(code));
            old = first = code;
            continue;
        }
        const int incoming = code;
        int sp = 0;
        if (code >= avail) {
            if (code > avail) return Fail(error, "is not a valid .GIF file");
            stack[sp++] = uint16_t(first);
            code = old;
        }
        while (code >= clear) {  // every entry's prefix is an earlier code
            stack[sp++] = suffix[code];
            code = prefix[code];
        }
        first = suffix[code];
        stack[sp++] = uint16_t(first);
        if (avail < kCodes) {
            prefix[avail] = uint16_t(old);
            suffix[avail] = uint16_t(first);
            ++avail;
            if ((avail & mask) == 0 && avail < kCodes) {
                ++size;
                mask = (1 << size) - 1;
            }
        }
        old = incoming;
        while (sp > 0 && index.size() < total) index.push_back(uint8_t(stack[--sp]));
    }
    if (index.size() < total) return Fail(error, "Unexpected EOF in GIF.\nGiving up");

    Picture p;
    p.width = width;
    p.height = height;
    p.pixels.resize(total);
    // Interlaced rows come in four passes: every 8th from 0, every 8th from
    // 4, every 4th from 2, every 2nd from 1.
    const bool interlaced = (imageFlags & 0x40) != 0;
    static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
    int pass = 0, row = 0;
    for (int r = 0; r < height; ++r) {
        int y = r;
        if (interlaced) {
            while (row >= height) {
                ++pass;
                row = kStart[pass];
            }
            y = row;
            row += kStep[pass];
        }
        uint32_t *dst = &p.pixels[size_t(height - 1 - y) * width];
        const uint8_t *src = &index[size_t(r) * width];
        for (int x = 0; x < width; ++x) {
            const uint8_t *c = colours + src[x] * 3;
            dst[x] = uint32_t(c[2]) | uint32_t(c[1]) << 8 | uint32_t(c[0]) << 16;
        }
    }
    if (transparent >= 0) {
        const uint8_t *c = colours + transparent * 3;
        p.colourKeyed = true;
        p.keyColour = RGB(c[0], c[1], c[2]);
    }
    *out = std::move(p);
    return true;
}

namespace {

struct MemoryReader {
    const std::vector<uint8_t> *file;
    size_t pos;
    static int Read(void *user, unsigned char *buf, int len)
    {
        MemoryReader *r = static_cast<MemoryReader *>(user);
        const size_t n = std::min(size_t(len), r->file->size() - r->pos);
        if (n) memcpy(buf, r->file->data() + r->pos, n);
        r->pos += n;
        return int(n);
    }
};

}  // namespace

bool DecodeJpeg(const std::vector<uint8_t> &f, Picture *out, std::string *error)
{
    jpeg32::Facts facts = {};
    MemoryReader reader = {&f, 0};
    if (jpeg32::Info(&MemoryReader::Read, &reader, facts) != jpeg32::kDone) return Fail(error, kWrongImageFormat);
    if (facts.width == 0 || facts.height == 0 || facts.width > uint32_t(kMaxPictureSide) ||
        facts.height > uint32_t(kMaxPictureSide))
        return Fail(error, kWrongImageFormat);
    const size_t bpp = facts.bitsPerPixel / 8, stride = size_t(facts.width) * bpp;
    std::vector<uint8_t> samples(stride * facts.height);
    reader.pos = 0;
    if (jpeg32::Decode(&MemoryReader::Read, &reader, samples.data(), stride, facts.height, false, facts) !=
        jpeg32::kDone)
        return Fail(error, kWrongImageFormat);
    Picture p;
    p.width = int(facts.width);
    p.height = int(facts.height);
    p.pixels.resize(size_t(p.width) * p.height);
    // Rows are already bottom-up; grey samples give blue = green = red.
    for (size_t i = 0; i < p.pixels.size(); ++i) {
        const uint8_t *s = &samples[i * bpp];
        p.pixels[i] = bpp == 1 ? uint32_t(s[0]) * 0x010101u : uint32_t(s[0]) | uint32_t(s[1]) << 8 | uint32_t(s[2]) << 16;
    }
    *out = std::move(p);
    return true;
}

bool ReadJpegFile(const std::string &path, Picture *out, std::string *error)
{
    std::vector<uint8_t> f;
    if (!ReadFileBytes(path, &f)) return Fail(error, kWrongImageFormat);
    return DecodeJpeg(f, out, error);
}

bool ReadGifFile(const std::string &path, Picture *out, std::string *error)
{
    std::vector<uint8_t> f;
    if (!ReadFileBytes(path, &f)) return Fail(error, "Cant open GIF");
    return DecodeGif(f, out, error);
}

bool ReadBitmapFile(const std::string &path, Picture *out, std::string *error)
{
    std::vector<uint8_t> f;
    if (!ReadFileBytes(path, &f)) return Fail(error, kWrongImageFormat);
    return DecodeBitmap(f, out, error);
}

bool ReadTargaFile(const std::string &path, Picture *out, std::string *error)
{
    std::vector<uint8_t> f;
    if (!ReadFileBytes(path, &f)) return Fail(error, kWrongImageFormat);
    return DecodeTarga(f, out, error);
}

}  // namespace titlebox
