/* Internal state of the positioner, shared by its source files and tests. */
#ifndef CONTROLS_PLACET_INTERNAL_H
#define CONTROLS_PLACET_INTERNAL_H

#include <windows.h>
#include <cstddef>
#include <cstdint>

enum : uint16_t { PSF_FORMAT_OWNED = 0x1, PSF_TRACKBAR = 0x4 };

struct PositionerState {
    uint16_t version;
    uint16_t flags;
    HWND self;
    HWND parent;
    uint32_t busy;
    uint32_t style;
    uint32_t run;
    uint32_t last_run;
    /* face */
    char *label;
    HFONT font;
    uint32_t text_colour;
    uint32_t back_colour;
    uint32_t face_words[16];
    uint32_t parts_wanted;
    uint32_t present;
    double value, previous, minimum, maximum, deflt, step;
    char *format;          /* null: "%.0f" */
    bool format_owned;
    double page;
    WNDPROC edit_proc;
    char *stored;          /* KNBM_SETPROPSTRING copy */
    bool dlgx;
    bool edit_timer;
    double drag_saved;
    long drag_top, drag_bottom;
    int drag_wraps;
    HWND scroll_focus_back;
};

enum class FormatKind { Float, Int32, Int16, Refused };

/* Which argument the edit format takes; Refused for formats that would read
 * a pointer (%s, %p), write through one (%n) or want several arguments. */
FormatKind ClassifyFormat(const char *format);
void FormatValue(const char *format, double value, char *out, size_t size);
/* Rounding to the step grid (when asked) then wrap or clamp into the range. */
double NormaliseValue(double value, double minimum, double maximum, double step, bool round, bool wrap);
/* Scroll position 0..10000 of a value (5000 when the step exceeds the range). */
int ScrollPosition(double value, double minimum, double maximum, double step, bool reversed);

bool PlacetSetProperty(PositionerState *s, uint32_t code, uint32_t number, const char *text);
bool PlacetApplyString(PositionerState *s, const char *text, bool reset);
void PlacetUpdate(PositionerState *s, uint32_t flags);

UINT PlacetRegisteredMessage();
WNDPROC PlacetSavedEditProc();
WNDPROC PlacetSavedScrollProc();
HINSTANCE PlacetModule();

extern "C" {
LRESULT CALLBACK PlacetWndProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK PlacetEditProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK PlacetScrollProc(HWND, UINT, WPARAM, LPARAM);
}

#endif
