// The command line as a self-extracting package hands it over: the bytes of
// the "sfxcmd" variable, split by the Windows rules and checked against the
// grammar, in both kinds of locale. Whatever the bytes, the parse answers
// one of its three codes, and an accepted /extract names an absolute
// destination and a lower-cased file.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/command_line.h"
#include "app/run_options.h"
#include "app/user_messages.h"
#include "fuzz_support.h"

namespace {

// "sfxcmd=<value>", handed to the environment once with putenv and then
// rewritten in place: setenv would allocate a copy for every input and keep
// it, which the fuzzer takes for a leak to chase. Longer lines are cut.
constexpr char kAssignment[] = "sfxcmd=";
char variable[std::size_t{1} << 16] = "sfxcmd=";

void setCommandLineVariable(const std::string& line) {
  const std::size_t room = sizeof variable - sizeof kAssignment;
  const std::size_t length = line.size() < room ? line.size() : room;
  std::memcpy(variable + sizeof kAssignment - 1, line.data(), length);
  variable[sizeof kAssignment - 1 + length] = '\0';
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  bu::fuzz::quietProcess();
  ::putenv(variable);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using bu::fuzz::check;
  const std::string line = bu::fuzz::textUpToNul(data, size);
  for (const char* locale : bu::fuzz::kLocales) {
    bu::fuzz::useLocale(locale);
    bu::runOptions = bu::RunOptions{};
    bu::resourceModule = nullptr;
    setCommandLineVariable(line);
    // The entry point's tail is only quoted by a log line: the same bytes.
    const int result = bu::parseCommandLine(variable + sizeof kAssignment - 1);
    bu::fuzz::discardLog();

    check(result == 0 || result == 112 || result == 113, "parseCommandLine answered another code");
    if (bu::runOptions.mode == bu::Mode::Extract) {
      const std::wstring& path = bu::runOptions.extractPath;
      check(!path.empty() && path[0] == L'/', "/extract accepted a path that is not absolute");
      for (const char c : bu::runOptions.extractFile) {
        check(c < 'A' || c > 'Z', "/extract stored a file name that is not lower-cased");
      }
    }
  }
  return 0;
}
