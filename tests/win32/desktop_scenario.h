// The fixture of the desktop scenarios: the real main window and a site
// of the test's own served on 127.0.0.1.
#pragma once

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "desktop_harness.h"
#include "http_test_server.h"
#include "resource.h"

namespace veltrano::testing {

class DesktopScenario : public ::testing::Test {
protected:
    void TearDown() override {
        for (const std::string& target : held_) server.Release(target);
    }

    std::string Url(std::string_view target) const { return server.Address(target); }

    void Serve(const std::string& target, const std::string& body) {
        CannedResponse page;
        page.body = body;
        server.Route(target, page);
    }

    void Hold(const std::string& target) {
        server.Hold(target);
        held_.insert(target);
    }

    void Release(const std::string& target) {
        server.Release(target);
        held_.erase(target);
    }

    std::vector<std::string> Targets() const {
        std::vector<std::string> targets;
        for (const RecordedRequest& request : server.Requests()) targets.push_back(request.target);
        return targets;
    }

    bool WaitForRequest(const std::string& target) {
        return WaitFor([&] {
            for (const std::string& asked : Targets()) {
                if (asked == target) return true;
            }
            return false;
        });
    }

    void StartCrawl(std::string_view target) {
        desktop.SetText(IDC_WEB_SITE, Url(target));
        desktop.Command(IDC_START);
    }

    // The modal dialog that `command` opens, or null.
    HWND OpenDialog(int command, const char* title) {
        desktop.PostCommand(command);
        return desktop.WaitForDialog(title);
    }

    static void Type(HWND dialog, int id, const std::string& text) {
        SendMessageA(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }

    static void Press(HWND dialog, int id) { SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

    static bool Closes(HWND dialog) {
        return WaitFor([dialog] { return !IsWindow(dialog); }, std::chrono::seconds(10));
    }

    // True once the recorder holds `count` messages.
    bool Shown(std::size_t count) {
        return WaitFor([this, count] { return desktop.recorder.Messages().size() >= count; }, std::chrono::seconds(10));
    }

    // Declared first: the server outlives the window and its worker.
    HttpTestServer server;
    DesktopHarness desktop;

private:
    std::set<std::string> held_;
};

}  // namespace veltrano::testing
