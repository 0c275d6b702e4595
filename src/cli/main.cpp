// veltrano: the terminal crawler. A thin front end over the same
// operations as the desktop program: the options act as if typed into the
// main window after the project was loaded.
#include <fcntl.h>
#include <malloc.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>

#include "cli/options.h"
#include "cli/robots_policy.h"
#include "cli/terminal_text.h"
#include "cli/terminal_view.h"
#include "crawl/crawl_start.h"
#include "crawl/crawl_worker.h"
#include "crawl/presets.h"
#include "crawl/status.h"
#include "fetch/curl_downloader.h"
#include "project/project_commands.h"
#include "project/project_dialogs.h"
#include "project/project_store.h"
#include "project/result_files.h"
#include "state/app_state.h"
#include "text/text_ops.h"
#include "veltrano_version.h"

namespace veltrano {
namespace {

enum ExitStatus { kComplete = 0, kFailure = 1, kUsage = 2, kIncomplete = 3, kNothingDownloaded = 4 };

AppState* gState = nullptr;
volatile std::sig_atomic_t gStops = 0;

// The first stop (Ctrl-C, SIGTERM, SIGHUP) ends the crawl at once and
// saves; the main thread breaks the download off. A second quits at once.
extern "C" void OnStop(int) {
    gStops = gStops + 1;
    if (gStops > 1) {
        unlink(kTempPageFile);  // no half-written page is left behind
        _exit(130);
    }
    if (gState) gState->crawlRunning = false;
}

void CatchStops() {
    struct sigaction action {};
    action.sa_handler = OnStop;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

void ReleaseStops() {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, SIG_DFL);
}

// One crawler per working folder: the page file and the projects here are
// shared, and a second crawler would overwrite the first one's page.
class FolderLock {
public:
    FolderLock() : fd_(open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}
    ~FolderLock() {
        if (fd_ >= 0) close(fd_);
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    // False only when another crawler holds the folder; a folder that
    // cannot be opened for reading is crawled in without a lock.
    bool Acquire() { return fd_ < 0 || flock(fd_, LOCK_EX | LOCK_NB) == 0; }

private:
    int fd_;
};

void AddEntry(EditableList& list, const std::string& entry) {
    if (!list.FindNoCase(entry)) list.Append(entry);
}

// A site typed without a scheme is meant for the web, as other command-line
// tools take it; its relative links then resolve as they should.
std::string SiteWithScheme(std::string site) {
    TrimBlanks(site);
    if (!site.empty() && site.find("://") == std::string::npos) site.insert(0, "http://");
    return site;
}

// Applies the options the way a user would type them into the window.
void ApplyOptions(const CliOptions& options, AppState& state, TerminalView& view) {
    if (options.site) view.SetWebSiteText(SiteWithScheme(*options.site));
    if (options.grabMode) view.SetGrabSelection(*options.grabMode);
    if (options.skipMask) view.SetSkipMaskText(*options.skipMask);
    for (const std::string& name : options.presets) {
        const PresetGroup& group = *FindPresetGroup(name);
        AddPresetGroup(group, group.patterns ? static_cast<EditableList&>(state.patternList) : state.extensionList);
    }
    for (const std::string& extension : options.extensions) AddEntry(state.extensionList, extension);
    for (const std::string& pattern : options.patterns) AddEntry(state.patternList, pattern);
}

// Runs the worker to its end, ticking the timer once a second. A signal
// cannot wake the wait, so stops are looked for ten times a second; the
// download is broken off again each time until the worker has ended, since
// one may start just after a stop was asked for.
void Supervise(AppState& state, TerminalView& view, Downloader& downloader) {
    using Clock = std::chrono::steady_clock;
    std::unique_lock lock(state.workerMutex);
    auto nextTick = Clock::now() + std::chrono::seconds(1);
    bool stopping = false;
    while (state.workerActive) {
        const auto until = std::min(nextTick, Clock::now() + std::chrono::milliseconds(100));
        if (state.workerEnded.wait_until(lock, until, [&state] { return !state.workerActive; })) break;
        lock.unlock();
        if (gStops > 0 || view.OutputClosed()) {
            state.crawlRunning = false;
            downloader.Interrupt();
            if (!stopping) {
                stopping = true;
                ShowInformation(view, "Stopping: what was found is saved, and the page in flight is fetched again "
                                      "when the project is continued. (Ctrl-C again quits at once)");
            }
        }
        if (Clock::now() >= nextTick) {
            TimerTick(state);
            view.Redraw();
            nextTick += std::chrono::seconds(1);
        }
        lock.lock();
    }
}

CurlDownloaderOptions DownloaderOptions(const CliOptions& options) {
    CurlDownloaderOptions settings;
    settings.connections = options.connections;
    settings.wait = std::chrono::milliseconds(options.waitMilliseconds);
    if (options.pageTimeoutSeconds) settings.pageTimeout = std::chrono::seconds(*options.pageTimeoutSeconds);
    if (options.maxPageBytes) settings.maxPageBytes = *options.maxPageBytes;
    return settings;
}

int Run(const CliOptions& options) {
    std::string projectName;
    if (options.project) {
        projectName = *options.project;
        TrimBlanks(projectName);
        if (projectName.empty()) {
            std::fputs("veltrano: the project name (-P) is empty\n", stderr);
            return kUsage;
        }
        if (const std::optional<std::string> problem = ProjectNameProblem(projectName)) {
            std::fprintf(stderr, "veltrano: -P %s: %s\n", EscapeControls(projectName).c_str(), problem->c_str());
            return kUsage;
        }
    }
    FolderLock lock;
    if (!lock.Acquire()) {
        std::fputs("veltrano: another veltrano is crawling in this folder; it keeps its page file and projects "
                   "here, so only one may run at a time\n",
                   stderr);
        return kUsage;
    }

    AppState state;
    TerminalView view(state.pageList, state.resultList, options.quiet);
    CurlDownloader downloader(DownloaderOptions(options));
    state.view = &view;
    state.downloader = &downloader;
    view.projectName = projectName;
    if (options.output) view.outputFile = *options.output;

    if (options.project && FileExists(ProjectPath(projectName, ProjectFileKind::SettingsFile))) {
        if (!LoadProjectFiles(state, projectName)) return kFailure;
        if (options.fresh) NewProject(state);
    }
    ApplyOptions(options, state, view);
    state.connections = options.connections;
    view.downloadsInFlight = [&downloader] { return downloader.DownloadsInFlight(); };
    std::optional<RobotsPolicy> robots;
    if (options.robots) {
        robots.emplace([&downloader](const std::string& address) {
            CurlDownloader::TextAnswer answer = downloader.FetchText(address, kRobotsTextMax);
            return std::pair<long, std::string>(answer.httpStatus, std::move(answer.body));
        });
        // The site's own rules are known before its first page is asked for.
        robots->Allowed(SiteWithScheme(view.WebSiteText()));
        state.pageAllowed = [&robots](std::string_view address) { return robots->Allowed(address); };
    }
    if (options.maxPages) {
        const std::size_t limit = *options.maxPages;
        view.onPageBegun = [&state, limit](std::size_t begun) {
            if (begun >= limit) state.crawlRunning = false;  // this page is the last of the run
        };
    }

    view.StartPrintingResults();
    gState = &state;
    CatchStops();
    // The worker may be over before StartOrPauseCrawl returns, so whether it
    // started is learnt from the start of its thread, not from its flags.
    bool started = false;
    state.startThread = [&started](std::function<void()> job) {
        started = StartDetachedThread(std::move(job));
        return started;
    };
    StartOrPauseCrawl(state);
    if (!started) {
        ReleaseStops();
        return view.ShowedError() ? kFailure : kUsage;
    }
    Supervise(state, view, downloader);
    view.Redraw(true);

    int status = state.pageList.LastResult().empty() ? kIncomplete : kComplete;
    if (status == kComplete && view.PagesDone() > 0 && view.PagesDownloaded() == 0) {
        ShowInformation(view, "Not one page could be downloaded: check the address, and that the site answers.");
        status = kNothingDownloaded;
    }
    if (view.ShowedError()) status = kFailure;
    if (options.project && !SaveProject(state)) status = kFailure;
    if (options.output) {
        // No results is still an answer: the named file is written, empty.
        const bool saved = state.resultList.Count() == 0
                               ? WriteListFile(view, *options.output, std::vector<std::string>{})
                               : SaveResults(state);
        if (!saved) status = kFailure;
    }
    // Stops are taken until everything is saved; a second one still quits.
    ReleaseStops();
    gState = nullptr;
    return status;
}

}  // namespace
}  // namespace veltrano

int main(int argc, char** argv) {
    // A reader that goes away (veltrano ... | head -1) is noticed on the next
    // write and ends the run as a stop does, with everything saved.
    std::signal(SIGPIPE, SIG_IGN);
    // A file that may grow no further (a size limit) is a failed write with
    // its reason, not the end of the process.
    std::signal(SIGXFSZ, SIG_IGN);
#ifdef M_ARENA_MAX
    // Two threads that take turns need no malloc arena each.
    mallopt(M_ARENA_MAX, 1);
#endif
    const veltrano::ParsedOptions parsed = veltrano::ParseOptions(argc, argv);
    if (!parsed.options) {
        std::fprintf(stderr, "veltrano: %s\n%s", parsed.error.c_str(), veltrano::UsageText());
        return veltrano::kUsage;
    }
    if (parsed.options->help) {
        std::fputs(veltrano::UsageText(), stdout);
        return 0;
    }
    if (parsed.options->version) {
        std::puts("veltrano " VELTRANO_VERSION_TEXT);
        return 0;
    }
    return veltrano::Run(*parsed.options);
}
