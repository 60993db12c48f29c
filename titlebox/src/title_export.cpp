#include "title_export.h"

#include <cstring>

#include "title_render.h"

namespace titlebox {

int32_t ExportStringLength(size_t n)
{
    return int32_t((n + 3) / 4 * 4 + 4);
}

namespace {

struct Prepared {
    TitleLayerRecord rec;
    bool stretched = false;
};

TitleLayerRecord Record(const TitleObject& o)
{
    const ScaledRect s = ScaleRect(o);
    const RECT r = o.tracker ? o.tracker->rect : RECT{0, 0, 0, 0};
    const double fh = o.tracker ? o.tracker->hFactor : o.hFactor, fv = o.tracker ? o.tracker->vFactor : o.vFactor;
    TitleLayerRecord rec = {};
    rec.type = o.type;
    rec.width = s.W;
    rec.height = s.H;
    rec.motion = o.motion;
    if (o.motion) {
        rec.fromX = Scaled(o.beginX, o.hFactor);
        rec.fromY = Scaled(o.beginY, o.vFactor);
        rec.toX = Scaled(o.endX, o.hFactor);
        rec.toY = Scaled(o.endY, o.vFactor);
    } else {
        rec.fromX = rec.toX = Scaled(r.left, fh);
        rec.fromY = rec.toY = Scaled(r.top, fv);
    }
    rec.duration = o.duration;
    rec.border = o.border;
    rec.borderWidth = o.borderWidth;
    rec.borderColour = int32_t(o.borderColour);
    return rec;
}

TextLayerHeader TextHeader(const TitleObject& o, size_t stringLength)
{
    TextLayerHeader h = {};
    h.font = o.font;
    h.font.lfHeight = FontHeight(o.fontSize, o.hFactor);
    h.alignment = o.alignment;
    h.textColour = int32_t(o.textColour);
    h.outlineColour = int32_t(o.outlineColour);
    h.outlineWidth = o.outline ? o.outlineWidth : 0;
    h.shadowType = o.shadowType;
    h.lineSpacing = o.lineSpacing;
    h.shadowDepthX = o.shadowDepthX;
    h.shadowDepthY = o.shadowDepthY;
    h.shadowColour = int32_t(o.shadowColour);
    h.boxFlag = o.textBack;
    h.boxOpacity = o.textBackOpacity;
    h.boxColour = int32_t(o.textBackColour);
    h.stringLength = ExportStringLength(stringLength);
    return h;
}

}  // namespace

std::vector<uint8_t> BuildTitleExport(TitleObjectList& page)
{
    TitleExportHeader head = {kTitleExportMagic, int32_t(page.size()), 0, 0};
    std::vector<Prepared> prep(page.size());
    int64_t total = 0;
    for (size_t i = 0; i < page.size(); ++i) {
        TitleObject& o = *page[i];
        if (!o.tracker) o.tracker.reset(new RectTracker);
        RECT& r = o.tracker->rect;
        o.keptRight = r.right;
        o.keptBottom = r.bottom;
        if (o.type == TITLE_TEXT && o.scroll) {
            // A scrolling text goes out with its full extent along its motion.
            const SIZE m = MeasureTitleText(o);
            if (o.font.lfEscapement == 0) {
                if (o.beginY == o.endY) r.right = r.left + m.cx;
                if (o.beginX == o.endX) r.bottom = r.top + m.cy;
            } else {
                if (o.beginX == o.endX) r.right = r.left + m.cy;
                if (o.beginY == o.endY) r.bottom = r.top + m.cx;
            }
            prep[i].stretched = true;
        }
        TitleLayerRecord rec = Record(o);
        if (rec.width < 0) rec.width = 0;
        if (rec.height < 0) rec.height = 0;
        const int64_t pixels = int64_t(rec.width) * rec.height * 4;
        int64_t len;
        if (o.type == TITLE_IMAGE)
            len = pixels;
        else if (o.type == TITLE_TEXT)
            len = 112 + int64_t(ExportStringLength(o.text.size())) + (o.shadowType == SHADOW_SOFT ? pixels : 0);
        else
            len = 112 + int64_t(ExportStringLength(o.text.size()));
        total += len;
        if (total > kMaxTitleExportData) {
            // Too big to write: the scrolling texts get their rectangles back.
            for (size_t j = 0; j <= i; ++j)
                if (prep[j].stretched) {
                    page[j]->tracker->rect.right = page[j]->keptRight;
                    page[j]->tracker->rect.bottom = page[j]->keptBottom;
                }
            return {};
        }
        rec.dataLength = int32_t(len);
        prep[i].rec = rec;
    }
    head.total = int32_t(total);
    std::vector<uint8_t> out(16 + 52 * page.size() + size_t(head.total), 0);
    std::memcpy(out.data(), &head, 16);
    size_t at = 16 + 52 * page.size();
    for (size_t i = 0; i < page.size(); ++i) {
        TitleObject& o = *page[i];
        const TitleLayerRecord& rec = prep[i].rec;
        std::memcpy(out.data() + 16 + 52 * i, &rec, 52);
        uint8_t* block = out.data() + at;
        if (o.type == TITLE_IMAGE) {
            ImageExportPixels(o, rec.width, rec.height, reinterpret_cast<uint32_t*>(block));
        } else {
            const TextLayerHeader h = TextHeader(o, o.text.size());
            std::memcpy(block, &h, sizeof h);
            std::memcpy(block + 112, o.text.data(), o.text.size());
            if (o.type == TITLE_TEXT && o.shadowType == SHADOW_SOFT && rec.width > 0 && rec.height > 0)
                SoftShadowMask(o, rec.width, rec.height, reinterpret_cast<uint32_t*>(block + 112 + h.stringLength));
        }
        if (prep[i].stretched) {
            o.tracker->rect.right = o.keptRight;
            o.tracker->rect.bottom = o.keptBottom;
        }
        at += size_t(rec.dataLength);
    }
    return out;
}

std::string TitleExportPath(TitleExportKind kind)
{
    char dir[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, dir);
    std::string path(dir);
    if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
    return path + (kind == EXPORT_PREVIEW ? "~lmPrevTemp.LME" : "~lmTemp.LME");
}

BOOL ExportTitle(TitleObjectList& page, TitleExportKind kind)
{
    const std::vector<uint8_t> bytes = BuildTitleExport(page);
    const std::string path = TitleExportPath(kind);
    if (bytes.empty()) {
        MessageBoxA(nullptr, "Couldn't be exported !", nullptr, MB_OK);
        return FALSE;
    }
    // Written beside the old file and moved over it, so a failed export
    // leaves the engine's copy whole.
    const std::string temp = path + ".new";
    if (!WriteWholeFile(temp.c_str(), bytes.data(), bytes.size()) ||
        !MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileA(temp.c_str());
        MessageBoxA(nullptr, "Couldn't be exported !", nullptr, MB_OK);
        return FALSE;
    }
    return TRUE;
}

}  // namespace titlebox
