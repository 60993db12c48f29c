/*
 * The numbered rows of a schedule file (.dsf, .tsf, .csf): each line holds
 * comma-separated fields whose second field is the line's own number, from 1.
 */
#ifndef SCHEDULER_NUMBERED_ROWS_H
#define SCHEDULER_NUMBERED_ROWS_H

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/prompt.h"
#include "common/text_file.h"
#include "common/texts.h"

namespace textfile {

/* Reads 'lines' in order: 'check' accepts a line's fields, 'add' keeps them.
 * The first line that is out of form, or whose number breaks the count, stops
 * the reading with its warning (its number in 'breakFormat' for a break); the
 * rows before it are kept.  Answers 1 when every line was read, else 0. */
template <class Check, class Add>
int ReadNumberedRows(const std::vector<std::string> &lines, const char *breakFormat, OperatorPrompt &prompt,
                     Check check, Add add)
{
    char msg[160];
    for (size_t i = 0; i < lines.size(); ++i) {
        const int lineNo = static_cast<int>(i) + 1;
        std::vector<std::string> f = SplitFields(lines[i]);
        if (!check(f)) {
            std::snprintf(msg, sizeof msg, "Error is occurred in line %04d : %s", lineNo, texts::kFileOutOfForm);
            prompt.Warn(msg);
            return 0;
        }
        if (std::atoi(f[1].c_str()) != lineNo) {
            std::snprintf(msg, sizeof msg, breakFormat, lineNo, texts::kNextAllDeleted);
            prompt.Warn(msg);
            return 0;
        }
        add(f);
    }
    return 1;
}

} // namespace textfile

#endif
