#include "check/check_report.h"

#include <algorithm>
#include <cstdio>

#include "log/write_log.h"
#include "platform/text.h"

namespace bu::check {
namespace {

std::size_t count(const std::vector<Finding>& findings, Level level) {
  return static_cast<std::size_t>(std::count_if(
      findings.begin(), findings.end(), [level](const Finding& f) { return f.level == level; }));
}

void appendUnit(std::string& out, unsigned unit) {
  char escape[16];
  std::snprintf(escape, sizeof escape, "\\u%04x", unit);
  out += escape;
}

// An 8-bit text of the program (the locale's or the code page's) as a JSON
// string, ASCII only.
std::string jsonString(const std::string& text) {
  std::string out = "\"";
  for (const wchar_t c : platform::ansiToWide(text)) {
    const unsigned code = static_cast<unsigned>(c);
    if (code == '"' || code == '\\') {
      out += '\\';
      out += static_cast<char>(code);
    } else if (code >= 0x20 && code < 0x7F) {
      out += static_cast<char>(code);
    } else if (code > 0xFFFF) {
      appendUnit(out, 0xD800 + ((code - 0x10000) >> 10));
      appendUnit(out, 0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      appendUnit(out, code);
    }
  }
  return out + "\"";
}

std::string padded(const std::string& text, std::size_t width) {
  return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ');
}

}  // namespace

bool hasErrors(const std::vector<Finding>& findings) {
  return count(findings, Level::Error) > 0;
}

std::string tableReport(const std::string& folder, const std::vector<Finding>& findings) {
  // Texts from the package (entry names, configuration values) reach the
  // author's terminal: control characters are shown as the log shows them,
  // never sent as they are.
  std::string out = "Package " + asOneLine(folder) + "\n";
  std::vector<Finding> shown;
  for (const Finding& f : findings) {
    shown.push_back({asOneLine(f.scope), asOneLine(f.check), f.level, asOneLine(f.detail)});
  }
  // The columns as wide as their longest text, so the details line up.
  std::size_t scopeWidth = 0;
  std::size_t checkWidth = 0;
  for (const Finding& f : shown) {
    scopeWidth = std::max(scopeWidth, f.scope.size() + 2);
    checkWidth = std::max(checkWidth, f.check.size() + 2);
  }
  for (const Finding& f : shown) {
    out += padded(levelName(f.level), 8) + padded(f.scope, scopeWidth) +
           padded(f.check, checkWidth) + f.detail + "\n";
  }
  const std::size_t errors = count(findings, Level::Error);
  const std::size_t warnings = count(findings, Level::Warning);
  out += std::to_string(findings.size()) + " checks: " + std::to_string(errors) + " error(s), " +
         std::to_string(warnings) + " warning(s). " +
         (errors == 0 ? "Every update will deploy as far as the package can tell."
                      : "Fix the errors before shipping the package.") +
         "\n";
  return out;
}

std::string jsonReport(const std::string& folder, const std::vector<Finding>& findings) {
  std::string out = "{\"package\": " + jsonString(folder) +
                    ", \"errors\": " + std::to_string(count(findings, Level::Error)) +
                    ", \"warnings\": " + std::to_string(count(findings, Level::Warning)) +
                    ", \"ok\": " + (hasErrors(findings) ? "false" : "true") + ", \"findings\": [";
  for (std::size_t i = 0; i < findings.size(); ++i) {
    const Finding& f = findings[i];
    out += std::string(i == 0 ? "" : ", ") + "{\"scope\": " + jsonString(f.scope) +
           ", \"check\": " + jsonString(f.check) + ", \"level\": \"" + levelName(f.level) +
           "\", \"detail\": " + jsonString(f.detail) + "}";
  }
  return out + "]}\n";
}

}  // namespace bu::check
