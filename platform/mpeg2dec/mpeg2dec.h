// The MPEG-2 video decoder filter of Mpeg2dec.ax.
#pragma once
#include "ffshell.h"
#include "mpeg2dec_ids.h"

namespace mpeg2dec {
extern const dsb::ClassEntry kClasses[];
extern const size_t kClassCount;
}
