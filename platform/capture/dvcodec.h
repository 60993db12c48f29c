// DV frames over FFmpeg (plain C++, no COM): the camcorder's encoder and
// the splitter's and decoder's readers.  A frame is one 625/50 DV frame
// (720x576, 25 a second, 144000 bytes) carrying its picture and 16-bit
// stereo sound at 48000 Hz (1920 samples a frame) in its DIF blocks.
#pragma once
#include <windows.h>
#include <cstdint>
#include <vector>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

namespace capdevs {

constexpr int kDvWidth = 720, kDvHeight = 576;
constexpr LONG kDvFrameBytes = 144000;
constexpr int kDvRate = 48000, kDvSamplesPerFrame = 1920;

// Makes DV frames from bottom-up BGR24 pictures and interleaved stereo
// sound.  One thread at a time.
class DvEncoder {
public:
    DvEncoder();
    ~DvEncoder();
    // picture: kDvWidth x kDvHeight, rows bottom-up, padded to 4 bytes;
    // pcm: kDvSamplesPerFrame stereo samples.  Writes kDvFrameBytes.
    bool Encode(const BYTE* picture, const int16_t* pcm, BYTE* frame);

    // Frames one muxer makes before the next is made (see OpenMuxer).
    static constexpr int kMuxerFrames = 100;

private:
    bool Open();
    bool OpenMuxer();
    void CloseMuxer();
    bool open_ = false, failed_ = false, muxing_ = false;
    int muxed_ = 0;           // frames the current muxer made
    AVCodecContext* enc_ = nullptr;
    AVFormatContext* mux_ = nullptr;
    AVFrame* yuv_ = nullptr;
    AVPacket* pkt_ = nullptr;
    SwsContext* sws_ = nullptr;
    std::vector<BYTE> out_;   // bytes the muxer wrote, not yet taken
    int64_t n_ = 0;
    static int Write(void* opaque, uint8_t* buf, int size);
};

// Reads DV frames: the picture as bottom-up BGR24 (or BGRA), the sound as
// interleaved 16-bit PCM.  One thread at a time.
class DvDecoder {
public:
    DvDecoder();
    ~DvDecoder();
    // Decodes a frame's picture into width x height (scaled when they
    // differ) with rows bottom-up, 3 or 4 bytes a pixel, rows padded to 4.
    bool Picture(const BYTE* frame, LONG size, BYTE* out, int width, int height, int bytesPerPixel);
    // Appends the frame's sound; gives its rate and channel count.
    bool Sound(const BYTE* frame, LONG size, std::vector<int16_t>* pcm, int* rate, int* channels);

private:
    AVCodecContext* dec_ = nullptr;
    AVFrame* pic_ = nullptr;
    AVPacket* pkt_ = nullptr;
    SwsContext* sws_ = nullptr;
};

}  // namespace capdevs
