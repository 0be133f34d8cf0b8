// The check that a file carries a valid code-signing signature of the maker.
#pragma once

#include <string>

namespace bu {

// True only when the file at `path` is signed by the maker with a trusted
// code-signing certificate.
bool verifyPublisherSignature(const std::wstring& path);

}  // namespace bu
