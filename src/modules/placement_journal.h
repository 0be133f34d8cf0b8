// The placement's journal: what a run set aside and placed, kept in its
// staging directory so that a run killed at any instant can be undone or
// finished by the next run into the same destination.
//
// One record a line, appended, never rewritten:
//   bu-placement 1                     the format
//   root <mode> <accessed> <modified>  the destination as it was
//   directory <path> <mode> <accessed> <modified> <entry>
//                                      an existing directory the update
//                                      enters (entry 1: it is an entry of the
//                                      archive and takes its permissions)
//   new <path>                         a node the update adds
//   replace <path> <aside>             a node the update replaces; the old
//                                      one is set aside under <aside>
//   planned                            every step is written, and flushed:
//                                      from here on the destination changes
//   placed                             every step was taken, and flushed
// Paths are relative to the destination, '/' between components; a
// character outside '!'..'~', and '%', is written %<hex>; (so a record never
// holds a space or a line break of its name's own).
#pragma once

#include <string>
#include <vector>

#include "platform/placement_files.h"

namespace bu {

struct PlacementStep {
  enum class Kind { Directory, New, Replace };
  Kind kind = Kind::New;
  std::wstring path;
  std::wstring aside;          // Replace: the name in the set-aside tree
  platform::NodeStamp stamp;   // Directory: as it was
  bool entry = false;          // Directory: an archive entry, whose mode it takes
};

struct PlacementJournal {
  bool valid = false;    // the format line and every complete record were read
  bool hasRoot = false;
  platform::NodeStamp root;
  std::vector<PlacementStep> steps;
  bool planned = false;
  bool placed = false;
};

std::string journalHeader(const platform::NodeStamp& root);
std::string journalSteps(const std::vector<PlacementStep>& steps);
extern const char kJournalPlanned[];
extern const char kJournalPlaced[];

// Reads a journal. A last line without its line break (the run died while
// writing it) is ignored.
PlacementJournal parseJournal(const std::string& text);

}  // namespace bu
