#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "fetch/curl_downloader.h"
#include "http_test_server.h"

namespace veltrano {
namespace {

using testing::CannedResponse;
using testing::HttpTestServer;

class RecordingProgress : public DownloadProgress {
public:
    void OnProgress(std::uint64_t bytesSoFar, std::uint64_t totalBytes) override {
        reports.emplace_back(bytesSoFar, totalBytes);
    }
    void OnEndOfData(std::uint64_t totalBytes) override { ends.push_back(totalBytes); }

    std::vector<std::pair<std::uint64_t, std::uint64_t>> reports;
    std::vector<std::uint64_t> ends;
};

// Every byte value, line ends and NULs included, so that any translation
// or cut on the way to the file shows.
std::string AllByteValues(std::size_t repeat) {
    std::string text;
    for (std::size_t i = 0; i < 256 * repeat; ++i) text += static_cast<char>(i % 256);
    return text;
}

// Text that differs from place to place, so that lost or repeated pieces show.
std::string LargeBody(std::size_t size) {
    std::string text(size, ' ');
    for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>('a' + (i * 7 + i / 1000) % 26);
    return text;
}

CannedResponse Page(std::string body, int status = 200) {
    return CannedResponse{status, "", std::move(body)};
}

class CurlDownloaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        // An inherited proxy setting would send the requests elsewhere.
        for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
            ::unsetenv(name);
        }
        static std::atomic<int> counter{0};
        folder_ = std::filesystem::temp_directory_path() /
                  ("veltrano-dl-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(folder_);
    }

    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    std::string Target(const std::string& name = "page.tmp") const { return (folder_ / name).string(); }

    DownloadOutcome Fetch(const std::string& address) { return downloader_.Download(address, Target(), progress_); }

    static std::string ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    HttpTestServer server_;
    CurlDownloader downloader_;
    RecordingProgress progress_;
    std::filesystem::path folder_;
};

// The body and the progress reports.

using DownloadBody = CurlDownloaderTest;

TEST_F(DownloadBody, ExactBytesReplaceWhatTheFileHeldBefore) {
    const std::string bytes = AllByteValues(40) + std::string(3, '\0');
    for (const std::string& body : {bytes, std::string()}) {
        std::ofstream(Target(), std::ios::binary) << std::string(20000, 'x');
        server_.Route("/page", Page(body));

        const DownloadOutcome outcome = Fetch(server_.Address("/page"));

        EXPECT_EQ(outcome.status, "OK") << body.size();
        EXPECT_EQ(outcome.finalAddress, server_.Address("/page"));
        EXPECT_TRUE(std::filesystem::exists(Target()));
        EXPECT_EQ(ReadFile(Target()), body) << body.size();
    }
    EXPECT_EQ(progress_.ends, (std::vector<std::uint64_t>{bytes.size(), 0}));
}

TEST_F(DownloadBody, ProgressGrowsToTheSizeThenOneEndOfData) {
    const std::string body = LargeBody(3 * 1024 * 1024);
    server_.Route("/large", Page(body));

    EXPECT_EQ(Fetch(server_.Address("/large")).status, "OK");

    ASSERT_GE(progress_.reports.size(), 2u);
    for (std::size_t i = 0; i < progress_.reports.size(); ++i) {
        const std::uint64_t total = progress_.reports[i].second;
        EXPECT_TRUE(total == 0 || total == body.size()) << "report " << i << " expects " << total;
        if (i == 0) continue;
        EXPECT_GE(progress_.reports[i].first, progress_.reports[i - 1].first) << "report " << i;
        EXPECT_NE(progress_.reports[i], progress_.reports[i - 1]) << "repeated report " << i;
    }
    EXPECT_LT(progress_.reports.front().first, body.size());
    const std::uint64_t size = body.size();
    EXPECT_EQ(progress_.reports.back(), std::make_pair(size, size));
    EXPECT_EQ(progress_.ends, std::vector<std::uint64_t>{size});
    EXPECT_EQ(ReadFile(Target()), body);
}

TEST_F(DownloadBody, BrokenOrStalledTransferHasNoEndOfData) {
    CannedResponse cut = Page(LargeBody(50000));
    cut.delivery = CannedResponse::Delivery::cut;
    cut.bytesBeforeCut = 20000;
    server_.Route("/cut", cut);
    // curl judges the speed over the last few seconds, so the silence
    // starts right after the head.
    CannedResponse stall = Page(LargeBody(10000));
    stall.delivery = CannedResponse::Delivery::stall;
    server_.Route("/stall", stall);
    CurlDownloaderOptions options;
    options.lowSpeedTime = std::chrono::seconds(1);
    CurlDownloader downloader(options);

    EXPECT_EQ(downloader.Download(server_.Address("/cut"), Target(), progress_).status, "INET_E_DOWNLOAD_FAILURE");
    ASSERT_FALSE(progress_.reports.empty());
    EXPECT_EQ(progress_.reports.back().first, 20000u);
    EXPECT_EQ(downloader.Download(server_.Address("/stall"), Target(), progress_).status,
              "INET_E_CONNECTION_TIMEOUT");
    EXPECT_TRUE(progress_.ends.empty());
}

// What the server is sent, and how its answer is judged.

using DownloadHttp = CurlDownloaderTest;

TEST_F(DownloadHttp, RequestGoesOutAsGivenFromVeltrano) {
    const std::string target = "/dir/a%20b,c;d.html?x=1&y=%2F&z=%7e#fragment";
    const std::string onTheWire = "/dir/a%20b,c;d.html?x=1&y=%2F&z=%7e";
    server_.Route(onTheWire, Page("found"));

    const DownloadOutcome outcome = Fetch(server_.Address(target));

    EXPECT_EQ(outcome.status, "OK");
    EXPECT_EQ(outcome.finalAddress, server_.Address(target));
    const std::vector<testing::RecordedRequest> requests = server_.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, onTheWire);
    const auto userAgent = requests[0].headers.find("user-agent");
    EXPECT_EQ(userAgent == requests[0].headers.end() ? "(none)" : userAgent->second, "Veltrano/1.0");
}

TEST_F(DownloadHttp, StatusDecidesTheTextAndTheBodyIsKept) {
    const std::vector<std::pair<int, std::string>> cases = {
        {200, "OK"}, {203, "OK"}, {204, "OK"}, {300, "OK"},  // 300 without Location is final
        {404, "INET_E_OBJECT_NOT_FOUND"},        {410, "INET_E_OBJECT_NOT_FOUND"},
        {401, "INET_E_AUTHENTICATION_REQUIRED"}, {407, "INET_E_AUTHENTICATION_REQUIRED"},
        {400, "INET_E_DOWNLOAD_FAILURE"},        {403, "INET_E_DOWNLOAD_FAILURE"},
        {500, "INET_E_DOWNLOAD_FAILURE"},        {503, "INET_E_DOWNLOAD_FAILURE"},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const auto& [status, text] = cases[i];
        const std::string target = "/status/" + std::to_string(status);
        const std::string page = status == 204 ? "" : "page for " + std::to_string(status);
        server_.Route(target, Page(page, status));
        progress_.reports.clear();

        const DownloadOutcome outcome = Fetch(server_.Address(target));

        EXPECT_EQ(outcome.status, text) << "HTTP " << status;
        EXPECT_EQ(outcome.finalAddress, server_.Address(target)) << "HTTP " << status;
        EXPECT_EQ(ReadFile(Target()), page) << "HTTP " << status;
        // An error page was downloaded as well, and is reported like any other.
        const std::uint64_t size = page.size();
        ASSERT_EQ(progress_.ends.size(), i + 1) << "HTTP " << status;
        EXPECT_EQ(progress_.ends.back(), size) << "HTTP " << status;
        if (size == 0) continue;
        ASSERT_FALSE(progress_.reports.empty()) << "HTTP " << status;
        EXPECT_EQ(progress_.reports.back(), std::make_pair(size, size)) << "HTTP " << status;
    }
}

TEST_F(DownloadHttp, SeveralDownloadsShareOneConnection) {
    server_.Route("/1", Page("one"));
    server_.Route("/2", Page(LargeBody(300000)));
    server_.Route("/3", Page("three", 404));
    server_.Redirect("/4", 301, "/1");

    const std::vector<std::pair<std::string, std::string>> downloads = {
        {"/1", "OK"}, {"/2", "OK"}, {"/3", "INET_E_OBJECT_NOT_FOUND"}, {"/4", "OK"}};
    for (const auto& [target, status] : downloads) EXPECT_EQ(Fetch(server_.Address(target)).status, status) << target;

    EXPECT_EQ(server_.Requests().size(), 5u);
    EXPECT_EQ(server_.AcceptedConnections(), 1u);
}

// Redirects and the final address.

using DownloadRedirects = CurlDownloaderTest;

TEST_F(DownloadRedirects, FinalAddressIsWhereTheChainLed) {
    server_.Redirect("/a", 301, server_.Address("/dir/b"));
    server_.Redirect("/dir/b", 302, "c?q=1");
    server_.Redirect("/dir/c?q=1", 307, "/d");
    server_.Route("/d", Page("end of the chain"));
    server_.Redirect("/moved", 308, "/gone");
    server_.Route("/gone", Page("gone", 410));

    const DownloadOutcome chain = Fetch(server_.Address("/a"));
    EXPECT_EQ(chain.status, "OK");
    EXPECT_EQ(chain.finalAddress, server_.Address("/d"));
    EXPECT_EQ(ReadFile(Target()), "end of the chain");
    EXPECT_EQ(progress_.ends, std::vector<std::uint64_t>{16});

    const DownloadOutcome gone = Fetch(server_.Address("/moved"));
    EXPECT_EQ(gone.status, "INET_E_OBJECT_NOT_FOUND");
    EXPECT_EQ(gone.finalAddress, server_.Address("/gone"));
}

TEST_F(DownloadRedirects, WithoutRedirectTheAddressStaysExactlyAsGiven) {
    server_.Route("/", Page("home"));
    const std::string base = server_.Address("");
    // curl would report these with a slash added, the scheme in small
    // letters and without the fragment; the page's links need the original.
    for (const std::string& address : {base, "HTTP" + base.substr(4) + "/#top"}) {
        const DownloadOutcome outcome = Fetch(address);
        EXPECT_EQ(outcome.status, "OK") << address;
        EXPECT_EQ(outcome.finalAddress, address);
    }
}

TEST_F(DownloadRedirects, TwentyAreFollowedButNotMore) {
    for (int i = 0; i < 21; ++i) server_.Redirect("/hop" + std::to_string(i), 302, "/hop" + std::to_string(i + 1));
    server_.Route("/hop21", Page("arrived"));

    const DownloadOutcome twenty = Fetch(server_.Address("/hop1"));
    EXPECT_EQ(twenty.status, "OK");
    EXPECT_EQ(twenty.finalAddress, server_.Address("/hop21"));
    EXPECT_EQ(ReadFile(Target()), "arrived");

    EXPECT_EQ(Fetch(server_.Address("/hop0")).status, "INET_E_REDIRECT_FAILED");
    EXPECT_EQ(progress_.ends, std::vector<std::uint64_t>{7});
}

TEST_F(DownloadRedirects, RedirectToAnotherSchemeIsRefused) {
    // FTP is one that curl would follow by default; nothing listens there.
    server_.Redirect("/to-ftp", 302, "ftp://127.0.0.1:" + std::to_string(testing::ClosedPort()) + "/x");
    server_.Redirect("/to-file", 302, "file:///etc/hostname");

    for (const char* target : {"/to-ftp", "/to-file"}) {
        EXPECT_EQ(Fetch(server_.Address(target)).status, "INET_E_UNKNOWN_PROTOCOL") << target;
        EXPECT_EQ(ReadFile(Target()), "") << target;
    }
}

// Transfers that fail before any data: no end-of-data report for them.

using DownloadFailures = CurlDownloaderTest;

TEST_F(DownloadFailures, AddressesThatFetchNothing) {
    // Nothing listens at `closed`: a client that did connect for another
    // scheme would report a refused connection (and a telnet session would
    // not end). The malformed ones name the test server, which must not hear of them.
    const std::string closed = "127.0.0.1:" + std::to_string(testing::ClosedPort());
    const std::string base = server_.Address("");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"http://" + closed + "/page.html", "INET_E_CANNOT_CONNECT"},
        {"ftp://" + closed + "/x", "INET_E_UNKNOWN_PROTOCOL"},
        {"gopher://" + closed + "/x", "INET_E_UNKNOWN_PROTOCOL"},
        {"telnet://" + closed, "INET_E_UNKNOWN_PROTOCOL"},
        {"nosuchscheme://" + closed + "/x", "INET_E_UNKNOWN_PROTOCOL"},
        {"file:///etc/hostname", "INET_E_UNKNOWN_PROTOCOL"},
        {"", "INET_E_INVALID_URL"},
        {"http://", "INET_E_INVALID_URL"},
        {"http://[::1", "INET_E_INVALID_URL"},
        {"http://127.0.0.1:99999/", "INET_E_INVALID_URL"},
        {base + "/a b", "INET_E_INVALID_URL"},
        {base + std::string("/a\0b", 4), "INET_E_INVALID_URL"},
    };
    for (const auto& [address, status] : cases) {
        const DownloadOutcome outcome = Fetch(address);
        EXPECT_EQ(outcome.status, status) << address;
        EXPECT_EQ(outcome.finalAddress, address);
    }
    EXPECT_EQ(ReadFile(Target()), "");
    EXPECT_EQ(server_.AcceptedConnections(), 0u);
    EXPECT_TRUE(progress_.ends.empty());
}

TEST_F(DownloadFailures, TargetFileThatCannotBeCreated) {
    server_.Route("/", Page("home"));

    for (const std::string& target : {Target("no-such-folder/page.tmp"), folder_.string()}) {
        const DownloadOutcome outcome = downloader_.Download(server_.Address("/"), target, progress_);
        EXPECT_EQ(outcome.status, "INET_E_DOWNLOAD_FAILURE") << target;
        EXPECT_EQ(outcome.finalAddress, server_.Address("/"));
    }
    EXPECT_TRUE(progress_.ends.empty());
}

TEST_F(DownloadFailures, TargetFileThatCannotBeWritten) {
    const std::string full = "/dev/full";
    if (!std::filesystem::is_character_file(full)) GTEST_SKIP() << full << " is no character device here";
    server_.Route("/small", Page("a small page"));
    server_.Route("/large", Page(LargeBody(1024 * 1024)));

    // The small page fails when the file is closed, the large one on the way.
    for (const char* target : {"/small", "/large"}) {
        EXPECT_EQ(downloader_.Download(server_.Address(target), full, progress_).status, "INET_E_DOWNLOAD_FAILURE")
            << target;
    }
}

// The status texts of the results that cannot be brought about over the
// loopback: name look-ups, TLS, lack of memory, and the rest.

TEST(CurlStatusText, FailuresAreJudgedByTheResultCodeAlone) {
    // libcurl's result codes by their documented numbers, which never change.
    const std::vector<std::pair<int, std::string>> cases = {
        {6, "INET_E_RESOURCE_NOT_FOUND"},  {5, "INET_E_RESOURCE_NOT_FOUND"},  // host, proxy name
        {35, "INET_E_SECURITY_PROBLEM"},   {58, "INET_E_SECURITY_PROBLEM"},   // TLS connect, certificate
        {60, "INET_E_SECURITY_PROBLEM"},   {77, "INET_E_SECURITY_PROBLEM"},   // peer verification, CA file
        {90, "INET_E_SECURITY_PROBLEM"},   {27, "E_OUTOFMEMORY"},             // pinned key, out of memory
        {18, "INET_E_DOWNLOAD_FAILURE"},   {23, "INET_E_DOWNLOAD_FAILURE"},   // partial file, write error
        {52, "INET_E_DOWNLOAD_FAILURE"},   {56, "INET_E_DOWNLOAD_FAILURE"},   // got nothing, receive error
    };
    for (const auto& [code, text] : cases) {
        // The HTTP status of a failed transfer says nothing about the failure.
        for (const long httpStatus : {0L, 200L, 404L}) {
            EXPECT_EQ(CurlStatusText(code, httpStatus), text) << "code " << code << ", HTTP " << httpStatus;
        }
    }
    // Complete transfers: below 400 is fine, 400 and up are not.
    EXPECT_EQ(CurlStatusText(0, 399), "OK");
    EXPECT_EQ(CurlStatusText(0, 405), "INET_E_DOWNLOAD_FAILURE");
}

}  // namespace
}  // namespace veltrano
