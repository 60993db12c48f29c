#include "fxlink.h"

namespace cuelink {

int FxRenderAnimation(void*, int, int, int, int, int, const void*, size_t, const void*, size_t, uint32_t)
{
    return 0;
}

void FxDone() {}

}  // namespace cuelink
