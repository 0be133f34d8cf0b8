// Holds bu::splitWindowsCommandLine to the system's CommandLineToArgvW: every
// command line of the table below is split by both and the tokens compared.
// Prints each difference (input, expected tokens, actual tokens; anything
// outside printable ASCII escaped) and a one-line summary; exits 1 when there
// is a difference.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/argv_splitter.h"

namespace {

struct Case {
  const char* what;
  const wchar_t* line;
};

// Raw literals keep backslashes and quotes as the program would receive them.
const Case kCases[] = {
    // Plain splitting and blanks.
    {"plain words", LR"(prog a b c)"},
    {"runs of spaces", LR"(prog  a   b)"},
    {"tabs separate", L"prog\ta\t\tb"},
    {"leading blank: empty program name", LR"( prog a)"},
    {"trailing space", LR"(prog a )"},
    {"trailing tab", L"prog a\t"},
    {"blanks only", LR"(   )"},
    {"program name only", LR"(prog)"},
    {"quoted program name only", LR"("prog")"},
    {"CR, LF, VT and U+3000 do not separate", L"prog a\rb c\nd e\vf g\u3000h"},
    {"other control characters", L"prog a\x01" L"b \x1f"},

    // The program name.
    {"quoted program name with spaces", LR"("C:\Program Files\app.exe" x)"},
    {"unquoted program name", LR"(C:\dir\app.exe x)"},
    {"backslash before program's closing quote", LR"("C:\dir\"app.exe x)"},
    {"quotes in the middle of the program name", LR"(pro"g"ram a)"},
    {"quoted blank inside an unquoted program name", LR"(pro"g ram" a)"},
    {"unterminated quoted program name", LR"("prog a b)"},
    {"empty quoted program name", LR"("" a)"},
    {"empty quoted program name only", LR"("")"},
    {"text glued after program's closing quote", LR"("prog"x y)"},
    {"two quotes glued to the program name", LR"("prog""x" y)"},
    {"realistic updater line",
     LR"("C:\Program Files\My App\brevUpdater.exe" -silent "C:\Temp Dir\")"},

    // Quotes.
    {"quoted argument", LR"(prog "a b" c)"},
    {"quote closes mid-token", LR"(prog "a b"c d)"},
    {"quote opens mid-token", LR"(prog a"b c"d)"},
    {"toggling quotes", LR"(prog "a"b"c d"e)"},
    {"space in quotes", LR"(prog " ")"},
    {"tab in quotes", L"prog \"a\tb\""},
    {"unterminated quoted argument", LR"(prog "a b)"},
    {"empty argument", LR"(prog "")"},
    {"two empty arguments", LR"(prog "" "")"},
    {"empty arguments around a word", LR"(prog "" a "")"},
    {"empty argument between words", LR"(prog a "" b)"},
    {"three quotes", LR"(prog """)"},
    {"four quotes", LR"(prog """")"},
    {"five quotes", LR"(prog """"")"},
    {"six quotes", LR"(prog """""")"},
    {"seven quotes", LR"(prog """"""")"},
    {"doubled quote inside quotes", LR"(prog "a""b")"},
    {"tripled quote inside quotes", LR"(prog "a"""b")"},
    {"five quotes inside quotes", LR"(prog "a"""""b")"},
    {"doubled quote outside quotes", LR"(prog a""b)"},
    {"tripled quote outside quotes", LR"(prog a"""b)"},
    {"four quotes outside quotes", LR"(prog a""""b c)"},
    {"tripled quotes around words with blank", LR"(prog """a b""")"},
    {"doubled quotes around a word", LR"(prog ""a"")"},
    {"doubled quote then blank", LR"(prog "a"" b" c)"},
    {"quote pairs glued", LR"(prog "x" "y"z)"},

    // Backslashes.
    {"one backslash before quote", LR"(prog \"a)"},
    {"two backslashes before quote", LR"(prog \\"a b")"},
    {"three backslashes before quote", LR"(prog \\\"a)"},
    {"four backslashes before quote", LR"(prog \\\\"a b")"},
    {"five backslashes before quote", LR"(prog \\\\\")"},
    {"backslashes not before a quote", LR"(prog a\b\c a\\b \\\x)"},
    {"trailing backslash", LR"(prog a\)"},
    {"trailing backslashes", LR"(prog a\\\\)"},
    {"lone backslashes", LR"(prog \ \\ \\\\)"},
    {"escaped quotes outside quotes", LR"(prog \"\")"},
    {"escaped quotes inside quotes", LR"(prog "\"\"")"},
    {"escaped quote mid-token", LR"(prog a"\"b")"},
    {"directory with trailing backslash, quoted", LR"(prog "C:\dir\" next)"},
    {"directory with doubled trailing backslash", LR"(prog "C:\dir\\" next)"},
    {"two backslashes inside quotes", LR"(prog "a\\")"},
    {"backslash before closing quote", LR"(prog "a\")"},
    {"backslash in unterminated quotes", LR"(prog "a b\)"},
    {"escaped quote then doubled quote", LR"(prog \""" x)"},
    {"backslashes then quote run", LR"(prog \\""" x)"},
    {"backslash between quotes", LR"(prog "\" "\\" x)"},

    // Characters beyond ASCII.
    {"accented letters", L"prog \u00e9t\u00e9 \"\u00fc \u00f6\""},
    {"CJK", L"\u65e5\u672c.exe \u65e5\u672c\u8a9e \"\u4e2d \u6587\""},
    {"surrogate pair", L"prog \U0001F600 \"a\U0001F600b\""},
    {"non-ASCII program name, quoted", L"\"C:\\\u00dcber\\\u00e4pp.exe\" \u00df"},
};

// Printable ASCII stays; everything else is escaped.
std::string show(const std::wstring& s) {
  std::string out = "\"";
  for (wchar_t c : s) {
    char buf[8];
    if (c == L'"' || c == L'\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == L'\t') {
      out += "\\t";
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(c));
      out += buf;
    }
  }
  return out + "\"";
}

std::string show(const std::vector<std::wstring>& tokens) {
  std::string out = "[";
  for (std::size_t i = 0; i < tokens.size(); ++i) out += (i ? ", " : "") + show(tokens[i]);
  return out + "] (" + std::to_string(tokens.size()) + ")";
}

std::vector<std::wstring> systemSplit(const std::wstring& line) {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(line.c_str(), &argc);
  std::vector<std::wstring> tokens;
  if (!argv) return tokens;
  for (int i = 0; i < argc; ++i) tokens.emplace_back(argv[i]);
  LocalFree(argv);
  return tokens;
}

}  // namespace

int main() {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);

  int total = 0, failed = 0;
  auto check = [&](const char* what, const std::wstring& line, bool countOnly) {
    ++total;
    const std::vector<std::wstring> expected = systemSplit(line);
    const std::vector<std::wstring> actual = bu::splitWindowsCommandLine(line, self);
    const bool same = countOnly ? expected.size() == actual.size() : expected == actual;
    if (same) return;
    ++failed;
    std::printf("MISMATCH %s\n  input:    %s\n  expected: %s\n  actual:   %s\n", what,
                show(line).c_str(), show(expected).c_str(), show(actual).c_str());
  };

  for (const Case& c : kCases) check(c.what, c.line, false);
  // The system answers an empty line with the running program's path: only
  // the count can be compared.
  check("empty line (count only)", L"", true);

  std::printf("argv_differential: %d cases, %d mismatches\n", total, failed);
  return failed ? 1 : 0;
}
