// Shared fixtures of the unit tests: a private temporary directory (so the
// log is ours to read), a fresh set of options, and the boxes written to
// standard error.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace bu::test {

// Points TMPDIR at a fresh directory for the test's lifetime.
class TempDirectory {
 public:
  TempDirectory();
  ~TempDirectory();
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;

  const std::string& path() const { return path_; }
  std::string logPath() const;

 private:
  std::string path_;
  std::string previous_;
  bool hadPrevious_ = false;
};

// Collects what is written to standard error while it lives, and feeds
// `input` to standard input.
class StdioCapture {
 public:
  explicit StdioCapture(const std::string& input = "");
  ~StdioCapture();
  StdioCapture(const StdioCapture&) = delete;
  StdioCapture& operator=(const StdioCapture&) = delete;

  std::string finish();  // restores the streams, returns the captured text

 private:
  int savedErr_ = -1;
  int savedIn_ = -1;
  std::string errPath_;
  std::string inPath_;
};

// A box as the POSIX port writes it.
struct Box {
  std::string caption;
  std::string icon;
  std::string text;
  std::string buttons;
  bool operator==(const Box& other) const;
};
std::vector<Box> parseBoxes(const std::string& stderrText);

// The log's messages, without the timestamps.
std::vector<std::string> readLogMessages(const std::string& logPath);

// Runs `body` as a user without privileges, so that file permissions refuse
// what they say: in a child process as nobody (65534) when this process runs
// as root, after handing the tree `ownedTree` to that user; otherwise here.
// Returns what `body` returns (126 when the child could not drop root).
int runUnprivileged(const std::string& ownedTree, const std::function<int()>& body);

// The options, log and boxes start empty for every test.
class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override;
  std::vector<std::string> logMessages() const { return readLogMessages(temp_.logPath()); }

  TempDirectory temp_;
};

// Runs the test in its temporary directory, which stands for the package
// directory: the program looks for the package's files there by name.
class PackageTest : public ProgramTest {
 protected:
  void SetUp() override;
  void TearDown() override;

 private:
  std::string previous_;
};

}  // namespace bu::test
