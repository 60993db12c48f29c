#include <catch2/catch.hpp>

#include "runlog/run_log.h"
#include "scheduler_test_support.h"

TEST_CASE("Run log records and the autolog file", "[runlog]")
{
    RecordingPrompt prompt;
    std::string dir = TestFolder("runlog");
    std::string path = dir + "autolog.txt";
    DeleteFileA(path.c_str());
    RunLog log(prompt, path);

    log.AddLine({"2003/03/27", "0001", "Corvane is operating.", "SUCCESS"});
    log.AddLine({"2003/03/27", log.NextNumber(), "PLAY AS 0001 : Ch01 : Corvane Channel On", "FAIL"});
    log.AddLine({"2003/03/27", log.NextNumber(), "Stop ENCODING", "maybe"});
    REQUIRE(log.Count() == 3);
    CHECK(log.Line(1).numberText == "0002");
    CHECK(log.Line(1).number == 2);
    CHECK(log.Line(0).status == kLogSuccess);
    CHECK(log.Line(1).status == kLogFail);
    CHECK(log.Line(2).status == kLogOther);
    CHECK(RunLog::StatusCode("ERROR") == kLogError);
    CHECK(RunLog::StatusCode("success") == kLogOther);

    const std::string three =
        "2003/03/27,0001,Corvane is operating.\r\n"
        "2003/03/27,0002,PLAY AS 0001 : Ch01 : Corvane Channel On\r\n"
        "2003/03/27,0003,Stop ENCODING\r\n";
    REQUIRE(log.WriteAutoLog());
    CHECK(ReadBytes(path) == three);
    /* Written lines are not written twice; new ones follow. */
    log.AddLine({"2003/03/28", log.NextNumber(), "OFF Corvane", "SUCCESS"});
    REQUIRE(log.WriteAutoLog());
    CHECK(ReadBytes(path) == three + "2003/03/28,0004,OFF Corvane\r\n");

    /* Clearing keeps the history: unwritten lines reach the file first. */
    log.AddLine({"2003/03/28", log.NextNumber(), "ON Corvane", "SUCCESS"});
    log.Clear();
    CHECK(log.Count() == 0);
    CHECK(ReadBytes(path) == three + "2003/03/28,0004,OFF Corvane\r\n2003/03/28,0005,ON Corvane\r\n");
    CHECK(log.NextNumber() == "0001");
    CHECK(prompt.warnings.empty());

    /* An empty log, or a file that cannot be made, is not saved. */
    CHECK_FALSE(log.WriteAutoLog());
    RunLog nowhere(prompt, dir + "no\\such\\dir\\autolog.txt");
    nowhere.Add("Corvane is operating.", "SUCCESS");
    CHECK_FALSE(nowhere.WriteAutoLog());
    CHECK(prompt.warnings == std::vector<std::string>(2, "This file is not saved.     "));
    CHECK(nowhere.Line(0).date == RunLog::Today());
}

TEST_CASE("Run log colours per status and cell", "[runlog]")
{
    const COLORREF dark = RGB(20, 20, 20);
    struct Row { int status; const char *cell; COLORREF text, back; };
    const Row rows[] = {
        {kLogSuccess, "2003/03/27", RGB(220, 220, 220), dark},
        {kLogSuccess, "SUCCESS", RGB(0, 175, 255), dark},
        {kLogSuccess, "Stop ENCODING", RGB(255, 175, 0), dark},
        {kLogSuccess, "Corvane is exited.", RGB(255, 175, 0), dark},
        {kLogSuccess, "OFF Corvane", RGB(255, 175, 0), dark},
        {kLogSuccess, "Start ENCODING", RGB(0, 250, 0), dark},
        {kLogSuccess, "Corvane ready to get the signal.", RGB(0, 250, 0), dark},
        {kLogSuccess, "Corvane is operating.", RGB(0, 250, 0), dark},
        {kLogSuccess, "ON Corvane", RGB(0, 250, 0), dark},
        {kLogSuccess, "on corvane", RGB(220, 220, 220), dark},
        {kLogFail, "Corvane is operating.", RGB(255, 255, 0), dark},
        {kLogFail, "0001", RGB(255, 255, 0), dark},
        {kLogFail, "FAIL", RGB(255, 175, 0), dark},
        {kLogError, "ERROR", RGB(255, 255, 255), RGB(0, 0, 0)},
        {kLogOther, "SUCCESS", RGB(255, 255, 255), RGB(0, 0, 0)},
    };
    for (const auto &r : rows) {
        INFO(r.status << " " << r.cell);
        RunLogColours c = RunLog::Colours(r.status, r.cell);
        CHECK(c.text == r.text);
        CHECK(c.back == r.back);
    }
}

TEST_CASE("Run log capacity rules", "[runlog]")
{
    CHECK(RunLog::StateColumnWidth(0) == 100);
    CHECK(RunLog::StateColumnWidth(10) == 100);
    CHECK(RunLog::StateColumnWidth(11) == 84);
    CHECK(RunLog::ScrollPixels(10) == 0);
    CHECK(RunLog::ScrollPixels(11) == 231);
}
