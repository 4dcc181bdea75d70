// The command line that makes the line report of one session, for the
// session summary to print.
#pragma once

#include <string>
#include <vector>

namespace vorn_reports {

// A word as a POSIX shell takes it: as it is when it is plain, else quoted.
std::string ShellWord(const std::string &word);
// Words as one command line a user can paste, each quoted where it needs it.
std::string CommandText(const std::vector<std::string> &words);
// A database target as it may be shown: a server address without its password.
std::string ShownTarget(const std::string &db);

// tool: the report tool as the user types it ("build/bin/vorn-report").
// "build/bin/vorn-report line --db results.sqlite --station 'line 3' --since T --until T -o line-report.html",
// each value quoted where it needs it: for a POSIX shell, on Windows for cmd.exe. until may be empty
// (the session still running): the report then runs to the latest unit.
std::string LineReportCommand(const std::string &tool, const std::string &db, const std::string &station,
                              const std::string &since, const std::string &until,
                              const std::string &output = "line-report.html");

}  // namespace vorn_reports
