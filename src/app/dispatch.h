// Runs the selected mode and turns its outcome into the exit code.
#pragma once

#include <functional>
#include <string>

#include "app/run_options.h"

namespace bu {

// The steps a mode is made of. The program uses the real ones; tests hand
// in their own to check the exit codes.
struct ModeSteps {
  std::function<int()> confirmDeployment;
  std::function<int(bool checkOem)> checkConfiguration;
  std::function<int()> listUpdates;
  std::function<int(const std::string& file, const std::wstring& path)> runExtraction;
  std::function<int()> runFullDeployment;
  std::function<void(int result)> showSummary;
};

ModeSteps programModeSteps();

int dispatchMode(const RunOptions& options, const ModeSteps& steps);

// Dispatches runOptions with the program's own steps.
int dispatchMode();

}  // namespace bu
