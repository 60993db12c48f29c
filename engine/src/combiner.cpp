/*
 * The programme combiner: title slots, their loading and drawing.
 */
#include "combiner.h"
#include "engine.h"
#include "clock.h"
#include "surface_rows.h"
#include "title_over.h"
#include <mmsystem.h>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>
#include <dxtrans.h>
#include "wine/debug.h"

WINE_DEFAULT_DEBUG_CHANNEL(corvtitle);

/* Target locks on the frame-clock path wait at most one frame. */
static const DWORD TITLE_LOCK_MS = 33;
/* Outlines wider than this would cost (2w + 1)^2 text outputs per line. */
static const int TITLE_MAX_OUTLINE = 16;

/* ---- clip timer ---- */

static void CALLBACK clip_timer_proc(UINT id, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR)
{
    auto *t = reinterpret_cast<CMultimediaTimer2 *>(user);
    if (t && t->eventId.load() == id) t->nextFrame = 1;
}

CMultimediaTimer2::~CMultimediaTimer2() { Stop(); }

MMRESULT CMultimediaTimer2::Start()
{
    Stop();
    MMRESULT r = timeBeginPeriod(period);
    if (r != TIMERR_NOERROR) return r;
    periodBegun = 1;
    UINT id = timeSetEvent(period, period, clip_timer_proc, reinterpret_cast<DWORD_PTR>(this),
                           TIME_PERIODIC | TIME_CALLBACK_FUNCTION | TIME_KILL_SYNCHRONOUS);
    if (!id) {
        timeEndPeriod(period);
        periodBegun = 0;
        return TIMERR_NOCANDO;
    }
    eventId = id;
    return 0;
}

void CMultimediaTimer2::Stop()
{
    UINT id = eventId.exchange(0);
    if (id) timeKillEvent(id);
    if (periodBegun) {
        timeEndPeriod(period);
        periodBegun = 0;
    }
}

/* ---- initialisation ---- */

HRESULT CDXSurfCombiner::Init(int width, int height)
{
    WINE_TRACE("%p working size %d x %d\n", this, width, height);
    EngineSurfaceRelease(preview);
    preview = nullptr;
    w = width;
    h = height;
    IDXTransformFactory *tf = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_DXTransformFactory, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IDXTransformFactory, reinterpret_cast<void **>(&tf));
    if (FAILED(hr) || !tf) {
        /* The factory class is ours and may not be registered in this
         * process: make it directly. */
        IUnknown *unk = nullptr;
        hr = DXCreateTransformFactory(&unk);
        if (SUCCEEDED(hr)) {
            hr = unk->QueryInterface(IID_IDXTransformFactory, reinterpret_cast<void **>(&tf));
            unk->Release();
        }
    }
    if (FAILED(hr) || !tf) {
        EngineWarning("Failed to create DXTransform Factory instance!");
        return FAILED(hr) ? hr : E_FAIL;
    }
    IDXSurfaceFactory *sf = nullptr;
    hr = tf->QueryService(SID_SDXSurfaceFactory, IID_IDXSurfaceFactory, reinterpret_cast<void **>(&sf));
    tf->Release();
    if (FAILED(hr) || !sf) {
        EngineWarning("Failed to create DXSurface Factory instance!");
        return FAILED(hr) ? hr : E_FAIL;
    }
    hr = EngineCreateSurface(sf, width, height, 0x80000, &preview);
    sf->Release();
    if (FAILED(hr)) {
        preview = nullptr;
        EngineWarning("Failed to create Output DXSurface!");
        return hr;
    }
    g_transformer.drawTitles = &CDXSurfCombiner::DrawProgrammeHook;
    return S_OK;
}

void CDXSurfCombiner::Release()
{
    if (g_transformer.drawTitles == &CDXSurfCombiner::DrawProgrammeHook)
        g_transformer.drawTitles = nullptr;
    for (TitleSlot &s : slots) {
        EnterCriticalSection(&s.lock);
        Clear(s);
        LeaveCriticalSection(&s.lock);
    }
    EngineSurfaceRelease(preview);
    preview = nullptr;
}

/* At unload the frame clock may already be gone: leave its hook alone. */
CDXSurfCombiner::~CDXSurfCombiner()
{
    for (TitleSlot &s : slots) {
        EnterCriticalSection(&s.lock);
        Clear(s);
        LeaveCriticalSection(&s.lock);
    }
    EngineSurfaceRelease(preview);
    preview = nullptr;
}

void CDXSurfCombiner::DrawProgrammeHook(EngineSurface *output)
{
    g_combiner.DrawProgramme(output);
}

/* ---- loading ---- */

void CDXSurfCombiner::TitlePath(int slot, char *path, size_t size)
{
    char dir[MAX_PATH] = {};
    DWORD n = GetTempPathA(MAX_PATH, dir);
    if (n == 0 || n >= MAX_PATH) dir[0] = 0;
    const char *name = slot == COMBINER_PREVIEW ? "~lmPrevTemp.LME" : "~lmTemp.lme";
    size_t len = strlen(dir);
    snprintf(path, size, "%s%s%s", dir, (len && dir[len - 1] != '\\' && dir[len - 1] != '/') ? "\\" : "", name);
}

/* Called with the slot's lock held. */
void CDXSurfCombiner::Clear(TitleSlot &s)
{
    s.timer.Stop();
    s.timer.nextFrame = 0;
    s.clip.reset();
    s.clipHeader = CgaFileHeader();
    s.clipLayer = -1;
    s.clipStill = s.clipShown = false;
    s.frameCounter = s.loopCounter = 0;
    s.title = TitleData();
    s.counters.clear();
    s.spans.clear();
    s.text.clear();
}

static void title_box(const char *text, const char *caption, UINT icon)
{
    MessageBoxA(GetFocus(), text, caption, MB_OK | icon);
}

static bool read_whole_file(HANDLE f, std::vector<uint8_t> *bytes)
{
    LARGE_INTEGER size;
    if (!GetFileSizeEx(f, &size) || size.QuadPart < 0 || size.QuadPart > 0x7fffffffLL) return false;
    bytes->resize((size_t)size.QuadPart);
    DWORD got = 0;
    return size.QuadPart == 0 ||
           (ReadFile(f, bytes->data(), (DWORD)size.QuadPart, &got, nullptr) && got == (DWORD)size.QuadPart);
}

int CDXSurfCombiner::LoadTitle(int slot)
{
    if (slot != COMBINER_PREVIEW) slot = COMBINER_PROGRAMME;
    TitleSlot &s = slots[slot];
    char path[MAX_PATH + 32];
    TitlePath(slot, path, sizeof(path));
    WINE_TRACE("slot %d from %s\n", slot, path);
    lastSlot = slot;
    /* The slot keeps drawing its old title while the new one is read; a
     * failure empties it. */
    auto empty = [&]() {
        EnterCriticalSection(&s.lock);
        Clear(s);
        LeaveCriticalSection(&s.lock);
    };

    HANDLE f = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
        WINE_WARN("cannot open %s\n", path);
        empty();
        title_box("Failed to read a LMExported Image", "err", MB_ICONINFORMATION);
        return 0;
    }
    std::vector<uint8_t> bytes;
    bool read = read_whole_file(f, &bytes);
    CloseHandle(f);

    TitleData title;
    TitleParseResult r = read ? ParseTitleExport(bytes.data(), bytes.size(), &title) : TITLE_SHORT;
    if (r != TITLE_OK) {
        WINE_WARN("%s refused (%d)\n", path, r);
        empty();
        title_box(slot == COMBINER_PREVIEW ? "Failed to read a Exported Image" : "Failed to read a LMExported Image",
                  "err", 0);
        return -1;
    }

    /* The clip: the last clip layer's file is the slot's clip. */
    std::unique_ptr<CgaReader> clip;
    CgaFileHeader clipHeader = {};
    std::vector<uint32_t> frame;
    int clipLayer = -1;
    bool still = false;
    std::vector<std::string> failed;
    for (size_t i = 0; i < title.layers.size(); i++) {
        const TitleLayer &l = title.layers[i];
        if (l.rec.type != TITLE_LAYER_CLIP) continue;
        clip.reset();
        clipLayer = -1;
        std::unique_ptr<CgaReader> c(new CgaReader);
        if (!c->Open(l.string.c_str())) {
            failed.push_back(l.string);
            continue;
        }
        clipHeader = c->Header();
        clipLayer = (int)i;
        still = clipHeader.animated == 0;
        frame.assign(CGA_FRAME_PIXELS, 0);
        if (still) {
            /* A still clip is expanded once, here, and its file closed. */
            if (c->ReadFrame(frame.data()))
                TitlePremultiply(reinterpret_cast<uint8_t *>(frame.data()), frame.size());
            else
                clipLayer = -1;
        } else {
            clip = std::move(c);
        }
    }

    std::vector<BlockSpans> spans(title.layers.size());
    for (size_t i = 0; i < title.layers.size(); i++) {
        const TitleLayer &l = title.layers[i];
        if (!l.hasPixels || (l.rec.type != TITLE_LAYER_IMAGE && l.rec.type != TITLE_LAYER_TEXT)) continue;
        const int lw = l.rec.width, lh = l.rec.height;
        if (lw <= 0 || lh <= 0) continue;
        const uint32_t *px = reinterpret_cast<const uint32_t *>(title.data.data() + l.pixelOffset);
        BlockSpans &b = spans[i];
        b.first.assign((size_t)lh, 0);
        b.end.assign((size_t)lh, 0);
        for (int row = 0; row < lh; row++) {
            const uint32_t *p = px + (size_t)row * lw;
            int f = 0, e = lw;
            while (f < lw && !p[f]) f++;
            while (e > f && !p[e - 1]) e--;
            b.first[(size_t)row] = f;
            b.end[(size_t)row] = e;
        }
    }

    std::vector<TextCoverage> text(title.layers.size());
    for (size_t i = 0; i < title.layers.size(); i++)
        if (title.layers[i].rec.type == TITLE_LAYER_TEXT && !title.layers[i].string.empty())
            LearnText(title.layers[i], w, h, &text[i]);

    EnterCriticalSection(&s.lock);
    Clear(s);
    s.title = std::move(title);
    s.counters.assign(s.title.layers.size(), 0);
    s.spans = std::move(spans);
    s.text = std::move(text);
    s.clipLayer = clipLayer;
    s.clipHeader = clipHeader;
    s.clipStill = still && clipLayer >= 0;
    s.clipShown = s.clipStill;
    s.clip = std::move(clip);
    s.frame = std::move(frame);
    s.frameCounter = s.loopCounter = 0;
    s.timer.nextFrame = 0;
    if (s.clip && s.timer.Start()) WINE_WARN("no clip timer for slot %d\n", slot);
    WINE_TRACE("slot %d: %u layers, %u data bytes, clip layer %d (%s)\n", slot, (unsigned)s.title.layers.size(),
               (unsigned)s.title.data.size(), s.clipLayer, s.clipStill ? "still" : s.clip ? "animated" : "none");
    LeaveCriticalSection(&s.lock);

    for (const std::string &p : failed) {
        char text[ENGINE_TEXT];
        snprintf(text, sizeof(text), "Failed to load CGA File \n %s", p.c_str());
        title_box(text, "CGA Error", 0);
    }
    return 0;
}

/* ---- drawing ---- */

void TitleLayerPosition(const TitleLayerRecord &r, int32_t *counter, int *x, int *y)
{
    if (!r.motion) {
        *x = r.fromX;
        *y = r.fromY;
        return;
    }
    const double steps = (double)r.duration * 30.0;
    int32_t s = *counter;
    /* A duration that is not a positive number ends the motion at once. */
    if (s < 0 || !(steps > 0.0) || !std::isfinite(steps) || s >= steps) {
        *counter = -1;
        *x = r.toX;
        *y = r.toY;
        return;
    }
    *x = (int)((double)s * ((double)r.toX - r.fromX) / steps + r.fromX);
    *y = (int)((double)s * ((double)r.toY - r.fromY) / steps + r.fromY);
    *counter = s + 1;
}

/* A rectangle clipped to the target; empty when nothing overlaps. */
struct ClipRect {
    int x0, y0, x1, y1;
    bool Empty() const { return x0 >= x1 || y0 >= y1; }
};

static ClipRect clip_rect(int64_t x, int64_t y, int64_t w, int64_t h, int tw, int th)
{
    int64_t x0 = x < 0 ? 0 : x, y0 = y < 0 ? 0 : y;
    int64_t x1 = x + w > tw ? tw : x + w, y1 = y + h > th ? th : y + h;
    if (x0 >= x1 || y0 >= y1) return {0, 0, 0, 0};
    return {(int)x0, (int)y0, (int)x1, (int)y1};
}

static DWORD *row_at(const EngineRows &rows, int y, int x)
{
    return reinterpret_cast<DWORD *>(rows.first + rows.pitch * y) + x;
}

/* Blend a bottom-up block of lw x lh premultiplied pixels with its top-left
 * corner at (x, y); with opaque, the touched pixels get alpha 255.  With
 * spans, only the part of each row between its first and last non-zero pixel
 * is blended: the rest is wholly transparent (left alone, or made opaque). */
static HRESULT blend_block(EngineSurface *target, int tw, int th, const uint8_t *px, int lw, int lh,
                           int64_t x, int64_t y, bool opaque, const BlockSpans *spans)
{
    ClipRect c = clip_rect(x, y, lw, lh, tw, th);
    if (c.Empty()) return S_OK;
    EngineRows rows;
    HRESULT hr = EngineLockRows(target, TITLE_LOCK_MS, TRUE, &rows);
    if (FAILED(hr)) return hr;
    c = clip_rect(x, y, lw, lh, rows.width < tw ? rows.width : tw, rows.height < th ? rows.height : th);
    if (spans && (spans->first.size() != (size_t)lh || spans->end.size() != (size_t)lh)) spans = nullptr;
    const int n = c.x1 - c.x0;
    const int bx0 = (int)(c.x0 - x), bx1 = (int)(c.x1 - x);   /* block columns drawn */
    for (int ty = c.y0; ty < c.y1; ty++) {
        const int64_t srcRow = lh - 1 - (ty - y);
        const uint32_t *src = reinterpret_cast<const uint32_t *>(px) + srcRow * lw + bx0;
        uint32_t *dst = reinterpret_cast<uint32_t *>(row_at(rows, ty, c.x0));
        if (!spans) {
            TitleOverRow(dst, src, (size_t)n, opaque);
            continue;
        }
        const int f = std::max(spans->first[(size_t)srcRow], bx0), e = std::min(spans->end[(size_t)srcRow], bx1);
        if (f >= e) {
            if (opaque) TitleOpaqueRow(dst, (size_t)n);
            continue;
        }
        if (opaque) TitleOpaqueRow(dst, (size_t)(f - bx0));
        TitleOverRow(dst + (f - bx0), src + (f - bx0), (size_t)(e - f), opaque);
        if (opaque) TitleOpaqueRow(dst + (e - bx0), (size_t)(bx1 - e));
    }
    EngineUnlockRows(&rows);
    return hr;
}

static HRESULT fill_box(EngineSurface *target, int tw, int th, const TextLayerHeader &t, const ClipRect &c)
{
    int opacity = t.boxOpacity < 0 ? 0 : t.boxOpacity > 100 ? 100 : t.boxOpacity;
    const uint32_t a = (uint32_t)opacity * 255 / 100;
    const uint32_t col = (uint32_t)t.boxColour;
    const DWORD sample = (a << 24) | (TitleScale255(col & 0xFF, a) << 16) |
                         (TitleScale255((col >> 8) & 0xFF, a) << 8) | TitleScale255((col >> 16) & 0xFF, a);
    EngineRows rows;
    HRESULT hr = EngineLockRows(target, TITLE_LOCK_MS, TRUE, &rows);
    if (FAILED(hr)) return hr;
    ClipRect r = clip_rect(c.x0, c.y0, c.x1 - c.x0, c.y1 - c.y0, rows.width < tw ? rows.width : tw,
                           rows.height < th ? rows.height : th);
    const DXPMSAMPLE v(sample);
    for (int y = r.y0; y < r.y1; y++) {
        DWORD *dst = row_at(rows, y, r.x0);
        DXConstOverArray(reinterpret_cast<DXPMSAMPLE *>(dst), v, r.x1 - r.x0);
        for (int i = 0; i < r.x1 - r.x0; i++) dst[i] |= 0xFF000000u;
    }
    EngineUnlockRows(&rows);
    return hr;
}

HRESULT CDXSurfCombiner::DrawTitles(int slot, EngineSurface *target)
{
    if (!target) return E_POINTER;
    if (slot != COMBINER_PREVIEW) slot = COMBINER_PROGRAMME;
    TitleSlot &s = slots[slot];
    HRESULT hr = S_OK;
    EnterCriticalSection(&s.lock);
    for (size_t i = 0; i < s.title.layers.size() && SUCCEEDED(hr); i++) hr = DrawLayer(s, i, target);
    LeaveCriticalSection(&s.lock);
    return hr;
}

static HRESULT draw_coverage(EngineSurface *target, const TextCoverage &c, int x, int y);

HRESULT CDXSurfCombiner::DrawLayer(TitleSlot &s, size_t index, EngineSurface *target)
{
    const TitleLayer &l = s.title.layers[index];
    const TitleLayerRecord &r = l.rec;
    int x, y;
    TitleLayerPosition(r, &s.counters[index], &x, &y);
    const uint8_t *pixels = l.hasPixels ? s.title.data.data() + l.pixelOffset : nullptr;
    const BlockSpans *spans = index < s.spans.size() ? &s.spans[index] : nullptr;

    switch (r.type) {
    case TITLE_LAYER_IMAGE:
        return pixels ? blend_block(target, w, h, pixels, r.width, r.height, x, y, false, spans) : S_OK;
    case TITLE_LAYER_TEXT: {
        HRESULT hr = S_OK;
        const TextLayerHeader &t = l.text;
        ClipRect c = clip_rect(x, y, r.width, r.height, w, h);
        if (t.boxFlag && t.boxOpacity != 0 && !c.Empty()) {
            hr = fill_box(target, w, h, t, c);
            if (FAILED(hr)) return hr;
        }
        if (pixels) {
            hr = blend_block(target, w, h, pixels, r.width, r.height, (int64_t)x + t.shadowDepthX,
                             (int64_t)y + t.shadowDepthY, true, spans);
            if (FAILED(hr)) return hr;
        }
        if (l.string.empty()) return hr;
        /* Learnt text whose region starts inside the frame is replayed
         * (glyphs GDI places at negative coordinates come out otherwise). */
        if (index < s.text.size()) {
            const TextCoverage &c = s.text[index];
            if (c.exact && c.forW == w && c.forH == h && (int64_t)x - c.left >= 0 && (int64_t)y - c.top >= 0)
                return draw_coverage(target, c, x, y);
        }
        return DrawText(l, x, y, target);
    }
    case TITLE_LAYER_CLIP:
        return (int)index == s.clipLayer ? DrawClip(s, target) : S_OK;
    default:
        return S_OK;
    }
}

/* ---- text ---- */

static COLORREF colour(int32_t c) { return (COLORREF)c & 0xFFFFFF; }

namespace {
/* Layout coordinates are worked out in 64 bits (a record's position, size
 * and depths may be anything) and handed to GDI within this range, far
 * outside any frame. */
const int64_t TEXT_COORD_LIMIT = 1 << 24;
int coord(int64_t v) { return (int)(v < -TEXT_COORD_LIMIT ? -TEXT_COORD_LIMIT : v > TEXT_COORD_LIMIT ? TEXT_COORD_LIMIT : v); }

struct TextPass {
    HDC dc;
    UINT align;
    bool vertical;
    int64_t x, y, w, h;
    TEXTMETRICA tm;
    int spacing;

    /* The top (horizontal) or right edge (vertical) of line i. */
    int64_t LineStart(size_t i) const
    {
        double step = (double)(tm.tmHeight + tm.tmExternalLeading) * spacing * 0.01;
        double at = (double)i * step;
        at = at < -(double)TEXT_COORD_LIMIT ? -(double)TEXT_COORD_LIMIT : at > (double)TEXT_COORD_LIMIT ? (double)TEXT_COORD_LIMIT : at;
        return tm.tmExternalLeading + (int64_t)at;
    }

    void Line(const std::string &line, size_t i, int64_t ox, int64_t oy, COLORREF c) const
    {
        SetTextColor(dc, c);
        if (!vertical) {
            RECT rc = {coord(x + ox), coord(y + LineStart(i) + oy), coord(x + w + ox), coord(y + h + oy)};
            DrawTextA(dc, line.data(), (int)line.size(), &rc, DT_SINGLELINE | DT_NOPREFIX | align);
            return;
        }
        /* Text turned a quarter clockwise: lines are columns from the right,
         * the glyphs' tops facing right; alignment runs down the column. */
        SIZE ext = {};
        GetTextExtentPoint32A(dc, line.data(), (int)line.size(), &ext);
        int64_t top = y;
        if (align == DT_CENTER) top = y + (h - ext.cx) / 2;
        else if (align == DT_RIGHT) top = y + h - ext.cx;
        const int64_t right = x + w - LineStart(i);
        RECT clipRc = {coord(x + ox), coord(y + oy), coord(x + w + ox), coord(y + h + oy)};
        ExtTextOutA(dc, coord(right + ox), coord(top + oy), ETO_CLIPPED, &clipRc, line.data(), (UINT)line.size(),
                    nullptr);
    }
};
}  // namespace

static std::vector<std::string> split_lines(const std::string &s)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        size_t nl = s.find('\n', start);
        std::string line = s.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
        /* Lines are stored with CR LF; the CR is not drawn. */
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        if (nl == std::string::npos) break;
        start = nl + 1;
    }
    return lines;
}

/* The layer's passes at (x, y) through dc, with the font for working size
 * w x h. */
static void text_passes(HDC dc, const TitleLayer &l, int64_t x, int64_t y, int w, int h)
{
    const TextLayerHeader &t = l.text;
    LOGFONTA lf = {};
    TitleFontBounds(t.font.height, t.font.width, w, h, &lf.lfHeight, &lf.lfWidth);
    lf.lfEscapement = t.font.escapement;
    lf.lfOrientation = t.font.orientation;
    lf.lfWeight = t.font.weight;
    lf.lfItalic = t.font.italic;
    lf.lfUnderline = t.font.underline;
    lf.lfStrikeOut = t.font.strikeOut;
    lf.lfCharSet = t.font.charSet;
    lf.lfOutPrecision = t.font.outPrecision;
    lf.lfClipPrecision = t.font.clipPrecision;
    lf.lfQuality = t.font.quality;
    lf.lfPitchAndFamily = t.font.pitchAndFamily;
    memcpy(lf.lfFaceName, t.font.faceName, sizeof(lf.lfFaceName));
    lf.lfFaceName[sizeof(lf.lfFaceName) - 1] = 0;
    HFONT font = CreateFontIndirectA(&lf);
    HGDIOBJ old = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);

    TextPass p;
    p.dc = dc;
    p.align = t.alignment == 1 ? DT_CENTER : t.alignment == 2 ? DT_RIGHT : DT_LEFT;
    p.vertical = t.font.escapement == -900;
    p.x = x; p.y = y; p.w = l.rec.width; p.h = l.rec.height;
    p.spacing = t.lineSpacing;
    GetTextMetricsA(dc, &p.tm);
    if (p.vertical) SetTextAlign(dc, TA_TOP | TA_LEFT | TA_NOUPDATECP);

    const int outline = t.outlineWidth < 0 ? 0 : t.outlineWidth > TITLE_MAX_OUTLINE ? TITLE_MAX_OUTLINE : t.outlineWidth;
    const int64_t dx = t.shadowDepthX, dy = t.shadowDepthY;
    const std::vector<std::string> lines = split_lines(l.string);
    for (size_t i = 0; i < lines.size(); i++) {
        const std::string &line = lines[i];
        if (t.shadowType == TITLE_SHADOW_SINGLE) {
            p.Line(line, i, dx, dy, colour(t.shadowColour));
        } else if (t.shadowType == TITLE_SHADOW_SOLID) {
            const int64_t len = std::max(dx < 0 ? -dx : dx, dy < 0 ? -dy : dy);
            const int64_t steps = len > 256 ? 256 : len;   /* bounded work per line */
            for (int64_t k = 1; k <= steps; k++)
                p.Line(line, i, dx * k / steps, dy * k / steps, colour(t.shadowColour));
        }
        for (int oi = -outline; oi <= outline; oi++)
            for (int oj = -outline; oj <= outline; oj++)
                if (oi || oj) p.Line(line, i, oi, oj, colour(t.outlineColour));
        p.Line(line, i, 0, 0, colour(t.textColour));
    }
    GdiFlush();
    SelectObject(dc, old);
    DeleteObject(font);
}

HRESULT CDXSurfCombiner::DrawText(const TitleLayer &l, int x, int y, EngineSurface *target)
{
    HDC dc;
    void *token;
    HRESULT hr = EngineSurfaceLockDC(target, TITLE_LOCK_MS, TRUE, &dc, &token);
    if (FAILED(hr)) return hr;
    text_passes(dc, l, x, y, w, h);
    EngineSurfaceUnlockDC(token);
    return hr;
}

/* Regions larger than this are drawn with GDI every time. */
static const int64_t TEXT_COVERAGE_PIXELS = 1 << 22;

void CDXSurfCombiner::LearnText(const TitleLayer &l, int w, int h, TextCoverage *cov)
{
    *cov = TextCoverage();
    const TextLayerHeader &t = l.text;
    /* Every pass is clipped to the layer's rectangle moved by its offset:
     * the region is the rectangle grown by the outline and the shadow's
     * depth on each side, and a little more. */
    const int64_t outline = t.outlineWidth < 0 ? 0 : t.outlineWidth > TITLE_MAX_OUTLINE ? TITLE_MAX_OUTLINE : t.outlineWidth;
    const bool shadow = t.shadowType == TITLE_SHADOW_SINGLE || t.shadowType == TITLE_SHADOW_SOLID;
    const int64_t dx = shadow ? t.shadowDepthX : 0, dy = shadow ? t.shadowDepthY : 0;
    const int64_t spare = 4;
    const int64_t left = std::max(outline, -dx) + spare, right = std::max(outline, dx) + spare;
    const int64_t top = std::max(outline, -dy) + spare, bottom = std::max(outline, dy) + spare;
    const int64_t rw = (int64_t)l.rec.width + left + right, rh = (int64_t)l.rec.height + top + bottom;
    if (l.rec.width <= 0 || l.rec.height <= 0 || rw > 8192 || rh > 8192 || rw * rh > TEXT_COVERAGE_PIXELS) return;
    /* Lines above the rectangle (negative spacing) and the strokes of
     * underlined and struck-out fonts are not held to it, and turned glyphs
     * do not come out the same at every position: drawn each time. */
    if (t.lineSpacing < 0 || t.font.underline || t.font.strikeOut || t.font.escapement || t.font.orientation) return;

    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof(bmi.bmiHeader);
    bmi.bmiHeader.biWidth = (LONG)rw;
    bmi.bmiHeader.biHeight = -(LONG)rh;   /* top-down, as the surfaces */
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    void *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC dc = CreateCompatibleDC(nullptr);
    if (!bitmap || !bits || !dc) {
        if (bitmap) DeleteObject(bitmap);
        if (dc) DeleteDC(dc);
        return;
    }
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    uint32_t *px = static_cast<uint32_t *>(bits);
    const size_t n = (size_t)(rw * rh);

    /* Backgrounds with every byte 00, every byte FF, every byte 5A and one
     * with a different value in each byte: a byte the passes leave alone
     * comes back as it went in, a byte they set comes back with one value
     * over all four. */
    static const uint32_t grounds[4] = {0x00000000u, 0xFFFFFFFFu, 0x5A5A5A5Au, 0x96C33CA5u};
    std::vector<uint32_t> out[4];
    for (int g = 0; g < 4; g++) {
        std::fill(px, px + n, grounds[g]);
        text_passes(dc, l, left, top, w, h);
        out[g].assign(px, px + n);
    }
    SelectObject(dc, oldBitmap);
    DeleteDC(dc);
    DeleteObject(bitmap);

    cov->keep.assign(n, 0xFFFFFFFFu);
    cov->value.assign(n, 0);
    cov->first.assign((size_t)rh, 0);
    cov->end.assign((size_t)rh, 0);
    for (int64_t ry = 0; ry < rh; ry++) {
        int64_t f = rw, e = 0;
        for (int64_t rx = 0; rx < rw; rx++) {
            const size_t i = (size_t)(ry * rw + rx);
            uint32_t keep = 0, value = 0;
            for (int sh = 0; sh < 32; sh += 8) {
                const uint32_t b0 = (out[0][i] >> sh) & 0xFF, b1 = (out[1][i] >> sh) & 0xFF;
                const uint32_t b2 = (out[2][i] >> sh) & 0xFF, b3 = (out[3][i] >> sh) & 0xFF;
                if (b0 == 0x00 && b1 == 0xFF && b2 == 0x5A && b3 == ((grounds[3] >> sh) & 0xFF)) {
                    keep |= 0xFFu << sh;
                } else if (b0 == b1 && b1 == b2 && b2 == b3) {
                    value |= b0 << sh;
                } else {
                    /* The passes blend with what is under them. */
                    *cov = TextCoverage();
                    return;
                }
            }
            cov->keep[i] = keep;
            cov->value[i] = value;
            if (keep != 0xFFFFFFFFu) {
                if (rx < f) f = rx;
                e = rx + 1;
            }
        }
        /* Nothing may reach the region's outer ring: the passes drew
         * somewhere the region does not hold. */
        if (f < e && (ry == 0 || ry == rh - 1 || f == 0 || e == rw)) {
            *cov = TextCoverage();
            return;
        }
        cov->first[(size_t)ry] = (int32_t)(f < e ? f : 0);
        cov->end[(size_t)ry] = (int32_t)(f < e ? e : 0);
    }
    cov->left = (int)left;
    cov->top = (int)top;
    cov->width = (int)rw;
    cov->height = (int)rh;
    cov->forW = w;
    cov->forH = h;
    cov->exact = true;
}

/* A learnt text layer at (x, y): its coverage over the target's pixels,
 * clipped to the target as GDI clips to the surface's bitmap. */
static HRESULT draw_coverage(EngineSurface *target, const TextCoverage &c, int x, int y)
{
    EngineRows rows;
    HRESULT hr = EngineLockRows(target, TITLE_LOCK_MS, TRUE, &rows);
    if (FAILED(hr)) return hr;
    const int64_t ox = (int64_t)x - c.left, oy = (int64_t)y - c.top;
    for (int ry = 0; ry < c.height; ry++) {
        const int64_t ty = oy + ry;
        if (ty < 0 || ty >= rows.height) continue;
        const int64_t f = std::max<int64_t>(c.first[(size_t)ry], -ox);
        const int64_t e = std::min<int64_t>(c.end[(size_t)ry], (int64_t)rows.width - ox);
        if (f >= e) continue;
        uint32_t *dst = reinterpret_cast<uint32_t *>(rows.first + rows.pitch * ty) + (ox + f);
        const size_t at = (size_t)ry * c.width + (size_t)f;
        TitleCoverRow(dst, c.keep.data() + at, c.value.data() + at, (size_t)(e - f));
    }
    EngineUnlockRows(&rows);
    return hr;
}

/* ---- clips ---- */

static HRESULT blend_frame(EngineSurface *target, int tw, int th, const std::vector<uint32_t> &frame)
{
    EngineRows rows;
    HRESULT hr = EngineLockRows(target, INFINITE, TRUE, &rows);
    if (FAILED(hr)) return hr;
    /* The clip frame is 320 x 240 at the top-left corner; other working
     * sizes show the part that overlaps. */
    int cw = std::min(std::min(tw, rows.width), (int)CGA_FRAME_WIDTH);
    int ch = std::min(std::min(th, rows.height), (int)CGA_FRAME_HEIGHT);
    for (int y = 0; y < ch; y++)
        TitleOverRow(reinterpret_cast<uint32_t *>(row_at(rows, y, 0)), frame.data() + (size_t)y * CGA_FRAME_WIDTH,
                     (size_t)cw, false);
    EngineUnlockRows(&rows);
    return hr;
}

HRESULT CDXSurfCombiner::DrawClip(TitleSlot &s, EngineSurface *target)
{
    if (s.clipStill) return blend_frame(target, w, h, s.frame);
    if (!s.clip) return S_OK;   /* played out */
    if (s.frameCounter < s.clipHeader.frameCount) {
        if (s.timer.nextFrame.exchange(0)) {
            s.frameCounter++;
            if (s.clip->ReadFrame(s.frame.data())) {
                TitlePremultiply(reinterpret_cast<uint8_t *>(s.frame.data()), s.frame.size());
                s.clipShown = true;
            } else {
                /* The file holds fewer frames than its header counts. */
                s.frameCounter = s.clipHeader.frameCount;
            }
        }
        return s.clipShown ? blend_frame(target, w, h, s.frame) : S_OK;
    }
    /* Every frame shown: loop for ever, or as many times in all as the
     * loop count says, then the clip is gone. */
    if (s.clipHeader.loopCount == 0 || ++s.loopCounter < s.clipHeader.loopCount) {
        s.frameCounter = 0;
        s.clip->Rewind();
        return s.clipShown ? blend_frame(target, w, h, s.frame) : S_OK;
    }
    s.timer.Stop();
    s.clip.reset();
    s.clipShown = false;
    return S_OK;
}
