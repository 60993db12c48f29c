#include "dshowbase/mediatype.h"
#include <cstring>

namespace dsb {

HRESULT CopyMediaType(AM_MEDIA_TYPE* dst, const AM_MEDIA_TYPE* src) {
    if (!dst || !src) return E_POINTER;
    *dst = *src;
    if (src->cbFormat && src->pbFormat) {
        dst->pbFormat = (BYTE*)CoTaskMemAlloc(src->cbFormat);
        if (!dst->pbFormat) {
            dst->cbFormat = 0;
            dst->pUnk = nullptr;
            return E_OUTOFMEMORY;
        }
        memcpy(dst->pbFormat, src->pbFormat, src->cbFormat);
    } else {
        dst->pbFormat = nullptr;
        dst->cbFormat = 0;
    }
    if (dst->pUnk) dst->pUnk->AddRef();
    return S_OK;
}

void FreeMediaType(AM_MEDIA_TYPE* mt) {
    if (!mt) return;
    CoTaskMemFree(mt->pbFormat);
    mt->pbFormat = nullptr;
    mt->cbFormat = 0;
    if (mt->pUnk) {
        mt->pUnk->Release();
        mt->pUnk = nullptr;
    }
}

AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* src) {
    if (!src) return nullptr;
    AM_MEDIA_TYPE* mt = (AM_MEDIA_TYPE*)CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE));
    if (!mt) return nullptr;
    if (FAILED(CopyMediaType(mt, src))) {
        CoTaskMemFree(mt);
        return nullptr;
    }
    return mt;
}

void DeleteMediaType(AM_MEDIA_TYPE* mt) {
    if (!mt) return;
    FreeMediaType(mt);
    CoTaskMemFree(mt);
}

bool MediaTypesEqual(const AM_MEDIA_TYPE* a, const AM_MEDIA_TYPE* b) {
    if (!a || !b) return a == b;
    if (!IsEqualGUID(a->majortype, b->majortype) || !IsEqualGUID(a->subtype, b->subtype) ||
        !IsEqualGUID(a->formattype, b->formattype) || a->cbFormat != b->cbFormat)
        return false;
    if (a->cbFormat == 0) return true;
    if (!a->pbFormat || !b->pbFormat) return a->pbFormat == b->pbFormat;
    return memcmp(a->pbFormat, b->pbFormat, a->cbFormat) == 0;
}

bool MediaTypeMatches(const AM_MEDIA_TYPE* full, const AM_MEDIA_TYPE* partial) {
    if (!partial) return true;
    if (!full) return false;
    if (!IsEqualGUID(partial->majortype, GUID_NULL) && !IsEqualGUID(partial->majortype, full->majortype))
        return false;
    if (!IsEqualGUID(partial->subtype, GUID_NULL) && !IsEqualGUID(partial->subtype, full->subtype)) return false;
    if (!IsEqualGUID(partial->formattype, GUID_NULL)) {
        if (!IsEqualGUID(partial->formattype, full->formattype)) return false;
        if (partial->cbFormat &&
            (partial->cbFormat != full->cbFormat || !partial->pbFormat || !full->pbFormat ||
             memcmp(partial->pbFormat, full->pbFormat, full->cbFormat) != 0))
            return false;
    }
    return true;
}

bool MediaTypeIsPartial(const AM_MEDIA_TYPE* mt) {
    return !mt || IsEqualGUID(mt->majortype, GUID_NULL) || IsEqualGUID(mt->subtype, GUID_NULL) ||
           IsEqualGUID(mt->formattype, GUID_NULL);
}

MediaType::MediaType() { memset(static_cast<AM_MEDIA_TYPE*>(this), 0, sizeof(AM_MEDIA_TYPE)); }

MediaType::~MediaType() { FreeMediaType(this); }

HRESULT MediaType::Set(const AM_MEDIA_TYPE* src) {
    if (src == this) return S_OK;
    Clear();
    if (!src) return S_OK;
    return CopyMediaType(this, src);
}

void MediaType::Clear() {
    FreeMediaType(this);
    memset(static_cast<AM_MEDIA_TYPE*>(this), 0, sizeof(AM_MEDIA_TYPE));
}

BYTE* MediaType::AllocFormat(ULONG size) {
    CoTaskMemFree(pbFormat);
    pbFormat = (BYTE*)CoTaskMemAlloc(size ? size : 1);
    cbFormat = pbFormat ? size : 0;
    if (pbFormat) memset(pbFormat, 0, size);
    return pbFormat;
}

}  // namespace dsb
