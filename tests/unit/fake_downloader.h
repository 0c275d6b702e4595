// A Downloader for tests: serves pages from a table, writes their bodies
// into the target file and reports progress like a real transfer.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "state/downloader.h"

namespace veltrano::testing {

class FakeDownloader : public Downloader {
public:
    struct Page {
        std::string status = "OK";
        std::string body;
        std::string finalAddress;  // empty: no redirect
    };

    // Addresses not in the table fail with "INET_E_OBJECT_NOT_FOUND".
    std::map<std::string, Page> pages;
    // Addresses whose page cannot be stored here, with the reason given.
    std::map<std::string, std::string> localFailures;
    // Addresses whose download is broken off.
    std::set<std::string> interrupted;
    // Called before each download with its address (on the worker thread).
    std::function<void(const std::string&)> onDownload;

    std::vector<std::string> Requested() const;
    // Each list of pages announced as coming next, with the download that followed it.
    std::vector<std::string> Announced() const;

    DownloadOutcome Download(std::string_view address, const std::string& targetFile,
                             DownloadProgress& progress) override;
    void Prefetch(const std::vector<std::string>& addresses) override;

private:
    mutable std::mutex mutex_;
    std::vector<std::string> requested_;
    std::vector<std::string> announced_;
    std::string pendingAnnouncement_;
};

}  // namespace veltrano::testing
