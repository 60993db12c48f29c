/* Internal records of the "Knobset" button. */
#ifndef CONTROLS_KNOBKIT_INTERNAL_H
#define CONTROLS_KNOBKIT_INTERNAL_H

#include <windows.h>
#include <cstdint>

const uint32_t kNoColour = 0x80000000u;

/* One face ("Up", "Sel'd" or "Gray"). */
struct StateRecord {
    char *text;             /* heap copy */
    HBITMAP bitmap;
    HICON icon;
    bool bitmap_owned;
    uint32_t cell;          /* grid word: bits 12-15 columns-1, 8-11 rows-1, 4-7 column, 0-3 row */
    HBRUSH brush;
    bool brush_owned;
    HPALETTE palette;
    bool palette_owned;
    HFONT font;
    bool font_owned;
    bool font_by_property;
    uint32_t text_colour, bitmap_colour, brush_colour, back_colour, back2_colour;
    uint32_t text_pos, bitmap_pos;
    uint32_t corners;
};

struct ButtonRecord {
    uint32_t version;
    uint32_t style;
    uint32_t state;
    uint32_t paint_key;
    HWND self;
    HWND target;
    POINT anchor;
    char *popup_text;
    char *status_text;
    StateRecord face[3];
    char *stored;
    bool tab_clip, tab_transparent;   /* styles a grown tab gave up */
    /* While a face animation runs, the painted positions and cell. */
    bool anim_active;
    POINT anim_text, anim_bitmap;
    uint32_t anim_cell;
};

/* Property model (props.cpp). */
bool KnobSetProperty(ButtonRecord *b, uint32_t code, uintptr_t value, bool from_string);
bool KnobGetProperty(ButtonRecord *b, uint32_t code, uintptr_t *value);
void KnobResetProperty(ButtonRecord *b, uint32_t code);
bool KnobApplyString(ButtonRecord *b, const char *text);
void KnobResetFaces(ButtonRecord *b, bool final_reset);
uint32_t KnobVersionFromValue(uint32_t current, uint32_t value);
int KnobFaceIndex(const ButtonRecord *b);
bool KnobSetDefaultFont(WPARAM which, HFONT font);
/* Copies properties (the codes of a backquote-separated list, or the default
 * list) from one button to a window by messages, or into direct's records. */
void KnobCopyProperties(ButtonRecord *from, HWND to, ButtonRecord *direct, const char *list);

/* Rendering (paint.cpp). */
struct LookInfo {
    int outline;        /* 0 none, 1 frame, 2 rounded frame */
    int bevel_up;
    int bevel_pressed;
    bool inset;
};
LookInfo KnobLook(uint32_t look);
uint32_t KnobPaintKey(const ButtonRecord *b);
void KnobPaint(ButtonRecord *b, HDC dc, bool offscreen);
void KnobContentRect(const ButtonRecord *b, RECT *rc);
COLORREF KnobHighlight(COLORREF back);
COLORREF KnobShadow(COLORREF back);

/* Placement of a text box and a bitmap box in the inner rectangle. */
struct Placed {
    POINT text, bitmap;
};
Placed KnobPlace(const RECT &inner, SIZE text, uint32_t text_pos, SIZE bitmap, uint32_t bitmap_pos,
                 bool has_text, bool has_bitmap);

/* Measures and places the current face's text and bitmap in the content
 * rectangle with the given position words. */
Placed KnobLayout(ButtonRecord *b, HDC dc, uint32_t text_pos, uint32_t bitmap_pos, SIZE *text, SIZE *bitmap);
/* Face animation: blocks until done, then restores the face. */
LRESULT KnobAnimate(ButtonRecord *b, WPARAM motion, LPARAM speeds);

HINSTANCE KnobkitModule();
extern const BYTE kKnobPatterns[7][8];

#endif
