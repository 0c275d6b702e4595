// The one record of settings, crawl snapshot, counters and flags, with the
// four lists. Fields that the crawl worker and the user-interface thread
// both touch are atomic.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "text/pattern.h"
#include "state/lists.h"

namespace veltrano {

class View;
class Downloader;

// Runs a job on a new detached thread; false when no thread could be made.
using ThreadStarter = std::function<bool(std::function<void()> job)>;
bool StartDetachedThread(std::function<void()> job);

inline constexpr std::size_t kExtensionSlots = 100;
inline constexpr std::size_t kExtensionTextMax = 99;
inline constexpr std::size_t kPathTextMax = 259;  // addresses, masks, paths
inline constexpr std::size_t kListAddressMax = 1023;  // an address as read from the page list
inline constexpr std::size_t kMaxPatterns = 100;

// Up to 100 extensions; the first empty entry ends the table. "-" stands
// for a link without an extension.
using ExtensionTable = std::array<std::string, kExtensionSlots>;

enum GrabMode : int { kGrabLinks = 0, kGrabCustom = 1, kGrabAllLinks = 2 };

// "Links" and "All links" collect addresses filtered by the extension list;
// every other selection (none included) collects the custom patterns' texts.
inline bool GrabsLinks(int grabMode) { return grabMode == kGrabLinks || grabMode == kGrabAllLinks; }

inline constexpr const char* kTempPageFile = "tmp.txt";

struct AppState {
    AppState();
    AppState(const AppState&) = delete;
    AppState& operator=(const AppState&) = delete;

    std::string caption = "Veltrano";
    std::array<CompiledPattern, 2> linkPatterns{};
    ExtensionTable pageExtensions{};

    // Snapshot taken at crawl start.
    int patternCount = 0;
    std::array<CompiledPattern, kMaxPatterns> patterns{};
    ExtensionTable linkExtensions{};
    int grabMode = kGrabLinks;  // -1 (no selection) acts as "Custom"
    std::string siteAddress;
    std::string siteKey;
    std::string skipMask;
    // Whether a page may be downloaded at all (a site's robots.txt, say);
    // empty: every page may. Called on the worker thread.
    std::function<bool(std::string_view address)> pageAllowed;
    // How many downloads may run at once; pages are processed one after the
    // other whatever it says.
    std::size_t connections = 1;

    // Base for relative links on the page being parsed: the row's address,
    // or where its download was redirected to. Worker thread only.
    std::string pageBaseAddress;

    std::atomic<bool> crawlRunning{false};
    std::atomic<bool> workerActive{false};  // set until the worker has really ended
    std::atomic<std::int64_t> traffic{0};
    std::atomic<bool> modified{false};
    std::atomic<int> timerSeconds{0};
    std::atomic<int> timerMinutes{0};
    std::atomic<int> timerHours{0};

    PageList pageList;
    ResultList resultList;
    ExtensionList extensionList;
    PatternList patternList;

    View* view = nullptr;
    Downloader* downloader = nullptr;
    ThreadStarter startThread = StartDetachedThread;

    // Signalled when the worker clears workerActive as its very last step.
    std::mutex workerMutex;
    std::condition_variable workerEnded;
};

}  // namespace veltrano
