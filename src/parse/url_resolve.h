// Turning a link found on a page into an address: reference resolution
// as RFC 3986 section 5.2 describes it, on bytes. Nothing is decoded,
// encoded or trimmed.
#pragma once

#include <string>
#include <string_view>

namespace veltrano {

// True when `text` begins with a URI scheme: a letter, then letters,
// digits, "+", "-" or ".", then ":" (mailto:, javascript:, http:, ...).
bool HasUriScheme(std::string_view text);

// Resolves `reference` (a relative reference) against the absolute
// address `base`. A base with an authority and an empty path counts as
// having the path "/"; dot segments are removed from the result's path.
std::string ResolveReference(std::string_view base, std::string_view reference);

// Removes "." and ".." segments from a path (RFC 3986 section 5.2.4).
std::string RemoveDotSegments(std::string_view path);

}  // namespace veltrano
