// The scanning engine of the parser: one forward pass over the page text
// that finds the captures of one compiled pattern.
#pragma once

#include <functional>
#include <string_view>

#include "text/pattern.h"

namespace veltrano {

inline constexpr std::size_t kCaptureMax = 1023;

// Receives each capture, raw, in page order; returns false to end the scan.
using CaptureSink = std::function<bool(std::string_view capture)>;

// Calls `sink` with every capture of `pattern` in `text`. Returns false as
// soon as the sink does, true when the text has been scanned to its end.
// Never reads outside `text`.
bool ScanCaptures(const CompiledPattern& pattern, std::string_view text, const CaptureSink& sink);

}  // namespace veltrano
