// The next volume's name, as the UnRAR library derives it: the walk for a cut
// follows a set of volumes by these names, so a wrong one would end the walk
// early (a set reported cut) or at a file of another set.
#include <gtest/gtest.h>

#include <string>

#include "modules/archive_end.h"

namespace bu {
namespace {

TEST(VolumeName, FollowsTheLibrarysNumbering) {
  const struct {
    const char* name;
    bool newNumbering;
    const char* next;
  } cases[] = {
      {"update.part1.rar", true, "update.part2.rar"},
      {"update.part9.rar", true, "update.part10.rar"},
      {"update.part09.rar", true, "update.part10.rar"},
      {"update.part99.rar", true, "update.part100.rar"},
      {"dir.v2/update.part1.rar", true, "dir.v2/update.part2.rar"},
      {"setup.part1.exe", true, "setup.part2.rar"},
      {"update.rar", false, "update.r00"},
      {"UPDATE.RAR", false, "UPDATE.R00"},
      {"update.r00", false, "update.r01"},
      {"update.r09", false, "update.r10"},
      {"update.r99", false, "update.s00"},
      {"update.999", false, "update.a00"},
      {"setup.exe", false, "setup.r00"},
      {"update", false, ""},
      {"dir.v2/update", true, ""},
      {"update.rar", true, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(nextVolumeName(c.name, c.newNumbering), c.next) << c.name;
  }
}

}  // namespace
}  // namespace bu
