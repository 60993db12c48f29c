/*
 * CMpeg2Reader: plays an MPEG-2 program stream (.vob) on a channel.  The
 * graph is the file source's, except that the video ends in a null renderer
 * and, when rendering put an overlay mixer in, the decoder rendering chose
 * and the mixer give way to the PC's MPEG-2 video decoder made by its class
 * id.  Play starts one second later than asked.
 *
 * CGrabCB3, its grabber callback, draws only while the source's surface is
 * the programme or the selected one and posts positions only while it is
 * the selected one.
 */
#ifndef CORVENGINE_MPEG2_SOURCE_H
#define CORVENGINE_MPEG2_SOURCE_H

#include "file_source.h"
#include "grab_cb.h"

/* {F50B3F13-19C4-11CF-AA9A-02608C9BABA2} */
extern const GUID CLSID_Mpeg2VideoDecoder_Corv;

class CGrabCB3 : public CGrabCB1 {
public:
    CGrabCB3(CDecoder *owner, short audio) : CGrabCB1(owner, audio) {}
    HRESULT WINAPI BufferCB(double time, BYTE *buffer, LONG length) override;
};

class CMpeg2Reader : public CAviMpegReader {
public:
    CMpeg2Reader()
    {
        playOffset = 10000000;
        hslCreateText = "HSL Effect Filter Creation Error !!";
        hslFilterName = L"Tintwell Effect";
        audioFailText = "Audio loading error";
    }

protected:
    HRESULT BuildVideoPath() override;
    CGrabCB1 *MakeCallback(short audio) override { return new CGrabCB3(this, audio); }

private:
    HRESULT SwapDecoder(IBaseFilter *decoder, IBaseFilter *overlay);
};

/* Test probe: called with the graph right after rendering a .vob (host
 * thread), so a test can put in what a PC's rendering would. */
extern void (*g_mpeg2RenderProbe)(IGraphBuilder *graph);

#endif
