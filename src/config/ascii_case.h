// The program's one case rule, for command-line arguments and configuration
// values alike: only the letters A-Z are lowered, so every other byte of an
// 8-bit text (those above 127 included) stays as it is.
#pragma once

#include <string>

namespace bu {

inline std::string lowerCasedAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

}  // namespace bu
