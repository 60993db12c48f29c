/*
 * The run log: what the scheduler asked the mixer to do and what the mixer
 * answered, one line each (date, "%04d" number, text, "SUCCESS"/"FAIL"), its
 * colours, its capacity rules and the autolog text file.
 *
 * The file keeps the history: lines are appended to it ("%s,%04d,%s" =
 * date, number, text; CRLF) by WriteAutoLog at a schedule's end and by Clear
 * before any line is dropped, each line once.  UI thread only.
 */
#ifndef SCHEDULER_RUN_LOG_H
#define SCHEDULER_RUN_LOG_H

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <string>
#include <vector>

class OperatorPrompt;

enum RunLogStatus { kLogSuccess = 0, kLogFail = 1, kLogError = 2, kLogOther = -1 };

struct RunLogRecord {
    std::string date;    /* "%04d/%02d/%02d" */
    std::string numberText;
    int number = 0;      /* numberText read back */
    std::string text;
    std::string statusText;
    int status = kLogOther;
    int image = -1;
};

struct RunLogColours {
    COLORREF text, back;
    bool operator==(const RunLogColours &o) const { return text == o.text && back == o.back; }
};

class RunLog {
public:
    static constexpr const char *kDefaultAutoLogPath = "C:\\autolog.txt";
    static constexpr size_t kCapacity = 9999;

    explicit RunLog(OperatorPrompt &prompt, std::string autoLogPath = kDefaultAutoLogPath);

    /* fields: date, number, text, status. */
    void AddLine(const std::vector<std::string> &fields, int image = -1);
    /* Today's date and the next number filled in. */
    void Add(const std::string &text, const std::string &status);
    size_t Count() const { return lines_.size(); }
    const RunLogRecord &Line(size_t i) const { return lines_.at(i); }
    /* "%04d" of Count() + 1. */
    std::string NextNumber() const;

    /* Appends the lines not yet in the file, then empties the log. */
    void Clear();
    /* Appends the lines not yet in the file; an empty log or a file that
     * cannot be opened gives "This file is not saved.". */
    bool WriteAutoLog();
    const std::string &AutoLogPath() const { return path_; }

    static int StatusCode(const std::string &word);
    static RunLogColours Colours(int status, const std::string &cellText);
    /* The "State" column is 100 pixels wide below 11 lines, 84 from 11 on;
     * from 11 lines on the list scrolls down by lines x 21 pixels. */
    static int StateColumnWidth(size_t lines) { return lines < 11 ? 100 : 84; }
    static int ScrollPixels(size_t lines) { return lines < 11 ? 0 : static_cast<int>(lines) * 21; }

    static std::string Today();

private:
    bool AppendUnwritten();

    OperatorPrompt &prompt_;
    std::string path_;
    std::vector<RunLogRecord> lines_;
    size_t written_ = 0; /* lines already in the file */
};

#endif
