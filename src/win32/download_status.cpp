#include "win32/download_status.h"

#include <algorithm>
#include <array>
#include <utility>

namespace veltrano::win32 {
namespace {

struct NamedCode {
    std::uint32_t code;
    std::string_view name;
};

// In the order of their codes, so that a binary search finds them.
constexpr std::array<NamedCode, 26> kNames = {{
    {0x00000000, "OK"},
    {0x8007000E, "E_OUTOFMEMORY"},
    {0x800C0002, "INET_E_INVALID_URL"},
    {0x800C0003, "INET_E_NO_SESSION"},
    {0x800C0004, "INET_E_CANNOT_CONNECT"},
    {0x800C0005, "INET_E_RESOURCE_NOT_FOUND"},
    {0x800C0006, "INET_E_OBJECT_NOT_FOUND"},
    {0x800C0007, "INET_E_DATA_NOT_AVAILABLE"},
    {0x800C0008, "INET_E_DOWNLOAD_FAILURE"},
    {0x800C0009, "INET_E_AUTHENTICATION_REQUIRED"},
    {0x800C000A, "INET_E_NO_VALID_MEDIA"},
    {0x800C000B, "INET_E_CONNECTION_TIMEOUT"},
    {0x800C000C, "INET_E_INVALID_REQUEST"},
    {0x800C000D, "INET_E_UNKNOWN_PROTOCOL"},
    {0x800C000E, "INET_E_SECURITY_PROBLEM"},
    {0x800C000F, "INET_E_CANNOT_LOAD_DATA"},
    {0x800C0010, "INET_E_CANNOT_INSTANTIATE_OBJECT"},
    {0x800C0014, "INET_E_REDIRECT_FAILED"},
    {0x800C0015, "INET_E_REDIRECT_TO_DIR"},
    {0x800C0016, "INET_E_CANNOT_LOCK_REQUEST"},
    {0x800C0017, "INET_E_USE_EXTEND_BINDING"},
    {0x800C0018, "INET_E_TERMINATED_BIND"},
    {0x800C0100, "INET_E_CODE_DOWNLOAD_DECLINED"},
    {0x800C0200, "INET_E_RESULT_DISPATCHED"},
    {0x800C0300, "INET_E_CANNOT_REPLACE_SFP_FILE"},
    {0x800C0400, "INET_E_CODE_INSTALL_SUPPRESSED"},
}};

static_assert(std::is_sorted(kNames.begin(), kNames.end(),
                             [](const NamedCode& a, const NamedCode& b) { return a.code < b.code; }));

}  // namespace

std::string_view DownloadStatusText(std::uint32_t code) {
    const auto found = std::lower_bound(kNames.begin(), kNames.end(), code,
                                        [](const NamedCode& entry, std::uint32_t wanted) { return entry.code < wanted; });
    return found != kNames.end() && found->code == code ? found->name : "Unknown error";
}

}  // namespace veltrano::win32
