// What the main window shows and asks, seen from the core. The desktop
// window, the terminal front end and the tests' fake each implement it.
// The crawl worker calls it from its own thread; implementations carry
// each call out as one operation.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace veltrano {

class FileNameDialog;
class LoadProjectDialog;

// How the file chooser of the result commands is set up.
struct FileChooserRequest {
    std::string title;
    std::string defaultExtension;  // added to a typed name without one; empty: none
    bool fileMustExist = false;
};

enum class MessageIcon { information, error };

enum class StatusLabel {
    timer,               // "Timer:" value
    traffic,             // "Traffic:" value
    pagesTotal,          // "Total:" under the page list
    resultsTotal,        // "Total:" under the result list
    downloadingAddress,  // address beside "Downloading:"
    downloadingRow,      // row number beside "Downloading:"
};

enum class ListId { pages, results, extensions, patterns };

class View {
public:
    virtual ~View() = default;

    // A message box with the program's caption as its title.
    virtual void ShowMessage(std::string_view text, MessageIcon icon) = 0;
    // A question with the buttons Yes and No, No being the default.
    virtual bool AskYesNo(std::string_view question) = 0;

    virtual void SetStartButtonText(std::string_view text) = 0;
    virtual void EnableStartButton(bool enabled) = 0;
    virtual void EnablePageList(bool enabled) = 0;
    virtual void SetStatusLabel(StatusLabel label, std::string_view text) = 0;
    virtual void SetProgress(int percent) = 0;

    virtual std::string WebSiteText() = 0;
    virtual void SetWebSiteText(std::string_view text) = 0;
    virtual std::string SkipMaskText() = 0;
    virtual void SetSkipMaskText(std::string_view text) = 0;
    // Index of the "Grab:" selection: 0 "Links", 1 "Custom", -1 none.
    virtual int GrabSelection() = 0;
    virtual void SetGrabSelection(int selection) = 0;
    // Enables the pattern-side and the extension-side controls.
    virtual void EnableGrabControls(bool patternControls, bool extensionControls) = 0;

    // The list's contents changed; the view redraws it when it can.
    virtual void ListChanged(ListId list) = 0;
    // Selects the last result and scrolls it to the top as far as possible.
    virtual void ShowLastResult() = 0;
    virtual void Beep() = 0;
    // A page was processed and its "Result" cell written; the front ends
    // that report each page's outcome do it here.
    virtual void PageDone(std::string_view /*address*/, std::string_view /*status*/) {}

    // Shows the "Enter file name" dialog, handing each press of OK to
    // `dialog`; true when it closed with a name, false on Cancel.
    virtual bool RunFileNameDialog(FileNameDialog& dialog) = 0;
    // Shows the "Load project" dialog over `dialog`'s entries, handing it
    // every Load and Delete; true when it closed with a chosen entry.
    virtual bool RunLoadProjectDialog(LoadProjectDialog& dialog) = 0;
    // The file chooser of the result commands; nothing when cancelled.
    virtual std::optional<std::string> ChooseFile(const FileChooserRequest& request) = 0;
};

// A report or refusal: a message box with the information icon.
inline void ShowInformation(View& view, std::string_view text) { view.ShowMessage(text, MessageIcon::information); }

}  // namespace veltrano
