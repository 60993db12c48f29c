// Class id of the MPEG-2 video decoder filter in Mpeg2dec.ax.
#pragma once
#include <windows.h>

// {F50B3F13-19C4-11CF-AA9A-02608C9BABA2}: the class id the media engine
// creates for the PC's MPEG-2 video decoder.
static const GUID CLSID_Mpeg2VideoDecoder = {0xf50b3f13, 0x19c4, 0x11cf, {0xaa, 0x9a, 0x02, 0x60, 0x8c, 0x9b, 0xab, 0xa2}};
