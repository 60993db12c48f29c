#include "run_log.h"

#include <cstdio>
#include <cstdlib>

#include "clock/schedule_clock.h"
#include "common/prompt.h"
#include "common/text_file.h"
#include "common/texts.h"

RunLog::RunLog(OperatorPrompt &prompt, std::string autoLogPath) : prompt_(prompt), path_(std::move(autoLogPath)) {}

std::string RunLog::Today()
{
    SYSTEMTIME st;
    GetLocalTime(&st);
    return ScheduleClock::FormatDate(st.wYear, st.wMonth, st.wDay);
}

std::string RunLog::NextNumber() const
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d", static_cast<int>(lines_.size() + 1));
    return buf;
}

int RunLog::StatusCode(const std::string &word)
{
    if (word == "SUCCESS")
        return kLogSuccess;
    if (word == "FAIL")
        return kLogFail;
    if (word == "ERROR")
        return kLogError;
    return kLogOther;
}

void RunLog::AddLine(const std::vector<std::string> &fields, int image)
{
    RunLogRecord r;
    auto field = [&](size_t i) { return i < fields.size() ? fields[i] : std::string(); };
    r.date = field(0);
    r.numberText = field(1);
    r.number = std::atoi(r.numberText.c_str());
    r.text = field(2);
    r.statusText = field(3);
    r.status = StatusCode(r.statusText);
    r.image = image;
    lines_.push_back(std::move(r));
}

void RunLog::Add(const std::string &text, const std::string &status)
{
    AddLine({Today(), NextNumber(), text, status});
}

bool RunLog::AppendUnwritten()
{
    if (written_ >= lines_.size())
        return true;
    std::string out;
    char num[16];
    for (size_t i = written_; i < lines_.size(); ++i) {
        std::snprintf(num, sizeof num, "%04d", lines_[i].number);
        out += lines_[i].date + "," + num + "," + lines_[i].text + "\r\n";
    }
    if (!textfile::Append(path_, out))
        return false;
    written_ = lines_.size();
    return true;
}

void RunLog::Clear()
{
    /* History first: what is dropped from the list is kept in the file. */
    AppendUnwritten();
    lines_.clear();
    written_ = 0;
}

bool RunLog::WriteAutoLog()
{
    if (lines_.empty() || !AppendUnwritten()) {
        prompt_.Warn(texts::kFileNotSaved);
        return false;
    }
    return true;
}

RunLogColours RunLog::Colours(int status, const std::string &cell)
{
    const COLORREF darkGrey = RGB(20, 20, 20);
    const COLORREF orange = RGB(255, 175, 0);
    if (status == kLogSuccess) {
        if (cell == "SUCCESS")
            return {RGB(0, 175, 255), darkGrey};
        if (cell == texts::kStopEncoding || cell == texts::kMixerExited || cell == texts::kMixerOff)
            return {orange, darkGrey};
        if (cell == texts::kStartEncoding || cell == texts::kMixerReady || cell == texts::kMixerOperating ||
            cell == texts::kMixerOn)
            return {RGB(0, 250, 0), darkGrey};
        return {RGB(220, 220, 220), darkGrey};
    }
    if (status == kLogFail) {
        if (cell == "FAIL")
            return {orange, darkGrey};
        return {RGB(255, 255, 0), darkGrey};
    }
    return {RGB(255, 255, 255), RGB(0, 0, 0)};
}
