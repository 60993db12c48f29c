/*
 * The Windows Media reader over FFmpeg: the asynchronous reader object with
 * its callback contract, for http:// and mms:// streams and local files.
 *
 * WmrCreateReader gives an IWMReader (which also answers IWMHeaderInfo).
 * Open returns at once; the work happens on the reader's own thread, which
 * reports through the callback's OnStatus:
 *   LOCATING (network addresses, before the connection), MISSING_CODEC (per
 *   stream no decoder takes; value = the codec's class identifier as a
 *   WCHAR string), then OPENED (outputs known) or ERROR with the reason;
 *   STARTED after each Start and Resume, STOPPED after Stop, EOF at the end,
 *   ERROR when the stream fails while playing (NS_E_TIMEOUT when it stays
 *   silent longer than the stall bound), CLOSED as the thread's last word.
 * Samples arrive through OnSample on the same thread at their times divided
 * by the rate: rate 1 delivers every output, other positive rates only the
 * video; negative rates step back through a seekable stream showing one
 * picture per step.
 *
 * Outputs: video as uncompressed RGB24 (or RGB32) with bottom-up rows at the
 * stream's size; sound as 16-bit PCM at the stream's rate, at most two
 * channels.  SetOutputProps may ask another size, rate or channel count.
 *
 * Threads: every method may be called from any thread, the callback's own
 * included (Start, Pause, Resume, Stop and Close never wait for the reader
 * thread when called on it).  Close waits at most 3 s for the thread; a
 * thread stuck past that (a host-name lookup cannot be interrupted) ends on
 * its own and holds its own reference until then.
 */
#ifndef PLATFORM_WMREADER_H
#define PLATFORM_WMREADER_H

#include <windows.h>
#include <rpcndr.h>
/* The Windows Media headers pull in media-foundation ones that define a
 * few GUIDs in every file including them; declare those only. */
#undef EXTERN_GUID
#define EXTERN_GUID(name, ...) EXTERN_C const GUID name
#include <wmsdkidl.h>

/* Start's "from where it is now" position. */
#define WMR_START_CURRENTPOSITION ((QWORD)-1)

/* Sample flags given to OnSample. */
enum { WMR_SF_CLEANPOINT = 1, WMR_SF_DISCONTINUITY = 2 };

/* The reader, with one reference (as WMCreateReader with no certificate). */
HRESULT WmrCreateReader(IUnknown *reserved, DWORD rights, IWMReader **reader);

/* How long one network operation may stay without an answer before the
 * stream fails with NS_E_TIMEOUT (default 10000 ms). */
void WmrSetStallTimeout(DWORD ms);
/* Reader objects alive now (reference-count checks in tests). */
LONG WmrLiveReaders();

/* The class identifier a codec is known by in Windows Media: the media
 * subtype built on the stream's four-character code (or audio format tag),
 * as "{XXXXXXXX-0000-0010-8000-00AA00389B71}". */
void WmrCodecClassText(DWORD fourccOrTag, WCHAR out[39]);

#endif
