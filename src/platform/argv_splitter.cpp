#include "platform/argv_splitter.h"

namespace bu {
namespace {

bool isBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

}  // namespace

std::vector<std::wstring> splitWindowsCommandLine(const std::wstring& commandLine,
                                                  const std::wstring& programPath) {
  if (commandLine.empty()) return {programPath};

  std::vector<std::wstring> tokens;
  std::size_t i = 0;
  const std::size_t n = commandLine.size();

  // The program name: no escapes, a leading quote runs to the next quote.
  std::wstring first;
  if (commandLine[0] == L'"') {
    for (i = 1; i < n && commandLine[i] != L'"'; ++i) first += commandLine[i];
    if (i < n) ++i;  // the closing quote
  } else {
    for (; i < n && !isBlank(commandLine[i]); ++i) first += commandLine[i];
  }
  tokens.push_back(first);

  while (i < n && isBlank(commandLine[i])) ++i;
  if (i == n) return tokens;

  std::wstring current;
  int quotes = 0;  // 0: outside quotes, 1: inside; 2 collapses to 0
  std::size_t backslashes = 0;
  while (i < n) {
    const wchar_t c = commandLine[i];
    if (isBlank(c) && quotes == 0) {
      tokens.push_back(current);
      current.clear();
      backslashes = 0;
      while (i < n && isBlank(commandLine[i])) ++i;
      if (i == n) return tokens;
      continue;
    }
    if (c == L'\\') {
      current += c;
      ++backslashes;
      ++i;
      continue;
    }
    if (c == L'"') {
      // Half of the backslashes before a quote stay; an odd one escapes it.
      current.erase(current.size() - (backslashes + 1) / 2);
      if (backslashes % 2 == 0) {
        ++quotes;
      } else {
        current += L'"';
      }
      backslashes = 0;
      ++i;
      while (i < n && commandLine[i] == L'"') {
        if (++quotes == 3) {
          current += L'"';
          quotes = 0;
        }
        ++i;
      }
      if (quotes == 2) quotes = 0;
      continue;
    }
    current += c;
    backslashes = 0;
    ++i;
  }
  tokens.push_back(current);
  return tokens;
}

}  // namespace bu
