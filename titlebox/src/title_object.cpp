#include "title_object.h"

#include <cmath>

#include "../../engine/src/title_font_bounds.h"
#include "cga_clip.h"

namespace titlebox {

int32_t FontHeight(int32_t points, float factor)
{
    return int32_t(double(points) * double(factor) * -1.3333334f);
}

int32_t Scaled(double value, double factor)
{
    return int32_t(value * factor + 0.5);
}

int32_t Opacity255(int32_t percent)
{
    return int32_t(int64_t(percent) * 255 / 100);
}

void BoundTitleFont(TitleObject& o, const PageScale& s)
{
    LONG height = 0, width = 0, size = 0, unused = 0;
    TitleFontBounds(o.font.lfHeight, o.font.lfWidth, s.outW, s.outH, &height, &width);
    TitleFontBounds(o.fontSize, 0, s.outW, s.outH, &size, &unused);
    o.font.lfHeight = height;
    o.font.lfWidth = width;
    o.fontSize = size;
}

TitleObject::TitleObject(const TitleDefaults& d, const PageScale& scale)
{
    hFactor = scale.h;
    vFactor = scale.v;
    pageW = scale.outW;
    pageH = scale.outH;
    font.lfHeight = FontHeight(d.fontSize);
    font.lfEscapement = d.vertical ? -900 : 0;
    font.lfWeight = d.bold ? 700 : 400;
    font.lfItalic = BYTE(d.italic);
    font.lfUnderline = BYTE(d.underline);
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfOutPrecision = 5;
    font.lfQuality = ANTIALIASED_QUALITY;
    font.lfPitchAndFamily = 0x22;
    lstrcpynA(font.lfFaceName, d.faceName.c_str(), LF_FACESIZE);
    fontSize = d.fontSize;
    if (d.alignment >= 0 && d.alignment <= 2) alignment = d.alignment;
    imageOpacity = d.opacity;
    shadowColour = d.shadowColour;
    textColour = d.textColour;
    shadowDepthX = d.depthX;
    shadowDepthY = d.depthY;
    shadowType = d.shadowType;
    lineSpacing = d.lineSpacing;
    outlineColour = d.outlineColour;
    outlineWidth = d.outlineWidth;
    outline = d.outline;
    border = d.border;
    borderWidth = d.borderWidth;
    borderColour = d.borderColour;
    textBack = d.textBack;
    textBackColour = d.textBackColour;
    textBackOpacity = d.textBackOpacity;
    motion = d.motion;
    scroll = d.scroll;
    beginX = d.beginX;
    beginY = d.beginY;
    endX = d.endX;
    endY = d.endY;
    duration = d.duration;
}

TitleObject::~TitleObject() = default;

void TitleObject::SetPicture(int width, int height, const uint32_t* bottomUpPixels)
{
    pixels.assign(bottomUpPixels, bottomUpPixels + size_t(width) * height);
    picture = BITMAP();
    picture.bmWidth = width;
    picture.bmHeight = height;
    picture.bmWidthBytes = width * 4;
    picture.bmPlanes = 1;
    picture.bmBitsPixel = 32;
    picture.bmBits = pixels.data();
}

namespace {

#pragma pack(push, 1)
struct DiskBitmap {
    int32_t type, width, height, widthBytes;
    int16_t planes, bitsPixel;
    uint32_t bits;  // meaningless on disk
};
#pragma pack(pop)
static_assert(sizeof(DiskBitmap) == 24, "BITMAP on disk is 24 bytes");
static_assert(sizeof(LOGFONTA) == 60, "ANSI LOGFONT is 60 bytes");

// Text and clip strings: length rounded down to 8, plus 8, zero padded.
void PutString(Archive& ar, const std::string& s)
{
    const int32_t n = int32_t(s.size() / 8 * 8 + 8);
    ar.PutI32(n);
    std::vector<char> field(size_t(n), 0);
    std::memcpy(field.data(), s.data(), s.size());
    ar.Write(field.data(), field.size());
}

std::string GetString(Archive& ar)
{
    const int32_t n = ar.GetI32();
    if (n < 0 || n > kMaxString || size_t(n) > ar.Left()) throw ArchiveEnd();
    std::vector<char> field(size_t(n) + 1, 0);
    ar.Read(field.data(), size_t(n));
    return std::string(field.data());
}

}  // namespace

void TitleObject::Serialize(Archive& ar, int version)
{
    if (version != 10) return;
    if (ar.IsStoring()) {
        ar.Write(&font, sizeof font);
        for (int32_t v : {alignment, imageOpacity, int32_t(textColour), int32_t(shadowColour), shadowDepthX,
                          shadowDepthY, border, borderWidth, int32_t(borderColour), textBack,
                          int32_t(textBackColour), textBackOpacity, beginX, beginY, endX, endY})
            ar.PutI32(v);
        ar.PutF32(duration);
        for (int32_t v : {motion, scroll, posOption, shadowType, lineSpacing}) ar.PutI32(v);
        const RECT r = tracker ? tracker->rect : RECT{0, 0, 0, 0};
        for (int32_t v : {int32_t(r.left), int32_t(r.top), int32_t(r.right), int32_t(r.bottom)}) ar.PutI32(v);
        ar.PutI32(0);  // selected: never stored
        ar.PutI32(type);
        ar.PutI32(alphaMode);
        for (int32_t v : {int32_t(outlineColour), outlineWidth, outline, fontSize}) ar.PutI32(v);
        if (type == TITLE_IMAGE) {
            ar.PutI32(hasTransparency);
            ar.PutI32(int32_t(transparentColour));
            DiskBitmap b = {picture.bmType, picture.bmWidth, picture.bmHeight, picture.bmWidthBytes,
                            int16_t(picture.bmPlanes), int16_t(picture.bmBitsPixel), 0};
            ar.Write(&b, sizeof b);
            ar.Write(pixels.data(), size_t(picture.bmWidth) * picture.bmHeight * 4);
        } else {
            PutString(ar, text);
        }
        return;
    }
    ar.Read(&font, sizeof font);
    font.lfFaceName[LF_FACESIZE - 1] = 0;
    alignment = ar.GetI32();
    imageOpacity = ar.GetI32();
    textColour = COLORREF(ar.GetI32());
    shadowColour = COLORREF(ar.GetI32());
    shadowDepthX = ar.GetI32();
    shadowDepthY = ar.GetI32();
    border = ar.GetI32();
    borderWidth = ar.GetI32();
    borderColour = COLORREF(ar.GetI32());
    textBack = ar.GetI32();
    textBackColour = COLORREF(ar.GetI32());
    textBackOpacity = ar.GetI32();
    beginX = ar.GetI32();
    beginY = ar.GetI32();
    endX = ar.GetI32();
    endY = ar.GetI32();
    duration = ar.GetF32();
    motion = ar.GetI32();
    scroll = ar.GetI32();
    posOption = ar.GetI32();
    shadowType = ar.GetI32();
    lineSpacing = ar.GetI32();
    if (!tracker) tracker.reset(new RectTracker);
    tracker->rect.left = ar.GetI32();
    tracker->rect.top = ar.GetI32();
    tracker->rect.right = ar.GetI32();
    tracker->rect.bottom = ar.GetI32();
    selected = ar.GetI32();
    type = int16_t(ar.GetI32());
    alphaMode = int16_t(ar.GetI32());
    outlineColour = COLORREF(ar.GetI32());
    outlineWidth = ar.GetI32();
    outline = ar.GetI32();
    fontSize = ar.GetI32();
    // Sizes the drawing allocates and loops by: bounded before anything is
    // drawn, as a picture's size is.
    const RECT& r = tracker->rect;
    auto within = [](int64_t v, int64_t limit) { return v >= -limit && v <= limit; };
    if (!within(r.left, kMaxPageCoordinate) || !within(r.top, kMaxPageCoordinate) ||
        !within(r.right, kMaxPageCoordinate) || !within(r.bottom, kMaxPageCoordinate) ||
        !within(int64_t(r.right) - r.left, kMaxPictureSide) || !within(int64_t(r.bottom) - r.top, kMaxPictureSide) ||
        !within(borderWidth, kMaxPictureSide) || !within(shadowDepthX, kMaxPictureSide) ||
        !within(shadowDepthY, kMaxPictureSide) || !within(outlineWidth, kMaxPictureSide))
        throw ArchiveEnd();
    if (type == TITLE_IMAGE) {
        hasTransparency = ar.GetI32();
        transparentColour = COLORREF(ar.GetI32());
        DiskBitmap b;
        ar.Read(&b, sizeof b);
        // The pixel count comes from the file: bounded before allocating.
        if (b.width < 0 || b.height < 0 || b.width > kMaxPictureSide || b.height > kMaxPictureSide ||
            uint64_t(b.width) * b.height * 4 > ar.Left())
            throw ArchiveEnd();
        pixels.assign(size_t(b.width) * b.height, 0);
        ar.Read(pixels.data(), pixels.size() * 4);
        picture = BITMAP();
        picture.bmType = b.type;
        picture.bmWidth = b.width;
        picture.bmHeight = b.height;
        picture.bmWidthBytes = b.widthBytes;
        picture.bmPlanes = WORD(b.planes);
        picture.bmBitsPixel = WORD(b.bitsPixel);
        picture.bmBits = pixels.data();
    } else {
        text = GetString(ar);
        if (type == TITLE_CLIP) {
            clip.reset(new CgAnimationClip);
            if (!clip->LoadCgaFile(text.c_str())) {
                const std::string msg = "Failed to load CGA file, \n " + text;
                MessageBoxA(nullptr, msg.c_str(), "Lumicard Error", MB_OK | MB_ICONINFORMATION);
                clip.reset();
            }
        }
    }
}

}  // namespace titlebox
