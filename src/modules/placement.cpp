#include "modules/placement.h"

#include <algorithm>
#include <string>
#include <unordered_set>

#include "config/package_path.h"

namespace bu {
namespace {

// The library's code for an entry it cannot create (ERAR_ECREATE): what a
// refused or missing entry ends the extraction with.
constexpr int kCannotCreate = 16;

using platform::NodeKind;
using platform::Tree;

std::wstring joined(const std::wstring& parent, const std::wstring& name) {
  return parent.empty() ? name : parent + L"/" + name;
}

// Walks the staged tree once and turns it into steps.
struct Planner {
  platform::PlacementFiles& files;
  // The names of the archive's directory entries: an existing directory
  // takes the permissions of an entry of its name, and of no other.
  const std::unordered_set<std::wstring>& directoryEntries;
  std::vector<PlacementStep> steps;
  std::unordered_set<std::wstring> staged;  // every path the walk found
  unsigned long asideCount = 0;

  // Plans the nodes inside the staged directory `path`. `placed` says that
  // the directory itself already lies in the destination (or is the
  // destination); otherwise it is new and moves whole, and only the special
  // bits below it are cleared.
  bool plan(const std::wstring& path, bool placed) {
    std::vector<platform::Node> nodes;
    if (!files.list(Tree::Staged, path, nodes)) return false;
    for (const platform::Node& node : nodes) {
      const std::wstring nodePath = joined(path, node.name);
      staged.insert(nodePath);
      if (node.kind == NodeKind::Other || node.kind == NodeKind::Missing) return false;
      if (node.special && !files.clearSpecialBits(nodePath)) return false;
      if (!placed) {
        if (node.kind == NodeKind::Directory && !plan(nodePath, false)) return false;
        continue;
      }
      if (!planNode(node, nodePath)) return false;
    }
    return true;
  }

  bool planNode(const platform::Node& node, const std::wstring& path) {
    const NodeKind existing = files.kind(Tree::Destination, path);
    PlacementStep step;
    step.path = path;
    if (existing == NodeKind::Missing) {
      step.kind = PlacementStep::Kind::New;
      steps.push_back(step);
      return node.kind != NodeKind::Directory || plan(path, false);
    }
    if (node.kind == NodeKind::Directory) {
      // A directory never replaces a file or a link: that is a refusal.
      if (existing != NodeKind::Directory || !files.stamp(path, step.stamp)) return false;
      step.kind = PlacementStep::Kind::Directory;
      step.entry = directoryEntries.count(path) != 0;
      steps.push_back(step);
      return plan(path, true);
    }
    // A file or a link replaces what lies at its name, a link itself and
    // not what it leads to, but never a directory.
    if (existing == NodeKind::Directory) return false;
    step.kind = PlacementStep::Kind::Replace;
    step.aside = std::to_wstring(++asideCount);
    steps.push_back(step);
    return true;
  }
};

bool take(platform::PlacementFiles& files, const PlacementStep& step) {
  switch (step.kind) {
    case PlacementStep::Kind::Directory:
      return !step.entry || files.copyMode(step.path);
    case PlacementStep::Kind::New:
      return files.move(Tree::Staged, step.path, Tree::Destination, step.path);
    case PlacementStep::Kind::Replace:
      return files.move(Tree::Destination, step.path, Tree::Aside, step.aside) &&
             files.move(Tree::Staged, step.path, Tree::Destination, step.path);
  }
  return false;
}

// Takes back what a new node put at `path`: it goes back to the staged tree,
// where the staging directory's removal takes it.
bool takeBackNew(platform::PlacementFiles& files, const std::wstring& path) {
  if (files.kind(Tree::Staged, path) != NodeKind::Missing ||
      files.kind(Tree::Destination, path) == NodeKind::Missing) {
    return true;  // never placed, or taken back already
  }
  return files.move(Tree::Destination, path, Tree::Staged, path);
}

bool undo(platform::PlacementFiles& files, const PlacementStep& step) {
  switch (step.kind) {
    case PlacementStep::Kind::Directory:
      return files.restoreStamp(step.path, step.stamp);
    case PlacementStep::Kind::New:
      return takeBackNew(files, step.path);
    case PlacementStep::Kind::Replace:
      if (files.kind(Tree::Aside, step.aside) == NodeKind::Missing) return true;
      return takeBackNew(files, step.path) &&
             files.move(Tree::Aside, step.aside, Tree::Destination, step.path);
  }
  return false;
}

// An entry's name without the separators that end a directory's.
std::wstring entryPath(std::wstring name) {
  while (!name.empty() && (name.back() == L'/' || name.back() == L'\\')) name.pop_back();
  return name;
}

// Every entry must have left something in the staged tree: a link the
// library failed to make (it does not always say so), or any entry gone
// missing, fails the extraction instead of landing as success with a file
// short. The walk saw most names already; one spelled otherwise (another
// separator) is looked up. A name the library rewrites before it writes it
// (only Windows keeps such names, as the library renames them) cannot be
// looked up, and is passed over.
bool everyEntryStaged(platform::PlacementFiles& files, const std::vector<StagedEntry>& entries,
                      const std::unordered_set<std::wstring>& staged) {
  for (const StagedEntry& entry : entries) {
    const std::wstring name = entryPath(entry.name);
    if (staged.count(name) != 0 || !(entry.link || isPathBelow(name))) continue;
    if (files.kind(Tree::Staged, name) == NodeKind::Missing) return false;
  }
  return true;
}

}  // namespace

PlacementResult placeStaged(platform::PlacementFiles& files,
                            const std::vector<StagedEntry>& entries) {
  PlacementResult result;
  std::unordered_set<std::wstring> directoryEntries;
  bool special = false;
  for (const StagedEntry& entry : entries) {
    if (entry.directory) directoryEntries.insert(entryPath(entry.name));
    special = special || entry.special || entry.link;
  }
  files.lookForSpecialBits(special);
  Planner planner{files, directoryEntries, {}, {}, 0};
  if (!planner.plan(L"", true) || !everyEntryStaged(files, entries, planner.staged) ||
      !files.appendJournal(journalSteps(planner.steps) + kJournalPlanned, true)) {
    result.code = kCannotCreate;
    return result;
  }
  std::size_t taken = 0;
  while (taken < planner.steps.size() && take(files, planner.steps[taken])) ++taken;
  if (taken == planner.steps.size() && files.appendJournal(kJournalPlaced, true)) {
    result.changed = !planner.steps.empty();
    return result;
  }
  result.code = kCannotCreate;
  // The step that failed may have been half taken (a file set aside, the new
  // one not placed): undo it too.
  const std::size_t started = std::min(taken + 1, planner.steps.size());
  const std::vector<PlacementStep> startedSteps(
      planner.steps.begin(), planner.steps.begin() + static_cast<std::ptrdiff_t>(started));
  result.undone = rollBack(files, startedSteps);
  result.changed = !result.undone;
  return result;
}

bool rollBack(platform::PlacementFiles& files, const std::vector<PlacementStep>& steps) {
  bool undone = true;
  for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
    if (!undo(files, *step)) undone = false;
  }
  return undone;
}

}  // namespace bu
