// One blocking download of an address into a file, as the crawl needs it.
// The Windows program implements it with the system's URL download
// service, the command-line program with libcurl, the tests with a fake.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace veltrano {

class DownloadProgress {
public:
    virtual ~DownloadProgress() = default;
    // Bytes received so far and the expected total (0 when not known).
    virtual void OnProgress(std::uint64_t bytesSoFar, std::uint64_t totalBytes) = 0;
    // Once per download that reached the end of its data, with its size.
    virtual void OnEndOfData(std::uint64_t totalBytes) = 0;
};

struct DownloadOutcome {
    // "OK", or the name of the failure, such as "INET_E_CANNOT_CONNECT".
    std::string status;
    // Where the last redirect led; the address exactly as given, or empty,
    // when there was none. The base for the page's relative links.
    std::string finalAddress;
    // Not empty when the page could not be stored here: the target file
    // could not be made or written (a read-only folder, a full disk,
    // something else in its place). It says which file and why, as
    // "PATH: reason". That is no failure of the page: the status is then
    // meaningless and the page must be fetched again later.
    std::string localFailure;
    // The download was broken off by Interrupt(); the page must be fetched
    // again later.
    bool interrupted = false;
};

class Downloader {
public:
    virtual ~Downloader() = default;
    // Downloads `address` into `targetFile` (created or replaced), calling
    // `progress` on the calling thread. Never throws.
    virtual DownloadOutcome Download(std::string_view address, const std::string& targetFile,
                                     DownloadProgress& progress) = 0;
    // Breaks off the running download, if any, as soon as it can; callable
    // from any thread. A download that starts later is not affected.
    virtual void Interrupt() {}
    // The addresses that Download will most likely be asked for next, in that
    // order, replacing any earlier such list: a downloader that can may start
    // fetching them now. Called on the thread that calls Download.
    virtual void Prefetch(const std::vector<std::string>& /*addresses*/) {}
};

}  // namespace veltrano
