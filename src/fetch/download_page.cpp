#include "fetch/download_page.h"

#include <algorithm>
#include <limits>

#include "text/text_ops.h"
#include "state/app_state.h"
#include "state/downloader.h"
#include "state/view.h"

namespace veltrano {
namespace {

class PageProgress final : public DownloadProgress {
public:
    explicit PageProgress(AppState& state) : state_(state) {}

    void OnProgress(std::uint64_t bytesSoFar, std::uint64_t totalBytes) override {
        const int percent = ProgressPercent(bytesSoFar, totalBytes);
        if (percent == shown_) return;  // spare the view a redraw
        shown_ = percent;
        state_.view->SetProgress(percent);
    }

    void OnEndOfData(std::uint64_t totalBytes) override {
        // Only this thread adds; the sum stops at its largest value.
        const std::int64_t before = state_.traffic.load();
        constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
        const std::uint64_t room = static_cast<std::uint64_t>(kMax - std::max<std::int64_t>(before, 0));
        const std::int64_t traffic = std::max<std::int64_t>(before, 0) + static_cast<std::int64_t>(std::min(totalBytes, room));
        state_.traffic = traffic;
        state_.view->SetStatusLabel(StatusLabel::traffic, FormatThousands(traffic));
    }

private:
    AppState& state_;
    int shown_ = 0;
};

}  // namespace

int ProgressPercent(std::uint64_t bytesSoFar, std::uint64_t totalBytes) {
    if (totalBytes == 0) return 0;
    const double percent = static_cast<double>(bytesSoFar) * 100.0 / static_cast<double>(totalBytes) + 0.5;
    return percent >= 100.0 ? 100 : static_cast<int>(percent);
}

DownloadOutcome DownloadPage(AppState& state, std::string_view address) {
    state.view->SetProgress(0);
    PageProgress progress(state);
    DownloadOutcome outcome = state.downloader->Download(address, kTempPageFile, progress);
    const bool stored = outcome.localFailure.empty() && !outcome.interrupted;
    if (stored && outcome.status == "OK") state.view->SetProgress(100);
    state.pageBaseAddress = outcome.finalAddress.empty() ? std::string(address) : outcome.finalAddress;
    return outcome;
}

}  // namespace veltrano
