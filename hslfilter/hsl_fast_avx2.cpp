// The vector kernel for the AVX2 instruction set (chosen at run time).
#include "hsl_kernel.h"

namespace hsl {
void ShiftFastAvx2(const uint8_t* in, uint8_t* out, size_t pixels, int ho, int so, int lo) {
    while (pixels) {
        const int n = pixels > 4096 ? 4096 : (int)pixels;
        kernel::ShiftBlock(in, out, n, ho, so, lo);
        in += 3 * n;
        out += 3 * n;
        pixels -= n;
    }
}
}  // namespace hsl
