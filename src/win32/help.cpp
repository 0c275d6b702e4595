#include "win32/help.h"

#include <filesystem>
#include <system_error>

#include "win32/seams.h"
#include "win32/shell_open.h"
#include "win32/controls.h"

namespace veltrano::win32 {

std::string HelpFile(const std::string& programName) {
    const std::string name = programName + ".chm";
    std::error_code error;
    if (std::filesystem::exists(name, error)) return name;
    wchar_t program[MAX_PATH] = L"";
    const DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
    if (length == 0 || length == MAX_PATH) return name;
    const std::filesystem::path beside = std::filesystem::path(program).parent_path() / name;
    return std::filesystem::exists(beside, error) ? AnsiFromWide(beside.wstring()) : name;
}

void OpenUserManual(HWND owner, const std::string& programName) { ShellOpen(owner, HelpFile(programName)); }

void ShowHelpTopic(HWND owner, int topic, const std::string& programName) {
    std::string parameters;
    if (topic != 0) parameters = "-mapid " + std::to_string(topic) + " ";
    parameters += HelpFile(programName);
    CurrentSeams().shellOpen(owner, "HH", parameters);
}

void OpenHomePage(HWND owner) { ShellOpen(owner, kHomePage); }

}  // namespace veltrano::win32
