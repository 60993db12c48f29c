// The title page and its file (.lmf): 'L', 'M', 'F', an int32 count, then
// the objects' version-10 records in list order.
#pragma once
#include <windows.h>

#include <memory>
#include <vector>

#include "title_object.h"

namespace titlebox {

// List order is drawing order: the first object lies at the back.
using TitleObjectList = std::vector<std::unique_ptr<TitleObject>>;

// The file's bytes for a page.
std::vector<uint8_t> StoreTitleFile(const TitleObjectList& page);

enum TitleLoadResult { TITLE_LOADED = 0, TITLE_NOT_OURS, TITLE_DAMAGED };

// Appends the objects of a title file's bytes to page.  Wrong letters show
// "Not a Lumicard file! Unknown format!" and add nothing; a file that ends
// early or holds impossible counts adds nothing and answers TITLE_DAMAGED.
TitleLoadResult LoadTitleFile(const std::vector<uint8_t>& bytes, const TitleDefaults& d, const PageScale& s,
                              TitleObjectList* page);

bool SaveTitleFile(const char* path, const TitleObjectList& page);
TitleLoadResult OpenTitleFile(const char* path, const TitleDefaults& d, const PageScale& s, TitleObjectList* page);

}  // namespace titlebox
