#include "extract_probe.h"

#include "modules/unrar_binding.h"
#include "platform/text.h"

namespace bu::test {

int runExtractProbe(const std::wstring& archive, const std::wstring& destination) {
  UnrarBinding binding;
  int code = loadUnrar(binding);
  if (code == 0) code = extractArchive(binding, platform::wideToAnsi(archive), destination);
  releaseUnrar(binding);
  return code;
}

}  // namespace bu::test
