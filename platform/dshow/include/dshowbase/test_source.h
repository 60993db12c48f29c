// A push source of generated RGB24 video for tests and demonstrations.
//
// Frame i has stream time [i * frameDuration, (i + 1) * frameDuration) and
// media time [i, i + 1); it is a sync point when i is a multiple of
// syncEvery; the first frame after a start or a seek is a discontinuity.
// The pixels of frame i come from RenderFrame, so a consumer can compute
// what it should have received.  The stream ends after frameCount frames
// (a negative count never ends).
#pragma once
#include "source.h"

namespace dsb {

// {5A1C0C5E-3E9B-4C1D-9E0A-7B2F61D0A001}: class id reported by GetClassID.
extern const GUID CLSID_CorvTestSource;

struct TestSourceConfig {
    enum Pattern { ColourBars, Noise };
    int width = 64;
    int height = 48;
    REFERENCE_TIME frameDuration = 400000;  // 100 ns units (25 fps)
    int frameCount = 10;
    int syncEvery = 2;
    Pattern pattern = Noise;
    LONG bufferPadding = 0;  // extra bytes per buffer beyond the frame
};

class TestSource : public SourceFilter {
public:
    // A new source with one reference (release it, or hand it to a graph).
    static HRESULT Create(const TestSourceConfig& cfg, TestSource** out);

    // The bytes of frame |index| (width * height * 3, blue green red).
    static void RenderFrame(const TestSourceConfig& cfg, int index, BYTE* dst);
    static LONG FrameBytes(const TestSourceConfig& cfg) { return cfg.width * cfg.height * 3; }
    // The one media type offered: MEDIATYPE_Video / RGB24 / FORMAT_VideoInfo.
    static HRESULT MakeMediaType(const TestSourceConfig& cfg, AM_MEDIA_TYPE* mt);

    const TestSourceConfig& Config() const { return cfg_; }
    // Frames handed to the pin so far (across seeks); any thread.
    LONG FramesSent() const { return sent_; }
    // Index of the next frame to send.
    LONG NextFrame() const { return next_; }

    HRESULT GetMediaType(int stream, int pos, AM_MEDIA_TYPE* mt) override;
    HRESULT DecideBufferSize(int stream, IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) override;
    HRESULT FillSample(int stream, IMediaSample* sample) override;
    HRESULT OnThreadStart(int stream) override;
    HRESULT OnSeek(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;
    HRESULT GetDuration(REFERENCE_TIME* duration) override;

private:
    explicit TestSource(const TestSourceConfig& cfg);
    TestSourceConfig cfg_;
    volatile LONG sent_ = 0;
    volatile LONG next_ = 0;
    bool discontinuity_ = true;
};

}  // namespace dsb
