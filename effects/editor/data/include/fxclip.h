// Keyframes through the system clipboard (standard text format only, the
// keyframe as FX script text) and path lists from effect data blocks.
// Clipboard calls run on the editor's thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "fxdata.h"

constexpr UINT FX_CMD_DELETE_KEYFRAME = 3056;

// Puts the effect's current keyframe on the clipboard as text; with `cut`
// the main window is then sent the "Delete Keyframe" command.  Non-zero on
// success; nothing is copied when the text or its memory cannot be made.
int CopyKeyframe(FxEffect *effect, int cut);
// Reads the clipboard's text as one keyframe into the engine's keyframe
// clipboard (PasteKeyframeFromClipboard then lays it onto a keyframe).
// The reader's result; 0 when the clipboard cannot be opened, holds no
// text or the text holds no keyframe (the keyframe clipboard then stays).
int PasteKeyframe();
// The clipboard's text (the clipboard opened for `owner`), read no further
// than its memory block reaches; false when the clipboard cannot be opened
// or holds no text.
bool ReadClipboardText(HWND owner, std::string *text);

// A new path list from a block's text (free with FreeEffect); null when
// the block is refused (FxCheckBlock, with `available` readable bytes) or
// holds no keyframe.
FxPath *PathsFromBlock(const FxEffectBlock *block, size_t available = SIZE_MAX);
// Lays a card's paths onto the target effect's current path (the stored
// path application, once); 1 applied, 2 not.
int ApplyCardPaths(const FxCardRecord *record, FxEffect *target);
