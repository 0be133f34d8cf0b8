// The check that a file carries a valid code-signing signature of the maker.
//
// Three layers, in this order: the platform accepts the signature and its
// chain; the signing certificate is of the accepted class (IsClass3); its
// subject's common name contains the maker's name followed by a blank. Every
// step and every refusal is logged in "AUTH TVXSIGNED" lines.
#pragma once

#include <string>

#include "platform/code_signature.h"
#include "platform/pinned_file.h"

namespace bu {

// True only when the file at `path` (a bare name is looked for in the
// current directory) is signed by the maker with a trusted certificate of
// the accepted class.
bool verifyPublisherSignature(const std::wstring& path);

// The same check of a file already pinned for loading: what is verified is
// what the loader then maps.
bool verifyPublisherSignature(const platform::PinnedFile& file);

// The check proper, on a file the platform has opened (or failed to open).
bool checkFileSignature(platform::CodeSignature& signature);

// The class test on the signing certificate: its encoded subject carries the
// class marker, or its enhanced key usage lists code signing.
bool IsClass3(platform::CodeSignature& signature);

}  // namespace bu
