#include "parse/page_parser.h"

#include "text/text_ops.h"
#include "parse/capture_scan.h"
#include "parse/url_resolve.h"
#include "state/file_bytes.h"
#include "state/view.h"

namespace veltrano {

std::string ResolveCapture(const AppState& state, std::string_view capture) {
    if (capture.find("://") != std::string_view::npos || HasUriScheme(capture)) return std::string(capture);
    if (state.pageBaseAddress.find("://") != std::string::npos) {
        return ResolveReference(state.pageBaseAddress, capture);
    }
    std::string address = state.siteAddress;
    if (capture.empty() || capture.front() != '/') address += '/';
    address += capture;
    return address;
}

bool ExtensionAccepted(const ExtensionTable& extensions, std::string_view extension) {
    if (extensions[0].empty()) return true;
    for (const std::string& entry : extensions) {
        if (entry.empty()) break;
        if (extension == entry || (extension.empty() && entry == "-")) return true;
    }
    return false;
}

bool ScanPattern(const ExtensionTable& extensions, std::string_view siteFilter, AppState& state,
                 std::string_view text, bool linkMode, ListTarget target, CompiledPattern pattern) {
    return ScanCaptures(pattern, text, [&](std::string_view raw) {
        // A NUL byte ends the captured text.
        const std::string_view capture = raw.substr(0, raw.find('\0'));
        std::string entry;
        if (linkMode) {
            entry = ResolveCapture(state, capture);
            if (!siteFilter.empty() && !ContainsNoCase(entry, siteFilter)) return true;
            if (!ExtensionAccepted(extensions, UrlExtension(entry))) return true;
        } else {
            entry = capture;
        }
        TrimBlanks(entry);
        const AddOutcome outcome =
            target == ListTarget::pages ? state.pageList.Add(entry) : state.resultList.Add(entry);
        if (outcome == AddOutcome::refused) return false;
        state.modified = true;
        return true;
    });
}

bool ParsePageText(AppState& state, std::string_view text) {
    View& view = *state.view;
    const std::size_t pagesBefore = state.pageList.Count();
    const std::size_t resultsBefore = state.resultList.Count();
    const auto announce = [&] {
        if (state.pageList.Count() != pagesBefore) view.ListChanged(ListId::pages);
        if (state.resultList.Count() != resultsBefore) view.ListChanged(ListId::results);
    };

    for (const CompiledPattern& linkPattern : state.linkPatterns) {
        if (!ScanPattern(state.pageExtensions, state.siteKey, state, text, true, ListTarget::pages, linkPattern)) {
            announce();
            ShowInformation(*state.view, "List box error. Not enough memory!");
            return false;
        }
    }
    const bool linkMode = state.grabMode == kGrabLinks;
    const int runs = std::min<int>(state.patternCount, static_cast<int>(kMaxPatterns));
    for (int i = 0; i < runs; ++i) {
        // A refused result only ends this run.
        ScanPattern(state.linkExtensions, {}, state, text, linkMode, ListTarget::results,
                    state.patterns[static_cast<std::size_t>(i)]);
    }
    announce();

    view.SetStatusLabel(StatusLabel::pagesTotal, FormatCount(state.pageList.Count()));
    view.ShowLastResult();
    view.SetStatusLabel(StatusLabel::resultsTotal, FormatCount(state.resultList.Count()));
    return true;
}

bool ParsePage(AppState& state) {
    const FileBytes page = ReadFileBytes(kTempPageFile);
    switch (page.status) {
        case ReadStatus::ok: return ParsePageText(state, page.bytes);
        case ReadStatus::cannotOpen: ShowInformation(*state.view, "Error open tmp file"); return false;
        case ReadStatus::noMemory: ShowInformation(*state.view, "Error! Not enough memory"); return false;
        case ReadStatus::shortRead: ShowInformation(*state.view, "Error read tmp file"); return false;
    }
    return false;
}

}  // namespace veltrano
