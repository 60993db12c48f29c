// Title rendering with GDI: line layout, measurement, pictures by alpha
// mode, text with back box, shadows and outline, and the pixels the export
// stores.  Glyphs are the platform's; everything around them is computed
// here.
#pragma once
#include <windows.h>

#include <string>

#include "title_file.h"

namespace titlebox {

// The object's font at a scale factor (1.0: its own unscaled height),
// its height and width bounded by the longer side of the object's page.
HFONT MakeTitleFont(const TitleObject& o, float factor);

// Draws the text's lines into r with the object's alignment and line
// spacing, in the font selected in dc (line layout).
void DrawTextLines(HDC dc, const TitleObject& o, const std::string& text, RECT r);

// The text measured with the object's unscaled font: (width + 2, height + 2).
SIZE MeasureTitleText(const TitleObject& o);
// Grows a text object's box (never shrinks it) so its text, drawn with its
// own font, fits whole: horizontal text needs the measured width across and
// the height down, vertical text the other way round.  True when it grew.
bool FitTextBox(TitleObject& o);

// The picture at w x h, bottom-up, with the alpha byte by the alpha mode.
void ImageExportPixels(const TitleObject& o, int w, int h, uint32_t* out);

// A soft shadow's mask for the export: w x h bottom-up pixels, colour the
// shadow colour, alpha the 3 x 3 blurred coverage of the text.
void SoftShadowMask(const TitleObject& o, int w, int h, uint32_t* out);

struct PageView {
    int outW = 640, outH = 480;        // output (programme) size
    int clientW = 320, clientH = 240;  // the control's client size
    COLORREF background = 0xDFDFDF;
};

// Draws the page (background, objects in list order, selection frames)
// into dc, which shows the client size; output coordinates are mapped
// onto it.
void DrawPage(HDC dc, const TitleObjectList& page, const PageView& view);
// Draws one object in output coordinates.
void DrawTitleObject(HDC dc, TitleObject& o);

// The object's rectangle scaled: L, T, R, B and W, H.
struct ScaledRect {
    int L, T, R, B, W, H;
};
ScaledRect ScaleRect(const TitleObject& o);

}  // namespace titlebox
