#include "propstr.h"

#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace propstr {

namespace {

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

/* Hexadecimal number up to the first non-digit; wraps at 32 bits like the
 * C library's unsigned conversion would on a 32-bit system. */
uint32_t ReadHex(const char *&p)
{
    uint32_t v = 0;
    int d;
    while ((d = HexDigit(*p)) >= 0) {
        v = (v << 4) | static_cast<uint32_t>(d);
        ++p;
    }
    return v;
}

/* Moves p just behind the next backquote (or to the end). */
void SkipPastSeparator(const char *&p)
{
    while (*p && *p != kSep) ++p;
    if (*p == kSep) ++p;
}

unsigned HexDigits(uint32_t v)
{
    unsigned n = 1;
    while (v >>= 4) ++n;
    return n;
}

} // namespace

bool HasSeparator(const char *text)
{
    return text && std::strchr(text, kSep) != nullptr;
}

bool ReadPair(const char *&p, Reader reader, Pair &pair)
{
    pair = Pair();
    if (!p || !*p) return false;
    uint32_t code = ReadHex(p) & 0xFFFF;
    if (reader == Reader::Positioner) {
        /* The positioner steps over exactly one character behind the code. */
        if (*p) ++p;
    } else {
        SkipPastSeparator(p);
    }
    if (!*p) return false;

    bool string = reader == Reader::Positioner ? (code & kString) != 0 : IsStringCode(code);
    pair.is_string = string;
    if (string) {
        const char *start = p;
        bool dbcs = (code & kDbcsOrIcon) != 0;
        while (*p && *p != kSep) {
            if (dbcs && IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1]) p += 2;
            else ++p;
        }
        size_t n = static_cast<size_t>(p - start);
        if (n) {
            pair.text = static_cast<char *>(std::malloc(n + 1));
            if (pair.text) {
                std::memcpy(pair.text, start, n);
                pair.text[n] = 0;
            }
        }
        if (*p == kSep) ++p;
        if (reader == Reader::Button) code |= kOwnTake;
    } else {
        pair.number = ReadHex(p);
        SkipPastSeparator(p);
        if (reader == Reader::Button) code &= ~(kString | kGlobal | kGdi);
    }
    pair.code = code;
    return true;
}

void FreePair(Pair &pair)
{
    std::free(pair.text);
    pair.text = nullptr;
}

size_t PairLength(uint32_t code, uint32_t number, const char *text)
{
    code &= 0xFFFF;
    if (IsStringCode(code)) return HexDigits(code) + (text ? std::strlen(text) : 0) + 2;
    return HexDigits(code) + HexDigits(number) + 2;
}

size_t AppendPair(char *out, size_t space, uint32_t code, uint32_t number, const char *text)
{
    code &= 0xFFFF;
    size_t len = PairLength(code, number, text);
    if (!out || len >= space) return 0;
    int written;
    if (IsStringCode(code))
        written = std::snprintf(out, space, "%lX%c%s%c", static_cast<unsigned long>(code), kSep,
                                text ? text : "", kSep);
    else
        written = std::snprintf(out, space, "%lX%c%lX%c", static_cast<unsigned long>(code), kSep,
                                static_cast<unsigned long>(number), kSep);
    return written > 0 ? static_cast<size_t>(written) : 0;
}

void Finish(char *text, size_t length)
{
    if (!text) return;
    if (length && text[length - 1] == kSep) text[length - 1] = 0;
    else text[length] = 0;
}

char *Duplicate(const char *text)
{
    if (!text) return nullptr;
    size_t n = std::strlen(text);
    char *copy = static_cast<char *>(std::malloc(n + 1));
    if (copy) std::memcpy(copy, text, n + 1);
    return copy;
}

} // namespace propstr
