#include "win32/urlmon_downloader.h"

#include "win32/controls.h"
#include "win32/download_status.h"

namespace veltrano::win32 {
namespace {

// An address of more than this many characters is refused before the
// service sees it; the crawl never hands over a longer one.
constexpr std::size_t kAddressMax = 1023;

// The system's words for an error code, without the trailing line end.
std::string SystemReason(DWORD error) {
    char text[512] = "";
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                        text, sizeof text, nullptr);
    std::string reason(text, length);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == '.')) reason.pop_back();
    return reason.empty() ? "error " + std::to_string(error) : reason;
}

// Makes the target a fresh, empty regular file of our own before the
// service writes to it, so that a file that cannot be stored here is told
// apart from a page that failed: whatever had the name is removed first
// (a link itself, never what it points to), and the new file is created
// only if nothing has taken the name meanwhile.
std::string PrepareTarget(const std::wstring& file) {
    DeleteFileW(file.c_str());
    const HANDLE created = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (created == INVALID_HANDLE_VALUE) return SystemReason(GetLastError());
    CloseHandle(created);
    return {};
}

}  // namespace

HRESULT STDMETHODCALLTYPE MyCallback::OnProgress(ULONG progress, ULONG progressMax, ULONG statusCode,
                                                 LPCWSTR statusText) {
    progress_.OnProgress(progress, progressMax);
    if (statusCode == BINDSTATUS_REDIRECTING && statusText != nullptr) {
        redirectedTo_ = AnsiFromWide(statusText);
    }
    if (statusCode == BINDSTATUS_ENDDOWNLOADDATA) {
        // A body sent without its length reports a total of 0; what arrived
        // is then the size, so that such pages count as traffic too.
        progress_.OnEndOfData(progressMax != 0 ? progressMax : progress);
    }
    return S_OK;
}

DownloadOutcome UrlmonDownloader::Download(std::string_view address, const std::string& targetFile,
                                           DownloadProgress& progress) {
    DownloadOutcome outcome;
    if (address.size() > kAddressMax) {
        outcome.status = DownloadStatusText(static_cast<std::uint32_t>(INET_E_INVALID_URL));
        return outcome;
    }
    const std::wstring url = WideFromAnsi(address);
    const std::wstring file = WideFromAnsi(targetFile);
    if (const std::string reason = PrepareTarget(file); !reason.empty()) {
        outcome.localFailure = targetFile + ": " + reason;
        return outcome;
    }
    MyCallback callback(progress);
    const HRESULT result = URLDownloadToFileW(nullptr, url.c_str(), file.c_str(), 0, &callback);
    outcome.status = DownloadStatusText(static_cast<std::uint32_t>(result));
    outcome.finalAddress = callback.RedirectedTo();
    return outcome;
}

}  // namespace veltrano::win32
