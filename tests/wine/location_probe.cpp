// Runs the program's module location on entries given on the command line
// and prints the path it answers as one line, "path=[<path>]"; the REG lines
// go to the log, as in the program.
//
//   location_probe find <location>=<name>...
//       findAuthorizationModulePath over one entry per argument (authorization
//       module <name> at <location>)
//   location_probe resolve auth|deploy full|short <location>=<name>
//       resolveModulePath for that module of a single entry
#include <cstdio>
#include <cstring>
#include <string>

#include "config/update_entry.h"
#include "engine/module_location.h"
#include "platform/text.h"

namespace {

bool parseModule(const char* argument, std::string& location, std::string& name) {
  const char* equals = std::strchr(argument, '=');
  if (equals == nullptr) return false;
  location.assign(argument, equals);
  name = equals + 1;
  return true;
}

int usage(const char* program) {
  std::fprintf(stderr,
               "usage: %s find <location>=<name>...\n"
               "       %s resolve auth|deploy full|short <location>=<name>\n",
               program, program);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage(argv[0]);
  const std::string command = argv[1];
  std::wstring path;
  if (command == "find") {
    for (int i = 2; i < argc; ++i) {
      bu::UpdateEntry entry{"AuthType", "DeployType", "U.rar", "Update", "", "Deploy.dll", "",
                            "package"};
      if (!parseModule(argv[i], entry.authDllLocation, entry.authDllName)) return usage(argv[0]);
      bu::updateEntries.push_back(entry);
    }
    path = bu::findAuthorizationModulePath();
  } else if (command == "resolve" && argc == 5) {
    const std::string kindName = argv[2];
    const std::string styleName = argv[3];
    if ((kindName != "auth" && kindName != "deploy") || (styleName != "full" && styleName != "short")) {
      return usage(argv[0]);
    }
    const bool auth = kindName == "auth";
    bu::UpdateEntry entry{"AuthType", "DeployType", "U.rar", "Update", "Auth.dll", "Deploy.dll",
                          "package", "package"};
    if (!parseModule(argv[4], auth ? entry.authDllLocation : entry.deployDllLocation,
                     auth ? entry.authDllName : entry.deployDllName)) {
      return usage(argv[0]);
    }
    bu::updateEntries.push_back(entry);
    path = bu::resolveModulePath(0, auth ? bu::ModuleKind::Authorization : bu::ModuleKind::Deployment,
                                 styleName == "short" ? bu::NoticeStyle::Short : bu::NoticeStyle::FullRun);
  } else {
    return usage(argv[0]);
  }
  std::printf("path=[%s]\n", bu::platform::wideToAnsi(path).c_str());
  return 0;
}
