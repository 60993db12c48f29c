/* The scanner behind regScanf: reads fields out of a stored text with the
 * conventions of the standard library's scanf (d u o x X D O e f s c [set]
 * %%, field widths, h and l). */
#include "internal.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace {

const char kDigits[] = "ABCDEFabcdef9876543210";

/* The digits valid in a base: tails of one digit string. */
const char *DigitSet(int base)
{
    size_t len = std::strlen(kDigits);
    return kDigits + (base == 16 ? 0 : base == 10 ? len - 10 : len - 8);
}

int DigitValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return c - 'A' + 10;
}

void SkipSpace(const char *&p)
{
    while (*p && std::isspace(static_cast<unsigned char>(*p))) ++p;
}

/* Reads a whole number of at most width characters; false when no digit. */
bool ReadInteger(const char *&p, int width, int base, unsigned long long *magnitude, bool *negative)
{
    const char *set = DigitSet(base);
    *negative = false;
    int used = 0;
    if (used < width && (*p == '+' || *p == '-')) {
        *negative = *p == '-';
        ++p;
        ++used;
    }
    if (base == 16 && used + 1 < width && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && p[2] &&
        std::strchr(set, p[2])) {
        p += 2;
        used += 2;
    }
    unsigned long long v = 0;
    int digits = 0;
    while (used < width && *p && std::strchr(set, *p)) {
        v = v * base + DigitValue(*p);
        ++p;
        ++used;
        ++digits;
    }
    *magnitude = v;
    return digits > 0;
}

bool ReadFloat(const char *&p, int width, double *value)
{
    char buf[128];
    int n = 0;
    auto take = [&](bool ok) {
        if (ok && n < width && n < 127) {
            buf[n++] = *p++;
            return true;
        }
        return false;
    };
    take(*p == '+' || *p == '-');
    int mantissa = 0;
    while (take(std::isdigit(static_cast<unsigned char>(*p)) != 0)) ++mantissa;
    if (take(*p == '.'))
        while (take(std::isdigit(static_cast<unsigned char>(*p)) != 0)) ++mantissa;
    if (!mantissa) return false;
    if (n < width && (*p == 'e' || *p == 'E')) {
        const char *mark = p;
        int keep = n;
        take(true);
        take(*p == '+' || *p == '-');
        int exp = 0;
        while (take(std::isdigit(static_cast<unsigned char>(*p)) != 0)) ++exp;
        if (!exp) {
            p = mark;
            n = keep;
        }
    }
    buf[n] = 0;
    *value = std::strtod(buf, nullptr);
    return true;
}

}  // namespace

int TundrixScan(const char *text, const char *format, void *const *ptrs, int count)
{
    const char *p = text;
    int assigned = 0, used = 0;
    auto next = [&]() -> void * { return used < count ? ptrs[used++] : nullptr; };
    for (const char *f = format; *f; ++f) {
        if (std::isspace(static_cast<unsigned char>(*f))) {
            SkipSpace(p);
            continue;
        }
        if (*f != '%') {
            if (*p != *f) break;
            ++p;
            continue;
        }
        ++f;
        if (*f == '%') {
            SkipSpace(p);
            if (*p != '%') break;
            ++p;
            continue;
        }
        int width = 0;
        while (std::isdigit(static_cast<unsigned char>(*f))) width = width * 10 + (*f++ - '0');
        bool given_width = width > 0;
        if (!given_width) width = 127;
        char size = 0;
        if (*f == 'h' || *f == 'l') size = *f++;
        char conv = *f;
        if (!conv) break;
        if (conv == 'D' || conv == 'O') size = 'l';

        if (conv == 'c') {
            int n = given_width ? width : 1;
            char *out = static_cast<char *>(next());
            if (static_cast<int>(std::strlen(p)) < n) break;
            std::memcpy(out, p, n);
            p += n;
            ++assigned;
            continue;
        }
        if (conv == '[') {
            ++f;
            bool negate = *f == '^';
            if (negate) ++f;
            const char *set_start = f;
            if (*f == ']') ++f;
            while (*f && *f != ']') ++f;
            if (!*f) break;
            std::string set(set_start, f);
            auto in_set = [&](char c) {
                for (size_t i = 0; i < set.size(); ++i) {
                    if (i + 2 < set.size() && set[i + 1] == '-') {
                        if (static_cast<unsigned char>(c) >= static_cast<unsigned char>(set[i]) &&
                            static_cast<unsigned char>(c) <= static_cast<unsigned char>(set[i + 2]))
                            return true;
                        i += 2;
                    } else if (set[i] == c) {
                        return true;
                    }
                }
                return false;
            };
            char *out = static_cast<char *>(next());
            int n = 0;
            while (n < width && *p && in_set(*p) != negate) out[n++] = *p++;
            if (!n) break;
            out[n] = 0;
            ++assigned;
            continue;
        }
        SkipSpace(p);
        if (!*p) break;
        if (conv == 's') {
            char *out = static_cast<char *>(next());
            int n = 0;
            while (n < width && *p && !std::isspace(static_cast<unsigned char>(*p))) out[n++] = *p++;
            out[n] = 0;
            ++assigned;
            continue;
        }
        if (conv == 'e' || conv == 'f' || conv == 'E' || conv == 'g') {
            double v;
            if (!ReadFloat(p, width, &v)) break;
            if (size == 'l') *static_cast<double *>(next()) = v;
            else *static_cast<float *>(next()) = static_cast<float>(v);
            ++assigned;
            continue;
        }
        int base;
        switch (conv) {
        case 'd': case 'D': case 'u': base = 10; break;
        case 'o': case 'O': base = 8; break;
        case 'x': case 'X': base = 16; break;
        default: return assigned;
        }
        unsigned long long mag;
        bool negative;
        if (!ReadInteger(p, width, base, &mag, &negative)) break;
        long long v = negative ? -static_cast<long long>(mag) : static_cast<long long>(mag);
        if (size == 'h') *static_cast<short *>(next()) = static_cast<short>(v);
        else if (size == 'l') *static_cast<long *>(next()) = static_cast<long>(v);
        else *static_cast<int *>(next()) = static_cast<int>(v);
        ++assigned;
    }
    return assigned;
}
