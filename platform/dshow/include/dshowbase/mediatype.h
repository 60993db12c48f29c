// AM_MEDIA_TYPE helpers.  Format blocks are CoTaskMemAlloc memory and pUnk is
// a counted reference, as every DirectShow caller expects.
#pragma once
#include <windows.h>
#include <strmif.h>
#include <vfwmsgs.h>

namespace dsb {

// Deep copy: a new format block and a new pUnk reference.  On E_OUTOFMEMORY
// *dst holds no format block.
HRESULT CopyMediaType(AM_MEDIA_TYPE* dst, const AM_MEDIA_TYPE* src);
// Frees the format block and pUnk; the structure itself stays (zeroed format).
void FreeMediaType(AM_MEDIA_TYPE* mt);
// A CoTaskMemAlloc'd deep copy (null on failure or null |src|).
AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* src);
// Frees a CoTaskMemAlloc'd media type and its contents; null is ignored.
void DeleteMediaType(AM_MEDIA_TYPE* mt);
// Major type, subtype, format type and the whole format block are equal.
bool MediaTypesEqual(const AM_MEDIA_TYPE* a, const AM_MEDIA_TYPE* b);
// |full| matches |partial| where GUID_NULL in partial's major type, subtype or
// format type is a wildcard (a null |partial| matches everything).
bool MediaTypeMatches(const AM_MEDIA_TYPE* full, const AM_MEDIA_TYPE* partial);
// A partial type has GUID_NULL in its major type, subtype or format type.
bool MediaTypeIsPartial(const AM_MEDIA_TYPE* mt);

// Owning AM_MEDIA_TYPE: starts zeroed, frees its contents on destruction.
class MediaType : public AM_MEDIA_TYPE {
public:
    MediaType();
    ~MediaType();
    MediaType(const MediaType&) = delete;
    MediaType& operator=(const MediaType&) = delete;
    HRESULT Set(const AM_MEDIA_TYPE* src);  // deep copy; null clears
    void Clear();
    // Allocates a zeroed format block of |size| bytes (replacing any old one).
    BYTE* AllocFormat(ULONG size);
    bool Empty() const { return majortype == GUID_NULL && cbFormat == 0; }
};

}  // namespace dsb
