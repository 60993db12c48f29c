#include "schedule_files.h"

#include <windows.h>

#include "common/prompt.h"
#include "common/texts.h"
#include "schedule/source_schedule.h"
#include "schedule/title_schedule.h"

ScheduleDialogText DialogText(ScheduleDialog which)
{
    static const char sourceFilter[] = "Tarnell Schedule files (*.dsf)|*.dsf|All files (*.*)|*.*|";
    static const char titleFilter[] = "Title Schedule files (*.tsf)|*.tsf|All files (*.*)|*.*|";
    switch (which) {
    case ScheduleDialog::OpenSource: return {"File Open", "*.dsf", sourceFilter};
    case ScheduleDialog::SaveSource: return {"Save files", "*.dsf", sourceFilter};
    case ScheduleDialog::SaveSourceAs: return {"Save As files", "*.dsf", sourceFilter};
    case ScheduleDialog::OpenTitle: return {"Open files", "*.tsf", titleFilter};
    case ScheduleDialog::SaveTitle: return {"Save Title Schedule files", "*.tsf", titleFilter};
    case ScheduleDialog::SaveTitleAs: return {"Save As Title Schedule files", "*.tsf", titleFilter};
    }
    return {"", "", ""};
}

ScheduleFiles::ScheduleFiles(SourceSchedule &sources, TitleSchedule &titles, OperatorPrompt &prompt,
                             ScheduleFileHooks hooks)
    : sources_(sources), titles_(titles), prompt_(prompt), hooks_(std::move(hooks))
{
}

bool ScheduleFiles::RefusedOnAir()
{
    if (!runActive_)
        return false;
    prompt_.Warn(texts::kOnAir);
    return true;
}

void ScheduleFiles::NewSourceSchedule()
{
    if (RefusedOnAir())
        return;
    Call(hooks_.hidePreviews);
    if (sources_.Empty())
        return;
    if (!prompt_.AskYesNo(texts::kScheduleWillBeDeleted))
        return;
    Call(hooks_.resetSourceRun);
    sources_.ClearItems();
    sourceChanged_ = false;
    Call(hooks_.clearRunLog);
    NewTitleSchedule();
}

void ScheduleFiles::NewTitleSchedule()
{
    if (RefusedOnAir())
        return;
    Call(hooks_.hidePreviews);
    if (titles_.Empty())
        return;
    if (!prompt_.AskYesNo(texts::kTitleScheduleWillBeDeleted))
        return;
    Call(hooks_.resetTitleRun);
    titles_.ClearItems();
    titleChanged_ = false;
}

void ScheduleFiles::OpenSourceSchedule()
{
    if (RefusedOnAir())
        return;
    Call(hooks_.hidePreviews);
    /* Unsaved work is never dropped without a question. */
    const bool asked = !sources_.Empty() && sourceChanged_;
    if (asked && !prompt_.AskYesNo(texts::kScheduleWillBeDeleted))
        return;
    std::string path = Choose(ScheduleDialog::OpenSource);
    if (path.empty())
        return;
    sourcePath_ = path;
    if (sources_.LoadScheduleFile(path)) {
        sourceChanged_ = false;
        Call(hooks_.sourceLoaded);
        Call(hooks_.clearRunLog);
    }
    if (FindCompanionTitleSchedule(path)) {
        /* The companion holds a title schedule in the .tsf layout. */
        Call(hooks_.resetTitleRun);
        if (titles_.LoadScheduleFile(titlePath_))
            titleChanged_ = false;
    } else {
        Call(hooks_.resetTitleRun);
        if (asked) {
            titles_.ClearItems();
            titleChanged_ = false;
        }
    }
    Call(hooks_.loopReset);
}

void ScheduleFiles::OpenTitleSchedule()
{
    if (RefusedOnAir())
        return;
    Call(hooks_.hidePreviews);
    if (!titles_.Empty() && titleChanged_ && !prompt_.AskYesNo(texts::kTitleScheduleWillBeDeleted))
        return;
    std::string path = Choose(ScheduleDialog::OpenTitle);
    if (path.empty())
        return;
    titlePath_ = path;
    if (titles_.LoadScheduleFile(path))
        titleChanged_ = false;
}

void ScheduleFiles::SaveSourceSchedule()
{
    if (sources_.Empty())
        return;
    std::string path = sourcePath_;
    if (path.empty())
        path = Choose(ScheduleDialog::SaveSource);
    if (!path.empty()) {
        sourcePath_ = path;
        if (sources_.SaveScheduleFile(path))
            sourceChanged_ = false;
    }
    SaveTitleSchedule();
}

void ScheduleFiles::SaveSourceScheduleAs()
{
    if (sources_.Empty())
        return;
    std::string path = Choose(ScheduleDialog::SaveSourceAs);
    if (!path.empty() && sources_.SaveScheduleFile(path))
        sourceChanged_ = false;
    SaveTitleScheduleAs();
}

void ScheduleFiles::SaveTitleSchedule()
{
    if (titles_.Empty())
        return;
    std::string path = titlePath_;
    if (path.empty())
        path = Choose(ScheduleDialog::SaveTitle);
    if (path.empty())
        return;
    titlePath_ = path;
    if (titles_.SaveScheduleFile(path))
        titleChanged_ = false;
}

void ScheduleFiles::SaveTitleScheduleAs()
{
    if (titles_.Empty())
        return;
    std::string path = Choose(ScheduleDialog::SaveTitleAs);
    if (!path.empty() && titles_.SaveScheduleFile(path))
        titleChanged_ = false;
}

bool ScheduleFiles::FindCompanionTitleSchedule(const std::string &dsfPath)
{
    size_t dot = dsfPath.rfind('.');
    size_t slash = dsfPath.rfind('\\');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return false;
    std::string companion = dsfPath.substr(0, dot) + ".csf";
    std::string folder = slash == std::string::npos ? std::string(".") : dsfPath.substr(0, slash);
    std::string name = slash == std::string::npos ? companion : companion.substr(slash + 1);

    /* The folder is searched, not the name opened: the name must match
     * exactly, also on file systems that ignore case.  The current
     * directory is left alone (the program's own pictures are found
     * relative to it). */
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((folder + "\\*.csf").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    bool found = false;
    do {
        if (name == fd.cFileName && !(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            found = true;
            break;
        }
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    if (found)
        titlePath_ = companion;
    return found;
}
