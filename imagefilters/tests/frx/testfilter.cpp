// A plug-in filter module for the registry tests.  Its enumerators give
// entries only while the variable FERRIX_TESTFILTER is set in the process
// ("on", or "shadow" to add entries that shadow built-in ones), so that the
// modules can stay beside the library for every other test.
#include <windows.h>
#include <string.h>
#include "ferrix.h"

namespace {

const char *mode()
{
    static char value[32];
    DWORD n = GetEnvironmentVariableA("FERRIX_TESTFILTER", value, sizeof(value));
    return n && n < sizeof(value) ? value : nullptr;
}

void common(FormatRecord *r, const char *name, uint16_t id)
{
    r->form = FX_RECORD_FORM;
    strncpy(r->name, name, sizeof(r->name));
    r->formatId = id;
    r->depthMask = 0x82;
    r->instance = GetModuleHandleA(nullptr);
}

void extensions(char *field, const char *list, size_t n)
{
    memset(field, 0, n);
    memcpy(field, list, strlen(list) + 2 <= n ? strlen(list) + 2 : 0);
}

// Reader of id 200: a 3 x 2, 24-bit image whose pixel (x, y) is
// blue x * 10, green y * 10, red 200, rows top-down.
int WINAPI readRow(ConvertSource *s, BYTE *row)
{
    int y = (int)(INT_PTR)s->priv;
    if (s->readerState & 1) y = s->height - 1 - y;
    for (int x = 0; x < s->width; x++) {
        row[x * 3] = (BYTE)(x * 10);
        row[x * 3 + 1] = (BYTE)(y * 10);
        row[x * 3 + 2] = 200;
    }
    s->priv = (void *)(INT_PTR)((INT_PTR)s->priv + 1);
    return 0;
}

int WINAPI beginRows(ConvertSource *s)
{
    s->priv = nullptr;
    return 0;
}

int WINAPI openReader(ConvertSource *s)
{
    s->width = 3;
    s->height = 2;
    s->depth = 24;
    s->rowOrder = 0x600;
    s->bytesPerRow = 12;
    s->readerCaps = FX_CAN_REVERSE;
    s->beginRows = beginRows;
    s->readRow = readRow;
    return 0;
}

// Title reader (mode "title"): a crawl of three 32-bit parts, part p being
// 2 + p pixels wide and 2 high; pixel = 0xFF, part, x, y.  Mode "roll": a
// roll of three parts 2 wide and 2 + p high.
int WINAPI titleRow(ConvertSource *s, BYTE *row)
{
    int y = (int)(INT_PTR)s->priv;
    for (int x = 0; x < s->width; x++) {
        DWORD v = 0xFF000000u | (DWORD)s->part << 16 | (DWORD)x << 8 | (DWORD)y;
        memcpy(row + x * 4, &v, 4);
    }
    s->priv = (void *)(INT_PTR)(y + 1);
    return 0;
}

int WINAPI openTitle(ConvertSource *s)
{
    if (s->part > 2) return FX_E_FORMAT;
    const char *m = mode();
    bool roll = m && strcmp(m, "roll") == 0;
    s->width = (uint16_t)(roll ? 2 : 2 + s->part);
    s->height = (uint16_t)(roll ? 2 + s->part : 2);
    s->depth = 32;
    s->rowOrder = 0x600;
    s->bytesPerRow = s->width * 4u;
    s->titleKind = roll ? 1 : 2;
    s->partCount = 3;
    s->beginRows = beginRows;
    s->readRow = titleRow;
    return 0;
}

// Shadowing entries refuse every source with a code of their own.
int WINAPI openShadow(ConvertSource *) { return FX_E_FORMAT; }
int WINAPI openShadowWriter(ConvertTarget *) { return FX_E_WRITE; }

int g_rows;
int WINAPI writeRow(ConvertTarget *, const BYTE *) { g_rows++; return 0; }
int WINAPI openWriter(ConvertTarget *t)
{
    t->caps = 0x382;
    t->writeRow = writeRow;
    return 0;
}

}  // namespace

extern "C" int WINAPI PlainRead(int index, FormatRecord *r)
{
    const char *m = mode();
    if (m && (strcmp(m, "title") == 0 || strcmp(m, "roll") == 0)) {
        if (index != 0) return -1;
        common(r, "Test title reader", FX_ID_TITLE);
        r->u.read.open = openTitle;
        extensions(r->u.read.extensions, strcmp(m, "roll") == 0 ? "VIC" : "VIS", sizeof(r->u.read.extensions));
        return 0;
    }
    int count = !m ? 0 : strcmp(m, "shadow") == 0 ? 2 : 1;
    if (index < 0 || index >= count) return -1;
    if (index == 0) {
        common(r, "Test reader", 200);
        r->u.read.open = openReader;
        extensions(r->u.read.extensions, "FXT", sizeof(r->u.read.extensions));
    } else {
        common(r, "Test shadow reader", FX_ID_USER);
        r->u.read.open = openShadow;
        extensions(r->u.read.extensions, "BMP", sizeof(r->u.read.extensions));
    }
    return count - 1 - index;
}

extern "C" int WINAPI DecoratedRead(int index, FormatRecord *r)
{
    if (!mode() || index != 0) return -1;
    common(r, "Test decorated reader", 201);
    r->u.read.open = openReader;
    return 0;
}

extern "C" int WINAPI DecoratedWrite(int index, FormatRecord *r)
{
    const char *m = mode();
    int count = !m ? 0 : strcmp(m, "shadow") == 0 ? 2 : 1;
    if (index < 0 || index >= count) return -1;
    if (index == 0) {
        common(r, "Test writer", 200);
        r->u.write.open = openWriter;
        extensions(r->u.write.extensions, "FXT", sizeof(r->u.write.extensions));
    } else {
        common(r, "Test shadow writer", FX_ID_USER);
        r->u.write.open = openShadowWriter;
        r->u.write.subFormat = 1;
        extensions(r->u.write.extensions, "BMP", sizeof(r->u.write.extensions));
    }
    return count - 1 - index;
}

extern "C" int WINAPI PlainWrite(int index, FormatRecord *r)
{
    if (!mode() || index != 0) return -1;
    common(r, "Test undecorated writer", 202);
    return 0;
}

extern "C" int WINAPI WriteOnly(int index, FormatRecord *r)
{
    if (!mode() || index != 0) return -1;
    common(r, "Test write-only writer", 203);
    r->u.write.open = openWriter;
    return 0;
}

extern "C" int WINAPI TestFilterRows(void) { return g_rows; }
extern "C" int WINAPI Nothing(void) { return 0; }
