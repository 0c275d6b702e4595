// One page into the temporary page file, with the progress bar and the
// traffic count kept up to date.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "state/downloader.h"

namespace veltrano {

struct AppState;

// The progress bar's position: bytes so far of the total in percent,
// rounded half up; 0 while the total is not known.
int ProgressPercent(std::uint64_t bytesSoFar, std::uint64_t totalBytes);

// Downloads `address` into the temporary page file with the state's
// downloader. Returns the outcome (its status text is "OK" or a failure
// name) and keeps the final address of the download as the base of the
// page's links.
DownloadOutcome DownloadPage(AppState& state, std::string_view address);

}  // namespace veltrano
