// The status text of a finished download: "OK", the name of a known
// failure code of the URL download service, or "Unknown error".
#pragma once

#include <cstdint>
#include <string_view>

namespace veltrano::win32 {

std::string_view DownloadStatusText(std::uint32_t code);

}  // namespace veltrano::win32
