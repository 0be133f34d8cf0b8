// The container of the package manifest's text: a resource-only PE image
// with no code, no imports and no entry point, whose one resource (type
// RCDATA, id 1) is the text. A PE image is what Authenticode signs, so the
// maker signs the manifest as they sign their modules; the POSIX port signs
// the same image in its appended form, which a PE reader never looks at.
//
// The image is only ever read as data, by the reader below: never mapped by
// a loader.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace bu {

// An unsigned image holding `text`.
std::vector<unsigned char> manifestImage(const std::string& text);

// The text of the RCDATA resource with id 1 (its first language) in the PE
// image `image`; null when `image` is not a PE image holding one inside its
// bounds. Bytes behind the image (a signature) are ignored.
std::optional<std::string> manifestImageText(const unsigned char* image, std::size_t size);

}  // namespace bu
