// The program's one case rule, for command-line arguments and configuration
// values alike: only the letters A-Z are lowered, so every other byte of an
// 8-bit text (those above 127 included) stays as it is.
#pragma once

#include <string>

namespace bu {

template <typename Char>
std::basic_string<Char> lowerCasedAscii(std::basic_string<Char> text) {
  for (Char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<Char>(c - 'A' + 'a');
  }
  return text;
}

}  // namespace bu
