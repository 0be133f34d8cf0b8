// All-or-nothing placement over an in-memory file layer: a failure at any
// move, and a run killed at any move then recovered from its journal, must
// leave the destination exactly as it was; a placement that finished leaves
// exactly the new tree. The journal keeps every name, whatever it holds.
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "modules/placement.h"
#include "modules/placement_journal.h"

namespace bu::test {
namespace {

using platform::NodeKind;
using platform::Tree;

struct FakeNode {
  NodeKind kind = NodeKind::File;
  bool special = false;
  std::uint32_t mode = 0644;
  std::string content;
};
using FakeTree = std::map<std::wstring, FakeNode>;

struct Killed {};

// Three trees of nodes by path. Moves can be made to fail, or to kill the
// run (an exception), at a given count.
class FakeFiles : public platform::PlacementFiles {
 public:
  FakeTree trees[3];
  std::string journal;
  int failAtMove = -1;
  bool kill = false;
  int moves = 0;
  int movesBeforeClear = -1;  // moves made when a special bit was last cleared

  FakeTree& tree(Tree which) { return trees[static_cast<int>(which)]; }

  NodeKind kind(Tree which, const std::wstring& path) override {
    if (path.empty()) return NodeKind::Directory;
    const auto found = tree(which).find(path);
    return found == tree(which).end() ? NodeKind::Missing : found->second.kind;
  }
  bool list(Tree which, const std::wstring& path, std::vector<platform::Node>& nodes) override {
    nodes.clear();
    const std::wstring prefix = path.empty() ? L"" : path + L"/";
    for (const auto& [name, node] : tree(which)) {
      if (name.compare(0, prefix.size(), prefix) != 0) continue;
      const std::wstring rest = name.substr(prefix.size());
      if (rest.find(L'/') == std::wstring::npos) nodes.push_back({rest, node.kind, node.special});
    }
    return kind(which, path) == NodeKind::Directory;
  }
  bool move(Tree fromTree, const std::wstring& from, Tree toTree, const std::wstring& to) override {
    if (moves++ == failAtMove) {
      if (kill) throw Killed{};
      return false;
    }
    const std::size_t slash = to.rfind(L'/');
    const std::wstring parent = slash == std::wstring::npos ? L"" : to.substr(0, slash);
    if (kind(fromTree, from) == NodeKind::Missing || kind(toTree, to) != NodeKind::Missing ||
        kind(toTree, parent) != NodeKind::Directory) {
      return false;
    }
    FakeTree& source = tree(fromTree);
    for (auto it = source.begin(); it != source.end();) {
      const std::wstring& name = it->first;
      if (name == from || name.compare(0, from.size() + 1, from + L"/") == 0) {
        tree(toTree)[to + name.substr(from.size())] = it->second;
        it = source.erase(it);
      } else {
        ++it;
      }
    }
    return true;
  }
  bool clearSpecialBits(const std::wstring& path) override {
    tree(Tree::Staged)[path].special = false;
    movesBeforeClear = moves;
    return true;
  }
  bool copyMode(const std::wstring& path) override {
    tree(Tree::Destination)[path].mode = tree(Tree::Staged)[path].mode;
    return true;
  }
  bool stamp(const std::wstring& path, platform::NodeStamp& stamp) override {
    stamp.mode = path.empty() ? 0755 : tree(Tree::Destination)[path].mode;
    return true;
  }
  bool restoreStamp(const std::wstring& path, const platform::NodeStamp& stamp) override {
    tree(Tree::Destination)[path].mode = stamp.mode;
    return true;
  }
  bool appendJournal(const std::string& records, bool) override {
    journal += records;
    return true;
  }
};

FakeNode file(const char* content, bool special = false) {
  return {NodeKind::File, special, 0644, content};
}
FakeNode directory(std::uint32_t mode = 0755) { return {NodeKind::Directory, false, mode, ""}; }

// An installed product, and an update of it: two files replaced (one a link
// now), one kept, a new directory, a new file in an existing directory, and
// the directory entry "bin" with other permissions.
FakeFiles productAndUpdate() {
  FakeFiles files;
  files.tree(Tree::Destination) = {{L"app.exe", file("old app")},
                                   {L"bin", directory()},
                                   {L"bin/tool", file("old tool")},
                                   {L"bin/keep", file("kept")},
                                   {L"data.lnk", file("old data")}};
  files.tree(Tree::Staged) = {{L"app.exe", file("new app", true)},
                              {L"bin", directory(0700)},
                              {L"bin/tool", file("new tool")},
                              {L"bin/extra", file("extra")},
                              {L"data.lnk", {NodeKind::Link, false, 0777, "-> app.exe"}},
                              {L"plugins", directory()},
                              {L"plugins/a", file("a", true)}};
  return files;
}

const std::vector<StagedEntry> kEntries = {{L"app.exe", false, false},  {L"bin/", false, true},
                                           {L"bin/tool", false, false}, {L"bin/extra", false, false},
                                           {L"data.lnk", true, false},  {L"plugins/a", false, false},
                                           {L"app.exe", false, false}};

bool same(const FakeTree& a, const FakeTree& b) {
  if (a.size() != b.size()) return false;
  for (const auto& [name, node] : a) {
    const auto other = b.find(name);
    if (other == b.end() || other->second.kind != node.kind || other->second.mode != node.mode ||
        other->second.content != node.content || other->second.special != node.special) {
      return false;
    }
  }
  return true;
}

TEST(Placement, PlacesTheWholeUpdateWithTheOldFilesSetAside) {
  FakeFiles files = productAndUpdate();
  const PlacementResult result = placeStaged(files, kEntries);
  ASSERT_EQ(result.code, 0);
  EXPECT_TRUE(result.changed);
  const FakeTree& placed = files.tree(Tree::Destination);
  EXPECT_EQ(placed.at(L"app.exe").content, "new app");
  EXPECT_FALSE(placed.at(L"app.exe").special);
  EXPECT_FALSE(placed.at(L"plugins/a").special);  // cleared inside a directory that moved whole
  EXPECT_EQ(placed.at(L"bin").mode, 0700u);
  EXPECT_EQ(placed.at(L"bin/keep").content, "kept");
  EXPECT_EQ(placed.at(L"data.lnk").kind, NodeKind::Link);
  EXPECT_EQ(files.tree(Tree::Aside).size(), 3u);  // app.exe, bin/tool, data.lnk
  EXPECT_TRUE(files.tree(Tree::Staged).count(L"plugins") == 0);  // moved whole
  EXPECT_EQ(files.movesBeforeClear, 0);  // every bit cleared before the first move
  const PlacementJournal journal = parseJournal(journalHeader({}) + files.journal);
  EXPECT_TRUE(journal.valid && journal.planned && journal.placed);
}

// A failure at each move in turn, and a run killed at each move in turn and
// then recovered by the next from its journal: the destination is the old
// one, byte for byte and mode for mode.
TEST(Placement, AFailureOrAKillAtAnyMoveLeavesTheOldTree) {
  const FakeTree before = productAndUpdate().tree(Tree::Destination);
  int total = 0;
  {
    FakeFiles counting = productAndUpdate();
    ASSERT_EQ(placeStaged(counting, kEntries).code, 0);
    total = counting.moves;
  }
  ASSERT_GT(total, 3);
  for (const bool kill : {false, true}) {
    for (int at = 0; at < total; ++at) {
      SCOPED_TRACE((kill ? "killed at move " : "failed at move ") + std::to_string(at));
      FakeFiles files = productAndUpdate();
      files.failAtMove = at;
      files.kill = kill;
      if (kill) {
        EXPECT_THROW(placeStaged(files, kEntries), Killed);
        files.failAtMove = -1;
        const PlacementJournal journal = parseJournal(journalHeader({}) + files.journal);
        ASSERT_TRUE(journal.valid && journal.planned && !journal.placed);
        EXPECT_TRUE(rollBack(files, journal.steps));
        EXPECT_TRUE(rollBack(files, journal.steps));  // again, as after a second kill: no change
      } else {
        const PlacementResult result = placeStaged(files, kEntries);
        EXPECT_EQ(result.code, 16);
        EXPECT_TRUE(result.undone);
        EXPECT_FALSE(result.changed);
      }
      EXPECT_TRUE(same(files.tree(Tree::Destination), before));
      EXPECT_TRUE(files.tree(Tree::Aside).empty());
    }
  }
}

struct Refusal {
  const char* label;
  FakeTree destination;
  FakeTree staged;
  std::vector<StagedEntry> entries;
};

void PrintTo(const Refusal& refusal, std::ostream* out) { *out << refusal.label; }

class PlacementRefusal : public ::testing::TestWithParam<Refusal> {};

// Refused before anything moves: the destination is untouched.
TEST_P(PlacementRefusal, FailsBeforeAnyMove) {
  FakeFiles files;
  files.tree(Tree::Destination) = GetParam().destination;
  files.tree(Tree::Staged) = GetParam().staged;
  EXPECT_EQ(placeStaged(files, GetParam().entries).code, 16);
  EXPECT_EQ(files.moves, 0);
  EXPECT_TRUE(same(files.tree(Tree::Destination), GetParam().destination));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlacementRefusal,
    ::testing::Values(
        Refusal{"directory_over_a_file", {{L"a", file("old")}}, {{L"a", directory()}, {L"a/b", file("b")}},
                {{L"a/b", false, false}}},
        Refusal{"file_over_a_directory", {{L"a", directory()}}, {{L"a", file("new")}},
                {{L"a", false, false}}},
        Refusal{"file_gone_from_the_staged_tree", {}, {{L"a", file("a")}},
                {{L"a", false, false}, {L"b", false, false}}},
        Refusal{"link_the_library_did_not_make", {}, {{L"a", file("a")}},
                {{L"a", false, false}, {L"l", true, false}}},
        Refusal{"node_of_another_kind", {}, {{L"fifo", {NodeKind::Other, false, 0644, ""}}},
                {{L"fifo", false, false}}}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.label); });

TEST(PlacementJournal, KeepsEveryNameAndIgnoresATornLastLine) {
  std::vector<PlacementStep> steps(3);
  steps[0].kind = PlacementStep::Kind::Directory;
  steps[0].path = L"dir with space/%41\n";
  steps[0].stamp = {0750, -5, 1234567890123456789};
  steps[0].entry = true;
  steps[1].kind = PlacementStep::Kind::Replace;
  steps[1].path = L"caf\u00e9/\xDCFF\u0444";
  steps[1].aside = L"7";
  steps[2].path = L"plain";
  const std::string text = journalHeader({0755, 1, 2}) + journalSteps(steps) + kJournalPlanned;
  const PlacementJournal journal = parseJournal(text + "replace torn");
  ASSERT_TRUE(journal.valid);
  EXPECT_TRUE(journal.planned);
  EXPECT_FALSE(journal.placed);
  EXPECT_EQ(journal.root.modified, 2);
  ASSERT_EQ(journal.steps.size(), 3u);
  for (std::size_t i = 0; i < steps.size(); ++i) {
    EXPECT_EQ(journal.steps[i].kind, steps[i].kind);
    EXPECT_EQ(journal.steps[i].path, steps[i].path);
    EXPECT_EQ(journal.steps[i].aside, steps[i].aside);
  }
  EXPECT_EQ(journal.steps[0].stamp.modified, 1234567890123456789);
  EXPECT_TRUE(journal.steps[0].entry);
  EXPECT_FALSE(parseJournal("something else\n").valid);
  EXPECT_FALSE(parseJournal(journalHeader({}) + "move a b\n").valid);
}

}  // namespace
}  // namespace bu::test
