// The decisions of the two project dialogs. The view shows each dialog and
// hands it the user's presses; these classes say what happens.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrano {

class View;

inline constexpr std::size_t kFileNameMax = 259;

// What is wrong with a project name (already trimmed) as the name of its
// files in the Projects folder, or nothing when it will do: a name must be
// one file name, not a path anywhere else.
std::optional<std::string> ProjectNameProblem(std::string_view name);
// The longest project name whose files and their temporaries fit the path limit.
std::size_t ProjectNameMax();

// "Enter file name": OK takes the trimmed text, refusing an empty one and
// one that cannot name a project.
class FileNameDialog {
public:
    explicit FileNameDialog(View& view) : view_(view) {}
    // The text typed when OK was pressed; true when the dialog closes.
    bool OnOk(std::string_view typed);
    const std::string& Name() const { return name_; }

private:
    View& view_;
    std::string name_;
};

// "Load project": the settings files of the Projects folder, sorted.
class LoadProjectDialog {
public:
    explicit LoadProjectDialog(View& view);
    const std::vector<std::string>& Entries() const { return entries_; }
    // Load (or a double click); true when the dialog closes with Chosen().
    bool OnLoad(std::optional<std::size_t> selection);
    // Delete after the question; the dialog stays open.
    void OnDelete(std::optional<std::size_t> selection);
    const std::string& Chosen() const { return chosen_; }

    // The project name an entry stands for: the entry without ".ini".
    static std::string ProjectName(std::string_view entry);

private:
    View& view_;
    std::vector<std::string> entries_;
    std::string chosen_;
};

// Names of the project settings files in the Projects folder, sorted as a
// sorted list box shows them.
std::vector<std::string> ListProjects();
// Deletes the five files of a project; missing files are passed over.
void DeleteProjectFiles(std::string_view projectName);

}  // namespace veltrano
