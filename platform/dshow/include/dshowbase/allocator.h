// In-process memory allocator for the samples our pins hand downstream.
//
// The same contract as the system's memory allocator (IMemAllocator with
// IMediaSample2 samples), but its waits and wake-ups are a slim lock and a
// condition variable: a sample taken and given back costs no call into the
// Wine server, where the system allocator's semaphore costs two.  Our input
// pins offer it from GetAllocator and our output pins make it when the
// downstream pin offers none.
//
// Contract:
// - SetProperties: refused while committed (VFW_E_ALREADY_COMMITTED) or
//   while samples are out (VFW_E_BUFFERS_OUTSTANDING); an alignment that is
//   not a power of two is VFW_E_BADALIGN; counts and sizes below 1 are
//   stored as asked (Commit then fails with VFW_E_SIZENOTSET).
// - Commit makes the buffers (each cbPrefix + cbBuffer rounded to cbAlign,
//   the data pointer aligned); Decommit wakes every waiting GetBuffer with
//   VFW_E_NOT_COMMITTED and frees the memory once the last sample is back.
// - GetBuffer waits for a free sample unless AM_GBF_NOWAIT (VFW_E_TIMEOUT);
//   the sample comes with one reference, no times, no flags, no media type
//   and its whole size as data length.  A sample holds its allocator alive
//   while it is out.
#pragma once
#include <windows.h>
#include <strmif.h>

namespace dsb {

// A new allocator with one reference, or null when memory runs out.
IMemAllocator* CreateMemAllocator();

}  // namespace dsb
