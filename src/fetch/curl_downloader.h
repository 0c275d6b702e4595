// The downloader of the command-line program, built on libcurl. One
// transfer handle and one connection pool serve the whole crawl, so the
// connection to the site is kept alive from page to page instead of being
// opened again for each one.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "state/downloader.h"

namespace veltrano {

struct CurlDownloaderOptions {
    // How long to wait for the server to accept the connection.
    std::chrono::milliseconds connectTimeout{std::chrono::seconds(30)};
    // A transfer that receives less than one byte a second for this long is
    // abandoned: a stalled server must not hold the crawl forever.
    std::chrono::seconds lowSpeedTime{60};
    // A page not complete after this long fails with a time-out, however
    // steadily it trickles in: a server sending a byte a second would
    // otherwise satisfy the low-speed rule for ever.
    std::chrono::milliseconds pageTimeout{std::chrono::seconds(300)};
    // At most this many bytes of the (decoded) body are stored; the transfer
    // then ends, and the page counts as complete with what it has. This also
    // stops a small compressed body that would inflate without end.
    std::uint64_t maxPageBytes = 64ull * 1024 * 1024;
    // How many pages may be fetched at once: the one asked for, and those
    // announced as coming next (Prefetch).
    std::size_t connections = 1;
    // The least time between the starts of two requests.
    std::chrono::milliseconds wait{0};
    // What pages fetched ahead of their turn may hold in memory together;
    // past it they wait, paused, until their turn.
    std::uint64_t aheadBytes = 64ull * 1024 * 1024;
};

// Failures to store the page (the target cannot be made, a write or the
// close fails) come back as `localFailure` with an empty status, and no
// request is made when the target cannot be made. An interrupted download
// has `interrupted` set and the status "E_ABORT", the text the Windows
// download service gives a download its caller broke off.
class CurlDownloader final : public Downloader {
public:
    CurlDownloader();
    explicit CurlDownloader(const CurlDownloaderOptions& options);
    ~CurlDownloader() override;

    CurlDownloader(const CurlDownloader&) = delete;
    CurlDownloader& operator=(const CurlDownloader&) = delete;

    DownloadOutcome Download(std::string_view address, const std::string& targetFile,
                             DownloadProgress& progress) override;

    // Breaks off the download that runs on another thread within a moment,
    // even while curl waits for a silent server. The rule that makes this
    // race-free: Download() forgets earlier interrupts as its first step, so
    // an Interrupt() that returned before a Download() began never touches
    // it, and one made while a Download() runs always ends it, unless its
    // page was already complete. Callable at any time while the downloader
    // exists, also when no download runs.
    void Interrupt() override;
    // Starts fetching the announced pages, up to `connections` at once with
    // the page asked for; pages announced but never asked for are dropped.
    void Prefetch(const std::vector<std::string>& addresses) override;
    // Transfers running now; callable from any thread.
    std::size_t DownloadsInFlight() const;

    // A small text such as a robots.txt, into memory: at most `maxBytes` of
    // it are kept. The status is that of the last response after redirects,
    // or 0 when none came (unreachable, timed out). It keeps the pace
    // between requests and the time-outs of the pages.
    struct TextAnswer {
        long httpStatus = 0;
        std::string body;
    };
    TextAnswer FetchText(std::string_view address, std::size_t maxBytes);

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

// The address as it goes on the wire: blanks, control bytes, bytes beyond
// ASCII and the few characters a request may not hold raw are
// percent-encoded from the path on (a page's "my file.html" is fetched as
// "my%20file.html").
std::string WireAddress(std::string_view address);

}  // namespace veltrano
