// Title-image filter: stills, logos with a key mask, rolls, crawls and the
// image block of a title page, coded with the recent-colour list codec.
// Reads all five kinds and writes the first four.
#include <new>

#include "vii.h"

using namespace ferrix;

namespace ferrix {

// ---- codec ----------------------------------------------------------------

void ViiCodec::Reset(uint32_t width)
{
    std::memset(slot, 0, sizeof slot);
    pos = 3954;
    last = 0;
    lastCode = -1;
    run[0] = width;
    run[1] = 512;
    run[2] = 256;
    run[3] = 128;
    for (uint32_t k = 4; k < 128; ++k) run[k] = k;
}

int ViiDecodeRow(ViiCodec& c, ByteIn& in, void* out, uint32_t width, int bpp)
{
    uint32_t* o32 = static_cast<uint32_t*>(out);
    uint16_t* o16 = static_cast<uint16_t*>(out);
    auto put = [&](uint32_t x, uint32_t v) {
        if (bpp == 32)
            o32[x] = v;
        else
            o16[x] = uint16_t(v);
    };
    c.RowStart(width);
    uint32_t x = 0;
    while (x < width) {
        int b = in.Get();
        if (b < 0) return FX_E_READ;
        const int codes[2] = {b >> 4, b & 15};
        for (int k = 0; k < 2 && x < width; ++k) {
            const int code = codes[k];
            c.Guard();
            uint32_t v;
            if (code < 14) {
                v = c.slot[c.pos + code];
                put(x++, v);
                c.last = v;
            } else if (code == 14) {
                int op = in.Get();
                if (op < 0) return FX_E_READ;
                if (op < 128) {
                    v = c.MoveFront(14 + op);
                    put(x++, v);
                    c.last = v;
                } else {
                    // A run never passes the row's end.
                    uint32_t n = c.run[op - 128];
                    while (n-- && x < width) put(x++, c.last);
                }
            } else {
                uint8_t lit[4];
                if (!in.Read(lit, bpp == 32 ? 4 : 2)) return FX_E_READ;
                v = bpp == 32 ? Le32(lit) : Le16(lit);
                c.Push(v);
                put(x++, v);
                c.last = v;
            }
            c.lastCode = code;
        }
    }
    return 0;
}

void ViiEncodeRow(ViiCodec& c, const void* pixels, uint32_t width, int bpp, std::vector<uint8_t>& out)
{
    struct Code {
        uint8_t code, n, ops[4];
    };
    std::vector<Code> codes;
    codes.reserve(width + 8);
    const uint32_t mask = bpp == 32 ? 0xFFFFFFFFu : 0xFFFFu;
    auto px = [&](uint32_t i) -> uint32_t {
        return bpp == 32 ? static_cast<const uint32_t*>(pixels)[i] : static_cast<const uint16_t*>(pixels)[i];
    };
    auto emit = [&](int code, int nOps = 0, uint32_t op = 0) {
        Code k{uint8_t(code), uint8_t(nOps), {uint8_t(op), uint8_t(op >> 8), uint8_t(op >> 16), uint8_t(op >> 24)}};
        codes.push_back(k);
    };
    c.RowStart(width);
    int prev = -1;
    for (uint32_t i = 0; i < width;) {
        const uint32_t v = px(i) & mask;
        c.Guard();
        int d = -1;
        for (int k = 0; k < 142; ++k)
            if (c.slot[c.pos + k] == v) {
                d = k;
                break;
            }
        if (d >= 14) {
            c.MoveFront(d);
            emit(14, 1, uint32_t(d - 14));
            prev = -1;
        } else if (d >= 0 && bpp == 32 && prev == d) {
            uint32_t n = 0;
            while (i + n < width && px(i + n) == v) ++n;
            uint32_t left = n;
            while (left >= 4) {
                uint32_t op, take;
                if (left == width) op = 128, take = width;
                else if (left >= 512) op = 129, take = 512;
                else if (left >= 256) op = 130, take = 256;
                else if (left >= 128) op = 131, take = 128;
                else if (left == 127) op = 255, take = 127;
                else op = 128 + left, take = left;
                emit(14, 1, op);
                left -= take;
            }
            while (left--) emit(d);
            i += n;
            c.last = v;
            continue;
        } else if (d >= 0) {
            emit(d);
            prev = d;
        } else {
            c.Push(v);
            emit(15, bpp == 32 ? 4 : 2, v);
            prev = -1;
        }
        c.last = v;
        ++i;
    }
    for (size_t j = 0; j < codes.size(); j += 2) {
        const Code& a = codes[j];
        const Code* b = j + 1 < codes.size() ? &codes[j + 1] : nullptr;
        out.push_back(uint8_t((a.code << 4) | (b ? b->code : 0)));
        out.insert(out.end(), a.ops, a.ops + a.n);
        if (b) out.insert(out.end(), b->ops, b->ops + b->n);
    }
}

void ViiMaskRuns(const uint8_t* opaque, uint32_t width, std::vector<uint8_t>& out)
{
    bool cur = false;  // transparent first
    uint32_t i = 0;
    while (i < width) {
        uint32_t n = 0;
        while (i + n < width && n < 255 && (opaque[i + n] != 0) == cur) ++n;
        out.push_back(uint8_t(n));
        i += n;
        cur = !cur;
    }
}

uint16_t ViiTableColour(uint32_t i)
{
    uint32_t r = ((i / 121) % 11) * 31 / 10, g = ((i / 11) % 11) * 31 / 10, b = (i % 11) * 31 / 10;
    return uint16_t((r << 10) | (g << 5) | b);
}

uint32_t ViiExpand(uint16_t v)
{
    uint32_t colour, alpha;
    if (v & 0x8000) {
        uint32_t idx = v & 0x7FF;
        colour = idx < 1331 ? ViiTableColour(idx) : 0;  // indices past the table: black
        alpha = (v >> 10) & 30;
    } else {
        colour = v;
        alpha = 31;
    }
    auto w = [](uint32_t c) { return c * 8 + c / 4; };
    return (w(alpha) << 24) | (w((colour >> 10) & 31) << 16) | (w((colour >> 5) & 31) << 8) | w(colour & 31);
}

namespace {
char g_settings[MAX_PATH] = "quillon.ini";
}

void ViiSetSettingsPath(const char* path)
{
    lstrcpynA(g_settings, path ? path : "quillon.ini", MAX_PATH);
}

}  // namespace ferrix

namespace {

bool VistaViiOn()
{
    char v[16] = {};
    GetPrivateProfileStringA("Preferences", "VistaVii", "FALSE", v, sizeof v, g_settings);
    return lstrcmpiA(v, "TRUE") == 0;
}

// ---- reader ---------------------------------------------------------------

enum RowKind { kRows16, kRowsVista, kRows32, kRowsMask, kRowsRaw };

struct ViiReader {
    ViiHeader h{};
    uint16_t code = 0;
    uint32_t dataStart = 0;
    uint32_t codedWidth = 0;     // pixels decoded per row
    uint32_t colX = 0, colW = 0; // columns delivered (crawl segments)
    uint32_t skipRows = 0;       // rows dropped before the requested page
    uint32_t start = 0;          // where the requested page's rows begin
    RowKind rows = kRows16;
    bool paged = false;          // a roll or crawl without a frame table, read page by page
    uint32_t rowsRead = 0;       // rows of the requested page delivered
    ViiCodec codec;
    ByteIn in;
    std::vector<uint8_t> rowBuf;
};

ViiReader* RState(ConvertSource* s) { return static_cast<ViiReader*>(s->priv); }

int WINAPI ViiReaderClose(ConvertSource* s)
{
    ViiReader* r = RState(s);
    // A page read to its end leaves its place in the caller's resume record.
    FxResumeRecord* k = s->resume;
    if (r && k && k->inUse && r->paged && r->rowsRead == s->height && r->in.Tell() >= 0) {
        std::memcpy(k->slots, r->codec.slot, sizeof k->slots);
        k->listPos = uint32_t(r->codec.pos);
        k->filePos = uint32_t(r->in.Tell());
        k->nextPage = uint32_t(s->part) + 1;
        k->lastCode = r->codec.lastCode;
        k->lastColour = r->codec.last;
        k->inUse = 0;
    }
    delete r;
    s->priv = nullptr;
    return 0;
}

int Rewind(ConvertSource* s, ViiReader* r, uint32_t at)
{
    r->codec.Reset(r->codedWidth);
    if (bfSeek(s->stream, LONG(at), 0) != LONG(at)) return FX_E_READ;
    r->in.Reset(s->stream);
    return 0;
}

int WINAPI ViiPrepare(ConvertSource* s)
{
    ViiReader* r = RState(s);
    if (!r) return FX_E_READ;
    return Rewind(s, r, r->dataStart);
}

int DecodeInto(ViiReader* r, BYTE* out)
{
    switch (r->rows) {
    case kRows16:
        return ViiDecodeRow(r->codec, r->in, out, r->codedWidth, 16);
    case kRowsVista: {
        int rc = ViiDecodeRow(r->codec, r->in, r->rowBuf.data(), r->codedWidth, 16);
        if (rc < 0) return rc;
        const uint16_t* p = reinterpret_cast<const uint16_t*>(r->rowBuf.data());
        uint32_t* o = reinterpret_cast<uint32_t*>(out);
        for (uint32_t x = 0; x < r->codedWidth; ++x) o[x] = ViiExpand(p[x]);
        return 0;
    }
    case kRows32:
        return ViiDecodeRow(r->codec, r->in, out, r->codedWidth, 32);
    case kRowsMask: {
        uint16_t* o = reinterpret_cast<uint16_t*>(out);
        bool opaque = false;
        uint32_t x = 0;
        while (x < r->codedWidth) {
            int n = r->in.Get();
            if (n < 0) return FX_E_READ;
            for (int i = 0; i < n && x < r->codedWidth; ++i) o[x++] = opaque ? 0x7FFF : 0x8000;
            opaque = !opaque;
        }
        return 0;
    }
    case kRowsRaw:
        return r->in.Read(out, r->codedWidth * 2) ? 0 : FX_E_READ;
    }
    return FX_E_READ;
}

int WINAPI ViiBeginRows(ConvertSource* s)
{
    ViiReader* r = RState(s);
    if (!r) return FX_E_READ;
    r->rowsRead = 0;
    const FxResumeRecord* k = s->resume;
    if (r->paged && k && s->part != 0 && k->nextPage == s->part && k->listPos >= 1 &&
        k->listPos <= uint32_t(ViiCodec::kSlots)) {
        // Go on where the previous page ended.
        int rc = Rewind(s, r, k->filePos);
        if (rc < 0) return rc;
        std::memcpy(r->codec.slot, k->slots, sizeof k->slots);
        r->codec.pos = int(k->listPos);
        r->codec.lastCode = k->lastCode;
        r->codec.last = k->lastColour;
        return 0;
    }
    int rc = Rewind(s, r, r->start);
    for (uint32_t y = 0; rc == 0 && y < r->skipRows; ++y) rc = DecodeInto(r, r->rowBuf.data());
    return rc;
}

int WINAPI ViiReadRow(ConvertSource* s, BYTE* row)
{
    ViiReader* r = RState(s);
    if (!r) return FX_E_READ;
    if (r->colW == r->codedWidth && r->colX == 0) {
        int rc = DecodeInto(r, row);
        if (rc == 0) ++r->rowsRead;
        return rc;
    }
    int rc = DecodeInto(r, r->rowBuf.data());
    if (rc < 0) return rc;
    ++r->rowsRead;
    uint32_t bpp = (r->rows == kRows32 || r->rows == kRowsVista) ? 4 : 2;
    std::memcpy(row, r->rowBuf.data() + size_t(r->colX) * bpp, size_t(r->colW) * bpp);
    return 0;
}

bool Valid(uint16_t code)
{
    switch (code) {
    case 0: case 10: case 11: case 200: case 210: case 201: case 211: case 202: case 212: case 400: case 401:
        return true;
    }
    return false;
}

// Hands a logo's key mask (from `from` to the end of the file) to the
// caller's buffer.  A buffer too small gets nothing, learns the length, and
// the conversion goes on to answer -15 at its end.
int CopyMask(ConvertSource* s, uint32_t from)
{
    BufferedStream* st = s->stream;
    LONG end = bfSeek(st, 0, 2);
    if (end < 0) return FX_E_READ;
    uint32_t length = uint32_t(end) > from ? uint32_t(end) - from : 0;
    if (length > s->maskBufferSize) {
        s->readerState |= FX_RS_BUFFER_SHORT;
    } else if (length && (bfSeek(st, LONG(from), 0) != LONG(from) || !ReadExact(st, s->maskBuffer, length))) {
        return FX_E_READ;
    }
    s->maskBufferSize = length;
    return 0;
}

int OpenImage(ConvertSource* s, ViiReader* r)
{
    BufferedStream* st = s->stream;
    const bool newer = s->version >= 0x40000;
    uint32_t kind = 0, pageW = 0, pageH = 0, containerY = 0;
    bool titlePage = false;

    // A title page: the image block follows the container header and the
    // record block.
    uint8_t magic[4];
    if (bfSeek(st, 0, 0) == 0 && ReadExact(st, magic, 4) && Le32(magic) == kQcgMagic) {
        uint8_t head[144 + 32];
        std::memcpy(head, magic, 4);
        if (ReadExact(st, head + 4, sizeof head - 4)) {
            const uint8_t* t = head + 144;
            uint64_t at = 144ull + 32 + Le32(t + 12) + Le32(t + 20) + Le32(t + 24);
            if (at < 0x7FFFFFFF) {
                s->titleRecord = Le32(head + 12);
                uint32_t k = Le32(head + 20);
                if (k == 2) {
                    s->readerState |= 0x8;
                    containerY = Le16(head + 16);
                } else if (k == 4) {
                    titlePage = true;
                    pageW = Le16(head + 36);
                    pageH = Le16(head + 32);
                }
                bfSetOrigin(st, LONG(at));
            }
        }
    }

    uint8_t sig[2];
    if (bfSeek(st, 0, 0) != 0 || !ReadExact(st, sig, 2)) return FX_E_READ;
    ViiHeader& h = r->h;
    if (Le16(sig) == kViiSig) {
        if (bfSeek(st, 0, 0) != 0 || !ReadExact(st, &h, sizeof h)) return FX_E_READ;
        r->dataStart = sizeof h;
    } else if (Le16(sig) == kViiShortSig) {
        uint8_t sh[6];
        if (!ReadExact(st, sh, 6)) return FX_E_READ;
        uint16_t mode = Le16(sh) & 15;
        std::memset(&h, 0, sizeof h);
        h.width = Le16(sh + 2);
        h.height = Le16(sh + 4);
        h.frames = 0xFFFF;
        r->dataStart = 8;
        if (mode == 0) {
            h.code = 400;
        } else if (mode == 1) {
            h.code = 401;
        } else if (mode == 2 || mode == 3) {
            if (!ReadExact(st, &h, sizeof h)) return FX_E_READ;
            if (h.signature != kViiSig) return FX_E_FORMAT;
            r->dataStart = 8 + sizeof h;
        } else {
            h.code = 0;
        }
        if (s->maskBuffer && (mode == 0 || mode == 2 || mode == 3)) {
            int rc = CopyMask(s, mode == 0 ? 8 : h.tableOffset);
            if (rc < 0) return rc;
        }
    } else {
        return FX_E_FORMAT;
    }
    r->code = h.code;
    if (!Valid(h.code)) return FX_E_UNSUPPORTED;
    if (!h.width || !h.height) return FX_E_UNSUPPORTED;

    uint32_t width = h.width, height = h.height, depth = 32;
    r->codedWidth = width;
    switch (h.code) {
    case 0: case 10: case 11:
        if (VistaViiOn() && width >= 641) {
            r->rows = kRowsVista;
        } else {
            r->rows = kRows16;
            depth = 16;
        }
        break;
    case 400:
        r->rows = kRowsMask;
        depth = 16;
        break;
    case 401:
        r->rows = kRowsRaw;
        depth = 16;
        break;
    default:
        r->rows = kRows32;
        break;
    }
    const bool roll = h.code == 201 || h.code == 211, crawl = h.code == 202 || h.code == 212;
    const bool table = h.marker == kViiTableMark && newer;
    uint32_t x = h.x, y = h.y, parts = 0, totalW = 0, totalH = 0;
    r->start = r->dataStart;
    if ((roll || crawl) && table) {
        if (h.frames == 0xFFFF || s->part >= h.frames) return FX_E_UNSUPPORTED;
        ViiFrame f;
        if (bfSeek(st, LONG(h.tableOffset + 12u * s->part), 0) != LONG(h.tableOffset + 12u * s->part) ||
            !ReadExact(st, &f, sizeof f))
            return FX_E_READ;
        if (!f.width || !f.height) return FX_E_UNSUPPORTED;
        x = f.x;
        if (!(s->readerState & 0x8)) y = f.y;
        width = height = 0;
        width = f.width;
        height = f.height;
        r->codedWidth = width;
        r->start = f.offset;
        kind = roll ? 1 : 2;
        totalW = h.totalWidth;
        totalH = h.totalHeight;
        parts = h.frames;
    } else if (roll && newer) {
        r->paged = true;
        kind = 1;
        totalW = width;
        totalH = height;
        parts = height / kViiRollPage + 1;
        if (s->part >= parts) return FX_E_UNSUPPORTED;
        r->skipRows = kViiRollPage * s->part;
        uint32_t left = h.height - r->skipRows;
        height = left < kViiRollPage ? left : kViiRollPage;
    } else if (crawl && newer) {
        r->paged = true;
        kind = 2;
        uint32_t seg = h.segHeight, lead = h.leadRows, count = h.frames == 0xFFFF ? 0 : h.frames;
        if (!seg) return FX_E_UNSUPPORTED;
        uint32_t listed = count;
        while (count && lead + uint64_t(count) * seg > h.height) --count;
        if (s->part >= count) return FX_E_UNSUPPORTED;
        uint8_t wx[2], xx[2];
        LONG at = LONG(h.tableOffset + 2u * s->part), atX = LONG(h.tableOffset + 2u * (listed + s->part));
        if (bfSeek(st, at, 0) != at || !ReadExact(st, wx, 2) || bfSeek(st, atX, 0) != atX || !ReadExact(st, xx, 2))
            return FX_E_READ;
        uint32_t segW = Le16(wx), segX = Le16(xx);
        if (h.marker != kViiOldCrawl) {
            uint32_t margin = seg < 16 ? 2 : seg / 8;
            segW = segW > margin ? segW - margin : 0;
            y = 0xFFFF;
        } else {
            y = h.posWord;
        }
        if (s->readerState & 0x8) y = containerY;
        if (segX >= h.width || !segW) return FX_E_UNSUPPORTED;
        if (segW > h.width - segX) segW = h.width - segX;
        r->colX = segX;
        width = segW;
        height = seg;
        r->skipRows = lead + seg * s->part;
        totalW = h.totalWidth;
        totalH = seg;
        parts = count;
        x = segX;
    }
    if (s->readerState & 0x8) y = containerY;
    r->colW = width;
    if (titlePage) {
        kind = 4;
        totalW = pageW;
        totalH = pageH;
    }
    uint32_t pb = depth / 8;
    r->rowBuf.assign(size_t(r->codedWidth) * 4 + 16, 0);

    s->width = uint16_t(width);
    s->height = uint16_t(height);
    s->depth = uint16_t(depth);
    s->bytesPerRow = width * pb;
    s->formatId = FX_ID_TITLE;
    s->rowOrder = 0x600;
    s->paletteCount = 0;
    s->readerCaps = 0;
    s->partX = uint16_t(x);
    s->partY = uint16_t(y);
    s->titleKind = kind;
    s->totalWidth = totalW;
    s->totalHeight = totalH;
    s->partCount = uint16_t(parts);
    if (s->version >= 0x50000) s->titleHeader38 = h.fill;
    if (h.order == 2) s->readerState |= 0x10;
    return 0;
}

int WINAPI ViiOpen(ConvertSource* s)
{
    s->priv = nullptr;
    if (!s->stream) return FX_E_NOINPUT;
    ViiReader* r = new (std::nothrow) ViiReader;
    if (!r) return FX_E_MEMORY;
    // A title page moves the stream's origin to its image block; a refused
    // file puts it back so that the next reader probes the file as it is.
    const uint32_t base = bsGetBase(s->stream);
    int rc = OpenImage(s, r);
    if (rc < 0) {
        bsSetBase(s->stream, base);
        delete r;
        return rc;
    }
    s->priv = r;
    s->prepare = ViiPrepare;
    s->beginRows = ViiBeginRows;
    s->readRow = ViiReadRow;
    s->close = ViiReaderClose;
    return 0;
}

// ---- writer ---------------------------------------------------------------

struct ViiWriter {
    ViiHeader h{};
    ViiCodec codec;
    uint16_t sub = 0;
    int bpp = 0;
    uint32_t width = 0, height = 0;
    bool maskOnly = false, byAlpha = false, began = false;
    std::vector<uint8_t> bytes, mask, opaque;
    std::vector<ViiFrame> frames;
};

ViiWriter* WState(ConvertTarget* t) { return static_cast<ViiWriter*>(t->priv); }

int WINAPI ViiBeginOutput(ConvertTarget* t)
{
    ViiWriter* w = WState(t);
    if (!w) return FX_E_MEMORY;
    BufferedStream* st = t->stream;
    const int depth = t->depth;
    const bool lgo = w->sub == 1, roll = w->sub == 2, crawl = w->sub == 3;
    if (!(depth == 32 || (depth == 16 && !roll && !crawl) || (depth == 1 && lgo))) return FX_E_UNSUPPORTED;
    if (!t->width || !t->height || w->sub > 3) return FX_E_UNSUPPORTED;
    w->width = t->width;
    w->height = t->height;
    w->bpp = depth == 1 ? 32 : depth;
    w->byAlpha = (t->sourceFlags & FX_SRC_MASK) != 0;
    w->opaque.assign(w->width, 0);
    t->bytesPerRow = w->width * uint32_t(w->bpp / 8);
    w->codec.Reset(w->width);
    if (lgo) {
        uint8_t sh[8];
        PutLe16(sh, kViiShortSig);
        PutLe16(sh + 2, depth == 1 ? 0 : 3);
        PutLe16(sh + 4, w->width);
        PutLe16(sh + 6, w->height);
        if (!WriteExact(st, sh, 8)) return FX_E_WRITE;
        if (depth == 1) {
            w->maskOnly = true;
            w->began = true;
            return 0;
        }
    }
    ViiHeader& h = w->h;
    std::memset(&h, 0, sizeof h);
    h.signature = kViiSig;
    h.code = depth == 16 ? 10 : roll ? 201 : crawl ? 202 : 200;
    if (roll || crawl) h.marker = kViiTableMark;
    h.x = t->originX;
    h.y = t->originY;
    h.width = t->width;
    h.height = t->height;
    h.frames = 0xFFFF;
    h.tableOffset = 50;
    h.order = (t->rowOrder & 0x800) ? 2 : 1;
    h.fill = t->fillColor;
    ViiFrame f{t->originX, t->originY, t->width, t->height, 50};
    if ((roll || crawl) && (t->sourceFlags & FX_SRC_APPEND)) {
        ViiHeader old;
        if (bfSeek(st, 0, 0) != 0 || !ReadExact(st, &old, sizeof old)) return FX_E_READ;
        if (old.signature != kViiSig || old.marker != kViiTableMark || old.frames == 0xFFFF) return FX_E_READ;
        try {
            w->frames.resize(old.frames);
        } catch (...) {
            return FX_E_MEMORY;
        }
        if (bfSeek(st, LONG(old.tableOffset), 0) != LONG(old.tableOffset) ||
            !ReadExact(st, w->frames.data(), uint32_t(old.frames) * sizeof(ViiFrame)))
            return FX_E_READ;
        if (bfSeek(st, LONG(old.tableOffset), 0) != LONG(old.tableOffset)) return FX_E_READ;
        h.totalWidth = old.totalWidth;
        h.totalHeight = old.totalHeight;
        h.x = old.x;
        h.y = old.y;
        h.width = old.width;
        h.height = old.height;
        f.offset = old.tableOffset;
    } else {
        if (!WriteExact(st, &h, sizeof h)) return FX_E_WRITE;
    }
    if (roll || crawl) w->frames.push_back(f);
    w->began = true;
    return 0;
}

int WINAPI ViiWriteRow(ConvertTarget* t, const BYTE* row)
{
    ViiWriter* w = WState(t);
    if (!w || !w->began) return FX_E_WRITE;
    w->bytes.clear();
    const uint32_t* p32 = reinterpret_cast<const uint32_t*>(row);
    const uint16_t* p16 = reinterpret_cast<const uint16_t*>(row);
    if (w->maskOnly) {
        for (uint32_t x = 0; x < w->width; ++x)
            w->opaque[x] = w->byAlpha ? (p32[x] >> 24) != 0 : (p32[x] & 0xFFFFFF) != 0;
        ViiMaskRuns(w->opaque.data(), w->width, w->bytes);
        return WriteExact(t->stream, w->bytes.data(), uint32_t(w->bytes.size())) ? 0 : FX_E_WRITE;
    }
    ViiEncodeRow(w->codec, row, w->width, w->bpp, w->bytes);
    if (!WriteExact(t->stream, w->bytes.data(), uint32_t(w->bytes.size()))) return FX_E_WRITE;
    if (w->sub == 1) {
        for (uint32_t x = 0; x < w->width; ++x)
            w->opaque[x] = w->bpp == 32 ? (p32[x] >> 24) != 0 : !(p16[x] & 0x8000);
        if (!t->maskBuffer) ViiMaskRuns(w->opaque.data(), w->width, w->mask);
    }
    return 0;
}

int Finish(ConvertTarget* t, ViiWriter* w)
{
    BufferedStream* st = t->stream;
    if (w->maskOnly) return 0;
    if (w->sub == 1) {
        LONG end = bfTell(st);
        uint8_t v[4];
        PutLe32(v, uint32_t(end));
        if (end < 0 || bfSeek(st, 22, 0) != 22 || !WriteExact(st, v, 4) || bfSeek(st, end, 0) != end)
            return FX_E_WRITE;
        // The caller's mask when it gave one, else the runs gathered from the rows.
        if (t->maskBuffer) return !t->maskLength || WriteExact(st, t->maskBuffer, t->maskLength) ? 0 : FX_E_WRITE;
        if (!w->mask.empty() && !WriteExact(st, w->mask.data(), uint32_t(w->mask.size()))) return FX_E_WRITE;
        return 0;
    }
    if (w->sub == 2 || w->sub == 3) {
        const ViiFrame& f = w->frames.back();
        if (w->sub == 2) {
            w->h.totalWidth = f.width;
            w->h.totalHeight += f.height;
        } else {
            w->h.totalWidth += f.width;
            w->h.totalHeight = f.height;
        }
        LONG end = bfTell(st);
        if (end < 0) return FX_E_WRITE;
        if (!WriteExact(st, w->frames.data(), uint32_t(w->frames.size() * sizeof(ViiFrame)))) return FX_E_WRITE;
        w->h.tableOffset = uint32_t(end);
        w->h.frames = uint16_t(w->frames.size());
        if (bfSeek(st, 0, 0) != 0 || !WriteExact(st, &w->h, sizeof w->h)) return FX_E_WRITE;
    }
    return 0;
}

int WINAPI ViiWriterClose(ConvertTarget* t)
{
    ViiWriter* w = WState(t);
    int rc = 0;
    if (w && w->began) rc = Finish(t, w);
    delete w;
    t->priv = nullptr;
    return rc;
}

int WINAPI ViiWriterOpen(ConvertTarget* t)
{
    ViiWriter* w = new (std::nothrow) ViiWriter;
    if (!w) return FX_E_MEMORY;
    w->sub = t->subFormat;
    t->priv = w;
    t->caps = w->sub == 1 ? 0x6B1 : 0xEB0;
    t->beginOutput = ViiBeginOutput;
    t->writeRow = ViiWriteRow;
    t->close = ViiWriterClose;
    return 0;
}

}  // namespace

extern "C" int WINAPI VIIEnumReadFormats(int index, FormatRecord* record)
{
    static const struct {
        const char* name;
        const char* ext;
        uint16_t depth;
        uint32_t options;
    } kEntries[] = {{"VII, Quillon", "VII\0", 0xB0, 19},
                    {"LGO, Quillon", "LGO\0", 0xB0, 19},
                    {"Quillon Roll", "VIS\0", 0xB0, 35},
                    {"Quillon Crawl", "VIC\0", 0xB0, 35},
                    {"Quillon", "QCG\0", 0xA0, 35}};
    if (index < 0 || index > 4 || !record) return -1;
    FillReadEntry(record, kEntries[index].name, FX_ID_TITLE, kEntries[index].depth, true, ViiOpen,
                  kEntries[index].options, kEntries[index].ext, 5);
    return 4 - index;
}

extern "C" int WINAPI VIIEnumWriteFormats(int index, FormatRecord* record)
{
    static const struct {
        const char* name;
        const char* ext;
        uint16_t depth;
        uint32_t options;
    } kEntries[] = {{"VII, Quillon", "VII\0", 0xB0, 19},
                    {"LGO, Quillon", "LGO\0", 0xB1, 19},
                    {"VIS, Quillon Roll", "VIS\0", 0xB0, 33},
                    {"VIC, Quillon Crawl", "VIC\0", 0xB0, 33}};
    if (index < 0 || index > 3 || !record) return -1;
    FillWriteEntry(record, kEntries[index].name, FX_ID_TITLE, kEntries[index].depth, ViiWriterOpen,
                   kEntries[index].options, uint16_t(index), kEntries[index].ext, 5);
    return 3 - index;
}
