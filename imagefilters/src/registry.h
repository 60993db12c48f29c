/*
 * registry.h - the filter registry inside Ferrix32.dll: discovery of the
 * plug-in filter modules and built-in filters, and the lookups the
 * conversion driver makes.  Every function here takes the library lock.
 */
#ifndef FERRIX_REGISTRY_H
#define FERRIX_REGISTRY_H

#include "fxcore.h"

#ifdef __cplusplus
extern "C" {
#endif

enum { FX_TABLE_SLOTS = 64 };   /* at most 63 entries besides the end mark */

/* Runs discovery once per process (plug-ins in the library's folder, then
 * the built-in rows). */
void fxDiscover(void);
/* Forgets a discovery: releases the kept modules and clears the tables
 * (library unload; tests). */
void fxRegistryReset(void);
/* Resets, then discovers with plug-ins taken from the given folder instead
 * of the library's own (tests). */
void fxDiscoverFolder(const char *folder);

/* The tables (ended by the first null slot). */
const FxEnumFormats *fxReaderTable(void);
const FxEnumFormats *fxWriterTable(void);
const HMODULE *fxModuleTable(void);

/* Driver lookups.  A null result means none. */
FxReaderOpen fxReaderById(uint16_t formatId);
FxWriterOpen fxWriterById(uint16_t formatId);
/* The first read entry of the current record form listing the extension
 * (case ignored): its open function, id in *formatId. */
FxReaderOpen fxReaderByExtension(const char *extension, uint16_t *formatId);
/* Likewise for write entries; *subFormat receives the entry's index. */
FxWriterOpen fxWriterByExtension(const char *extension, uint16_t *formatId, uint16_t *subFormat);
/* The first probing reader whose open accepts the source: sets the
 * source's format id and open function; 0 or FX_E_NOFILTER. */
int fxReaderByProbe(ConvertSource *source);

/* Library attach / detach (DllMain). */
void fxLibraryAttach(HINSTANCE instance);
void fxLibraryDetach(void);

#ifdef __cplusplus
}
#endif

#endif
