// HSL colour shift of RGB24 pixels: the pure routine behind the Tintwell filter.
//
// Pixels are 3 bytes each, blue, green, red.  Every pixel is converted to
// integer hue (0..359 degrees), saturation (0..256) and lightness (0..255),
// the three offsets are added (hue wraps once, the others clamp) and the
// result is converted back.  All arithmetic is integer with division
// truncating toward zero; the tables below reproduce it bit for bit.
#pragma once
#include <cstddef>
#include <cstdint>

namespace hsl {

struct Offsets {
    int32_t hue;
    int32_t saturation;
    int32_t lightness;
    bool IsZero() const { return hue == 0 && saturation == 0 && lightness == 0; }
};

// The defining per-pixel formula, one pixel at a time (reference).
void ShiftPixelReference(const uint8_t in[3], uint8_t out[3], const Offsets& o);

// Transform |pixels| BGR pixels from |in| to |out| (may be the same buffer).
// Thread-safe; the fast path is bit-exact with ShiftPixelReference.
void ShiftPixels(const uint8_t* in, uint8_t* out, size_t pixels, const Offsets& o);

// The fast path with a chosen kernel (tests compare each with the reference).
// Returns false, writing nothing, when the processor lacks the kernel's
// instruction set.
enum class Kernel { Auto, Scalar, Sse41, Avx2 };
bool ShiftPixelsWith(Kernel kernel, const uint8_t* in, uint8_t* out, size_t pixels, const Offsets& o);
// "AVX2", "SSE4.1" or "scalar" (Auto: the one ShiftPixels uses here).
const char* KernelName(Kernel kernel);

// Plain loop over ShiftPixelReference: for tests and benchmarks.
void ShiftPixelsReference(const uint8_t* in, uint8_t* out, size_t pixels, const Offsets& o);

}  // namespace hsl
