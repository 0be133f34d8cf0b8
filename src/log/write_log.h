// The program's log: one text file in the user's temporary directory, to
// which every stage appends its lines.
#pragma once

#include <cstddef>
#include <ctime>
#include <string>

namespace bu {

extern const char kLogFileName[];

// Longest message that fits one line: the line buffer holds 520 bytes, of
// which the timestamp takes 24, the separator 3, the newline and the
// terminator one each. Longer messages are cut to this length.
constexpr std::size_t kMaxLogMessage = 491;

// Appends "<timestamp> : <message>\n" to the log. Opens and closes the file
// for every line, so each line is on disk when the call returns; a file that
// cannot be opened loses the line and nothing else happens.
void WriteLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// `text` as the log writes a message, at any length: every control character
// other than the tab becomes \r, \n or \xHH. For other outputs that show
// texts from a package, such as the package check's table on a terminal.
std::string asOneLine(const std::string& text);

// The 24-character timestamp of `when` in local time, the form of ctime
// without its newline: "Tue Dec 08 00:52:05 2026", always in English.
std::string formatLogTimestamp(std::time_t when);

// The whole line as written: timestamp, " : ", the message cut to fit, "\n".
std::string composeLogLine(std::time_t when, const char* message);

}  // namespace bu
