/*
 * Property strings of the custom controls: the window text that configures a
 * "Placet" positioner or a "Knobset" button.
 *
 * A text without a backquote (0x60) is a plain label.  Otherwise it is a run
 * of backquote-separated fields read as pairs "code`value`"; the code is a
 * 16-bit hexadecimal word, the value either a string (when the code's kind
 * bits (code & 0x3100) say 0x100) or an unsigned 32-bit hexadecimal number.
 * There is no escape: a value cannot hold a backquote.
 *
 * Plain C++ over 8-bit text, no window needed; both libraries link it.
 */
#ifndef CONTROLS_PROPSTR_H
#define CONTROLS_PROPSTR_H

#include <cstddef>
#include <cstdint>

namespace propstr {

const char kSep = '`';

/* Code-word bits shared by both controls. */
enum : uint32_t {
    kAttrMask = 0x000F,   /* 0: control level, 1-15 face attribute */
    kStateMask = 0x0070,  /* face attributes: Up 0x10, Sel'd 0x20, Gray 0x40 */
    kCtlMask = 0x00F0,    /* control-level attribute when bits 0-3 are zero */
    kString = 0x0100,
    kModuleShift = 9,     /* (code >> 9) & 3: 1 system, 2 own library, else caller */
    kDbcsOrIcon = 0x0800,
    kGlobal = 0x1000,
    kGdi = 0x2000,
    kKindMask = 0x3100,
    kOwnMask = 0xC000,
    kOwnTake = 0x4000,
    kOwnBorrow = 0x8000,
    kOwnTakeHandle = 0xC000,
};

inline bool IsStringCode(uint32_t code) { return (code & kKindMask) == kString; }

/* Which control's reading rules apply (they differ in two small details). */
enum class Reader { Button, Positioner };

struct Pair {
    uint32_t code = 0;
    bool is_string = false;
    uint32_t number = 0;
    char *text = nullptr;   /* heap copy (malloc) of a string value, or null for "" */
};

/* True when the text holds a backquote, i.e. is a pair list, not a label. */
bool HasSeparator(const char *text);

/* Reads one pair at *cursor and moves the cursor behind it.  Returns false
 * when the text runs out before a value (no pair; the cursor is left at the
 * end).  A string value is copied with malloc (exact length + 1); an empty
 * string gives text == nullptr.  The button's reader clears bits 8, 12 and 13
 * of a pair read as a number and marks every string pair with 0x4000. */
bool ReadPair(const char *&cursor, Reader reader, Pair &pair);

/* Frees a pair's string copy. */
void FreePair(Pair &pair);

/* Length a pair would take when written ("%lX`%s`" or "%lX`%lX`"). */
size_t PairLength(uint32_t code, uint32_t number, const char *text);

/* Appends one pair at out when its length is below space (the pair and a NUL
 * fit).  Returns the number of characters written, or 0 when it does not fit
 * (nothing is written).  text is used when IsStringCode(code), else number.
 * A string pair with a null text writes "code``". */
size_t AppendPair(char *out, size_t space, uint32_t code, uint32_t number, const char *text);

/* Turns the last backquote of a finished string into its terminating NUL. */
void Finish(char *text, size_t length);

/* malloc'd copy of a NUL-terminated string (null for null). */
char *Duplicate(const char *text);

} // namespace propstr

#endif
