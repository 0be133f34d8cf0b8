#include "log/write_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/local_time.h"
#include "platform/temp_file.h"

namespace bu {

const char kLogFileName[] = "Log.BrevantUpdater.txt";

namespace {

constexpr std::size_t kLineBuffer = 520;
constexpr std::size_t kTimestampLength = 24;
const char kSeparator[] = " : ";

// The visible form of one byte of a message: a control character other than
// the tab the program's own texts use (a line break in a path, say) becomes
// \r, \n or \xHH, so that no message can end its line early, forge another
// or reach a terminal as a command. Answers the bytes put in `escape`.
std::size_t escapedByte(char byte, char (&escape)[4]) {
  static const char kHex[] = "0123456789ABCDEF";
  const unsigned char c = static_cast<unsigned char>(byte);
  escape[0] = byte;
  if (c >= 0x20 || c == '\t') return 1;
  escape[0] = '\\';
  escape[1] = c == '\r' ? 'r' : c == '\n' ? 'n' : 'x';
  if (escape[1] != 'x') return 2;
  escape[2] = kHex[c >> 4];
  escape[3] = kHex[c & 0xF];
  return 4;
}

// Copies the message into `out` as one line, each byte in its visible form.
// At most kMaxLogMessage bytes are written, and an escape is never cut.
// Answers the bytes written.
std::size_t copyAsOneLine(const char* message, char* out) {
  std::size_t at = 0;
  for (const char* p = message; *p != '\0'; ++p) {
    char escape[4];
    const std::size_t size = escapedByte(*p, escape);
    if (at + size > kMaxLogMessage) break;
    std::memcpy(out + at, escape, size);
    at += size;
  }
  return at;
}

// Fills `out` (kLineBuffer bytes) with the framed line and returns its length.
std::size_t frameLine(std::time_t when, const char* message, char* out) {
  const std::string stamp = formatLogTimestamp(when);
  std::size_t at = 0;
  std::memcpy(out + at, stamp.data(), kTimestampLength);
  at += kTimestampLength;
  std::memcpy(out + at, kSeparator, sizeof kSeparator - 1);
  at += sizeof kSeparator - 1;
  at += copyAsOneLine(message, out + at);
  out[at++] = '\n';
  out[at] = '\0';
  return at;
}

}  // namespace

std::string asOneLine(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (const char byte : text) {
    char escape[4];
    out.append(escape, escapedByte(byte, escape));
  }
  return out;
}

std::string formatLogTimestamp(std::time_t when) {
  static const char kDays[7][4] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char kMonths[12][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm broken{};
  if (!platform::localTime(when, broken)) return std::string(kTimestampLength, '?');
  const std::tm* local = &broken;
  char text[32];
  std::snprintf(text, sizeof text, "%s %s %02d %02d:%02d:%02d %04d", kDays[local->tm_wday % 7],
                kMonths[local->tm_mon % 12], local->tm_mday % 100, local->tm_hour % 100,
                local->tm_min % 100, local->tm_sec % 100, (local->tm_year + 1900) % 10000);
  return std::string(text, kTimestampLength);
}

std::string composeLogLine(std::time_t when, const char* message) {
  char line[kLineBuffer];
  const std::size_t length = frameLine(when, message, line);
  return std::string(line, length);
}

void WriteLog(const char* format, ...) {
  const std::time_t now = std::time(nullptr);

  // vsnprintf cuts the message at the buffer's end: nothing overflows.
  char message[kMaxLogMessage + 1];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(message, sizeof message, format, arguments);
  va_end(arguments);

  char line[kLineBuffer];
  const std::size_t length = frameLine(now, message, line);

  // One write of the whole line: a line is never torn, nor lost to another
  // process appending at the same time. A file that cannot be written loses
  // the line and nothing else.
  platform::appendToTempFile(kLogFileName, line, length);
}

}  // namespace bu
