// Title objects: text blocks, pictures and CG clips on a title page, their
// default style and their version-10 record.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive.h"

namespace titlebox {

class CgAnimationClip;

enum TitleObjectType : int16_t { TITLE_TEXT = 0, TITLE_IMAGE = 1, TITLE_CLIP = 2 };
enum TitleAlphaMode : int16_t { ALPHA_OPACITY = 0, ALPHA_COLOUR_KEY = 1, ALPHA_PER_PIXEL = 2 };
enum TitleShadow { SHADOW_NONE = 0, SHADOW_SINGLE = 1, SHADOW_SOLID = 2, SHADOW_SOFT = 3 };

// The rectangle with the scale factors current when it was made.
struct RectTracker {
    RECT rect = {0, 0, 0, 0};
    float hFactor = 2.0f, vFactor = 2.0f;
};

// The page's default style for new objects (the control's "Settings").
struct TitleDefaults {
    std::string faceName = "Arial";
    int32_t fontSize = 16, bold = 0, italic = 0, underline = 0, outline = 0, vertical = 0;
    int32_t alignment = 0, depthX = 4, depthY = 4, outlineWidth = 1, lineSpacing = 100, opacity = 100;
    int32_t shadowType = 0;
    COLORREF textColour = 0, shadowColour = 0xC8C8C8, outlineColour = 0xFF0000, backColour = 0xDFDFDF;
    int32_t border = 0, borderWidth = 1;
    COLORREF borderColour = 0xFF0000;
    int32_t textBack = 1;
    COLORREF textBackColour = 0xFFFFFF;
    int32_t textBackOpacity = 50, motion = 0, scroll = 0, beginX = 0, beginY = 0, endX = 0, endY = 0;
    float duration = 0;
};

// The page's scale factors (output size over the control's client size)
// and its output size.
struct PageScale {
    float h = 2.0f, v = 2.0f;
    int outW = 640, outH = 480;
};

class TitleObject {
public:
    // A new object in the default style (selected, text, empty).
    TitleObject(const TitleDefaults& d, const PageScale& scale);
    ~TitleObject();

    // Stores or loads the version-10 record; other versions do nothing.
    // Loading a clip loads its .cga file (a failure shows a box and keeps
    // the object).  Throws ArchiveEnd on a short or damaged record.
    void Serialize(Archive& ar, int version);

    std::unique_ptr<RectTracker> tracker;
    int32_t selected = 1;
    int16_t type = TITLE_TEXT;
    int32_t border = 0, borderWidth = 0;
    COLORREF borderColour = 0;
    int32_t motion = 0, beginX = 0, beginY = 0, endX = 0, endY = 0;
    float duration = 0;
    int32_t posOption = 0;
    float hFactor = 2.0f, vFactor = 2.0f;
    // The output size of the page the object is drawn on (not stored): the
    // fonts it is drawn with are bounded by it.
    int32_t pageW = 640, pageH = 480;
    LOGFONTA font = {};
    int32_t fontSize = 0, alignment = 0;
    COLORREF textColour = 0, shadowColour = 0, outlineColour = 0;
    int32_t shadowDepthX = 0, shadowDepthY = 0, shadowType = 0, lineSpacing = 100, outlineWidth = 0, outline = 0;
    std::string text;
    int32_t textBack = 0;
    COLORREF textBackColour = 0;
    int32_t textBackOpacity = 0, scroll = 0, imageOpacity = 100;
    BITMAP picture = {};            // bmBits points into pixels
    std::vector<uint32_t> pixels;   // blue, green, red, alpha; rows bottom-up
    int16_t alphaMode = ALPHA_OPACITY;
    COLORREF transparentColour = 0;
    int32_t hasTransparency = 0;
    int32_t keptRight = 0, keptBottom = 0;
    std::unique_ptr<CgAnimationClip> clip;

    void SetPicture(int width, int height, const uint32_t* bottomUpPixels);
};

// Font height in logical units for a point size: size x -1.3333334,
// truncated toward zero (16 points give -21).
int32_t FontHeight(int32_t points, float factor = 1.0f);
// value x factor + 0.5 truncated toward zero.
int32_t Scaled(double value, double factor);
// percent x 2.55 truncated (100 gives 255, 50 gives 127).
int32_t Opacity255(int32_t percent);

// Limits a loaded record must keep (bigger values are a damaged file).
// Pictures and rectangles are at most kMaxPictureSide page pixels a side;
// a rectangle's sides lie within kMaxPageCoordinate of the page's origin
// (the control places objects by 16-bit positions); border widths, shadow
// depths and outline widths are at most kMaxPictureSide.
const int32_t kMaxPictureSide = 16384;
const int32_t kMaxPageCoordinate = 1 << 16;
const int32_t kMaxString = 1 << 24;

// A loaded object's fonts drawn on a page of s's output size: its LOGFONT
// height and width and its point size bounded by the longer side of the
// output, as the engine bounds the fonts of the titles it draws.
void BoundTitleFont(TitleObject& o, const PageScale& s);

}  // namespace titlebox
