// The package check's two outputs: a readable table with one line per check
// and a summary line, or one JSON document for build pipelines.
#pragma once

#include <string>
#include <vector>

#include "check/package_check.h"

namespace bu::check {

std::string tableReport(const std::string& folder, const std::vector<Finding>& findings);

// {"package": <folder>, "errors": <n>, "warnings": <n>, "ok": <no errors>,
//  "findings": [{"scope", "check", "level" ("ok", "warning", "error"),
//  "detail"}, ...]}; strings are JSON, every character beyond ASCII escaped.
std::string jsonReport(const std::string& folder, const std::vector<Finding>& findings);

bool hasErrors(const std::vector<Finding>& findings);

}  // namespace bu::check
