// Extra filters: record filling and the readers that adapt outside
// libraries (JPEG32, Quib, PCDLIB32).  Each outside library is looked up by
// name when a file is opened; without it the open fails with the reader's
// failure code.
#include "extra.h"

namespace ferrix {

namespace {
void FillOld(FormatRecord* r, const char* letters, const char* name, uint16_t id, uint16_t depthMask)
{
    std::memset(r, 0, sizeof *r);
    std::memcpy(&r->form, letters, lstrlenA(letters) < 4 ? size_t(lstrlenA(letters)) : 4);
    lstrcpynA(r->name, name, sizeof r->name);
    r->formatId = id;
    r->depthMask = depthMask;
    r->instance = reinterpret_cast<HINSTANCE>(1);
}
}  // namespace

void FillOldRead(FormatRecord* r, const char* letters, const char* name, uint16_t id, uint16_t depthMask,
                 uint32_t probe, FxReaderOpen open)
{
    FillOld(r, letters, name, id, depthMask);
    r->u.read.probe = probe;
    r->u.read.open = open;
    r->u.read.options = 3;
}

void FillOldWrite(FormatRecord* r, const char* letters, const char* name, uint16_t id, uint16_t depthMask,
                  FxWriterOpen open)
{
    FillOld(r, letters, name, id, depthMask);
    r->u.write.open = open;
    r->u.write.options = 3;
    r->u.write.subFormat = 0;
}

namespace {

// The outside library, when present; the caller frees it.
HMODULE Outside(const char* name) { return LoadLibraryA(name); }

int WINAPI JpegOpen(ConvertSource* s)
{
    HMODULE m = Outside("JPEG32.dll");
    if (!m) return FX_E_READ;
    FreeLibrary(m);
    return FX_E_UNSUPPORTED;  // decoding through JPEG32 is not wired up yet
}

int WINAPI VexaOpen(ConvertSource* s)
{
    HMODULE m = Outside("quib.dll");
    if (!m) return FX_E_READ;
    bool complete = GetProcAddress(m, "_quibOpen@12") && GetProcAddress(m, "_quibReadLayer@20") &&
                    GetProcAddress(m, "_quibClose@4");
    FreeLibrary(m);
    return complete ? FX_E_UNSUPPORTED : FX_E_READ;
}

int WINAPI PcdOpen(ConvertSource* s)
{
    HMODULE m = Outside("PCDLIB32.dll");
    if (!m) return FX_E_OPEN;
    FreeLibrary(m);
    return FX_E_UNSUPPORTED;
}

}  // namespace
}  // namespace ferrix

using namespace ferrix;

extern "C" int WINAPI JPEGEnumReadFormats(int index, FormatRecord* r)
{
    if (index != 0 || !r) return -1;
    FillOldRead(r, "JPG", "Joint Photographics Expert Group", 5, 0x82, 1, JpegOpen);
    return 0;
}

extern "C" int WINAPI VEXAEnumReadFormats(int index, FormatRecord* r)
{
    if (index != 0 || !r) return -1;
    FillOldRead(r, "VEXA", "Tarvo Works", 16, 0x8F, 1, VexaOpen);
    return 0;
}

extern "C" int WINAPI PCDEnumReadFormats(int index, FormatRecord* r)
{
    if (index != 0 || !r) return -1;
    FillOldRead(r, "PCD", "Kodak Photo CD", 8, 0x8A, 0, PcdOpen);
    return 0;
}

extern "C" int WINAPI PCDEnumWriteFormats(int, FormatRecord*) { return -1; }
