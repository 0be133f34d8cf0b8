// With no windows on POSIX, a box is written to standard error in a fixed
// form that scripts can parse:
//   --- <caption> (<icon>) ---
//   <text>
//   --- [OK] ---        or   --- [Yes/No] ---
// A Yes/No box then reads one line from standard input: "y" or "yes" in any
// case is Yes, anything else (end of input too) is No.
#include "platform/message_box.h"

#include <cctype>
#include <cstdio>
#include <string>

#include "platform/text.h"

namespace bu::platform {
namespace {

const char* iconName(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::Information:
      return "information";
    case BoxIcon::Error:
      return "error";
    case BoxIcon::None:
      break;
  }
  return "none";
}

bool readYes() {
  std::string line;
  for (int c = std::getchar(); c != EOF && c != '\n'; c = std::getchar()) {
    line += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line == "y" || line == "yes";
}

}  // namespace

int showMessageBox(const std::wstring& caption, const std::wstring& text, BoxButtons buttons,
                   BoxIcon icon) {
  const bool yesNo = buttons == BoxButtons::YesNo;
  const std::string box = "--- " + wideToAnsi(caption) + " (" + iconName(icon) + ") ---\n" +
                          wideToAnsi(text) + "\n" + (yesNo ? "--- [Yes/No] ---\n" : "--- [OK] ---\n");
  std::fputs(box.c_str(), stderr);
  std::fflush(stderr);
  if (!yesNo) return kBoxOk;
  return readYes() ? kBoxYes : kBoxNo;
}

}  // namespace bu::platform
