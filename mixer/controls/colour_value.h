/*
 * CColourValue: one colour held as RGB (8 bits a channel) and as hue
 * (degrees 0..360), luminance and saturation (0..1), each side converted
 * from the other only when read after the other side was set.
 */
#ifndef CORV_CONTROLS_COLOUR_VALUE_H
#define CORV_CONTROLS_COLOUR_VALUE_H

#include <windows.h>

class CColourValue {
public:
    CColourValue() = default;
    explicit CColourValue(COLORREF c) { SetRGB(c); }
    void SetRGB(COLORREF c) { SetRGB(GetRValue(c), GetGValue(c), GetBValue(c)); }
    void SetRGB(BYTE r, BYTE g, BYTE b);
    void SetHLS(float hue, float luminance, float saturation);
    BYTE GetRed();
    BYTE GetGreen();
    BYTE GetBlue();
    COLORREF GetRGB() { return RGB(GetRed(), GetGreen(), GetBlue()); }
    float GetHue();
    float GetSaturation();
    float GetLuminance();

private:
    void ToHLS();
    void ToRGB();
    BYTE r_ = 0, g_ = 0, b_ = 0;
    float hue_ = 0, sat_ = 0, lum_ = 0;
    bool rgbValid_ = true, hlsValid_ = false;
};

#endif
