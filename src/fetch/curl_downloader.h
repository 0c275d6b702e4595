// The downloader of the command-line program, built on libcurl. One easy
// handle serves the whole crawl, so the connection to the site is kept
// alive from page to page instead of being opened again for each one.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "state/downloader.h"

namespace veltrano {

struct CurlDownloaderOptions {
    // How long to wait for the server to accept the connection.
    std::chrono::milliseconds connectTimeout{std::chrono::seconds(30)};
    // A transfer that receives less than one byte a second for this long is
    // abandoned: a stalled server must not hold the crawl forever.
    std::chrono::seconds lowSpeedTime{60};
};

class CurlDownloader final : public Downloader {
public:
    CurlDownloader();
    explicit CurlDownloader(const CurlDownloaderOptions& options);
    ~CurlDownloader() override;

    CurlDownloader(const CurlDownloader&) = delete;
    CurlDownloader& operator=(const CurlDownloader&) = delete;

    DownloadOutcome Download(std::string_view address, const std::string& targetFile,
                             DownloadProgress& progress) override;

private:
    // Keeps <curl/curl.h> out of the code that includes this header.
    struct Handle;
    std::unique_ptr<Handle> handle_;
};

// The status text of a finished transfer: `curlCode` is its CURLcode and
// `httpStatus` the status of the last response (0 when there was none).
// The texts are those the Windows download service reports, so that the
// rest of the program reads both the same way.
std::string CurlStatusText(int curlCode, long httpStatus);

}  // namespace veltrano
