// The package's configuration file, buConfig.xml, and what it lists.
#pragma once

namespace bu {

// The package's run-oem-only setting.
extern bool runOemOnly;

// Reads buConfig.xml from the current directory: 102 when it was read as
// XML, 101 when not.
int loadConfigurationFile();

// Turns the loaded document into the update entries: 0, 103 or 122.
int parseConfiguration();

}  // namespace bu
