// The work of the three modes over the package's update entries.
#pragma once

#include <string>

namespace bu {

int listUpdates();
int runExtraction(const std::string& file, const std::wstring& path);
int runFullDeployment();

}  // namespace bu
