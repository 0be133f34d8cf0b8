// Loads a shared object with dlopen and calls its buTrustPayload().
//   dlopen_check <absolute path>
// Exit code 0 when it loads and answers 42, 1 otherwise, 2 on misuse.
#include <dlfcn.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <shared object>\n", argv[0]);
    return 2;
  }
  void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    std::fprintf(stderr, "dlopen: %s\n", dlerror());
    return 1;
  }
  using Payload = int (*)();
  const auto payload = reinterpret_cast<Payload>(dlsym(library, "buTrustPayload"));
  const int answer = payload != nullptr ? payload() : -1;
  dlclose(library);
  std::printf("buTrustPayload() = %d\n", answer);
  return answer == 42 ? 0 : 1;
}
