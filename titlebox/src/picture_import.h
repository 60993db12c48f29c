// Pictures brought onto a title page: Windows bitmaps (drawn through GDI)
// and uncompressed true-colour Targa files, read into 32-bit bottom-up
// pixels (blue, green, red, alpha).
#ifndef TITLEBOX_PICTURE_IMPORT_H
#define TITLEBOX_PICTURE_IMPORT_H

#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>

#include "title_object.h"  // kMaxPictureSide

namespace titlebox {

enum PictureKind { PICTURE_UNKNOWN, PICTURE_BMP, PICTURE_TGA, PICTURE_GIF, PICTURE_JPEG };

struct Picture {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;  // width x height, rows bottom-up
    bool perPixelAlpha = false;    // a 32-bit Targa carries its own alpha
    bool colourKeyed = false;      // a GIF with a transparent index
    COLORREF keyColour = 0;        // that index's colour
};

// The kind a path names, by its extension taken case-insensitively.
PictureKind PictureKindOf(const std::string &path);

// Each reader returns true with the picture, or false with the text to show
// the user in *error; a damaged file never yields a partial picture.
bool ReadBitmapFile(const std::string &path, Picture *out, std::string *error);
bool ReadTargaFile(const std::string &path, Picture *out, std::string *error);
// JPEG through libjpeg (grey or colour, 8-bit samples).
bool ReadJpegFile(const std::string &path, Picture *out, std::string *error);
bool DecodeJpeg(const std::vector<uint8_t> &file, Picture *out, std::string *error);
// GIF87a / GIF89a, the first image only.
bool ReadGifFile(const std::string &path, Picture *out, std::string *error);

// The same readers over bytes already in memory.
bool DecodeBitmap(const std::vector<uint8_t> &file, Picture *out, std::string *error);
bool DecodeTarga(const std::vector<uint8_t> &file, Picture *out, std::string *error);
bool DecodeGif(const std::vector<uint8_t> &file, Picture *out, std::string *error);

extern const char kWrongImageFormat[];  // "This is a wrong image format."
extern const char kWrongTargaDepth[];

}  // namespace titlebox

#endif
