// The desktop program's downloader: the system's URL download service
// against a local server, its status callback, and the names of its codes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "desktop_harness.h"
#include "http_test_server.h"
#include "win32/download_status.h"
#include "win32/urlmon_downloader.h"

namespace veltrano::testing {
namespace {

using Report = std::pair<std::uint64_t, std::uint64_t>;

class RecordingProgress final : public DownloadProgress {
public:
    void OnProgress(std::uint64_t bytesSoFar, std::uint64_t totalBytes) override { reports.emplace_back(bytesSoFar, totalBytes); }
    void OnEndOfData(std::uint64_t totalBytes) override { endOfData.push_back(totalBytes); }

    std::vector<Report> reports;
    std::vector<std::uint64_t> endOfData;
};

TEST(UrlmonDownloader, DownloadsIntoTheFileAndReportsProgressAndTheEndOfData) {
    ScratchFolder folder;
    HttpTestServer server;
    const std::string body = "<html>" + std::string(5000, 'x') + "</html>";
    CannedResponse page;
    page.body = body;
    server.Route("/page.html", page);
    win32::UrlmonDownloader downloader;
    RecordingProgress progress;

    const DownloadOutcome outcome = downloader.Download(server.Address("/page.html"), "tmp.txt", progress);
    EXPECT_EQ(outcome.status, "OK");
    EXPECT_EQ(outcome.finalAddress, "");  // no redirect: the address as given stands
    EXPECT_EQ(FileText("tmp.txt"), body);
    EXPECT_EQ(progress.endOfData, std::vector<std::uint64_t>{body.size()});
    ASSERT_FALSE(progress.reports.empty());
    EXPECT_EQ(progress.reports.back(), (Report{body.size(), body.size()}));
}

TEST(UrlmonDownloader, FailuresComeBackAsTheirNames) {
    ScratchFolder folder;
    win32::UrlmonDownloader downloader;
    RecordingProgress progress;
    const DownloadOutcome refused =
        downloader.Download("http://127.0.0.1:" + std::to_string(ClosedPort()) + "/", "tmp.txt", progress);
    EXPECT_EQ(refused.status.rfind("INET_E_", 0), 0u) << refused.status;
    EXPECT_TRUE(progress.endOfData.empty());

    // Longer than any address the crawl hands over: refused unasked.
    HttpTestServer server;
    const DownloadOutcome tooLong =
        downloader.Download(server.Address("/" + std::string(1100, 'a')), "tmp.txt", progress);
    EXPECT_EQ(tooLong.status, "INET_E_INVALID_URL");
    EXPECT_TRUE(server.Requests().empty());
}

TEST(UrlmonDownloader, APageThatCannotBeStoredHereIsNoPageFailure) {
    ScratchFolder folder;
    HttpTestServer server;
    std::filesystem::create_directory("tmp.txt");
    win32::UrlmonDownloader downloader;
    RecordingProgress progress;
    const DownloadOutcome outcome = downloader.Download(server.Address("/page.html"), "tmp.txt", progress);
    EXPECT_EQ(outcome.localFailure.rfind("tmp.txt: ", 0), 0u) << outcome.localFailure;
    EXPECT_GT(outcome.localFailure.size(), std::string("tmp.txt: ").size());
    EXPECT_TRUE(server.Requests().empty());

    // An old page file in the way is replaced by a fresh one.
    std::filesystem::remove("tmp.txt");
    std::ofstream("tmp.txt") << std::string(10000, 'o');
    CannedResponse page;
    page.body = "<p>new</p>";
    server.Route("/page.html", page);
    EXPECT_EQ(downloader.Download(server.Address("/page.html"), "tmp.txt", progress).status, "OK");
    EXPECT_EQ(FileText("tmp.txt"), "<p>new</p>");
}

TEST(MyCallback, PassesProgressOnAndLearnsRedirects) {
    RecordingProgress progress;
    win32::MyCallback callback(progress);
    EXPECT_EQ(callback.OnProgress(0, 0, BINDSTATUS_CONNECTING, L"127.0.0.1"), S_OK);
    EXPECT_EQ(callback.RedirectedTo(), "");
    callback.OnProgress(0, 0, BINDSTATUS_REDIRECTING, L"http://example.test/new/place.html");
    callback.OnProgress(0, 0, BINDSTATUS_REDIRECTING, L"http://example.test/last/");
    EXPECT_EQ(callback.RedirectedTo(), "http://example.test/last/");
    callback.OnProgress(500, 2000, BINDSTATUS_DOWNLOADINGDATA, L"http://example.test/last/");
    callback.OnProgress(2000, 2000, BINDSTATUS_ENDDOWNLOADDATA, L"http://example.test/last/");
    // A body without a length reports a total of 0: what arrived counts.
    callback.OnProgress(3000, 0, BINDSTATUS_ENDDOWNLOADDATA, nullptr);
    EXPECT_EQ(progress.endOfData, (std::vector<std::uint64_t>{2000, 3000}));
    EXPECT_EQ(progress.reports.size(), 6u);
    EXPECT_EQ(progress.reports[2], (Report{0, 0}));
    EXPECT_EQ(progress.reports[3], (Report{500, 2000}));

    // It lives on the stack of one download: nothing else is offered.
    void* untouched = &callback;
    EXPECT_EQ(callback.QueryInterface(IID_IUnknown, &untouched), E_NOTIMPL);
    EXPECT_EQ(untouched, &callback);
    EXPECT_EQ(callback.AddRef(), 0u);
    EXPECT_EQ(callback.Release(), 0u);
    EXPECT_EQ(callback.OnStartBinding(0, nullptr), E_NOTIMPL);
    EXPECT_EQ(callback.GetBindInfo(nullptr, nullptr), E_NOTIMPL);
    EXPECT_EQ(callback.OnStopBinding(S_OK, nullptr), E_NOTIMPL);
}

TEST(DownloadStatusText, NamesEveryKnownCodeAndNoOther) {
    const std::vector<std::pair<std::uint32_t, std::string>> known = {
        {0x00000000, "OK"},
        {0x8007000E, "E_OUTOFMEMORY"},
        {0x800C0002, "INET_E_INVALID_URL"},
        {0x800C0005, "INET_E_RESOURCE_NOT_FOUND"},
        {0x800C0008, "INET_E_DOWNLOAD_FAILURE"},
        {0x800C0010, "INET_E_CANNOT_INSTANTIATE_OBJECT"},
        {0x800C0014, "INET_E_REDIRECT_FAILED"},
        {0x800C0018, "INET_E_TERMINATED_BIND"},
        {0x800C0100, "INET_E_CODE_DOWNLOAD_DECLINED"},
        {0x800C0200, "INET_E_RESULT_DISPATCHED"},
        {0x800C0300, "INET_E_CANNOT_REPLACE_SFP_FILE"},
        {0x800C0400, "INET_E_CODE_INSTALL_SUPPRESSED"},
    };
    for (const auto& [code, name] : known) EXPECT_EQ(win32::DownloadStatusText(code), name) << std::hex << code;
    for (const std::uint32_t code : {0x800C0001u, 0x800C0011u, 0x800C0013u, 0x800C0019u, 0x800C00FFu, 0x80004005u, 1u}) {
        EXPECT_EQ(win32::DownloadStatusText(code), "Unknown error") << std::hex << code;
    }
}

}  // namespace
}  // namespace veltrano::testing
