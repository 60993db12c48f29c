/*
 * The profile manager's video streams while they are edited, and its list of
 * frame sizes ("160 x 120", "176 x 144 (QCIF)", ... "Custom...").
 */
#ifndef CORV_MIXER_STREAM_ENTRIES_H
#define CORV_MIXER_STREAM_ENTRIES_H

#include <windows.h>
#include <string>
#include <vector>

/* One video stream: found again from its list line by name and index together. */
struct VideoStreamEntry {
    virtual ~VideoStreamEntry() = default;
    INT32 index = 0;
    INT32 width = 0, height = 0;
    char targetName[260] = {};
    INT64 keyFrameSeconds = 0;
    INT32 frameRate = 0;
    INT32 quality = 0;
    INT32 maxBitrate = 0;
    void SetName(const std::string &name);
};

class StreamEntries {
public:
    std::vector<VideoStreamEntry> entries;
    /* The entry whose name and index match a list line, or null. */
    VideoStreamEntry *Find(const std::string &name, int index);
    /* Takes out the entry of a list line; the ones after it move up one so
     * the indexes stay 0..count-1 in order.  False when there is none. */
    bool Remove(const std::string &name, int index);
    /* The list's lines, one per entry in order. */
    std::vector<std::string> Lines() const;
};

extern const char *const kStandardSizes[6];   /* the fixed lines, "Custom..." last */
extern const char kCustomSize[];

class SizeList {
public:
    std::vector<std::string> lines;
    /* The fixed lines. */
    void Fill();
    /* The line "%d x %d" of a size: -1 when the list is empty; a size not in
     * the list becomes a line of its own. */
    int Lookup(int width, int height);
    /* Width and height of a line ("320 x 240", "352 x 288 (CIF)"); false
     * for lines that name no size ("Custom...") or a side below 1. */
    static bool Parse(const std::string &line, int *width, int *height);
};

#endif
