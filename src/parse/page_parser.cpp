#include "parse/page_parser.h"

#include <optional>

#include "text/text_ops.h"
#include "parse/capture_scan.h"
#include "parse/html_links.h"
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

namespace {

bool HasSchemeNoCase(std::string_view address, std::string_view scheme) {
    return address.size() > scheme.size() && address[scheme.size()] == ':' &&
           MatchAtNoCase(0, scheme, address);
}

// What "All links" keeps of an address a page uses: resolved against the
// page (or its <base>), without the fragment, which names a place within
// a document rather than another document. Only addresses of the web
// count; "javascript:", "data:", "mailto:" and the like name no file.
std::optional<std::string> AllLinksAddress(std::string_view base, std::string_view value) {
    std::string address = HasUriScheme(value) ? std::string(value) : ResolveReference(base, value);
    if (const std::size_t hash = address.find('#'); hash != std::string::npos) address.resize(hash);
    if (!HasSchemeNoCase(address, "http") && !HasSchemeNoCase(address, "https") &&
        !HasSchemeNoCase(address, "ftp")) {
        return std::nullopt;
    }
    return address;
}

// "All links": the page read as a browser reads it.
bool ParseAllLinks(AppState& state, std::string_view text) {
    const HtmlLinks links = ReadHtmlLinks(text);
    std::string base = state.pageBaseAddress.find("://") != std::string::npos ? state.pageBaseAddress
                                                                               : state.siteAddress + "/";
    if (!links.base.empty()) {
        if (std::optional<std::string> declared = AllLinksAddress(base, links.base)) base = std::move(*declared);
    }
    for (const std::string& value : links.pages) {
        std::optional<std::string> address = AllLinksAddress(base, value);
        if (!address || !ContainsNoCase(*address, state.siteKey)) continue;
        if (!ExtensionAccepted(state.pageExtensions, UrlExtension(*address))) continue;
        const AddOutcome outcome = state.pageList.Add(*address);
        if (outcome == AddOutcome::refused) return false;
        if (outcome == AddOutcome::added) state.modified = true;
    }
    for (const std::string& value : links.resources) {
        std::optional<std::string> address = AllLinksAddress(base, value);
        if (!address || !ExtensionAccepted(state.linkExtensions, UrlExtension(*address))) continue;
        const AddOutcome outcome = state.resultList.Add(*address);
        if (outcome == AddOutcome::refused) break;  // as with a pattern run: the results end here
        if (outcome == AddOutcome::added) state.modified = true;
    }
    return true;
}

}  // namespace

bool ParsePageText(AppState& state, std::string_view text) {
    View& view = *state.view;
    const std::size_t pagesBefore = state.pageList.Count();
    const std::size_t resultsBefore = state.resultList.Count();
    const auto announce = [&] {
        if (state.pageList.Count() != pagesBefore) view.ListChanged(ListId::pages);
        if (state.resultList.Count() != resultsBefore) view.ListChanged(ListId::results);
    };

    const bool allLinks = state.grabMode == kGrabAllLinks;
    bool pagesTaken = true;
    if (allLinks) {
        pagesTaken = ParseAllLinks(state, text);
    } else {
        for (const CompiledPattern& linkPattern : state.linkPatterns) {
            pagesTaken = ScanPattern(state.pageExtensions, state.siteKey, state, text, true, ListTarget::pages, linkPattern);
            if (!pagesTaken) break;
        }
    }
    if (!pagesTaken) {
        announce();
        ShowInformation(*state.view, "List box error. Not enough memory!");
        return false;
    }
    const bool linkMode = state.grabMode == kGrabLinks;
    const int runs = allLinks ? 0 : std::min<int>(state.patternCount, static_cast<int>(kMaxPatterns));
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
