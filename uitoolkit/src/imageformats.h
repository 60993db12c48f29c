/* Format lists of the image open and save dialogs, from the image filters. */
#ifndef TUNDRIX_IMAGEFORMATS_H
#define TUNDRIX_IMAGEFORMATS_H

#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>

#include "ferrix.h"

/* The extensions of a record ("BMP", "RLE", ...), read or write side. */
std::vector<std::string> FormatExtensions(const FormatRecord &rec, bool read);
/* Records usable in a dialog: a current-form record (top byte 0xFF) whose
 * capability bits, when it carries any, are both set, and whose depth mask
 * meets depth_mask (0: any); sorted by name. */
std::vector<FormatRecord> UsableFormats(const std::vector<FormatRecord> &all, uint16_t depth_mask);
/* Filter text: for the open dialog "All Formats" first (each extension
 * once, in order of first letter, the required ones included), then one
 * pair per format; pairs are NUL-separated, the whole ends with two NULs. */
std::string ImageFilterText(const std::vector<FormatRecord> &formats, bool read, const char *const *required);
/* All records of the image filters (ordinal 19 read, 20 write); empty when
 * the library cannot be bound. */
std::vector<FormatRecord> EnumerateImageFormats(bool read);

#endif
