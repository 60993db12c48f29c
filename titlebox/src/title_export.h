// The title export file (.LME) the engine's combiner reads: a 16-byte
// header, one 52-byte record per object, then the objects' data blocks.
#pragma once
#include <windows.h>

#include <cstdint>
#include <vector>

#include "title_file.h"

namespace titlebox {

#pragma pack(push, 1)
struct TitleExportHeader {
    int32_t magic;   // 4737
    int32_t count;
    int32_t total;   // bytes of all data blocks
    int32_t reserved;
};
struct TitleLayerRecord {
    int32_t type, width, height, motion, fromX, fromY, toX, toY;
    float duration;
    int32_t border, borderWidth, borderColour, dataLength;
};
struct TextLayerHeader {
    LOGFONTA font;
    int32_t alignment, textColour, outlineColour, outlineWidth, shadowType, lineSpacing;
    int32_t shadowDepthX, shadowDepthY, shadowColour, boxFlag, boxOpacity, boxColour, stringLength;
};
#pragma pack(pop)
static_assert(sizeof(TitleExportHeader) == 16, "export header is 16 bytes");
static_assert(sizeof(TitleLayerRecord) == 52, "layer record is 52 bytes");
static_assert(sizeof(TextLayerHeader) == 112, "text layer header is 112 bytes");

enum { kTitleExportMagic = 4737 };
enum TitleExportKind { EXPORT_PROGRAMME, EXPORT_PREVIEW };

// String field length: rounded up to 4, plus 4 (0 gives 4, 1-4 give 8).
int32_t ExportStringLength(size_t n);

// The most data (the blocks after the layer records) an export carries: a
// page whose layers would need more (rectangles far larger than the output,
// scrolled out to millions of pixels) is not exported.
const int64_t kMaxTitleExportData = int64_t(64) << 20;

// The file's bytes for the page (scrolling texts measured and stretched
// for the export only: the page keeps its rectangles); empty when the data
// would exceed kMaxTitleExportData.
std::vector<uint8_t> BuildTitleExport(TitleObjectList& page);

// The file name in the temporary folder: "~lmTemp.LME" or "~lmPrevTemp.LME".
std::string TitleExportPath(TitleExportKind kind);

// Writes the export file; "Couldn't be exported !" and FALSE when it is too
// big or cannot be created (the old file stays as it was).
BOOL ExportTitle(TitleObjectList& page, TitleExportKind kind);

}  // namespace titlebox
