#include "fake_downloader.h"

#include <fstream>

namespace veltrano::testing {

std::vector<std::string> FakeDownloader::Requested() const {
    std::lock_guard lock(mutex_);
    return requested_;
}

DownloadOutcome FakeDownloader::Download(std::string_view address, const std::string& targetFile,
                                         DownloadProgress& progress) {
    const std::string key(address);
    {
        std::lock_guard lock(mutex_);
        requested_.push_back(key);
    }
    if (onDownload) onDownload(key);
    const auto found = pages.find(key);
    if (found == pages.end()) return {"INET_E_OBJECT_NOT_FOUND", key};
    const Page& page = found->second;
    if (page.status != "OK") return {page.status, key};
    std::ofstream(targetFile, std::ios::binary | std::ios::trunc) << page.body;
    const std::uint64_t size = page.body.size();
    progress.OnProgress(0, size);
    progress.OnProgress(size / 2, size);
    progress.OnProgress(size, size);
    progress.OnEndOfData(size);
    return {"OK", page.finalAddress.empty() ? key : page.finalAddress};
}

}  // namespace veltrano::testing
