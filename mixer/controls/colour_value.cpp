#include "colour_value.h"
#include <algorithm>

void CColourValue::SetRGB(BYTE r, BYTE g, BYTE b)
{
    r_ = r; g_ = g; b_ = b;
    rgbValid_ = true;
    hlsValid_ = false;
}

void CColourValue::SetHLS(float hue, float luminance, float saturation)
{
    hue_ = hue; lum_ = luminance; sat_ = saturation;
    hlsValid_ = true;
    rgbValid_ = false;
}

BYTE CColourValue::GetRed() { if (!rgbValid_) ToRGB(); return r_; }
BYTE CColourValue::GetGreen() { if (!rgbValid_) ToRGB(); return g_; }
BYTE CColourValue::GetBlue() { if (!rgbValid_) ToRGB(); return b_; }
float CColourValue::GetHue() { if (!hlsValid_) ToHLS(); return hue_; }
float CColourValue::GetSaturation() { if (!hlsValid_) ToHLS(); return sat_; }
float CColourValue::GetLuminance() { if (!hlsValid_) ToHLS(); return lum_; }

void CColourValue::ToHLS()
{
    int mx = std::max({r_, g_, b_}), mn = std::min({r_, g_, b_});
    lum_ = (mx + mn) / 510.0f;
    if (mx == mn) {
        hue_ = sat_ = 0;
    } else {
        float d = (float)(mx - mn);
        sat_ = lum_ <= 0.5f ? d / (mx + mn) : d / (510 - mx - mn);
        float rc = (mx - r_) / d, gc = (mx - g_) / d, bc = (mx - b_) / d;
        if (r_ == mx) hue_ = 60 * (6 + bc - gc);
        if (g_ == mx) hue_ = 60 * (2 + rc - bc);
        if (b_ == mx) hue_ = 60 * (4 + gc - rc);
        if (hue_ >= 360) hue_ -= 360;
    }
    hlsValid_ = true;
}

static float Value(float m1, float m2, float h)
{
    if (h > 360) h -= 360;
    else if (h < 0) h += 360;
    if (h < 60) return m1 + (m2 - m1) * h / 60;
    if (h < 180) return m2;
    if (h < 240) return m1 + (m2 - m1) * (240 - h) / 60;
    return m1;
}

void CColourValue::ToRGB()
{
    if (sat_ == 0) {
        r_ = g_ = b_ = (BYTE)(lum_ * 255);
    } else {
        float m2 = lum_ <= 0.5f ? lum_ * (1 + sat_) : lum_ + sat_ - lum_ * sat_;
        float m1 = 2 * lum_ - m2;
        r_ = (BYTE)(Value(m1, m2, hue_ + 120) * 255);
        g_ = (BYTE)(Value(m1, m2, hue_) * 255);
        b_ = (BYTE)(Value(m1, m2, hue_ - 120) * 255);
    }
    rgbValid_ = true;
}
