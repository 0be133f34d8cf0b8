// One extraction's way into its destination: the destination opened and
// locked, what dead runs left there finished or undone, a staging directory
// for the library, and at the end the all-or-nothing placement of what the
// library made (modules/placement) and the staging directory's removal.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "modules/placement.h"
#include "platform/staging_area.h"

namespace bu {

class StagedExtraction {
 public:
  StagedExtraction(const std::wstring& destination, std::string destinationForLog);
  ~StagedExtraction();
  StagedExtraction(const StagedExtraction&) = delete;
  StagedExtraction& operator=(const StagedExtraction&) = delete;

  // Opens the destination, recovers the staging directories dead runs left
  // in it (a line each in the log) and makes this run's. 0, or the library's
  // code for what cannot be created (16).
  int begin();
  // The staging directory, once begin() answered 0.
  platform::StagingArea& staging();

  // Places the staged entries when the library extracted the whole archive
  // (`extracted`), and removes the staging directory. When nothing was
  // placed, the destination is left exactly as it was found, its own times
  // included, and a destination this run made is removed again. 0, or 16
  // when the placement failed (and was undone).
  int finish(const std::vector<StagedEntry>& entries, bool extracted);

 private:
  bool recover(platform::StagingArea& abandoned, platform::NodeStamp& root, bool& restoreRoot);
  void removeStaging(std::unique_ptr<platform::StagingArea>& staging);

  std::wstring path_;
  std::string destinationForLog_;
  std::unique_ptr<platform::Destination> destination_;
  std::unique_ptr<platform::StagingArea> staging_;
};

}  // namespace bu
