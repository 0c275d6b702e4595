#include "win32/urlmon_downloader.h"

#include "win32/controls.h"
#include "win32/download_status.h"

namespace veltrano::win32 {
namespace {

// An address of more than this many characters is refused before the
// service sees it; the crawl never hands over a longer one.
constexpr std::size_t kAddressMax = 1023;

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
    MyCallback callback(progress);
    const HRESULT result = URLDownloadToFileW(nullptr, url.c_str(), file.c_str(), 0, &callback);
    outcome.status = DownloadStatusText(static_cast<std::uint32_t>(result));
    outcome.finalAddress = callback.RedirectedTo();
    return outcome;
}

}  // namespace veltrano::win32
