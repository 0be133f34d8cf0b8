// Environment variables of the process.
#pragma once

#include <optional>
#include <string>

namespace bu::platform {

// The 8-bit value of `name`; empty optional when the variable does not
// exist. A variable that exists with an empty value gives an empty string.
std::optional<std::string> environmentVariable(const char* name);

}  // namespace bu::platform
