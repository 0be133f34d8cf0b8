#include "modules/staged_placement.h"

#include "log/write_log.h"
#include "modules/placement_journal.h"
#include "platform/text.h"

namespace bu {
namespace {

const char kRolledBack[] = "UNRAR RECOVERY: Rolled back an interrupted extraction into %s.";
const char kFinished[] = "UNRAR RECOVERY: Finished the clean-up of an extraction into %s.";
const char kNotUndone[] =
    "UNRAR RECOVERY ERROR: An interrupted extraction into %s could not be undone; %s is left in "
    "place.";
const char kLeftForRestart[] = "UNRAR CLEANUP: %s is in use; it will be removed at restart.";
const char kLeft[] = "UNRAR CLEANUP ERROR: %s could not be removed.";

// The library's code for what cannot be created (ERAR_ECREATE).
constexpr int kCannotCreate = 16;

}  // namespace

StagedExtraction::StagedExtraction(const std::wstring& destination, std::string destinationForLog)
    : path_(destination), destinationForLog_(std::move(destinationForLog)) {}

StagedExtraction::~StagedExtraction() {
  if (staging_) removeStaging(staging_);
}

platform::StagingArea& StagedExtraction::staging() { return *staging_; }

int StagedExtraction::begin() {
  destination_ = std::make_unique<platform::Destination>(path_);
  if (!destination_->ready()) return kCannotCreate;
  for (auto& abandoned : destination_->abandoned()) {
    platform::NodeStamp root;
    bool restoreRoot = false;
    if (!recover(*abandoned, root, restoreRoot)) return kCannotCreate;
    removeStaging(abandoned);
    if (restoreRoot) destination_->restoreStamp(root);
  }
  staging_ = destination_->makeStaging();
  if (!staging_ || !staging_->appendJournal(journalHeader(destination_->stampBefore()), false)) {
    return kCannotCreate;
  }
  return 0;
}

// A dead run's staging directory. Its journal says what to do:
//   - "placed": the placement finished, only its clean-up was cut;
//   - planned and not placed: every step it may have taken is undone, and
//     the destination's own times (`root`) are put back once the directory
//     is removed;
//   - empty (the run died before it wrote a word): nothing was placed;
//   - none at all: the clean-up, which removes the journal last, had begun,
//     so the run had ended, placed or undone.
// A journal that cannot be read may be the only record of what the run set
// aside: the directory stays for a person to look at.
bool StagedExtraction::recover(platform::StagingArea& abandoned, platform::NodeStamp& root,
                               bool& restoreRoot) {
  std::string text;
  const bool hasJournal = abandoned.readJournal(text);
  const PlacementJournal journal = parseJournal(text);
  if (!hasJournal || (journal.valid && journal.placed)) {
    WriteLog(kFinished, destinationForLog_.c_str());
    return true;
  }
  if (!text.empty() && (!journal.valid || !rollBack(abandoned, journal.steps))) {
    WriteLog(kNotUndone, destinationForLog_.c_str(), platform::wideToAnsi(abandoned.name()).c_str());
    return false;
  }
  WriteLog(kRolledBack, destinationForLog_.c_str());
  root = journal.root;
  restoreRoot = journal.hasRoot;
  return true;
}

void StagedExtraction::removeStaging(std::unique_ptr<platform::StagingArea>& staging) {
  std::vector<platform::LeftBehind> left;
  staging->remove(left);
  for (const platform::LeftBehind& item : left) {
    WriteLog(item.atRestart ? kLeftForRestart : kLeft, platform::wideToAnsi(item.path).c_str());
  }
  staging.reset();
}

int StagedExtraction::finish(const std::vector<StagedEntry>& entries, bool extracted) {
  PlacementResult result;
  if (extracted) result = placeStaged(*staging_, entries);
  if (!result.undone) {
    // Undo failed part-way: the set-aside files may be the only copy of the
    // old ones, so the staging directory stays for the next run to finish.
    WriteLog(kNotUndone, destinationForLog_.c_str(), platform::wideToAnsi(staging_->name()).c_str());
    staging_.reset();
    return result.code;
  }
  removeStaging(staging_);
  if (!result.changed) destination_->restoreStamp(destination_->stampBefore());
  return extracted ? result.code : 0;
}

}  // namespace bu
