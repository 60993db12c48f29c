#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "render.h"

namespace cuelink {

namespace {
struct WeightTable {
    uint8_t w[256][256];
    WeightTable()
    {
        for (uint32_t a = 0; a < 256; ++a)
            for (uint32_t sa = 0; sa < 256; ++sa) w[a][sa] = a && sa <= a ? uint8_t(sa * 255 / a) : 255;
    }
};
const WeightTable g_weights;
}  // namespace

const uint8_t (&kBlendWeight)[256][256] = g_weights.w;

RowDecoder::RowDecoder(const ImagePart& img)
    : lazy_(img.pixelBytes == kUnknownSize), width_(img.width), p_(img.pixels),
      end_(lazy_ ? img.pixels : img.pixels + img.pixelBytes), start_(img.pixels)
{
    std::memset(hist_, 0, sizeof hist_);
    run_[0] = uint32_t(img.width);
    run_[1] = 512;
    run_[2] = 256;
    run_[3] = 128;
    for (uint32_t k = 4; k < 128; ++k) run_[k] = k;
}

bool RowDecoder::Need(size_t n)
{
    while (size_t(end_ - p_) < n) {
        if (!lazy_ || end_ - start_ > (ptrdiff_t(1) << 30)) return false;
        const uintptr_t next = (uintptr_t(end_) | 4095) + 1;
        if (!Readable(end_, next - uintptr_t(end_))) return false;
        end_ = reinterpret_cast<const uint8_t*>(next);
    }
    return true;
}

template <class Sink>
bool RowDecoder::Decode(Sink& sink)
{
    if (idx_ < width_) idx_ = 3812;
    int x = 0;
    while (x < width_) {
        if (p_ >= end_ && !Need(1)) return false;
        const int b = *p_++;
        for (int k = 0; k < 2 && x < width_; ++k) {
            const int code = k ? (b & 15) : (b >> 4);
            // A row wider than the history would push the index out of the
            // array: it starts over where a new row would.
            if (idx_ < 1) idx_ = 3812;
            if (code < 14) {
                cur_ = hist_[idx_ + code];
                sink.Px(x++, cur_);
            } else if (code == 15) {
                if (end_ - p_ < 4 && !Need(4)) return false;
                cur_ = U32(p_);
                p_ += 4;
                hist_[--idx_] = cur_;
                sink.Px(x++, cur_);
            } else {
                if (p_ >= end_ && !Need(1)) return false;
                const int f = *p_++;
                if (f >= 128) {
                    const int n = std::min<int>(int(run_[f - 128]), width_ - x);
                    sink.Run(x, n, cur_);
                    x += n;
                } else {
                    const int d = 14 + f;
                    cur_ = hist_[idx_ + d];
                    --idx_;
                    hist_[idx_] = cur_;
                    hist_[idx_ + d + 1] = hist_[idx_ + d + 2];
                    sink.Px(x++, cur_);
                }
            }
        }
    }
    return true;
}

namespace {

struct BufferSink {
    uint32_t* out;
    void Px(int x, uint32_t c) { out[x] = c; }
    void Run(int x, int n, uint32_t c)
    {
        for (int i = 0; i < n; ++i) out[x + i] = c;
    }
};
struct NullSink {
    void Px(int, uint32_t) {}
    void Run(int, int, uint32_t) {}
};

// Writes decoded pixels straight into a target row from column x0,
// clipped; blending over it, or replacing all but transparent pixels.
template <bool kBlend>
struct RowSink {
    uint32_t* dst;
    int x0, w;
    void Px(int x, uint32_t c)
    {
        const int tx = x0 + x;
        if (unsigned(tx) >= unsigned(w) || !(c >> 24)) return;
        dst[tx] = kBlend ? Blend(dst[tx], c) : c;
    }
    void Run(int x, int n, uint32_t c)
    {
        if (!(c >> 24)) return;
        int a = x0 + x, b = a + n;
        if (a < 0) a = 0;
        if (b > w) b = w;
        if (!kBlend || (c >> 24) == 255) {
            for (int i = a; i < b; ++i) dst[i] = c;
        } else {
            for (int i = a; i < b; ++i) dst[i] = Blend(dst[i], c);
        }
    }
};

// One row of the image into a target row.
bool DecodeInto(RowDecoder& dec, uint32_t* dst, int x0, int w, bool blend)
{
    if (blend) {
        RowSink<true> s{dst, x0, w};
        return dec.Decode(s);
    }
    RowSink<false> s{dst, x0, w};
    return dec.Decode(s);
}

}  // namespace

bool RowDecoder::Row(uint32_t* out)
{
    if (out) {
        BufferSink s{out};
        return Decode(s);
    }
    NullSink s;
    return Decode(s);
}

namespace {

// Copies n source pixels to a target row from column x0, clipped to the
// row; with blend over the row, else replacing all but transparent pixels.
void PutRow(uint32_t* dst, int dstW, int x0, const uint32_t* src, int n, bool blend)
{
    int i0 = 0, i1 = n;
    if (x0 < 0) i0 = -x0;
    if (x0 + i1 > dstW) i1 = dstW - x0;
    if (blend) {
        for (int i = i0; i < i1; ++i) dst[x0 + i] = Blend(dst[x0 + i], src[i]);
    } else {
        for (int i = i0; i < i1; ++i)
            if (src[i] >> 24) dst[x0 + i] = src[i];
    }
}

struct Scroll {
    int whole;
    double frac;
};

Scroll Split(double off, bool keep)
{
    off = std::max(-1e9, std::min(1e9, off));
    if (!keep) return {int(off), 0.0};  // cut towards zero
    const double w = std::floor(off);
    return {int(w), off - w};
}

bool DrawStill(const ImagePart& img, const Target& t, int logicalW, bool blend)
{
    RowDecoder dec(img);
    const int x0 = (logicalW - img.width) / 2;
    const int rows = std::min(img.height, t.h);
    for (int y = 0; y < rows; ++y) {
        if (!(t.Wants(y) ? DecodeInto(dec, t.Row(y), x0, t.w, blend) : dec.Row(nullptr))) return false;
    }
    return true;
}

// The decoder state at a row of the last roll drawn: the next frame of the
// same roll starts from there instead of decoding every row above it again.
// Keyed by the stream's place, size and its first and last bytes; guarded.
struct SkipCache {
    CRITICAL_SECTION cs;
    const uint8_t* pixels = nullptr;
    size_t bytes = 0;
    int width = 0, height = 0, row = -1;
    uint32_t sum = 0;
    RowDecoder* state = nullptr;
    SkipCache() { InitializeCriticalSection(&cs); }
};
SkipCache g_skip;

uint32_t StreamSum(const ImagePart& img)
{
    if (img.pixelBytes == kUnknownSize) return 0;
    uint32_t s = uint32_t(img.pixelBytes);
    const size_t n = std::min<size_t>(img.pixelBytes, 64);
    for (size_t i = 0; i < n; ++i) s = s * 31 + img.pixels[i];
    for (size_t i = img.pixelBytes - n; i < img.pixelBytes; ++i) s = s * 31 + img.pixels[i];
    return s;
}

// Decoded rolls: the last few kept whole (transparent pixels as 0) with
// each row's spans of opaque and part-transparent pixels, keyed like the
// skip state, within a memory budget.  Guarded by the same lock.
struct Span {
    uint16_t x, n;
    uint32_t opaque;
};
struct DecodedPicture {
    std::vector<uint32_t> px;
    std::vector<Span> spans;
    std::vector<uint32_t> rowSpans;  // first span of each row, and the end
};
struct DecodedEntry {
    const uint8_t* pixels;
    size_t bytes;
    int width, height;
    uint32_t sum;
    std::shared_ptr<const DecodedPicture> picture;
};
std::vector<DecodedEntry>* g_decoded = nullptr;
const size_t kDecodedBudget = size_t(96) << 20;  // bytes of pixels kept at most
const size_t kDecodedEntries = 4;

std::shared_ptr<const DecodedPicture> DecodedRoll(const ImagePart& img)
{
    const size_t bytes = size_t(img.width) * img.height * 4;
    if (img.pixelBytes == kUnknownSize || bytes == 0 || bytes > kDecodedBudget / kDecodedEntries ||
        img.width > 65535)
        return nullptr;
    const uint32_t sum = StreamSum(img);
    EnterCriticalSection(&g_skip.cs);
    if (!g_decoded) g_decoded = new (std::nothrow) std::vector<DecodedEntry>();
    if (g_decoded)
        for (const DecodedEntry& e : *g_decoded)
            if (e.pixels == img.pixels && e.bytes == img.pixelBytes && e.width == img.width &&
                e.height == img.height && e.sum == sum) {
                std::shared_ptr<const DecodedPicture> p = e.picture;
                LeaveCriticalSection(&g_skip.cs);
                return p;
            }
    LeaveCriticalSection(&g_skip.cs);
    std::shared_ptr<DecodedPicture> pic;
    try {
        pic = std::make_shared<DecodedPicture>();
        pic->px.resize(size_t(img.width) * img.height);
        pic->rowSpans.reserve(size_t(img.height) + 1);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    RowDecoder* dec = new (std::nothrow) RowDecoder(img);
    if (!dec) return nullptr;
    bool ok = true;
    for (int y = 0; y < img.height && ok; ++y) ok = dec->Row(pic->px.data() + size_t(y) * img.width);
    delete dec;
    if (!ok) return nullptr;  // a damaged stream is drawn row by row as far as it goes
    try {
        for (int y = 0; y < img.height; ++y) {
            pic->rowSpans.push_back(uint32_t(pic->spans.size()));
            uint32_t* row = pic->px.data() + size_t(y) * img.width;
            for (int x = 0; x < img.width;) {
                const uint32_t a = row[x] >> 24;
                if (!a) {
                    row[x++] = 0;
                    continue;
                }
                const bool opaque = a == 255;
                int e = x + 1;
                while (e < img.width && (row[e] >> 24) && ((row[e] >> 24) == 255) == opaque) ++e;
                pic->spans.push_back({uint16_t(x), uint16_t(e - x), opaque ? 1u : 0u});
                x = e;
            }
        }
        pic->rowSpans.push_back(uint32_t(pic->spans.size()));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    EnterCriticalSection(&g_skip.cs);
    if (g_decoded) {
        if (g_decoded->size() >= kDecodedEntries) g_decoded->erase(g_decoded->begin());
        try {
            g_decoded->push_back({img.pixels, img.pixelBytes, img.width, img.height, sum, pic});
        } catch (const std::bad_alloc&) {
        }
    }
    LeaveCriticalSection(&g_skip.cs);
    return pic;
}

bool DrawRoll(const ImagePart& img, const Target& t, int logicalW, int logicalH, double pos, double total,
              uint32_t flags, double* fy)
{
    const bool blend = flags & QCG_RENDER_BLEND;
    if (img.height == 0) return true;
    double off;
    if (flags & QCG_RENDER_ROLL_BY_RATE)
        off = pos * (total / img.height) * 2;
    else if (total > 0)
        off = pos * img.height / total - logicalH;
    else
        off = -logicalH;
    const Scroll s = Split(off, flags & QCG_RENDER_KEEP_FRACTION);
    *fy = s.frac;
    const int x0 = (logicalW - img.width) / 2;
    // A roll is drawn at frame after frame: its rows are decoded once and
    // kept, and each frame copies the rows it shows.
    if (std::shared_ptr<const DecodedPicture> pic = DecodedRoll(img)) {
        int y = s.whole < 0 ? -s.whole : 0, src = s.whole < 0 ? 0 : s.whole;
        int a = 0, b = img.width;
        if (x0 + a < 0) a = -x0;
        if (x0 + b > t.w) b = t.w - x0;
        if (a >= b) return true;
        for (; y < t.h && src < img.height; ++y, ++src) {
            if (!t.Wants(y)) continue;
            const uint32_t* row = pic->px.data() + size_t(src) * img.width;
            uint32_t* dst = t.Row(y) + x0;
            if (!blend) {
                // Transparent pixels are kept as 0 in the decoded rows, and
                // the target row was cleared: a plain copy.
                std::memcpy(dst + a, row + a, size_t(b - a) * 4);
                continue;
            }
            for (uint32_t k = pic->rowSpans[src]; k < pic->rowSpans[src + 1]; ++k) {
                const Span& sp = pic->spans[k];
                const int i0 = std::max<int>(sp.x, a), i1 = std::min<int>(sp.x + sp.n, b);
                if (i0 >= i1) continue;
                if (sp.opaque) {
                    if (i1 - i0 > 16)
                        std::memcpy(dst + i0, row + i0, size_t(i1 - i0) * 4);
                    else
                        for (int i = i0; i < i1; ++i) dst[i] = row[i];
                } else
                    for (int i = i0; i < i1; ++i) dst[i] = Blend(dst[i], row[i]);
            }
        }
        return true;
    }
    std::unique_ptr<RowDecoder> dec(new RowDecoder(img));
    int src = 0, y = 0;
    if (s.whole >= 0) {
        if (s.whole >= img.height) return true;
        const bool cacheable = img.pixelBytes != kUnknownSize && s.whole > 0;
        const uint32_t sum = cacheable ? StreamSum(img) : 0;
        if (cacheable) {
            EnterCriticalSection(&g_skip.cs);
            if (g_skip.state && g_skip.pixels == img.pixels && g_skip.bytes == img.pixelBytes &&
                g_skip.width == img.width && g_skip.height == img.height && g_skip.sum == sum &&
                g_skip.row <= s.whole) {
                *dec = *g_skip.state;
                src = g_skip.row;
            }
            LeaveCriticalSection(&g_skip.cs);
        }
        for (; src < s.whole; ++src)
            if (!dec->Row(nullptr)) return false;
        if (cacheable) {
            EnterCriticalSection(&g_skip.cs);
            if (!g_skip.state) g_skip.state = new (std::nothrow) RowDecoder(img);
            if (g_skip.state) {
                *g_skip.state = *dec;
                g_skip.pixels = img.pixels;
                g_skip.bytes = img.pixelBytes;
                g_skip.width = img.width;
                g_skip.height = img.height;
                g_skip.sum = sum;
                g_skip.row = src;
            }
            LeaveCriticalSection(&g_skip.cs);
        }
    } else {
        y = -s.whole;
    }
    for (; y < t.h && src < img.height; ++y, ++src) {
        if (!(t.Wants(y) ? DecodeInto(*dec, t.Row(y), x0, t.w, blend) : dec->Row(nullptr))) return false;
    }
    return true;
}

struct Place {
    int col = 0, entry = 0, take = 0;
};

bool DrawCrawl(const ImagePart& img, const PartA* a, const Target& t, int logicalW, int logicalH, double pos,
               double total, uint32_t flags, double* fx)
{
    const bool blend = flags & QCG_RENDER_BLEND;
    const int n = int(img.segments.size());
    int y0;
    if (img.altMarker) {
        y0 = img.altRow;
    } else {
        const int row = (a && a->isRecord) ? a->crawlRow : img.defaultRow;
        y0 = std::min(logicalH - img.segHeight, row);
    }
    y0 &= ~1;
    const int total_w = img.CrawlWidth();
    const double off = total != 0 ? pos * total_w / total - logicalW : -logicalW;
    const Scroll s = Split(off, flags & QCG_RENDER_KEEP_FRACTION);
    *fx = s.frac;

    std::vector<Place> place(n);
    int col = 0, first = 0, entry = 0;
    if (n == 0) return true;
    if (s.whole < 0) {
        col = -s.whole;
        entry = img.segments[0].start;
    } else {
        int run = 0;
        for (first = 0; first < n; ++first) {
            const int vis = std::max(0, img.segments[first].width - img.gap);
            if (s.whole < run + vis) break;
            run += vis;
        }
        if (first == n) return true;  // scrolled past the end
        entry = img.segments[first].start + (s.whole - run);
    }
    int lastRow = -1;
    for (int k = first; k < n && col < t.w; ++k) {
        const Segment& g = img.segments[k];
        const int e = k == first ? entry : g.start;
        // The segment's columns from its entry up to (not including) its
        // last visible one: start + width - gap - entry - 1.
        const int take = int(std::max<int64_t>(
            0, std::min<int64_t>(int64_t(g.start) + g.width - img.gap - e - 1, t.w - col)));
        place[k] = {col, e, take};
        col += take;
        if (take > 0) lastRow = img.defaultRow + (k + 1) * img.segHeight - 1;
    }
    lastRow = std::min(lastRow, img.height - 1);
    RowDecoder dec(img);
    std::vector<uint32_t> row(img.width);
    for (int r = 0; r <= lastRow; ++r) {
        const int rel = r - img.defaultRow;
        const int k = rel >= 0 ? rel / img.segHeight : -1;
        if (k < first || k >= n || place[k].take == 0) {
            if (!dec.Row(nullptr)) return false;
            continue;
        }
        if (!dec.Row(row.data())) return false;
        const int ty = y0 + rel - k * img.segHeight;
        if (ty < 0 || ty >= t.h || !t.Wants(ty)) continue;
        const Place& p = place[k];
        // Columns outside the stream row stay empty.
        int e = p.entry, c = p.col, m = p.take;
        if (e < 0) {
            c -= e;
            m += e;
            e = 0;
        }
        m = std::min(m, img.width - e);
        if (m > 0) PutRow(t.Row(ty), t.w, c, row.data() + e, m, blend);
    }
    return true;
}

bool Draw(const ImagePart& img, const PartA* a, const Target& t, int logicalW, int logicalH, double pos,
          double total, uint32_t flags, double* fx, double* fy)
{
    *fx = *fy = 0;
    switch (img.kind) {
    case QCG_KIND_STILL:
        return DrawStill(img, t, logicalW, flags & QCG_RENDER_BLEND);
    case QCG_KIND_ROLL:
        return DrawRoll(img, t, logicalW, logicalH, pos, total, flags, fy);
    case QCG_KIND_CRAWL:
        return DrawCrawl(img, a, t, logicalW, logicalH, pos, total, flags, fx);
    default:
        return false;
    }
}

// Area weights of one axis: for each target index the first source index
// and its weights in 63rds of a source pixel.
struct Axis {
    std::vector<int> first, count;
    std::vector<uint8_t> w;
    std::vector<int> at;  // offset of each target's weights in w
};

Axis Weights(double start, int srcLen, int dstLen, int limit)
{
    Axis ax;
    ax.first.resize(dstLen);
    ax.count.resize(dstLen);
    ax.at.resize(dstLen);
    const double step = double(srcLen) / dstLen;
    for (int i = 0; i < dstLen; ++i) {
        const double a = start + i * step, b = start + (i + 1) * step;
        const int j0 = int(std::floor(a));
        int j1 = int(std::ceil(b));
        ax.first[i] = j0;
        ax.at[i] = int(ax.w.size());
        int c = 0;
        for (int j = j0; j < j1; ++j) {
            const double ov = std::min(b, j + 1.0) - std::max(a, double(j));
            const int wt = int(std::lround(ov * 63));
            if (j >= limit) break;
            ax.w.push_back(uint8_t(std::max(0, wt)));
            ++c;
        }
        ax.count[i] = c;
    }
    return ax;
}

// Area-average of the scratch picture into the target rows asked for.
// Colours are weighted by alpha so transparent pixels lend no colour.
void Resample(const uint32_t* src, int srcStride, int srcRows, double fx, double fy, int sw, int sh,
              const Target& t, int rowStart, int rowStep, bool blend)
{
    const Axis ax = Weights(fx, sw, t.w, srcStride), ay = Weights(fy, sh, t.h, srcRows);
    for (int y = rowStart; y < t.h; y += rowStep) {
        uint32_t* out = t.Row(y);
        for (int x = 0; x < t.w; ++x) {
            uint64_t W = 0, A = 0, C[3] = {0, 0, 0};
            for (int jy = 0; jy < ay.count[y]; ++jy) {
                const uint32_t wy = ay.w[ay.at[y] + jy];
                const uint32_t* row = src + size_t(ay.first[y] + jy) * srcStride;
                for (int jx = 0; jx < ax.count[x]; ++jx) {
                    const uint32_t wt = wy * ax.w[ax.at[x] + jx];
                    const uint32_t p = row[ax.first[x] + jx];
                    const uint32_t pa = p >> 24;
                    W += wt;
                    A += uint64_t(wt) * pa;
                    C[0] += uint64_t(wt) * pa * (p & 255);
                    C[1] += uint64_t(wt) * pa * ((p >> 8) & 255);
                    C[2] += uint64_t(wt) * pa * ((p >> 16) & 255);
                }
            }
            uint32_t v = 0;
            if (W && A) {
                const uint32_t alpha = uint32_t((A + W / 2) / W);
                v = (alpha << 24) | uint32_t((C[0] + A / 2) / A) | (uint32_t((C[1] + A / 2) / A) << 8) |
                    (uint32_t((C[2] + A / 2) / A) << 16);
                if (!alpha) v = 0;
            }
            out[x] = blend ? Blend(out[x], v) : v;
        }
    }
}

}  // namespace

bool Render(uint32_t flags, const PartA* a, const ImagePart& img, void* buffer, int width, int height,
            int stride, double position, double total)
{
    if (!buffer || width <= 0 || height == 0) return false;
    const int bufH = height < 0 ? -height : height;
    if (stride == 0) stride = width * 4;
    if (stride < width * 4) return false;
    Target buf;
    buf.base = static_cast<uint8_t*>(buffer);
    buf.w = width;
    buf.h = bufH;
    buf.stride = stride;
    buf.bottomUp = height < 0;

    int recW = width, recH = bufH;
    if (a && a->isRecord && a->width && a->height) {
        recW = a->width;
        recH = a->height;
    }
    const bool blend = flags & QCG_RENDER_BLEND;
    const uint32_t field = flags & (QCG_RENDER_FIELD_ODD | QCG_RENDER_FIELD_EVEN);
    double fx = 0, fy = 0;
    if (!(flags & QCG_RENDER_KEEP_FRACTION) && recW == width && recH == bufH) {
        // The record's own size: drawn straight into the buffer (one field
        // is every second row of it).
        if (field) {
            buf.fieldStart = (field & QCG_RENDER_FIELD_ODD) ? 1 : 0;
            buf.fieldStep = 2;
        }
        if (!blend)
            for (int y = buf.fieldStart; y < bufH; y += buf.fieldStep) std::memset(buf.Row(y), 0, size_t(width) * 4);
        return Draw(img, a, buf, recW, recH, position, total, flags, &fx, &fy);
    }
    // Through a scratch picture of the record's size, with room for the
    // fractional row and column, then resampled into the caller's buffer.
    const int sw = recW + 2, sh = recH + 128;
    if (uint64_t(sw) * sh > (uint64_t(1) << 28)) return false;
    std::vector<uint32_t> scratch;
    try {
        scratch.assign(size_t(sw) * sh, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    Target st;
    st.base = reinterpret_cast<uint8_t*>(scratch.data());
    st.w = recW + 1;
    st.h = recH + 1;
    st.stride = ptrdiff_t(sw) * 4;
    if (!Draw(img, a, st, recW, recH, position, total, flags & ~QCG_RENDER_BLEND, &fx, &fy)) return false;
    int start = 0, step = 1;
    if (field) {
        start = (field & QCG_RENDER_FIELD_ODD) ? 1 : 0;
        step = 2;
    }
    Resample(scratch.data(), sw, sh, fx, fy, recW, recH, buf, start, step, blend);
    return true;
}

bool DecodeBitmap(const ImagePart& img, uint32_t* out, int outWidth)
{
    RowDecoder dec(img);
    std::vector<uint32_t> row(img.width);
    if (img.kind != QCG_KIND_CRAWL) {
        for (int y = 0; y < img.height; ++y)
            if (!dec.Row(out + size_t(y) * outWidth)) return false;
        return true;
    }
    // Crawl: segment s's visible columns go side by side, in the segment
    // height rows from the default crawl row.
    std::vector<int> col(img.segments.size());
    int c = 0, lastRow = -1;
    for (size_t s = 0; s < img.segments.size(); ++s) {
        col[s] = c;
        const int vis = std::max(0, img.segments[s].width - img.gap);
        c += vis;
        if (vis) lastRow = img.defaultRow + int(s + 1) * img.segHeight - 1;
    }
    lastRow = std::min(lastRow, img.height - 1);
    for (int r = 0; r <= lastRow; ++r) {
        const int rel = r - img.defaultRow;
        const int k = rel >= 0 ? rel / img.segHeight : -1;
        if (k < 0 || k >= int(img.segments.size())) {
            if (!dec.Row(nullptr)) return false;
            continue;
        }
        if (!dec.Row(row.data())) return false;
        const int ty = img.defaultRow + rel - k * img.segHeight;
        if (ty < 0 || ty >= img.height) continue;
        const Segment& g = img.segments[k];
        int e = g.start, dc = col[k], m = std::max(0, g.width - img.gap);
        if (e < 0) {
            dc -= e;
            m += e;
            e = 0;
        }
        m = std::min(m, img.width - e);
        if (m > 0) std::memcpy(out + size_t(ty) * outWidth + dc, row.data() + e, size_t(m) * 4);
    }
    return true;
}

}  // namespace cuelink
