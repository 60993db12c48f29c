// CG animation clips: a CG title (.qcg) turned once into a clip file
// (.cga) of pre-rendered, run-length packed frames, and read back.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace titlebox {

#pragma pack(push, 1)
struct CgaFileHeader {
    int32_t headerSize;      // 60
    int32_t formatFlags;     // 0x12000
    int32_t animated;        // 0 still, else 4
    int32_t frameCount;
    int32_t reserved16, reserved20;
    int32_t width, height;   // 320 x 240
    int32_t bitsPerPixel;    // 32
    int32_t firstFrame;      // 60 + record size
    int32_t loopCount;       // 1
    int32_t recordOffset;    // 60
    int32_t reserved48, reserved52;
    int32_t recordSize;
};
#pragma pack(pop)
static_assert(sizeof(CgaFileHeader) == 60, "clip header is 60 bytes");

// Packs pixels into 5-byte runs (pixel, count): a run of L equal pixels is
// L / 255 runs of 255 and one of L mod 255.
void PackRuns(const uint32_t* pixels, size_t count, std::vector<uint8_t>* out);

// Every frame of a clip is rendered and written when it is made, while the
// caller waits: a title's own numbers (a roll's rows, a crawl's width, an
// animation's frame word) may ask for any count, so a clip keeps at most
// this many frames (a minute at 30 frames a second, a roll of 9000 rows).
const int32_t kMaxClipFrames = 1800;
// A frame count asked for, bounded to 0 .. kMaxClipFrames.
int32_t ClipFrames(int64_t frames);

class CgAnimationClip {
public:
    CgAnimationClip() = default;
    ~CgAnimationClip();
    CgAnimationClip(const CgAnimationClip&) = delete;
    CgAnimationClip& operator=(const CgAnimationClip&) = delete;

    BOOL LoadQcgTitle(const char* path);
    BOOL WriteCgaFile(const char* path);
    BOOL LoadCgaFile(const char* path);

    // The header WriteCgaFile writes.
    CgaFileHeader Header() const;

    // The clip's still picture (its record data, a packed DIB, through the
    // image filters): centred in (left, top, right, bottom) when smaller,
    // else at its top-left.  (0, 0) and nothing drawn when there is none.
    SIZE DrawStill(HDC dc, int left, int top, int right, int bottom);
    // The picture at the rectangle's top-left; the rectangle takes its size.
    SIZE DrawOnPage(HDC dc, RECT* rect);

    HGLOBAL block = nullptr;   // the whole record block of a .qcg title
    size_t blockSize = 0;
    int32_t width = 320, height = 240;
    int32_t kind = 0, frameCount = 0;
    HGLOBAL recordData = nullptr;
    int32_t recordDataSize = 0;
    std::string path;
    // A quiet clip reports failures only by its answers (a preview while
    // the user browses files); otherwise each failure shows a message box.
    bool quiet = false;

private:
    void Warn(const char* text, const char* caption, UINT type) const;
};

// The .cga path for a .qcg path: the part after the last dot replaced.
std::string CgaPathFor(const std::string& qcgPath);

}  // namespace titlebox
