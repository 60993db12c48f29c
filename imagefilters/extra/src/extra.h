// Shared parts of the extra filters: the older record form their
// enumerators fill (extension letters in place of the form word, 1 in place
// of the module handle, option word 3, no extension list).
#pragma once
#include <vector>  // before the Win32 headers

#include "fmtio.h"

namespace ferrix {

void FillOldRead(FormatRecord* r, const char* letters, const char* name, uint16_t id, uint16_t depthMask,
                 uint32_t probe, FxReaderOpen open);
void FillOldWrite(FormatRecord* r, const char* letters, const char* name, uint16_t id, uint16_t depthMask,
                  FxWriterOpen open);

}  // namespace ferrix
