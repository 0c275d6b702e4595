#include "project/project_dialogs.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "text/text_ops.h"
#include "project/project_store.h"
#include "project/safe_file.h"
#include "state/app_state.h"
#include "state/view.h"

namespace veltrano {
namespace {

bool IsSettingsFileName(std::string_view name) {
    constexpr std::string_view kExtension = ".ini";
    if (name.size() <= kExtension.size()) return false;
    const std::string_view tail = name.substr(name.size() - kExtension.size());
#ifdef _WIN32
    return EqualNoCase(tail, kExtension);
#else
    return tail == kExtension;
#endif
}

// Case-blind order of a sorted list box, ties broken by the bytes.
bool ListBoxOrder(const std::string& a, const std::string& b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const unsigned char x = FoldUpper(static_cast<unsigned char>(a[i]));
        const unsigned char y = FoldUpper(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y;
    }
    return a.size() != b.size() ? a.size() < b.size() : a < b;
}

}  // namespace

std::size_t ProjectNameMax() {
    const std::size_t used = ProjectPath("", ProjectFileKind::ExtensionFile).size() +
                             SafeFileWriter::TemporaryPath("").size();  // the longest kind, saved through its temporary
    return kPathTextMax > used ? kPathTextMax - used : 0;
}

std::optional<std::string> ProjectNameProblem(std::string_view name) {
    if (name.find_first_of("/\\") != std::string_view::npos) {
        return "A project name cannot contain \"/\" or \"\\\": it names files in the Projects folder only.";
    }
    if (name == "." || name == "..") return std::string("A project name cannot be \".\" or \"..\".");
    for (const char c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            return std::string("A project name cannot contain control characters.");
        }
    }
    if (name.size() > ProjectNameMax()) {
        return "A project name can have at most " + std::to_string(ProjectNameMax()) + " characters.";
    }
    return std::nullopt;
}

bool FileNameDialog::OnOk(std::string_view typed) {
    std::string name(typed.substr(0, kFileNameMax));
    TrimBlanks(name);
    if (name.empty()) {
        ShowInformation(view_, "Please enter a file name.");
        return false;
    }
    if (const std::optional<std::string> problem = ProjectNameProblem(name)) {
        ShowInformation(view_, *problem);
        return false;
    }
    name_ = std::move(name);
    return true;
}

std::vector<std::string> ListProjects() {
    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator it("Projects", error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (IsSettingsFileName(name)) names.push_back(name);
    }
    std::sort(names.begin(), names.end(), ListBoxOrder);
    return names;
}

void DeleteProjectFiles(std::string_view projectName) {
    for (const ProjectFileKind kind : {ProjectFileKind::PageFile, ProjectFileKind::ResultFile,
                                       ProjectFileKind::ExtensionFile, ProjectFileKind::PatternFile,
                                       ProjectFileKind::SettingsFile}) {
        std::error_code ignored;
        std::filesystem::remove(ProjectPath(projectName, kind), ignored);
    }
}

LoadProjectDialog::LoadProjectDialog(View& view) : view_(view), entries_(ListProjects()) {}

std::string LoadProjectDialog::ProjectName(std::string_view entry) {
    return std::string(entry.substr(0, entry.size() >= 4 ? entry.size() - 4 : 0));
}

bool LoadProjectDialog::OnLoad(std::optional<std::size_t> selection) {
    if (entries_.empty()) {
        ShowInformation(view_, "There is no project for load.");
        return false;
    }
    if (!selection || *selection >= entries_.size()) {
        ShowInformation(view_, "Please select an item.");
        return false;
    }
    chosen_ = entries_[*selection];
    return true;
}

void LoadProjectDialog::OnDelete(std::optional<std::size_t> selection) {
    if (entries_.empty()) {
        ShowInformation(view_, "There is no project for delete.");
        return;
    }
    if (!selection || *selection >= entries_.size()) {
        ShowInformation(view_, "Please select an item.");
        return;
    }
    if (!view_.AskYesNo("Delete the project. Areyou sure?")) return;
    DeleteProjectFiles(ProjectName(entries_[*selection]));
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(*selection));
}

}  // namespace veltrano
