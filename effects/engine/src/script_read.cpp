// FX script reader: a tokenizer driven by the keyword table and the
// context word, slot tables that collect one record per keyframe, and
// make_spaces, which applies the records to the path list.
#include "fxscript.h"
#include "fxoutput.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

FxStolidSlots g_fxStolid = {};

namespace {

// ---------------------------------------------------------------- context word

constexpr uint32_t CX_SECTION = 0x0000000F;
constexpr uint32_t CX_BLOCK = 0x000000F0;
constexpr uint32_t CX_SUB = 0x0000FF00;
constexpr uint32_t CX_FIELD = 0x07F00000;
constexpr uint32_t CX_OPEN = 1u << 28;
constexpr uint32_t CX_CLOSE = 1u << 29;
constexpr uint32_t CX_PATH = 1u << 30;
constexpr uint32_t CX_UPPER = 0xFFFF0000;   // field and markers

constexpr uint32_t Blk(int b) { return uint32_t(b) << 4; }
constexpr uint32_t Sub(int s) { return uint32_t(s) << 8; }
constexpr uint32_t Fld(int f) { return uint32_t(f) << 20; }

enum KwKind : uint8_t { K_OPEN, K_CLOSE, K_PATH, K_SECTION, K_BLOCK, K_SUB, K_SPLINE, K_FIELD };

struct Keyword {
    const char *name;
    KwKind kind;
    uint8_t value;
};

const Keyword kKeywords[] = {
    { "{", K_OPEN, 0 }, { "}", K_CLOSE, 0 }, { "Path", K_PATH, 0 },
    { "Keyframe", K_SECTION, 1 }, { "Space", K_SECTION, 1 }, { "Header", K_SECTION, 2 },
    { "Position", K_BLOCK, 1 }, { "Positioned", K_BLOCK, 1 }, { "Positional", K_BLOCK, 1 },
    { "Positioning", K_BLOCK, 1 }, { "Rotation", K_BLOCK, 2 }, { "Rotational", K_BLOCK, 2 },
    { "Rotate", K_BLOCK, 2 }, { "Rotated", K_BLOCK, 2 }, { "Rotating", K_BLOCK, 2 },
    { "Orientation", K_BLOCK, 2 }, { "Orientated", K_BLOCK, 2 }, { "Orientate", K_BLOCK, 2 },
    { "Facing", K_BLOCK, 2 }, { "Shape", K_BLOCK, 3 }, { "Attributes", K_BLOCK, 4 },
    { "Attribute", K_BLOCK, 4 }, { "Border", K_BLOCK, 5 }, { "Shadow", K_BLOCK, 6 },
    { "Filters", K_BLOCK, 7 }, { "Filter", K_BLOCK, 7 }, { "VirtualRes", K_BLOCK, 8 },
    { "renderinfo", K_BLOCK, 9 }, { "thumbnail", K_BLOCK, 10 },
    { "Speed", K_SUB, 1 }, { "Spin", K_SUB, 2 }, { "Spins", K_SUB, 2 }, { "Spun", K_SUB, 2 },
    { "Scale", K_SUB, 3 }, { "Offset", K_SUB, 4 }, { "Centre", K_SUB, 4 }, { "Center", K_SUB, 4 },
    { "Centred", K_SUB, 4 }, { "Centered", K_SUB, 4 }, { "Extend", K_SUB, 5 }, { "Skew", K_SUB, 6 },
    { "Shear", K_SUB, 6 }, { "Twist", K_SUB, 7 }, { "fade", K_SUB, 9 }, { "color", K_SUB, 10 },
    { "colour", K_SUB, 10 }, { "default", K_SUB, 11 }, { "crop", K_SUB, 12 }, { "mosaic", K_SUB, 13 },
    { "blur", K_SUB, 14 }, { "Emboss", K_SUB, 15 }, { "Luma", K_SUB, 16 }, { "luminance", K_SUB, 16 },
    { "Tint", K_SUB, 17 }, { "Monochrome", K_SUB, 18 }, { "Posterize", K_SUB, 19 },
    { "Strobe", K_SUB, 20 }, { "Procamp", K_SUB, 21 }, { "Warp", K_SUB, 22 },
    { "Character", K_SUB, 23 }, { "FaceSheen", K_SUB, 24 },
    { "tension", K_SPLINE, 1 }, { "t", K_SPLINE, 1 }, { "continuity", K_SPLINE, 2 },
    { "cont", K_SPLINE, 2 }, { "c", K_SPLINE, 2 }, { "bias", K_SPLINE, 3 }, { "b", K_SPLINE, 3 },
    { "time", K_FIELD, 5 }, { "frame", K_FIELD, 5 }, { "f", K_FIELD, 5 }, { "x", K_FIELD, 6 },
    { "y", K_FIELD, 7 }, { "z", K_FIELD, 8 }, { "quatw", K_FIELD, 9 }, { "in", K_FIELD, 10 },
    { "out", K_FIELD, 11 }, { "width", K_FIELD, 12 }, { "height", K_FIELD, 13 },
    { "delay", K_FIELD, 14 }, { "red", K_FIELD, 15 }, { "green", K_FIELD, 16 },
    { "blue", K_FIELD, 17 }, { "identifier", K_FIELD, 18 }, { "elevation", K_FIELD, 19 },
    { "asimuth", K_FIELD, 20 }, { "radius", K_FIELD, 21 }, { "radii", K_FIELD, 21 },
    { "brightness", K_FIELD, 22 }, { "contrast", K_FIELD, 23 }, { "amount", K_FIELD, 24 },
    { "value", K_FIELD, 24 }, { "hue", K_FIELD, 25 }, { "saturation", K_FIELD, 26 },
    { "left", K_FIELD, 27 }, { "right", K_FIELD, 28 }, { "top", K_FIELD, 29 },
    { "bottom", K_FIELD, 30 }, { "flags", K_FIELD, 31 }, { "flag", K_FIELD, 31 },
    { "pathflags", K_FIELD, 32 }, { "softness", K_FIELD, 33 }, { "Description", K_FIELD, 34 },
    { "mode", K_FIELD, 35 }, { "markin", K_FIELD, 36 }, { "markout", K_FIELD, 37 },
    { "cliplen", K_FIELD, 38 }, { "qhackw", K_FIELD, 39 }, { "qhackx", K_FIELD, 40 },
    { "qhacky", K_FIELD, 41 }, { "qhackz", K_FIELD, 42 }, { "Monocolor", K_FIELD, 43 },
    { "Monocolour", K_FIELD, 43 }, { "Videogain", K_FIELD, 44 }, { "Videosetup", K_FIELD, 45 },
    { "Chromagain", K_FIELD, 46 },
    { "Param1", K_FIELD, 48 }, { "Param2", K_FIELD, 49 }, { "Param3", K_FIELD, 50 },
    { "Param4", K_FIELD, 51 }, { "Param5", K_FIELD, 52 }, { "Param6", K_FIELD, 53 },
    { "Param7", K_FIELD, 54 }, { "Param8", K_FIELD, 55 }, { "Param9", K_FIELD, 56 },
    { "Param10", K_FIELD, 57 }, { "Param11", K_FIELD, 58 }, { "Param12", K_FIELD, 59 },
    { "Param13", K_FIELD, 60 }, { "Param14", K_FIELD, 61 }, { "Param15", K_FIELD, 62 },
    { "Param16", K_FIELD, 63 }, { "whoami", K_FIELD, 64 }, { "alpha", K_FIELD, 65 },
    { "version", K_FIELD, 66 }, { "file", K_FIELD, 67 }, { "timestamp", K_FIELD, 68 },
    { "groupduration", K_FIELD, 69 }, { "guid_data1", K_FIELD, 70 }, { "guid_data2", K_FIELD, 71 },
    { "guid_data3", K_FIELD, 72 }, { "guid_data4", K_FIELD, 73 }, { "guid_data5", K_FIELD, 74 },
    { "Kerning", K_FIELD, 75 }, { "size", K_FIELD, 76 }, { "angle", K_FIELD, 77 },
};

bool SameWord(const char *a, const char *b)
{
    for (;; ++a, ++b) {
        char x = *a >= 'A' && *a <= 'Z' ? char(*a + 32) : *a;
        char y = *b >= 'A' && *b <= 'Z' ? char(*b + 32) : *b;
        if (x != y)
            return false;
        if (!x)
            return true;
    }
}

const Keyword *FindKeyword(const char *word)
{
    for (const Keyword &k : kKeywords)
        if (SameWord(k.name, word))
            return &k;
    return nullptr;
}

// Applies a keyword to the context word.
void ApplyKeyword(uint32_t &cx, const Keyword &k)
{
    switch (k.kind) {
    case K_OPEN:
        cx |= CX_OPEN;
        break;
    case K_CLOSE:
        cx = 0;
        break;
    case K_PATH:
        if (cx == 0)
            cx = CX_PATH;
        break;
    case K_SECTION:
        cx = k.value;
        break;
    case K_BLOCK:
        cx = (cx & CX_SECTION) | Blk(k.value);
        break;
    case K_SUB:
        cx = (cx & (CX_SECTION | CX_BLOCK)) | Sub(k.value);
        break;
    case K_SPLINE:
        cx = (cx & (CX_SECTION | CX_BLOCK)) | Sub(8) | Fld(k.value);
        break;
    case K_FIELD:
        cx = (cx & (CX_SECTION | CX_BLOCK | CX_SUB)) | Fld(k.value);
        break;
    }
}

// ---------------------------------------------------------------- sources

struct Source {
    int kind;
    std::string file;                       // a file's whole text
    size_t at = 0;
    const unsigned char *text = nullptr;
    FxBufferedFile *bf = nullptr;
    int stack[32];
    int depth = 0;

    int Raw()
    {
        if (depth > 0)
            return stack[--depth];
        if (kind == FXS_FILE)
            return at < file.size() ? (unsigned char)file[at++] : -1;
        if (kind == FXS_MEMORY) {
            if (*text == 0)
                return -1;
            return *text++;
        }
        // Buffered file, read in line; the library refills an empty record.
        if (bf->left != 0) {
            --bf->left;
            return *bf->readPtr++;
        }
        if ((bf->flags & 1) || !g_fxStolid.bfGetc)
            return -1;
        int c = g_fxStolid.bfGetc(bf);
        return c < 0 ? -1 : (c & 0xFF);
    }

    void Unget(int c)
    {
        if (c < 0)
            return;
        if (depth < 32)
            stack[depth++] = c;
    }

    // The next character with comments skipped (the line feed that ends a
    // comment is read normally).
    int Get(bool *comment = nullptr)
    {
        int c = Raw();
        if (c != '/')
            return c;
        int d = Raw();
        if (d != '/') {
            Unget(d);
            return c;
        }
        if (comment)
            *comment = true;
        do
            c = Raw();
        while (c >= 0 && c != '\n');
        return c;
    }
};

// ---------------------------------------------------------------- tokenizer

struct Token {
    enum Kind { End, Value, Open, PathMark } kind;
    double number;
    bool isString;
    std::string text;
    uint32_t context;
};

bool IsLetter(int c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

bool IsDigit(int c)
{
    return c >= '0' && c <= '9';
}

class Tokenizer {
public:
    explicit Tokenizer(Source &s) : src_(s) {}
    uint32_t context = 0;

    Token Next()
    {
        for (;;) {
            int c = src_.Get();
            if (c < 0)
                return Token{ Token::End, 0, false, {}, context };
            if (c >= 128)
                continue;
            if (c == '{' || c == '}') {
                char w[2] = { char(c), 0 };
                if (Token t; Word(w, t))
                    return t;
                continue;
            }
            if (IsLetter(c)) {
                std::string w(1, char(c));
                int d;
                bool cut = false;
                for (;;) {
                    d = src_.Get();
                    if (d < 0)
                        return Token{ Token::End, 0, false, {}, context };
                    if (!IsLetter(d) && !IsDigit(d))
                        break;
                    if (w.size() == FXS_TOKEN_MAX) {
                        // Cut here: the rest continues as a new token.
                        src_.Unget(d);
                        cut = true;
                        break;
                    }
                    w += char(d);
                }
                if (!cut && d < 128)
                    src_.Unget(d);
                if (Token t; Word(w.c_str(), t))
                    return t;
                continue;
            }
            if (c == '"') {
                std::string s;
                for (;;) {
                    bool comment = false;
                    int d = src_.Get(&comment);
                    if (d < 0)
                        return Token{ Token::End, 0, false, {}, context };
                    if (comment) {
                        // A comment ends the string: only what stood before it is kept.
                        src_.Unget(d);
                        break;
                    }
                    if (d == '"' || d >= 128)
                        break;
                    s += char(d);
                    if (s.size() == FXS_TOKEN_MAX)
                        break;
                }
                return Token{ Token::Value, 0, true, s, context };
            }
            if (IsDigit(c) || c == '.' || c == '-' || c == '+') {
                std::string n(1, char(c));
                bool point = c == '.';
                bool digits = IsDigit(c);
                int d;
                for (;;) {
                    d = src_.Get();
                    if (d < 0)
                        return Token{ Token::End, 0, false, {}, context };
                    if (n.size() == FXS_TOKEN_MAX)
                        break;
                    if (IsDigit(d)) {
                        digits = true;
                        n += char(d);
                    } else if (d == '.' && !point) {
                        point = true;
                        n += char(d);
                    } else {
                        break;
                    }
                }
                if (!digits) {
                    // A sign or point not followed by a digit is dropped; the
                    // character after it is read again.
                    if (d < 128)
                        src_.Unget(d);
                    continue;
                }
                if (d < 128)
                    src_.Unget(d);
                return Token{ Token::Value, strtod(n.c_str(), nullptr), false, {}, context };
            }
        }
    }

private:
    // A finished word: keywords change the context word; markers are returned.
    bool Word(const char *w, Token &t)
    {
        const Keyword *k = FindKeyword(w);
        if (!k)
            return false;
        ApplyKeyword(context, *k);
        if (context & CX_OPEN) {
            t = Token{ Token::Open, 0, false, {}, context };
            return true;
        }
        if (context & CX_PATH) {
            t = Token{ Token::PathMark, 0, false, {}, context };
            return true;
        }
        return false;
    }

    Source &src_;
};

// ---------------------------------------------------------------- slots

struct SlotDef {
    uint32_t key;      // field, block and sub-block
    uint32_t accept;   // block and sub-block bits that may differ
    bool text;
};

constexpr uint32_t A_POS = Blk(1);              // block none or Position
constexpr uint32_t A_ROT = Blk(2);              // block none or Rotation
constexpr uint32_t A_ATTR = Blk(4);             // block none or Attributes
constexpr uint32_t A_SHAPE = Blk(3);            // blocks 0-3
constexpr uint32_t A_LOW = Blk(7);              // blocks 0-7
constexpr uint32_t A_ANY = CX_BLOCK;

#define S(f, b, s, a) { Fld(f) | Blk(b) | Sub(s), a, false }
#define T(f, b, s, a) { Fld(f) | Blk(b) | Sub(s), a, true }

const SlotDef kKeySlots[] = {
    S(5, 0, 0, 0), S(14, 0, 0, 0), S(69, 0, 0, 0), T(34, 0, 0, 0),                       // 0-3
    S(6, 0, 0, A_POS), S(7, 0, 0, A_POS), S(8, 0, 0, A_POS),                             // 4-6
    S(1, 0, 8, A_POS), S(2, 0, 8, A_POS), S(3, 0, 8, A_POS),                             // 7-9
    S(10, 0, 1, A_POS), S(11, 0, 1, A_POS),                                              // 10-11
    S(6, 2, 0, 0), S(7, 2, 0, 0), S(8, 2, 0, 0),                                         // 12-14
    S(9, 0, 0, A_ROT),                                                                   // 15
    S(39, 0, 0, A_ROT), S(40, 0, 0, A_ROT), S(41, 0, 0, A_ROT), S(42, 0, 0, A_ROT),      // 16-19
    S(6, 0, 2, A_ROT), S(7, 0, 2, A_ROT), S(8, 0, 2, A_ROT),                             // 20-22
    S(1, 2, 8, 0), S(2, 2, 8, 0), S(3, 2, 8, 0), S(10, 2, 1, 0), S(11, 2, 1, 0),         // 23-27
    S(12, 0, 0, A_SHAPE), S(13, 0, 0, A_SHAPE),                                          // 28-29
    S(6, 0, 3, A_SHAPE), S(7, 0, 3, A_SHAPE), S(8, 0, 3, A_SHAPE),                       // 30-32
    S(6, 0, 4, A_SHAPE), S(7, 0, 4, A_SHAPE), S(8, 0, 4, A_SHAPE),                       // 33-35
    S(6, 0, 5, A_SHAPE), S(7, 0, 5, A_SHAPE), S(8, 0, 5, A_SHAPE),                       // 36-38
    S(6, 0, 6, A_SHAPE), S(7, 0, 6, A_SHAPE), S(8, 0, 6, A_SHAPE),                       // 39-41
    S(6, 0, 7, A_SHAPE), S(7, 0, 7, A_SHAPE), S(8, 0, 7, A_SHAPE),                       // 42-44
    S(1, 3, 8, 0), S(2, 3, 8, 0), S(3, 3, 8, 0), S(10, 3, 1, 0), S(11, 3, 1, 0),         // 45-49
    S(12, 5, 0, 0), S(15, 5, 10, 0), S(16, 5, 10, 0), S(17, 5, 10, 0), S(65, 5, 10, 0),  // 50-54
    S(33, 5, 0, 0), S(35, 5, 0, 0),                                                      // 55-56
    S(0, 0, 9, A_ATTR), S(35, 0, 9, A_ATTR), S(18, 0, 0, 0), S(32, 0, 0, 0),             // 57-60
    S(6, 0, 11, A_POS), S(7, 0, 11, A_POS),                                              // 61-62
    S(19, 0, 15, A_LOW | Sub(15)), S(20, 0, 15, A_LOW | Sub(15)), S(21, 0, 15, A_LOW | Sub(15)),
    S(22, 0, 16, A_LOW | Sub(16)), S(23, 0, 16, A_LOW | Sub(16)),                        // 66-67
    S(24, 0, 17, A_LOW), S(25, 0, 17, A_LOW), S(26, 0, 17, A_LOW),                       // 68-70
    S(12, 0, 13, A_LOW), S(13, 0, 13, A_LOW),                                            // 71-72
    S(27, 0, 12, A_LOW), S(29, 0, 12, A_LOW), S(28, 0, 12, A_LOW), S(30, 0, 12, A_LOW),  // 73-76
    S(35, 0, 12, A_LOW), S(12, 0, 14, A_LOW), S(13, 0, 14, A_LOW),                       // 77-79
    S(27, 6, 0, 0), S(29, 6, 0, 0), S(12, 6, 0, 0), S(13, 6, 0, 0),                      // 80-83
    S(15, 6, 10, 0), S(16, 6, 10, 0), S(17, 6, 10, 0), S(0, 6, 9, 0),                    // 84-87
    S(31, 0, 18, A_LOW), S(43, 0, 18, A_LOW), S(0, 0, 19, A_LOW),                        // 88-90
    S(24, 0, 20, A_LOW), S(31, 0, 20, A_LOW),                                            // 91-92
    S(44, 0, 21, A_LOW), S(45, 0, 21, A_LOW), S(46, 0, 21, A_LOW), S(25, 0, 21, A_LOW),  // 93-96
    S(31, 0, 22, A_LOW), S(35, 0, 22, A_LOW),                                            // 97-98
    S(70, 0, 22, A_LOW), S(71, 0, 22, A_LOW), S(72, 0, 22, A_LOW), S(73, 0, 22, A_LOW),
    S(74, 0, 22, A_LOW),                                                                 // 99-103
    S(48, 0, 22, A_LOW), S(49, 0, 22, A_LOW), S(50, 0, 22, A_LOW), S(51, 0, 22, A_LOW),
    S(52, 0, 22, A_LOW), S(53, 0, 22, A_LOW), S(54, 0, 22, A_LOW), S(55, 0, 22, A_LOW),
    S(56, 0, 22, A_LOW), S(57, 0, 22, A_LOW), S(58, 0, 22, A_LOW), S(59, 0, 22, A_LOW),
    S(60, 0, 22, A_LOW), S(61, 0, 22, A_LOW), S(62, 0, 22, A_LOW), S(63, 0, 22, A_LOW),  // 104-119
    S(75, 0, 23, A_ANY | Sub(0x17)),                                                     // 120
    S(76, 0, 24, A_ANY), S(77, 0, 24, A_ANY),                                            // 121-122
};
static_assert(sizeof kKeySlots / sizeof kKeySlots[0] == 123, "123 keyframe slots");

const SlotDef kHeaderSlots[] = {
    S(66, 0, 0, 0), S(31, 0, 0, 0), S(12, 8, 0, 0), S(13, 8, 0, 0), S(36, 0, 0, 0),
    S(37, 0, 0, 0), S(38, 0, 0, 0), S(64, 0, 0, 0), T(34, 0, 0, 0), T(67, 9, 0, 0),
    S(68, 9, 0, 0), S(5, 10, 0, 0),
};

#undef S
#undef T

constexpr int FILLED_NUMBER = 1, FILLED_TEXT = 1234;

struct Slot {
    double value = 0;
    int filled = 0;
    std::string text;
};

template <size_t N>
struct SlotTable {
    const SlotDef *defs;
    Slot slots[N];
    int count = 0;

    // The first slot whose key matches takes the value; a filled slot
    // keeps its first value.
    bool Offer(const Token &t)
    {
        const uint32_t parts = CX_FIELD | CX_BLOCK | CX_SUB;
        for (size_t i = 0; i < N; ++i) {
            if (((t.context ^ defs[i].key) & parts & ~defs[i].accept) != 0)
                continue;
            Slot &s = slots[i];
            if (s.filled)
                return true;
            if (t.isString) {
                s.filled = FILLED_TEXT;
                s.text = t.text;
            } else {
                s.filled = FILLED_NUMBER;
                s.value = t.number;
            }
            ++count;
            return true;
        }
        return false;
    }

    // Given, and of the kind its slot reads.
    bool Has(int i) const
    {
        return slots[i].filled == (defs[i].text ? FILLED_TEXT : FILLED_NUMBER);
    }
    double V(int i) const { return slots[i].value; }
};

struct Record {
    uint32_t context;
    int pathNumber;
    SlotTable<123> table;
};

// A whole number: truncated toward zero, limited to 32 bits.
int32_t Whole(double v)
{
    if (!(v == v))
        return 0;
    if (v >= 2147483647.0)
        return INT32_MAX;
    if (v <= -2147483648.0)
        return INT32_MIN;
    return int32_t(v);
}

int32_t Clamp32(int64_t v)
{
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : int32_t(v);
}

void CopyText(char *dst, size_t size, const std::string &s)
{
    size_t n = s.size() < size - 1 ? s.size() : size - 1;
    memcpy(dst, s.data(), n);
    dst[n] = 0;
}

// The library's own error box: through the UI toolkit, and nothing at all
// while the toolkit is not bound (a render without a display never waits
// on a box).
void OutOfMemory(const char *where)
{
    ReportOutOfMemory(where);
}

void SetByte(uint32_t &word, int byte, int32_t v)
{
    word = (word & ~(0xFFu << (8 * byte))) | (uint32_t(v) & 0xFF) << (8 * byte);
}

// One record onto its keyframe.
void ApplyRecord(const SlotTable<123> &r, FxPath *path, FxKeyframe *kf, int &shift, bool paste)
{
    // Frames.
    if (r.Has(0))
        kf->startFrame = Whole(r.V(0));
    bool first = kf == path->head;
    if (first)
        shift = kf->startFrame < 1 ? int(Clamp32(1 - int64_t(kf->startFrame))) : 0;
    int64_t start = int64_t(kf->startFrame) + shift;
    if (!first && start <= kf->prev->endFrame)
        start = int64_t(kf->prev->endFrame) + 1;
    kf->startFrame = Clamp32(start);
    kf->startTime = kf->startFrame;
    if (r.Has(1))
        kf->delay = Whole(r.V(1)) < 0 ? 0 : Whole(r.V(1));
    kf->endFrame = Clamp32(int64_t(kf->startFrame) + kf->delay);
    kf->delay = kf->endFrame - kf->startFrame;
    kf->endTime = kf->endFrame;
    if (r.Has(2))
        kf->groupDuration = Whole(r.V(2));
    if (r.Has(3) && !paste)
        CopyText(path->name, sizeof path->name, r.slots[3].text);

    // Position.
    for (int i = 0; i < 3; ++i)
        if (r.Has(4 + i))
            kf->position[i] = r.V(4 + i);
    double *ptcb = &kf->positionTcb.t;
    for (int i = 0; i < 3; ++i)
        if (r.Has(7 + i))
            ptcb[i] = r.V(7 + i);
    if (r.Has(10)) kf->positionSpeed.speedIn = uint16_t(Whole(r.V(10)));
    if (r.Has(11)) kf->positionSpeed.speedOut = uint16_t(Whole(r.V(11)));

    // Rotation: angles in degrees; the quaternion follows them unless all
    // four quaternion values are given.
    for (int i = 0; i < 3; ++i)
        if (r.Has(12 + i))
            kf->rotation[i] = r.V(12 + i) * 0.01745329424738884;
    Quat q = QuatFromEuler(kf->rotation[0], kf->rotation[1], kf->rotation[2]);
    if (r.Has(15) && r.V(15) != 0 && q.w != 0 && (r.V(15) < 0) != (q.w < 0))
        q = Quat{ -q.w, -q.x, -q.y, -q.z };
    if (r.Has(16) && r.Has(17) && r.Has(18) && r.Has(19)) {
        double w = r.V(16), x = r.V(17), y = r.V(18), z = r.V(19);
        double len = sqrt(w * w + x * x + y * y + z * z);
        // A zero or overflowing quaternion names no orientation: keep the angles'.
        if (len > 0 && std::isfinite(len))
            q = Quat{ w / len, x / len, y / len, z / len };
    }
    kf->orientation = q;
    for (int i = 0; i < 3; ++i)
        if (r.Has(20 + i))
            kf->spins[i] = Whole(r.V(20 + i));
    double *rtcb = &kf->rotationTcb.t;
    for (int i = 0; i < 3; ++i)
        if (r.Has(23 + i))
            rtcb[i] = r.V(23 + i);
    if (r.Has(26)) kf->rotationSpeed.speedIn = uint16_t(Whole(r.V(26)));
    if (r.Has(27)) kf->rotationSpeed.speedOut = uint16_t(Whole(r.V(27)));

    // Shape.
    if (!paste) {
        if (r.Has(28)) kf->width = r.V(28);
        if (r.Has(29)) kf->height = r.V(29);
    }
    double *shear[5] = { kf->scale, kf->offset, kf->extend, kf->skew, kf->twist };
    for (int g = 0; g < 5; ++g)
        for (int i = 0; i < 3; ++i)
            if (r.Has(30 + 3 * g + i))
                shear[g][i] = r.V(30 + 3 * g + i);
    double *stcb = &kf->shapeTcb.t;
    for (int i = 0; i < 3; ++i)
        if (r.Has(45 + i))
            stcb[i] = r.V(45 + i);
    if (r.Has(48)) kf->shapeSpeed.speedIn = uint16_t(Whole(r.V(48)));
    if (r.Has(49)) kf->shapeSpeed.speedOut = uint16_t(Whole(r.V(49)));
    UpdateKeyframeCorners(kf);

    // Border, attributes, identity.
    if (r.Has(50)) kf->borderWidth = Whole(r.V(50));
    for (int i = 0; i < 4; ++i)
        if (r.Has(51 + i))
            SetByte(kf->borderColour, i, Whole(r.V(51 + i)));
    if (r.Has(55)) kf->softness = Whole(r.V(55));
    if (r.Has(56)) kf->borderMode = Whole(r.V(56));
    if (r.Has(57)) kf->fade = Whole(r.V(57));
    if (r.Has(58) && (!paste || Whole(r.V(58)) > 1))
        kf->attributeMode = Whole(r.V(58));
    if (r.Has(59) && !paste)
        kf->identifier = Whole(r.V(59));
    if (kf->identifier != 0 && path->imageId == 0)
        path->imageId = kf->identifier;
    if (r.Has(60))
        path->pathFlags |= uint32_t(Whole(r.V(60))) & (paste ? 0x62u : 0x6Fu);
    if (r.Has(61)) kf->defaultX = r.V(61);
    if (r.Has(62)) kf->defaultY = r.V(62);

    // Filters.
    for (int i = 0; i < 3; ++i)
        if (r.Has(63 + i)) kf->emboss[i] = Whole(r.V(63 + i));
    for (int i = 0; i < 2; ++i)
        if (r.Has(66 + i)) kf->luminance[i] = Whole(r.V(66 + i));
    for (int i = 0; i < 3; ++i)
        if (r.Has(68 + i)) kf->tint[i] = Whole(r.V(68 + i));
    for (int i = 0; i < 2; ++i)
        if (r.Has(71 + i)) kf->mosaic[i] = Whole(r.V(71 + i));
    const int cropField[4] = { 0, 2, 1, 3 };   // slots: left, top, right, bottom
    for (int i = 0; i < 4; ++i)
        if (r.Has(73 + i)) kf->crop[cropField[i]] = r.V(73 + i);
    if (r.Has(77)) kf->cropMode = Whole(r.V(77));
    for (int i = 0; i < 2; ++i)
        if (r.Has(78 + i)) kf->blur[i] = Whole(r.V(78 + i));
    for (int i = 0; i < 4; ++i)
        if (r.Has(80 + i)) kf->shadowRect[i] = Whole(r.V(80 + i));
    if (r.Has(84) || r.Has(85) || r.Has(86)) {
        for (int i = 0; i < 3; ++i)
            if (r.Has(84 + i))
                SetByte(kf->shadowColour, i, Whole(r.V(84 + i)));
        kf->shadowColour &= 0x00FFFFFF;
    }
    if (r.Has(87)) kf->shadowFade = Whole(r.V(87));
    if (r.Has(88)) kf->monoFlags = uint32_t(Whole(r.V(88)));
    if (r.Has(89)) kf->monoColour = uint32_t(Whole(r.V(89)));
    if (r.Has(90)) kf->posterize = Whole(r.V(90));
    if (r.Has(91)) kf->strobeValue = Whole(r.V(91));
    if (r.Has(92)) kf->strobeFlags = uint32_t(Whole(r.V(92)));
    for (int i = 0; i < 4; ++i)
        if (r.Has(93 + i)) kf->procamp[i] = r.V(93 + i);
    if (r.Has(97)) kf->warpFlags = uint32_t(Whole(r.V(97)));
    int warp = r.Has(98) ? Whole(r.V(98)) : kf->warpNumber;
    if (r.Has(99) || r.Has(100) || r.Has(101) || r.Has(102) || r.Has(103)) {
        kf->warpId.Data1 = r.Has(99) ? uint32_t(Whole(r.V(99))) : 0;
        kf->warpId.Data2 = r.Has(100) ? uint16_t(Whole(r.V(100))) : 0;
        kf->warpId.Data3 = r.Has(101) ? uint16_t(Whole(r.V(101))) : 0;
        for (int part = 0; part < 2; ++part)
            if (r.Has(102 + part)) {
                uint32_t w = uint32_t(Whole(r.V(102 + part)));
                memcpy(kf->warpId.Data4 + 4 * part, &w, 4);
            }
    }
    // A warp the table does not hold (its module not loaded, or fewer
    // warps offered here) keeps its number and identifier as read, so the
    // text comes back as it was written; the table maps it by identifier
    // once it holds it.
    if (!SetKeyframeFilter(kf, warp, 0) && warp >= 0)
        kf->warpNumber = warp;
    for (int i = 0; i < 16; ++i)
        if (r.Has(104 + i))
            kf->warpParams[i] = r.V(104 + i);
    if (r.Has(120)) kf->kerning = float(Whole(r.V(120)));
    if (r.Has(121)) kf->faceSheen[0] = Whole(r.V(121));
    if (r.Has(122)) kf->faceSheen[1] = Whole(r.V(122));
}

// The file's bytes (a Windows path, as callers name files).
bool ReadWholeFile(const char *name, std::string &out)
{
    HANDLE f = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size;
    bool ok = GetFileSizeEx(f, &size) && size.QuadPart < (1LL << 30);
    if (ok) {
        try {
            out.resize(size_t(size.QuadPart));
        } catch (...) {
            ok = false;
        }
    }
    DWORD got = 0;
    if (ok && !out.empty())
        ok = ReadFile(f, &out[0], DWORD(out.size()), &got, nullptr) && got == out.size();
    CloseHandle(f);
    return ok;
}

} // namespace

// Applies the records in order; 0 after an allocation failure.
static int make_spaces(std::vector<Record *> &records, FxPath *first, uint32_t mode)
{
    bool paste = (mode & FXS_PASTE) != 0;
    FxPath *path = first;
    FxKeyframe *kf = nullptr;
    int keyNumber = 1, shift = 0;
    bool firstRecord = true;
    for (Record *rec : records) {
        if (rec->context & CX_PATH) {
            if (!firstRecord) {
                if (!path->next) {
                    if (mode & FXS_KEEP_PATHS)
                        return 1;
                    FxPath *slot = path;
                    if (!AppendNewPath(&slot)) {
                        OutOfMemory("make_spaces");
                        return 0;
                    }
                }
                path = path->next;
            }
            kf = path->head;
            keyNumber = 1;
        } else if (kf->next != path->head) {
            kf = kf->next;
            keyNumber = kf->index;
        } else {
            FxKeyframe *n = NewKeyframe();
            if (!n) {
                OutOfMemory("make_spaces");
                return 0;
            }
            n->prev = kf;
            n->next = path->head;
            kf->next = n;
            path->head->prev = n;
            n->index = keyNumber;
            AttachPathImage(n, path);
            kf = n;
        }
        firstRecord = false;
        ApplyRecord(rec->table, path, kf, shift, paste);
        ++keyNumber;
    }
    return 1;
}

int parsefx(const void *source, FxPath *first, FxHeader *header, uint32_t mode)
{
    uint32_t kind = mode & 0xFF;
    if (!source || !first || kind > FXS_BUFFERED)
        return 0;
    Source src;
    src.kind = int(kind);
    if (kind == FXS_FILE) {
        if (!ReadWholeFile(static_cast<const char *>(source), src.file))
            return 0;
    } else if (kind == FXS_MEMORY) {
        src.text = static_cast<const unsigned char *>(source);
    } else {
        src.bf = static_cast<FxBufferedFile *>(const_cast<void *>(source));
    }

    bool paste = (mode & FXS_PASTE) != 0;
    SlotTable<12> head;
    head.defs = kHeaderSlots;
    std::vector<Record *> records;
    Record *current = nullptr;
    bool startsPath = true;
    int paths = 0;
    Tokenizer tok(src);
    for (;;) {
        Token t = tok.Next();
        if (t.kind == Token::End)
            break;
        if (t.kind == Token::Open) {
            tok.context &= ~CX_OPEN;
            if (!(tok.context & 1))
                continue;
            Record *r = new (std::nothrow) Record;
            if (r)
                try {
                    records.push_back(r);
                } catch (...) {
                    delete r;
                    r = nullptr;
                }
            if (!r) {
                OutOfMemory("parsefx");
                break;
            }
            r->table.defs = kKeySlots;
            r->context = tok.context;
            if (startsPath) {
                r->context |= CX_PATH;
                ++paths;
                startsPath = false;
            }
            r->pathNumber = paths;
            current = r;
        } else if (t.kind == Token::PathMark) {
            tok.context = 0;
            startsPath = true;
        } else if (!(current && current->table.Offer(t))) {
            head.Offer(t);
        }
    }

    if (header) {
        int32_t *whole[] = { &header->version, &header->flags, &header->virtualWidth, &header->virtualHeight,
                             &header->markIn, &header->markOut, &header->clipLength, &header->whoAmI };
        for (int i = 0; i < 8; ++i)
            if (head.Has(i))
                *whole[i] = Whole(head.V(i));
        if (head.Has(8))
            CopyText(header->description, sizeof header->description, head.slots[8].text);
        if (!paste) {
            if (head.Has(9))
                CopyText(header->renderFile, sizeof header->renderFile, head.slots[9].text);
            if (head.Has(10))
                header->timeStamp = Whole(head.V(10));
            if (head.Has(11))
                header->thumbnailFrame = Whole(head.V(11));
        }
    }

    int result = 0;
    if (!records.empty()) {
        make_spaces(records, first, mode);
        result = 1;
    }
    for (Record *r : records)
        delete r;
    return result;
}
