// The base layer's own memory allocator: properties, commit and decommit,
// waiting for a buffer, the sample's properties, and the pool's lifetime.
#include <catch2/catch.hpp>
#include "dshowbase/dshowbase.h"

#include <vfwmsgs.h>
#include <uuids.h>

namespace {

struct ComInit {
    ComInit() { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
    ~ComInit() { CoUninitialize(); }
};

IMemAllocator* Made(LONG count, LONG size, LONG align = 16, LONG prefix = 0) {
    IMemAllocator* a = dsb::CreateMemAllocator();
    REQUIRE(a);
    ALLOCATOR_PROPERTIES want = {count, size, align, prefix}, got = {};
    REQUIRE(a->SetProperties(&want, &got) == S_OK);
    CHECK((got.cBuffers == count && got.cbBuffer == size && got.cbAlign == align && got.cbPrefix == prefix));
    return a;
}

struct Waiter {
    IMemAllocator* alloc;
    HRESULT hr = E_PENDING;
    IMediaSample* sample = nullptr;
    HANDLE thread = nullptr;
    static DWORD WINAPI Run(void* p) {
        auto* w = static_cast<Waiter*>(p);
        w->hr = w->alloc->GetBuffer(&w->sample, nullptr, nullptr, 0);
        return 0;
    }
    explicit Waiter(IMemAllocator* a) : alloc(a) { thread = CreateThread(nullptr, 0, Run, this, 0, nullptr); }
    // True when the thread has finished within the bound (it is blocked otherwise).
    bool Done(DWORD ms) { return WaitForSingleObject(thread, ms) == WAIT_OBJECT_0; }
    ~Waiter() {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        if (sample) sample->Release();
    }
};

}  // namespace

TEST_CASE("allocator properties: refused alignments, sizes not set, changes while committed or in use") {
    ComInit com;
    IMemAllocator* a = dsb::CreateMemAllocator();
    REQUIRE(a);
    ALLOCATOR_PROPERTIES got = {};
    const struct { LONG align; HRESULT hr; } aligns[] = {{0, VFW_E_BADALIGN}, {3, VFW_E_BADALIGN}, {12, VFW_E_BADALIGN},
                                                          {1, S_OK}, {64, S_OK}};
    for (const auto& c : aligns) {
        INFO("align " << c.align);
        ALLOCATOR_PROPERTIES want = {2, 100, c.align, 0};
        CHECK(a->SetProperties(&want, &got) == c.hr);
    }
    ALLOCATOR_PROPERTIES none = {0, 0, 1, 0};
    REQUIRE(a->SetProperties(&none, &got) == S_OK);
    CHECK(a->Commit() == VFW_E_SIZENOTSET);

    ALLOCATOR_PROPERTIES want = {2, 1000, 32, 8};
    REQUIRE(a->SetProperties(&want, &got) == S_OK);
    REQUIRE(a->Commit() == S_OK);
    CHECK(a->SetProperties(&want, &got) == VFW_E_ALREADY_COMMITTED);
    IMediaSample* s = nullptr;
    REQUIRE(a->GetBuffer(&s, nullptr, nullptr, 0) == S_OK);
    BYTE* p = nullptr;
    REQUIRE(s->GetPointer(&p) == S_OK);
    CHECK(reinterpret_cast<uintptr_t>(p) % 32 == 0);
    CHECK(s->GetSize() == 1000);
    p[0] = 1;
    p[999] = 2;  // the whole buffer is ours to write
    REQUIRE(a->Decommit() == S_OK);
    CHECK(a->SetProperties(&want, &got) == VFW_E_BUFFERS_OUTSTANDING);
    s->Release();
    CHECK(a->SetProperties(&want, &got) == S_OK);
    CHECK(a->Release() == 0);
}

TEST_CASE("GetBuffer waits for a sample to come back; decommit wakes the waiter with an error") {
    ComInit com;
    IMemAllocator* a = Made(2, 64);
    IMediaSample* s[2] = {};
    CHECK(a->GetBuffer(&s[0], nullptr, nullptr, 0) == VFW_E_NOT_COMMITTED);
    REQUIRE(a->Commit() == S_OK);
    REQUIRE(a->GetBuffer(&s[0], nullptr, nullptr, 0) == S_OK);
    REQUIRE(a->GetBuffer(&s[1], nullptr, nullptr, 0) == S_OK);
    CHECK(s[0] != s[1]);
    IMediaSample* none = nullptr;
    CHECK(a->GetBuffer(&none, nullptr, nullptr, AM_GBF_NOWAIT) == VFW_E_TIMEOUT);
    CHECK(none == nullptr);

    SECTION("a released sample goes to the waiting thread") {
        Waiter w(a);
        CHECK_FALSE(w.Done(50));  // blocked: both samples are out
        IMediaSample* back = s[1];
        back->AddRef();
        CHECK(back->Release() == 1);  // still held once: not given back
        CHECK_FALSE(w.Done(50));
        s[1]->Release();
        s[1] = nullptr;
        REQUIRE(w.Done(10000));
        CHECK(w.hr == S_OK);
        CHECK(w.sample == back);
    }
    SECTION("decommit while a thread waits") {
        Waiter w(a);
        CHECK_FALSE(w.Done(50));
        REQUIRE(a->Decommit() == S_OK);
        REQUIRE(w.Done(10000));
        CHECK(w.hr == VFW_E_NOT_COMMITTED);
        CHECK(w.sample == nullptr);
    }
    for (IMediaSample* x : s)
        if (x) x->Release();
    a->Decommit();
    CHECK(a->Release() == 0);
}

TEST_CASE("samples: times, flags, lengths and media types; all cleared when the sample comes back") {
    ComInit com;
    IMemAllocator* a = Made(1, 256);
    REQUIRE(a->Commit() == S_OK);
    IMediaSample* s = nullptr;
    REQUIRE(a->GetBuffer(&s, nullptr, nullptr, 0) == S_OK);
    REFERENCE_TIME t0 = 0, t1 = 0;
    CHECK(s->GetTime(&t0, &t1) == VFW_E_SAMPLE_TIME_NOT_SET);
    REFERENCE_TIME a0 = 400000, a1 = 800000;
    REQUIRE(s->SetTime(&a0, &a1) == S_OK);
    CHECK(s->GetTime(&t0, &t1) == S_OK);
    CHECK((t0 == a0 && t1 == a1));
    REQUIRE(s->SetTime(&a0, nullptr) == S_OK);
    CHECK(s->GetTime(&t0, &t1) == VFW_S_NO_STOP_TIME);
    CHECK(t1 == a0 + 1);
    LONGLONG m0 = 0, m1 = 0;
    CHECK(s->GetMediaTime(&m0, &m1) == VFW_E_MEDIA_TIME_NOT_SET);
    LONGLONG b0 = 7, b1 = 8;
    REQUIRE(s->SetMediaTime(&b0, &b1) == S_OK);
    CHECK(s->GetMediaTime(&m0, &m1) == S_OK);
    CHECK((m0 == 7 && m1 == 8));

    CHECK(s->GetActualDataLength() == 256);
    CHECK(s->SetActualDataLength(257) == VFW_E_BUFFER_OVERFLOW);
    CHECK(s->SetActualDataLength(-1) == VFW_E_BUFFER_OVERFLOW);
    REQUIRE(s->SetActualDataLength(100) == S_OK);
    CHECK(s->GetActualDataLength() == 100);

    CHECK(s->IsSyncPoint() == S_FALSE);
    CHECK(s->IsPreroll() == S_FALSE);
    CHECK(s->IsDiscontinuity() == S_FALSE);
    s->SetSyncPoint(TRUE);
    s->SetPreroll(TRUE);
    s->SetDiscontinuity(TRUE);
    CHECK(s->IsSyncPoint() == S_OK);
    CHECK(s->IsPreroll() == S_OK);
    CHECK(s->IsDiscontinuity() == S_OK);

    AM_MEDIA_TYPE* mt = nullptr;
    CHECK(s->GetMediaType(&mt) == S_FALSE);
    AM_MEDIA_TYPE video = {};
    video.majortype = MEDIATYPE_Video;
    video.subtype = MEDIASUBTYPE_RGB24;
    REQUIRE(s->SetMediaType(&video) == S_OK);
    REQUIRE(s->GetMediaType(&mt) == S_OK);
    CHECK(IsEqualGUID(mt->subtype, MEDIASUBTYPE_RGB24));
    dsb::DeleteMediaType(mt);

    IMediaSample2* s2 = nullptr;
    REQUIRE(s->QueryInterface(IID_IMediaSample2, (void**)&s2) == S_OK);
    AM_SAMPLE2_PROPERTIES p = {};
    REQUIRE(s2->GetProperties(sizeof(p), reinterpret_cast<BYTE*>(&p)) == S_OK);
    CHECK(p.lActual == 100);
    CHECK(p.cbBuffer == 256);
    CHECK((p.dwSampleFlags & (AM_SAMPLE_SPLICEPOINT | AM_SAMPLE_PREROLL | AM_SAMPLE_DATADISCONTINUITY |
                              AM_SAMPLE_TIMEVALID | AM_SAMPLE_TYPECHANGED)) ==
          (AM_SAMPLE_SPLICEPOINT | AM_SAMPLE_PREROLL | AM_SAMPLE_DATADISCONTINUITY | AM_SAMPLE_TIMEVALID |
           AM_SAMPLE_TYPECHANGED));
    p.lActual = 300;
    CHECK(s2->SetProperties(sizeof(p), reinterpret_cast<BYTE*>(&p)) == VFW_E_BUFFER_OVERFLOW);
    s2->Release();

    IMediaSample* first = s;
    s->Release();
    REQUIRE(a->GetBuffer(&s, nullptr, nullptr, 0) == S_OK);
    CHECK(s == first);  // the one buffer again, cleared
    CHECK(s->GetTime(&t0, &t1) == VFW_E_SAMPLE_TIME_NOT_SET);
    CHECK(s->GetMediaTime(&m0, &m1) == VFW_E_MEDIA_TIME_NOT_SET);
    CHECK(s->IsSyncPoint() == S_FALSE);
    CHECK(s->IsDiscontinuity() == S_FALSE);
    CHECK(s->GetMediaType(&mt) == S_FALSE);
    CHECK(s->GetActualDataLength() == 256);
    s->Release();
    a->Decommit();
    CHECK(a->Release() == 0);
}

TEST_CASE("a sample out keeps its allocator alive; commit again reuses the pool once it is back") {
    ComInit com;
    IMemAllocator* a = Made(3, 4096);
    REQUIRE(a->Commit() == S_OK);
    IMediaSample* s = nullptr;
    REQUIRE(a->GetBuffer(&s, nullptr, nullptr, 0) == S_OK);
    BYTE* p = nullptr;
    s->GetPointer(&p);
    REQUIRE(a->Decommit() == S_OK);
    REQUIRE(a->Commit() == S_OK);  // the sample out: the old pool stays
    IMediaSample* more[2] = {};
    REQUIRE(a->GetBuffer(&more[0], nullptr, nullptr, 0) == S_OK);
    REQUIRE(a->GetBuffer(&more[1], nullptr, nullptr, 0) == S_OK);
    IMediaSample* none = nullptr;
    CHECK(a->GetBuffer(&none, nullptr, nullptr, AM_GBF_NOWAIT) == VFW_E_TIMEOUT);
    more[0]->Release();
    more[1]->Release();
    a->Decommit();
    CHECK(a->Release() > 0);  // the sample still holds it
    memset(p, 0x5A, 4096);     // its memory still valid
    CHECK(s->Release() == 0);  // the last reference: pool and allocator go
}
