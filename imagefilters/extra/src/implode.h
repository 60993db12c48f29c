// Implode / explode: the byte-stream compressor of the imploded BMP files.
// Both directions work in a caller-provided work block and move data only
// through the caller's read and write functions.
#pragma once
#include <cstdint>

namespace ferrix {

// read: fills buffer with up to *size bytes, returns the count (0 at the end).
typedef unsigned (*ImplodeRead)(char* buffer, unsigned* size, void* user);
// write: takes *size bytes.
typedef void (*ImplodeWrite)(char* buffer, unsigned* size, void* user);

const unsigned kImplodeWorkSize = 36312;
const unsigned kExplodeWorkSize = 12596;

enum { IMPLODE_OK = 0, IMPLODE_BAD_DICTIONARY = 1, IMPLODE_BAD_MODE = 2, IMPLODE_SHORT = 3, IMPLODE_CORRUPT = 4 };

// literal mode 0 (binary literals) or 1 (coded literals); dictionary 1024,
// 2048 or 4096.
unsigned implode(ImplodeRead read, ImplodeWrite write, char* work, void* user, unsigned* mode, unsigned* dictionary);
unsigned explode(ImplodeRead read, ImplodeWrite write, char* work, void* user);

}  // namespace ferrix
