/* The texts that Loadwell shows when a library cannot be loaded. */
#ifndef LOADWELL_ERRTEXT_H
#define LOADWELL_ERRTEXT_H

#include <string>

/* The text for a system error code of a failed load ("Error 2: File was not
 * found"; "Error %d: Unknown Error" for codes without a text of their own). */
std::string LoadwellErrorText(unsigned long code);

#endif
