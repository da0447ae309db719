#pragma once

#include <string_view>

namespace skyloom::platform {

// Whether names that differ only in Unicode normalisation (precomposed against
// decomposed) name one item. macOS file systems treat them as one; Linux keeps
// names as bytes, so there they are two folders.
extern const bool namesAreCanonicallyEquivalent;

// Whether the item at `path` (absolute, links resolved) lies inside a Trash.
bool isInTrash(std::string_view path);

} // namespace skyloom::platform
