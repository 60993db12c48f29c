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
