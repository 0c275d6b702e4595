// veltrano: the terminal crawler. A thin front end over the same
// operations as the desktop program: the options act as if typed into the
// main window after the project was loaded.
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>

#include "cli/options.h"
#include "cli/terminal_view.h"
#include "crawl/crawl_start.h"
#include "crawl/crawl_worker.h"
#include "crawl/presets.h"
#include "crawl/status.h"
#include "fetch/curl_downloader.h"
#include "project/project_commands.h"
#include "project/project_store.h"
#include "project/result_files.h"
#include "state/app_state.h"

namespace veltrano {
namespace {

enum ExitStatus { kComplete = 0, kFailure = 1, kUsage = 2, kIncomplete = 3 };

AppState* gState = nullptr;
volatile std::sig_atomic_t gInterrupts = 0;

// First Ctrl-C: pause after the current page. Second: quit at once.
extern "C" void OnInterrupt(int) {
    gInterrupts = gInterrupts + 1;
    if (gInterrupts > 1) {
        unlink(kTempPageFile);  // no half-written page is left behind
        _exit(130);
    }
    if (gState) gState->crawlRunning = false;
}

void AddEntry(EditableList& list, const std::string& entry) {
    if (!list.FindNoCase(entry)) list.Append(entry);
}

// Applies the options the way a user would type them into the window.
void ApplyOptions(const CliOptions& options, AppState& state, TerminalView& view) {
    if (options.site) view.SetWebSiteText(*options.site);
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
// cannot wake the wait, so it is looked at ten times a second.
void Supervise(AppState& state, TerminalView& view) {
    using Clock = std::chrono::steady_clock;
    std::unique_lock lock(state.workerMutex);
    auto nextTick = Clock::now() + std::chrono::seconds(1);
    bool announced = false;
    while (state.workerActive) {
        const auto until = std::min(nextTick, Clock::now() + std::chrono::milliseconds(100));
        if (state.workerEnded.wait_until(lock, until, [&state] { return !state.workerActive; })) break;
        lock.unlock();
        if (gInterrupts > 0 && !announced) {
            announced = true;
            ShowInformation(view, "Pausing after the current page... (Ctrl-C again quits at once)");
        }
        if (Clock::now() >= nextTick) {
            TimerTick(state);
            view.Redraw();
            nextTick += std::chrono::seconds(1);
        }
        lock.lock();
    }
}

int Run(const CliOptions& options) {
    AppState state;
    TerminalView view(state.pageList, state.resultList, !options.quiet && isatty(STDERR_FILENO));
    CurlDownloader downloader;
    state.view = &view;
    state.downloader = &downloader;
    if (options.project) view.projectName = *options.project;
    if (options.output) view.outputFile = *options.output;

    if (options.project && FileExists(ProjectPath(*options.project, ProjectFileKind::SettingsFile))) {
        if (!LoadProjectFiles(state, *options.project)) return kFailure;
        if (options.fresh) NewProject(state);
    }
    ApplyOptions(options, state, view);
    if (options.maxPages) {
        const std::size_t limit = *options.maxPages;
        view.onPageBegun = [&state, limit](std::size_t begun) {
            if (begun >= limit) state.crawlRunning = false;  // this page is the last of the run
        };
    }

    view.StartPrintingResults();
    gState = &state;
    std::signal(SIGINT, OnInterrupt);
    // The worker may be over before StartOrPauseCrawl returns, so whether it
    // started is learnt from the start of its thread, not from its flags.
    bool started = false;
    state.startThread = [&started](std::function<void()> job) {
        started = StartDetachedThread(std::move(job));
        return started;
    };
    StartOrPauseCrawl(state);
    if (!started) return view.ShowedError() ? kFailure : kUsage;
    Supervise(state, view);
    std::signal(SIGINT, SIG_DFL);
    gState = nullptr;
    view.Redraw(true);

    int status = state.pageList.LastResult().empty() ? kIncomplete : kComplete;
    if (options.project && !SaveProject(state)) status = kFailure;
    if (options.output) {
        if (state.resultList.Count() == 0) {
            // No results is still an answer: the named file is written, empty.
            if (!WriteListFile(view, *options.output, std::vector<std::string>{})) status = kFailure;
        } else {
            SaveResults(state);
            if (!FileExists(*options.output)) status = kFailure;
        }
    }
    return status;
}

}  // namespace
}  // namespace veltrano

int main(int argc, char** argv) {
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
        std::puts("veltrano 1.0");
        return 0;
    }
    return veltrano::Run(*parsed.options);
}
