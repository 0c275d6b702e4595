// The desktop program's downloader: the system's URL download service
// against the test server, and the names of its status codes.
#include <gtest/gtest.h>

#include "desktop_harness.h"
#include "http_test_server.h"
#include "win32/download_status.h"
#include "win32/urlmon_downloader.h"

namespace veltrano::testing {
namespace {

class UrlmonDownloaderTest : public ::testing::Test, public DownloadProgress {
protected:
    void OnProgress(std::uint64_t bytesSoFar, std::uint64_t totalBytes) override { progress = {bytesSoFar, totalBytes}; }
    void OnEndOfData(std::uint64_t totalBytes) override { endOfData.push_back(totalBytes); }
    DownloadOutcome Download(const std::string& address) { return win32::UrlmonDownloader().Download(address, "tmp.txt", *this); }

    ScratchFolder folder;
    HttpTestServer server;
    std::pair<std::uint64_t, std::uint64_t> progress;
    std::vector<std::uint64_t> endOfData;
};

TEST_F(UrlmonDownloaderTest, APageReplacesThePageFileAndReportsItsProgressAndSize) {
    const std::string body = "<html>" + std::string(5000, 'x') + "</html>";
    server.Route("/page.html", {200, "", body});
    std::ofstream("tmp.txt") << std::string(10000, 'o');
    const DownloadOutcome outcome = Download(server.Address("/page.html"));
    EXPECT_EQ(std::tie(outcome.status, outcome.finalAddress), std::tuple("OK", ""));
    EXPECT_EQ(FileText("tmp.txt"), body);
    EXPECT_EQ(endOfData, std::vector{std::uint64_t{body.size()}});
    EXPECT_EQ(progress, std::pair(std::uint64_t{body.size()}, std::uint64_t{body.size()}));
}

TEST_F(UrlmonDownloaderTest, FailuresComeBackAsTheirNamesAndLocalOnesApart) {
    EXPECT_EQ(Download("http://127.0.0.1:" + std::to_string(ClosedPort()) + "/").status.rfind("INET_E_", 0), 0u);
    // Longer than any address the crawl hands over: refused unasked.
    EXPECT_EQ(Download(server.Address("/" + std::string(1100, 'a'))).status, "INET_E_INVALID_URL");
    std::filesystem::remove("tmp.txt");
    std::filesystem::create_directory("tmp.txt");
    const std::string local = Download(server.Address("/")).localFailure;
    EXPECT_TRUE(local.starts_with("tmp.txt: ") && local.size() > 9) << local;
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_TRUE(endOfData.empty());
}

// Wine's service follows redirects without reporting them: the reports are made here.
TEST_F(UrlmonDownloaderTest, TheCallbackLearnsRedirectsAndSizesABodyWithoutLength) {
    win32::MyCallback callback(*this);
    callback.OnProgress(0, 0, BINDSTATUS_REDIRECTING, L"http://example.test/new/");
    callback.OnProgress(0, 0, BINDSTATUS_REDIRECTING, L"http://example.test/last/");
    callback.OnProgress(3000, 0, BINDSTATUS_ENDDOWNLOADDATA, nullptr);
    EXPECT_EQ(callback.RedirectedTo(), "http://example.test/last/");
    EXPECT_EQ(endOfData, std::vector<std::uint64_t>{3000});
}

TEST(DownloadStatusText, NamesEveryKnownCodeAndNoOther) {
    const std::pair<std::uint32_t, const char*> names[] = {
        {0x00000000, "OK"}, {0x8007000E, "E_OUTOFMEMORY"}, {0x800C0002, "INET_E_INVALID_URL"},
        {0x800C0005, "INET_E_RESOURCE_NOT_FOUND"}, {0x800C0008, "INET_E_DOWNLOAD_FAILURE"},
        {0x800C0010, "INET_E_CANNOT_INSTANTIATE_OBJECT"}, {0x800C0014, "INET_E_REDIRECT_FAILED"},
        {0x800C0018, "INET_E_TERMINATED_BIND"}, {0x800C0100, "INET_E_CODE_DOWNLOAD_DECLINED"},
        {0x800C0200, "INET_E_RESULT_DISPATCHED"}, {0x800C0300, "INET_E_CANNOT_REPLACE_SFP_FILE"},
        {0x800C0400, "INET_E_CODE_INSTALL_SUPPRESSED"}, {0x800C0001, "Unknown error"}, {0x800C0011, "Unknown error"},
        {0x800C0013, "Unknown error"}, {0x800C0019, "Unknown error"}, {0x800C00FF, "Unknown error"},
        {0x80004005, "Unknown error"}, {1, "Unknown error"}};
    for (const auto& [code, name] : names) EXPECT_EQ(win32::DownloadStatusText(code), name) << std::hex << code;
}

}  // namespace
}  // namespace veltrano::testing
