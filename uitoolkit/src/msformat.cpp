/* Formatting and scanning with the arguments of the toolkit's variable
 * argument exports, which follow the Windows calling convention: every
 * argument sits in its own 8-byte slot of the caller's list. */
#include "internal.h"

#include <cstdio>
#include <cstring>
#include <vector>

std::string TundrixFormat(const char *format, TundrixArgs args)
{
    std::string out;
    std::vector<char> piece(512);
    for (const char *p = format; *p;) {
        if (*p != '%') {
            out += *p++;
            continue;
        }
        if (p[1] == '%') {
            out += '%';
            p += 2;
            continue;
        }
        /* One conversion: flags, width, precision, size, type. */
        std::string spec = "%";
        const char *q = p + 1;
        while (*q && std::strchr("-+ #0", *q)) spec += *q++;
        int stars[2] = {0, 0}, nstars = 0;
        auto number = [&]() {
            if (*q == '*') {
                stars[nstars++] = __builtin_va_arg(args, int);
                spec += '*';
                ++q;
            } else {
                while (*q >= '0' && *q <= '9') spec += *q++;
            }
        };
        number();
        if (*q == '.') {
            spec += *q++;
            number();
        }
        int longs = 0;
        bool half = false;
        for (;;) {
            if (*q == 'l') { ++longs; ++q; }
            else if (*q == 'h') { half = true; ++q; }
            else if (*q == 'I' && q[1] == '6' && q[2] == '4') { longs = 2; q += 3; }
            else if (*q == 'z' || *q == 'j' || *q == 't') { longs = 2; ++q; }
            else break;
        }
        char type = *q;
        if (!type) break;
        ++q;
        int n = 0;
        auto put = [&](auto value) {
            /* Wide fields get a buffer of their own size. */
            for (int round = 0; round < 2; ++round) {
                if (nstars == 2) n = std::snprintf(piece.data(), piece.size(), spec.c_str(), stars[0], stars[1], value);
                else if (nstars == 1) n = std::snprintf(piece.data(), piece.size(), spec.c_str(), stars[0], value);
                else n = std::snprintf(piece.data(), piece.size(), spec.c_str(), value);
                if (n < static_cast<int>(piece.size())) break;
                piece.resize(n + 1);
            }
        };
        switch (type) {
        case 'd': case 'i': case 'u': case 'x': case 'X': case 'o': case 'c':
            if (longs) {
                spec += "ll";
                spec += type;
                put(__builtin_va_arg(args, long long));
            } else {
                if (half) spec += 'h';
                spec += type;
                put(__builtin_va_arg(args, int));
            }
            break;
        case 'e': case 'E': case 'f': case 'F': case 'g': case 'G': case 'a': case 'A':
            spec += type;
            put(__builtin_va_arg(args, double));
            break;
        case 's': {
            spec += type;
            const char *s = __builtin_va_arg(args, const char *);
            if (!s) s = "(null)";
            /* Long texts go through whole, not through the piece buffer. */
            if (spec == "%s") {
                out += s;
                p = q;
                continue;
            }
            put(s);
            break;
        }
        case 'p':
            spec += type;
            put(__builtin_va_arg(args, void *));
            break;
        default:
            /* An unknown conversion is copied as text and takes no argument. */
            out.append(p, q);
            p = q;
            continue;
        }
        if (n > 0) out.append(piece.data(), n < static_cast<int>(piece.size()) ? n : piece.size() - 1);
        p = q;
    }
    return out;
}

int TundrixScanArgs(const char *text, const char *format, TundrixArgs args)
{
    /* Every conversion but %% stores through one pointer. */
    void *ptrs[64];
    int count = 0;
    for (const char *p = format; *p && count < 64; ++p) {
        if (*p != '%') continue;
        if (p[1] == '%') {
            ++p;
            continue;
        }
        ptrs[count++] = __builtin_va_arg(args, void *);
    }
    return TundrixScan(text, format, ptrs, count);
}
