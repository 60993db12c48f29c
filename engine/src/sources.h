/*
 * The source kinds OpenSource can build: one table entry per kind, each a
 * class deriving from CDecoder in its own files.  A new kind is one entry
 * here and one class.
 */
#ifndef CORVENGINE_SOURCES_H
#define CORVENGINE_SOURCES_H

#include "decoder.h"
#include "capture_source.h"
#include "network_source.h"

enum SourceClass {
    SOURCE_FILE,      /* CAviMpegReader */
    SOURCE_CAPTURE,   /* CDSCapture */
    SOURCE_NETWORK,   /* CAsfReader */
    SOURCE_MPEG2,     /* CMpeg2Reader */
};

struct SourceKindEntry {
    SourceClass cls;
    const char *className;
    CDecoder *(*create)(int kind, int videoDevice, int audioDevice);
    bool ready;       /* false while the kind still waits for its work */
};

const SourceKindEntry *EngineSourceKind(SourceClass cls);

#endif
