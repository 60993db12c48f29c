// Caller-rows pseudo-format ("Internal", format id 18): the caller hands
// source rows in, or takes target rows out, through its request callback
// (code 2).
#include "fxcore.h"
#include <string.h>

namespace {

int WINAPI userReadRow(ConvertSource *s, BYTE *row)
{
    if (!s || !row) return FX_E_READ;
    if (s->callback)
        s->callback(s, 2, (LONG_PTR)row);
    else
        memset(row, 0, s->bytesPerRow);   // no caller: a defined (black) row
    return 0;
}

int WINAPI userReaderOpen(ConvertSource *s)
{
    if (!s) return FX_E_NOSOURCE;
    s->bytesPerRow = fxRowBytes(s->width, s->depth);
    s->priv = nullptr;
    s->readImage = nullptr;
    s->prepare = nullptr;
    s->close = nullptr;
    s->getPalette = nullptr;
    s->readRow = userReadRow;
    return 0;
}

int WINAPI userWriteRow(ConvertTarget *t, const BYTE *row)
{
    if (t && t->callback) t->callback(t, 2, (LONG_PTR)row);
    return 0;
}

int WINAPI userWriterOpen(ConvertTarget *t)
{
    if (!t) return FX_E_NOOUTPUT;
    uint32_t depth = t->depth;
    t->caps = t->rowOrder | (depth == 24 ? 0x82u : ((depth | 0x80u) & 0xFFu));
    t->priv = nullptr;
    t->paletteCount = 0;
    t->formatId = FX_ID_USER;
    t->bytesPerRow = fxRowBytes(t->width, depth);
    t->writeRow = userWriteRow;
    return 0;
}

}  // namespace

extern "C" int WINAPI USEREnumReadFormats(int index, FormatRecord *record)
{
    if (index != 0 || !record) return -1;
    fxFillRecord(record, "Internal", FX_ID_USER, 143);
    record->u.read.probe = 0;
    record->u.read.open = userReaderOpen;
    record->u.read.options = 1;
    fxSetExtensions(record->u.read.extensions, sizeof(record->u.read.extensions), "USR\0");
    return 0;
}

extern "C" int WINAPI USEREnumWriteFormats(int index, FormatRecord *record)
{
    if (index != 0 || !record) return -1;
    fxFillRecord(record, "Internal", FX_ID_USER, 143);
    record->u.write.open = userWriterOpen;
    record->u.write.options = 1;
    record->u.write.subFormat = 0;
    fxSetExtensions(record->u.write.extensions, sizeof(record->u.write.extensions), "USR\0");
    return 0;
}
