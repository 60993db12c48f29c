/* Inside the file dialogs: what the image dialogs share with them. */
#ifndef TUNDRIX_FILEDLG_H
#define TUNDRIX_FILEDLG_H

#include <windows.h>
#include <commdlg.h>
#include <string>

#include "tundrix32.h"

/* The toolkit's error codes of the last request. */
enum {
    FILEDLG_ERR_SIZE = 1,
    FILEDLG_ERR_TEMPLATE_NAME = 3,
    FILEDLG_ERR_INSTANCE = 4,
    FILEDLG_ERR_HOOK = 11,
    FILEDLG_ERR_BUFFER = 0x3003 /* the caller's buffer cannot hold the choice */
};

/* "OpenFileNameDialog-Brannoch": questions to a running dialog. */
UINT FileDialogQueryMessage();
/* The settings file name handed to callers (sub-command 8): for the short
 * forms "quillon.ini" beside the program; for the full form the caller's
 * name, placed by the rules of the request's flags. */
std::string FileDialogSettingsFile(const FILEDIALOGREQUEST *req, const std::string &program_path);
/* The settings section of a request. */
std::string FileDialogSection(const FILEDIALOGREQUEST *req);
/* The filter pattern (second string of the pair) at a 1-based index; empty
 * when there is none. */
std::string FilterPattern(LPCSTR filter, int index);
/* The 1-based index of the pair whose pattern equals pattern (case
 * insensitive), 0 when none does. */
int FilterIndexOf(LPCSTR filter, const std::string &pattern);
/* The directory to start in, from the name a caller gave (see iGetOpenFileName);
 * name keeps only its file part where a directory was taken from it. */
bool SplitInitialDirectory(std::string *name, std::string *dir);

#endif
