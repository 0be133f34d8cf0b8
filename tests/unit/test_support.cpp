#include "test_support.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/run_options.h"
#include "app/user_messages.h"
#include "log/write_log.h"

namespace bu::test {

int runUnprivileged(const std::string& ownedTree, const std::function<int()>& body) {
  if (geteuid() != 0) return body();
  constexpr uid_t kNobody = 65534;
  namespace fs = std::filesystem;
  if (lchown(ownedTree.c_str(), kNobody, kNobody) != 0) return 126;
  for (const auto& entry : fs::recursive_directory_iterator(ownedTree)) {
    if (lchown(entry.path().c_str(), kNobody, kNobody) != 0) return 126;
  }
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child < 0) return 126;
  if (child == 0) {
    if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(126);
    _exit(body());
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return 126;
  return WEXITSTATUS(status);
}

TempDirectory::TempDirectory() {
  char pattern[] = "/tmp/bu-unit-XXXXXX";
  path_ = mkdtemp(pattern);
  if (const char* old = std::getenv("TMPDIR")) {
    previous_ = old;
    hadPrevious_ = true;
  }
  setenv("TMPDIR", path_.c_str(), 1);
}

TempDirectory::~TempDirectory() {
  if (hadPrevious_) {
    setenv("TMPDIR", previous_.c_str(), 1);
  } else {
    unsetenv("TMPDIR");
  }
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDirectory::logPath() const { return path_ + "/" + kLogFileName; }

namespace {

std::string makeTempFile(const std::string& content) {
  char pattern[] = "/tmp/bu-stdio-XXXXXX";
  const int fd = mkstemp(pattern);
  if (fd >= 0) {
    if (!content.empty()) {
      [[maybe_unused]] const auto written = write(fd, content.data(), content.size());
    }
    close(fd);
  }
  return pattern;
}

int redirect(int target, const std::string& path, int flags) {
  const int saved = dup(target);
  const int fd = open(path.c_str(), flags);
  dup2(fd, target);
  close(fd);
  return saved;
}

}  // namespace

StdioCapture::StdioCapture(const std::string& input)
    : errPath_(makeTempFile("")), inPath_(makeTempFile(input)) {
  std::fflush(stderr);
  savedErr_ = redirect(STDERR_FILENO, errPath_, O_WRONLY | O_TRUNC);
  savedIn_ = redirect(STDIN_FILENO, inPath_, O_RDONLY);
  std::clearerr(stdin);
}

StdioCapture::~StdioCapture() { finish(); }

std::string StdioCapture::finish() {
  if (savedErr_ < 0) return {};
  std::fflush(stderr);
  dup2(savedErr_, STDERR_FILENO);
  close(savedErr_);
  savedErr_ = -1;
  // stdin may hold unread input in its buffer: drop it with the stream.
  dup2(savedIn_, STDIN_FILENO);
  close(savedIn_);
  std::clearerr(stdin);
  std::ifstream in(errPath_, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  std::remove(errPath_.c_str());
  std::remove(inPath_.c_str());
  return text.str();
}

bool Box::operator==(const Box& other) const {
  return caption == other.caption && icon == other.icon && text == other.text &&
         buttons == other.buttons;
}

std::vector<Box> parseBoxes(const std::string& stderrText) {
  std::vector<Box> boxes;
  std::istringstream in(stderrText);
  std::string line;
  Box* open = nullptr;
  while (std::getline(in, line)) {
    if (open == nullptr) {
      if (line.rfind("--- ", 0) != 0) continue;
      const std::size_t paren = line.rfind(" (");
      Box box;
      box.caption = line.substr(4, paren - 4);
      box.icon = line.substr(paren + 2, line.size() - paren - 2 - 5);  // drop ") ---"
      boxes.push_back(box);
      open = &boxes.back();
    } else if (line == "--- [OK] ---" || line == "--- [Yes/No] ---") {
      open->buttons = line.substr(5, line.size() - 10);
      if (!open->text.empty()) open->text.pop_back();  // the newline before the closing line
      open = nullptr;
    } else {
      open->text += line + "\n";
    }
  }
  return boxes;
}

std::vector<std::string> readLogMessages(const std::string& logPath) {
  std::vector<std::string> messages;
  std::ifstream in(logPath, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) messages.push_back(line.size() >= 27 ? line.substr(27) : line);
  return messages;
}

void PackageTest::SetUp() {
  ProgramTest::SetUp();
  previous_ = std::filesystem::current_path().string();
  std::filesystem::current_path(temp_.path());
}

void PackageTest::TearDown() { std::filesystem::current_path(previous_); }

void ProgramTest::SetUp() {
  runOptions = RunOptions{};
  resourceModule = nullptr;
  unsetenv("sfxcmd");
}

}  // namespace bu::test
