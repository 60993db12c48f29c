/*
 * The scheduler's own skinned controls: the colour label (font, colours,
 * blinking text) and the progress bar of the schedule loaders, plus the
 * main window's outline.  The hover and region bitmap buttons are the
 * mixer's (mixer/controls).
 */
#ifndef SCHEDULER_APP_SKINNED_CONTROLS_H
#define SCHEDULER_APP_SKINNED_CONTROLS_H

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <commctrl.h>
#include <string>

#include "wnd.h"

/* A static control with its own font and colours whose text can blink
 * (shown one second, hidden the next). */
class ColorLabel : public cl::CWnd {
public:
    ColorLabel();
    ~ColorLabel() override;

    ColorLabel &SetTextColor(COLORREF c);
    ColorLabel &SetFontBold(BOOL bold);
    ColorLabel &SetFontSize(int size);
    /* Names longer than a font's face field (31 characters) are cut. */
    ColorLabel &SetFontName(const char *name);
    ColorLabel &SetBkColor(COLORREF c);
    /* Stops a blink in progress (showing 'text'); with 'blink' starts
     * blinking 'text' every second. */
    ColorLabel &SetBlinkText(BOOL blink, const char *text);

    bool Blinking() const { return blinking_; }
    const LOGFONTA &Font() const { return logFont_; }
    COLORREF TextColor() const { return text_; }
    /* One blink step (timer 1). */
    void OnBlinkTimer();

    static constexpr UINT_PTR kBlinkTimer = 1;

private:
    void Redraw();
    void RebuildFont();
    BOOL OnChildNotify(UINT msg, WPARAM wp, LPARAM lp, LRESULT *result) override;

    COLORREF text_;
    HBRUSH back_ = nullptr, back2_ = nullptr;
    LOGFONTA logFont_ = {};
    HFONT font_ = nullptr;
    int mode_ = 0; /* 0 none, 1 text blink, 2 background blink */
    bool phase_ = false, blinking_ = false;
    std::string blinkText_;
};

/* A clickable 40 x 40 picture: the bitmap stretched over the cell; a
 * selected cell gets a 3-pixel frame and the picture inset by 2.  A left
 * click sends kPictureClicked (wParam = the cell's id) to the owner, or to
 * the parent when there is none.  The cell owns its bitmap. */
class PictureCell : public cl::CWnd {
public:
    static constexpr UINT kPictureClicked = 137;
    static constexpr COLORREF kFrameColour = RGB(255, 0, 100);
    static constexpr const char *kClassName = "TarnellPictureCell";

    PictureCell();
    ~PictureCell() override;
    /* The cells' window class, registered once at start. */
    static bool RegisterCellClass();

    void SetBitmap(HBITMAP bitmap);
    void SetSelected(BOOL selected);
    bool Selected() const { return selected_; }
    HBITMAP Bitmap() const { return bitmap_; }
    void Paint(HDC dc);

private:
    HBITMAP bitmap_ = nullptr;
    bool selected_ = false;
};

/* Copies 'bitmap' into the rectangle left..right x top..bottom of 'dc': at
 * its own size clipped to the rectangle, or stretched from its full size; a
 * null bitmap draws nothing. */
void DrawBitmap(HDC dc, HBITMAP bitmap, int left, int top, int right, int bottom, BOOL stretch);

/* A static control that shows one of two bitmaps over its client area: the
 * second while its flag is set.  The bitmaps stay the owner's. */
class BitmapStatic : public cl::CWnd {
public:
    BitmapStatic();
    void SetBitmaps(HBITMAP first, HBITMAP second);
    /* Selects the second bitmap (or the first) and redraws at once. */
    void SelectSecond(BOOL second);
    bool SecondSelected() const { return second_; }
    HBITMAP Shown() const { return second_ ? bitmaps_[1] : bitmaps_[0]; }

private:
    HBITMAP bitmaps_[2] = {};
    bool second_ = false;
};

/* An owner-drawn push button with three faces (0 plain, 1 hover, 2
 * pressed) that follows the mouse: a press inside its region shows the
 * pressed face, release and movement the hover face, leaving the plain one;
 * none of it while disabled or latched (a latched button shows the hover
 * face on movement only with 'hoverWhileLatched').  Over the region the
 * cursor is the arrow, or the "no" cursor while latched.  The bitmaps stay
 * the owner's; the button still sends its clicks. */
class ThreeStateButton : public cl::CWnd {
public:
    ThreeStateButton();
    ~ThreeStateButton() override;
    void SetBitmaps(HBITMAP plain, HBITMAP hover, HBITMAP pressed);
    void SetDisabled(BOOL disabled);
    void SetLatched(BOOL latched, BOOL hoverWhileLatched = FALSE);
    int Face() const { return face_; }
    BOOL OnChildNotify(UINT msg, WPARAM wp, LPARAM lp, LRESULT *result) override;

protected:
    void PreSubclassWindow() override;

private:
    void ShowFace(int face);
    bool InRegion(LPARAM lp) const;
    HBITMAP faces_[3] = {};
    int face_ = 0;
    bool disabled_ = false, latched_ = false, hoverWhileLatched_ = false;
    HRGN region_ = nullptr;
    HCURSOR plainCursor_, latchedCursor_;
};

/* A picture file beside the program ("<program folder>\<relativeName>")
 * as a bitmap; null when the file is missing or is no picture. */
HBITMAP LoadPictureBitmap(const char *relativeName);

/* A control's place in its dialog's client pixels; a height of 0 keeps the
 * control's own (as for combo boxes, whose height is their dropped list's). */
struct ControlPlace {
    UINT id;
    int x, y, w, h;
};
/* Moves every control of the table that the dialog holds to its place. */
void PlaceControls(HWND dialog, const ControlPlace *places, size_t count);

/* The folder of the running program, with its last '\\' (empty when unknown):
 * the scheduler's picture files live beside it. */
std::string ProgramFolder();

/* The schedule list's transition pictures: unless the list has its small
 * image list already, a 20 x 20 one holding ".\\STransition\\<name>.bmp" of
 * every transition in table order (black transparent; a missing file adds a
 * blank picture so that picture i stays transition i), shown in sub-items. */
void LoadTransitionPictures(HWND list);
/* Shows in column 'column' of every row the picture of the transition
 * named there (none for an unknown name). */
void ShowTransitionPictures(HWND list, int column);

/* The progress bar's arithmetic: percentage and filled length over the span
 * low..high (0 for an empty span), clamped to 0..100 and 0..extent. */
int ProgressPercent(int pos, int low, int high);
int ProgressFill(int pos, int low, int high, int extent);
/* Colour shades: a channel moves only where it stays inside 0..255. */
COLORREF LightenColour(COLORREF c, int step);
COLORREF DarkenColour(COLORREF c, int step);
/* Per channel a + (b - a) / 2, rounding toward zero. */
COLORREF MidColour(COLORREF a, COLORREF b);

/* The owner-painted progress bar of the schedule loaders: a bevelled bar in
 * shades of the highlight colour and the percentage in its middle. */
class ScheduleProgressBar : public cl::CWnd {
public:
    static constexpr COLORREF kTextColour = 0x011F45, kTroughColour = 0xCFE4FF;

    ScheduleProgressBar();
    ~ScheduleProgressBar() override;

    void SetRange(int low, int high);
    void SetPos(int pos);
    void SetShowText(bool on) { showText_ = on; }
    const std::string &Text() const { return text_; }
    int Percent() const { return percent_; }
    COLORREF Shade(int i) const { return shades_[i]; } /* base, light 1-3, dark 1-2 */

    /* Paints into 'dc' over 'rc' (the control's client area). */
    void Paint(HDC dc, const RECT &rc);

private:
    bool showText_ = true;
    std::string text_;
    int low_ = 0, high_ = 100, percent_ = 0, pos_ = 0;
    COLORREF shades_[6] = {};
    COLORREF darkShadow_, buttonShadow_, mid_;
    HPEN pens_[8] = {};
};

/* The main window's outline: 54 points cutting its corners in steps. */
constexpr int kMainRegionPoints = 54;
extern const POINT kMainRegion[kMainRegionPoints];
HRGN CreateMainWindowRegion();

/* The preview dialogs' outline: a w x h rectangle whose four corners are cut
 * in steps of 9, 6, 5, 3, 2, 1 and 0 pixels (13 points a corner). */
constexpr int kSteppedRegionPoints = 52;
void SteppedRegionPoints(int w, int h, POINT (&points)[kSteppedRegionPoints]);
HRGN CreateSteppedRegion(int w, int h);

/* The skinned windows keep one size: a resize puts 'wnd' back to w x h, and
 * the background is the bitmap 'skin' holds when the paint comes (it may be
 * loaded after this call). */
void KeepSkinnedFrame(cl::HandlerTable &handlers, const cl::CWnd &wnd, const HBITMAP &skin, int w, int h);

#endif
