#include "fake_downloader.h"

#include <fstream>

namespace veltrano::testing {

std::vector<std::string> FakeDownloader::Requested() const {
    std::lock_guard lock(mutex_);
    return requested_;
}

std::vector<std::string> FakeDownloader::Announced() const {
    std::lock_guard lock(mutex_);
    return announced_;
}

void FakeDownloader::Prefetch(const std::vector<std::string>& addresses) {
    std::lock_guard lock(mutex_);
    pendingAnnouncement_.clear();
    for (const std::string& address : addresses) pendingAnnouncement_ += " " + address;
}

DownloadOutcome FakeDownloader::Download(std::string_view address, const std::string& targetFile,
                                         DownloadProgress& progress) {
    const std::string key(address);
    {
        std::lock_guard lock(mutex_);
        requested_.push_back(key);
        if (!pendingAnnouncement_.empty()) announced_.push_back(key + " then" + pendingAnnouncement_);
        pendingAnnouncement_.clear();
    }
    if (onDownload) onDownload(key);
    DownloadOutcome outcome;
    outcome.finalAddress = key;
    if (const auto local = localFailures.find(key); local != localFailures.end()) {
        outcome.localFailure = local->second;
        return outcome;
    }
    if (interrupted.count(key) != 0) {
        outcome.interrupted = true;
        return outcome;
    }
    const auto found = pages.find(key);
    if (found == pages.end()) {
        outcome.status = "INET_E_OBJECT_NOT_FOUND";
        return outcome;
    }
    const Page& page = found->second;
    if (page.status != "OK") {
        outcome.status = page.status;
        return outcome;
    }
    std::ofstream(targetFile, std::ios::binary | std::ios::trunc) << page.body;
    const std::uint64_t size = page.body.size();
    progress.OnProgress(0, size);
    progress.OnProgress(size / 2, size);
    progress.OnProgress(size, size);
    progress.OnEndOfData(size);
    outcome.status = "OK";
    if (!page.finalAddress.empty()) outcome.finalAddress = page.finalAddress;
    return outcome;
}

}  // namespace veltrano::testing
