#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fetch/curl_downloader.h"
#include "http_test_server.h"

namespace veltrano {
namespace {

using testing::CannedResponse;
using testing::ClosedPort;
using testing::HttpTestServer;
using testing::SilentListener;

// libcurl's result codes, by their documented numbers (which libcurl never
// changes); the tests keep out of the curl headers like the rest of the program.
enum CurlCode : int {
    kOk = 0,
    kUnsupportedProtocol = 1,
    kUrlMalformat = 3,
    kCouldntResolveProxy = 5,
    kCouldntResolveHost = 6,
    kCouldntConnect = 7,
    kPartialFile = 18,
    kWriteError = 23,
    kOutOfMemory = 27,
    kOperationTimedOut = 28,
    kAbortedByCallback = 42,
    kTooManyRedirects = 47,
    kGotNothing = 52,
    kRecvError = 56,
    kSslConnectError = 35,
    kSslCertProblem = 58,
    kPeerFailedVerification = 60,
    kSslCacertBadFile = 77,
    kSslPinnedPubkeyNotMatch = 90,
};

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
    for (std::size_t round = 0; round < repeat; ++round) {
        for (int value = 0; value < 256; ++value) text += static_cast<char>(value);
    }
    return text;
}

std::string LargeBody(std::size_t size) {
    std::string text;
    text.reserve(size);
    for (std::size_t i = 0; i < size; ++i) text += static_cast<char>('a' + (i * 7 + i / 1000) % 26);
    return text;
}

std::uint32_t Crc32(const std::string& data) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char c : data) {
        crc ^= static_cast<unsigned char>(c);
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void AppendLittleEndian(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFFu);
}

// A gzip member holding `text` in stored (uncompressed) deflate blocks:
// valid gzip that needs no compression library to make.
std::string Gzip(const std::string& text) {
    std::string out("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\xff", 10);
    std::size_t offset = 0;
    do {
        const std::size_t length = std::min<std::size_t>(text.size() - offset, 65535);
        const bool last = offset + length == text.size();
        out += static_cast<char>(last ? 1 : 0);
        AppendLittleEndian(out, static_cast<std::uint32_t>(length), 2);
        AppendLittleEndian(out, static_cast<std::uint32_t>(~length & 0xFFFFu), 2);
        out.append(text, offset, length);
        offset += length;
    } while (offset < text.size());
    AppendLittleEndian(out, Crc32(text), 4);
    AppendLittleEndian(out, static_cast<std::uint32_t>(text.size()), 4);
    return out;
}

CannedResponse Page(std::string body, int status = 200) {
    CannedResponse response;
    response.status = status;
    response.headers = {{"Content-Type", "text/html"}};
    response.body = std::move(body);
    return response;
}

class CurlDownloaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        // An inherited proxy setting would send the requests for 127.0.0.1
        // somewhere else.
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

    static std::string ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    HttpTestServer server_;
    RecordingProgress progress_;
    std::filesystem::path folder_;
};

// ---------------------------------------------------------------------------
// The body reaches the file byte for byte.

using DownloadBody = CurlDownloaderTest;

TEST_F(DownloadBody, FileHoldsTheExactBytes) {
    const std::string body = AllByteValues(40) + "\r\n\n\r" + std::string(3, '\0');
    CannedResponse response = Page(body);
    response.headers = {{"Content-Type", "application/octet-stream"}};
    server_.Route("/bytes.bin", response);
    CurlDownloader downloader;

    const DownloadOutcome outcome = downloader.Download(server_.Address("/bytes.bin"), Target(), progress_);

    EXPECT_EQ(outcome.status, "OK");
    EXPECT_EQ(outcome.finalAddress, server_.Address("/bytes.bin"));
    EXPECT_EQ(ReadFile(Target()), body);
}

TEST_F(DownloadBody, ReplacesWhatTheFileHeldBefore) {
    std::ofstream(Target(), std::ios::binary) << std::string(10000, 'x');
    server_.Route("/short", Page("short page"));
    CurlDownloader downloader;

    EXPECT_EQ(downloader.Download(server_.Address("/short"), Target(), progress_).status, "OK");
    EXPECT_EQ(ReadFile(Target()), "short page");
}

TEST_F(DownloadBody, EmptyBodyGivesAnEmptyFile) {
    std::ofstream(Target(), std::ios::binary) << "old content";
    server_.Route("/empty", Page(""));
    CurlDownloader downloader;

    EXPECT_EQ(downloader.Download(server_.Address("/empty"), Target(), progress_).status, "OK");
    EXPECT_TRUE(std::filesystem::exists(Target()));
    EXPECT_EQ(ReadFile(Target()), "");
    EXPECT_EQ(progress_.ends, std::vector<std::uint64_t>{0});
}

TEST_F(DownloadBody, ChunkedBodyWithoutLengthArrivesWhole) {
    const std::string body = LargeBody(100000);
    CannedResponse response = Page(body);
    response.chunked = true;
    response.pieceSize = 7000;
    server_.Route("/chunked", response);
    CurlDownloader downloader;

    EXPECT_EQ(downloader.Download(server_.Address("/chunked"), Target(), progress_).status, "OK");
    EXPECT_EQ(ReadFile(Target()), body);
    EXPECT_EQ(progress_.ends, std::vector<std::uint64_t>{body.size()});
}

TEST_F(DownloadBody, GzipEncodedBodyIsStoredDecoded) {
    const std::string text = "<html><body>" + LargeBody(70000) + "</body></html>";
    CannedResponse response = Page(Gzip(text));
    response.headers.emplace_back("Content-Encoding", "gzip");
    server_.Route("/packed", response);
    CurlDownloader downloader;

    EXPECT_EQ(downloader.Download(server_.Address("/packed"), Target(), progress_).status, "OK");
    EXPECT_EQ(ReadFile(Target()), text);
    ASSERT_EQ(server_.Requests().size(), 1u);
    EXPECT_NE(server_.Requests()[0].Header("Accept-Encoding").find("gzip"), std::string::npos);
}

// ---------------------------------------------------------------------------
// Progress reports and the one end-of-data report.

using DownloadProgressReports = CurlDownloaderTest;

TEST_F(DownloadProgressReports, GrowStepByStepUpToTheSize) {
    const std::string body = LargeBody(3 * 1024 * 1024);
    CannedResponse response = Page(body);
    response.pieceSize = 64 * 1024;
    server_.Route("/large", response);
    CurlDownloader downloader;

    EXPECT_EQ(downloader.Download(server_.Address("/large"), Target(), progress_).status, "OK");

    ASSERT_GE(progress_.reports.size(), 2u);
    for (std::size_t i = 1; i < progress_.reports.size(); ++i) {
        EXPECT_GE(progress_.reports[i].first, progress_.reports[i - 1].first) << "report " << i;
        EXPECT_NE(progress_.reports[i], progress_.reports[i - 1]) << "repeated report " << i;
    }
    for (const auto& [bytesSoFar, totalBytes] : progress_.reports) {
        if (totalBytes != 0) {
            EXPECT_EQ(totalBytes, body.size()) << "at " << bytesSoFar;
        }
    }
    EXPECT_LT(progress_.reports.front().first, body.size());
    EXPECT_EQ(progress_.reports.back().first, body.size());
    EXPECT_EQ(progress_.ends, std::vector<std::uint64_t>{body.size()});
    EXPECT_EQ(ReadFile(Target()), body);
}

TEST_F(DownloadProgressReports, OneEndOfDataForEachDownload) {
    server_.Route("/one", Page("first"));
    server_.Route("/two", Page("second page"));
    CurlDownloader downloader;

    downloader.Download(server_.Address("/one"), Target(), progress_);
    EXPECT_EQ(progress_.ends, std::vector<std::uint64_t>{5});
    downloader.Download(server_.Address("/two"), Target(), progress_);
    EXPECT_EQ(progress_.ends, (std::vector<std::uint64_t>{5, 11}));
}

TEST_F(DownloadProgressReports, ErrorPageCountsAsReceivedData) {
    const std::string errorPage = "<html>nothing here</html>";
    server_.Route("/missing", Page(errorPage, 404));
    CurlDownloader downloader;

    EXPECT_EQ(downloader.Download(server_.Address("/missing"), Target(), progress_).status,
              "INET_E_OBJECT_NOT_FOUND");
    EXPECT_EQ(progress_.ends, std::vector<std::uint64_t>{errorPage.size()});
}

TEST_F(DownloadProgressReports, NoEndOfDataWhenTheConnectionBreaks) {
    CannedResponse response = Page(LargeBody(50000));
    response.delivery = CannedResponse::Delivery::cut;
    response.bytesBeforeTrouble = 20000;
    server_.Route("/broken", response);
    CurlDownloader downloader;

    EXPECT_EQ(downloader.Download(server_.Address("/broken"), Target(), progress_).status,
              "INET_E_DOWNLOAD_FAILURE");
    EXPECT_TRUE(progress_.ends.empty());
    ASSERT_FALSE(progress_.reports.empty());
    EXPECT_EQ(progress_.reports.back().first, 20000u);
}

TEST_F(DownloadProgressReports, NoEndOfDataWhenNothingWasFetched) {
    CurlDownloader downloader;

    downloader.Download("http://127.0.0.1:" + std::to_string(ClosedPort()) + "/", Target(), progress_);
    downloader.Download("ftp://127.0.0.1/x", Target(), progress_);

    EXPECT_TRUE(progress_.ends.empty());
}

// ---------------------------------------------------------------------------
// What the server is sent.

using DownloadRequest = CurlDownloaderTest;

TEST_F(DownloadRequest, TargetGoesOutAsGiven) {
    const std::string target = "/dir/a%20b,c;d.html?x=1&y=%2F&z=%7e#fragment";
    const std::string onTheWire = "/dir/a%20b,c;d.html?x=1&y=%2F&z=%7e";
    server_.Route(onTheWire, Page("found"));
    CurlDownloader downloader;

    const DownloadOutcome outcome = downloader.Download(server_.Address(target), Target(), progress_);

    EXPECT_EQ(outcome.status, "OK");
    EXPECT_EQ(outcome.finalAddress, server_.Address(target));
    ASSERT_EQ(server_.Requests().size(), 1u);
    EXPECT_EQ(server_.Requests()[0].target, onTheWire);
    EXPECT_EQ(server_.Requests()[0].method, "GET");
}

TEST_F(DownloadRequest, IdentifiesItselfAsVeltrano) {
    server_.Route("/", Page("home"));
    CurlDownloader downloader;

    downloader.Download(server_.Address("/"), Target(), progress_);

    ASSERT_EQ(server_.Requests().size(), 1u);
    EXPECT_EQ(server_.Requests()[0].Header("User-Agent"), "Veltrano/1.0");
}

// ---------------------------------------------------------------------------
// Status texts of complete transfers.

using DownloadStatus = CurlDownloaderTest;

TEST_F(DownloadStatus, HttpErrorStatusesHaveTheirOwnTexts) {
    const std::vector<std::pair<int, std::string>> cases = {
        {404, "INET_E_OBJECT_NOT_FOUND"},        {410, "INET_E_OBJECT_NOT_FOUND"},
        {401, "INET_E_AUTHENTICATION_REQUIRED"}, {407, "INET_E_AUTHENTICATION_REQUIRED"},
        {400, "INET_E_DOWNLOAD_FAILURE"},        {403, "INET_E_DOWNLOAD_FAILURE"},
        {500, "INET_E_DOWNLOAD_FAILURE"},        {503, "INET_E_DOWNLOAD_FAILURE"},
    };
    CurlDownloader downloader;
    for (const auto& [status, text] : cases) {
        const std::string target = "/status/" + std::to_string(status);
        const std::string errorPage = "error page " + std::to_string(status);
        server_.Route(target, Page(errorPage, status));

        const DownloadOutcome outcome = downloader.Download(server_.Address(target), Target(), progress_);

        EXPECT_EQ(outcome.status, text) << "HTTP " << status;
        EXPECT_EQ(outcome.finalAddress, server_.Address(target)) << "HTTP " << status;
        EXPECT_EQ(ReadFile(Target()), errorPage) << "HTTP " << status;
    }
}

TEST_F(DownloadStatus, SuccessStatusesAreOk) {
    CurlDownloader downloader;
    for (const int status : {200, 203, 204}) {
        const std::string target = "/status/" + std::to_string(status);
        server_.Route(target, Page(status == 204 ? "" : "fine", status));
        EXPECT_EQ(downloader.Download(server_.Address(target), Target(), progress_).status, "OK") << status;
    }
}

// ---------------------------------------------------------------------------
// Redirects and the final address.

using DownloadRedirects = CurlDownloaderTest;

TEST_F(DownloadRedirects, FinalAddressIsWhereTheRedirectLed) {
    server_.Redirect("/old", 301, server_.Address("/new"));
    server_.Route("/new", Page("new page"));
    CurlDownloader downloader;

    const DownloadOutcome outcome = downloader.Download(server_.Address("/old"), Target(), progress_);

    EXPECT_EQ(outcome.status, "OK");
    EXPECT_EQ(outcome.finalAddress, server_.Address("/new"));
    EXPECT_EQ(ReadFile(Target()), "new page");
    EXPECT_EQ(progress_.ends, std::vector<std::uint64_t>{8});
}

TEST_F(DownloadRedirects, RelativeLocationIsResolved) {
    server_.Redirect("/dir/page", 302, "other?q=1");
    server_.Route("/dir/other?q=1", Page("other page"));
    CurlDownloader downloader;

    const DownloadOutcome outcome = downloader.Download(server_.Address("/dir/page"), Target(), progress_);

    EXPECT_EQ(outcome.status, "OK");
    EXPECT_EQ(outcome.finalAddress, server_.Address("/dir/other?q=1"));
}

TEST_F(DownloadRedirects, ChainIsFollowedToItsEnd) {
    server_.Redirect("/a", 301, "/b");
    server_.Redirect("/b", 302, "/c");
    server_.Redirect("/c", 307, "/d");
    server_.Route("/d", Page("end of the chain"));
    CurlDownloader downloader;

    const DownloadOutcome outcome = downloader.Download(server_.Address("/a"), Target(), progress_);

    EXPECT_EQ(outcome.status, "OK");
    EXPECT_EQ(outcome.finalAddress, server_.Address("/d"));
    EXPECT_EQ(ReadFile(Target()), "end of the chain");
    EXPECT_EQ(server_.Requests().size(), 4u);
}

TEST_F(DownloadRedirects, WithoutRedirectTheAddressStaysExactlyAsGiven) {
    server_.Route("/", Page("home"));
    CurlDownloader downloader;
    const std::string port = std::to_string(server_.Port());
    // curl would report these with a slash added, the scheme in small
    // letters and without the fragment; the page's links need the original.
    for (const std::string& address : {"http://127.0.0.1:" + port, "HTTP://127.0.0.1:" + port + "/#top"}) {
        const DownloadOutcome outcome = downloader.Download(address, Target(), progress_);
        EXPECT_EQ(outcome.status, "OK") << address;
        EXPECT_EQ(outcome.finalAddress, address);
    }
}

TEST_F(DownloadRedirects, TwentyRedirectsAreFollowedButNotMore) {
    for (int i = 0; i < 21; ++i) server_.Redirect("/hop" + std::to_string(i), 302, "/hop" + std::to_string(i + 1));
    server_.Route("/hop21", Page("arrived"));
    CurlDownloader downloader;

    const DownloadOutcome twenty = downloader.Download(server_.Address("/hop1"), Target(), progress_);
    EXPECT_EQ(twenty.status, "OK");
    EXPECT_EQ(twenty.finalAddress, server_.Address("/hop21"));

    const DownloadOutcome tooMany = downloader.Download(server_.Address("/hop0"), Target(), progress_);
    EXPECT_EQ(tooMany.status, "INET_E_REDIRECT_FAILED");
}

TEST_F(DownloadRedirects, LoopFails) {
    server_.Redirect("/ping", 302, "/pong");
    server_.Redirect("/pong", 302, "/ping");
    CurlDownloader downloader;

    EXPECT_EQ(downloader.Download(server_.Address("/ping"), Target(), progress_).status, "INET_E_REDIRECT_FAILED");
    EXPECT_TRUE(progress_.ends.empty());
}

TEST_F(DownloadRedirects, RedirectToAnotherSchemeIsRefused) {
    // FTP is one that curl would follow by default; nothing listens there.
    server_.Redirect("/to-ftp", 302, "ftp://127.0.0.1:" + std::to_string(ClosedPort()) + "/x");
    server_.Redirect("/to-file", 302, "file:///etc/hostname");
    CurlDownloader downloader;

    for (const char* target : {"/to-ftp", "/to-file"}) {
        const DownloadOutcome outcome = downloader.Download(server_.Address(target), Target(), progress_);
        EXPECT_EQ(outcome.status, "INET_E_UNKNOWN_PROTOCOL") << target;
        EXPECT_EQ(ReadFile(Target()), "") << target;
    }
}

TEST_F(DownloadRedirects, RedirectToAMissingPageReportsTheMissingPage) {
    server_.Redirect("/moved", 301, "/gone");
    server_.Route("/gone", Page("gone", 410));
    CurlDownloader downloader;

    const DownloadOutcome outcome = downloader.Download(server_.Address("/moved"), Target(), progress_);

    EXPECT_EQ(outcome.status, "INET_E_OBJECT_NOT_FOUND");
    EXPECT_EQ(outcome.finalAddress, server_.Address("/gone"));
}

// ---------------------------------------------------------------------------
// Transfers that fail below HTTP.

using DownloadFailures = CurlDownloaderTest;

TEST_F(DownloadFailures, RefusedConnection) {
    const std::string address = "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/page.html";
    CurlDownloader downloader;

    const DownloadOutcome outcome = downloader.Download(address, Target(), progress_);

    EXPECT_EQ(outcome.status, "INET_E_CANNOT_CONNECT");
    EXPECT_EQ(outcome.finalAddress, address);
}

TEST_F(DownloadFailures, UnansweredConnectionTimesOut) {
    const SilentListener silent;
    CurlDownloaderOptions options;
    options.connectTimeout = std::chrono::milliseconds(300);
    CurlDownloader downloader(options);

    const DownloadOutcome outcome =
        downloader.Download("http://127.0.0.1:" + std::to_string(silent.Port()) + "/", Target(), progress_);

    EXPECT_EQ(outcome.status, "INET_E_CONNECTION_TIMEOUT");
}

TEST_F(DownloadFailures, StalledTransferIsAbandoned) {
    CannedResponse response = Page(LargeBody(10000));
    // curl judges the speed over the last few seconds, so any body bytes
    // sent before the silence would only postpone the verdict.
    response.delivery = CannedResponse::Delivery::stall;
    response.bytesBeforeTrouble = 0;
    server_.Route("/stall", response);
    CurlDownloaderOptions options;
    options.lowSpeedTime = std::chrono::seconds(1);
    CurlDownloader downloader(options);

    const DownloadOutcome outcome = downloader.Download(server_.Address("/stall"), Target(), progress_);

    EXPECT_EQ(outcome.status, "INET_E_CONNECTION_TIMEOUT");
    EXPECT_TRUE(progress_.ends.empty());
}

TEST_F(DownloadFailures, OtherSchemesAreRejectedWithoutConnecting) {
    CurlDownloader downloader;
    // Nothing listens there: a client that did try to connect would report
    // a refused connection instead (and a telnet session would not end).
    const std::string port = std::to_string(ClosedPort());
    const std::vector<std::string> addresses = {
        "ftp://127.0.0.1:" + port + "/x", "gopher://127.0.0.1:" + port + "/x",
        "telnet://127.0.0.1:" + port, "nosuchscheme://127.0.0.1:" + port + "/x", "file:///etc/hostname",
    };
    for (const std::string& address : addresses) {
        const DownloadOutcome outcome = downloader.Download(address, Target(), progress_);
        EXPECT_EQ(outcome.status, "INET_E_UNKNOWN_PROTOCOL") << address;
        EXPECT_EQ(outcome.finalAddress, address);
    }
    EXPECT_EQ(ReadFile(Target()), "");
    EXPECT_TRUE(progress_.ends.empty());
}

TEST_F(DownloadFailures, MalformedAddresses) {
    CurlDownloader downloader;
    const std::string port = std::to_string(server_.Port());
    const std::vector<std::string> addresses = {
        "", "http://", "http://[::1", "http://127.0.0.1:99999/", "http://127.0.0.1:" + port + "/a b",
        "http://127.0.0.1:" + port + std::string("/a\0b", 4),
    };
    for (const std::string& address : addresses) {
        const DownloadOutcome outcome = downloader.Download(address, Target(), progress_);
        EXPECT_EQ(outcome.status, "INET_E_INVALID_URL") << address;
        EXPECT_EQ(outcome.finalAddress, address);
    }
    EXPECT_EQ(server_.AcceptedConnections(), 0u);
}

TEST_F(DownloadFailures, TlsWithAPlainServerIsASecurityProblem) {
    CurlDownloader downloader;

    const DownloadOutcome outcome =
        downloader.Download("https://127.0.0.1:" + std::to_string(server_.Port()) + "/", Target(), progress_);

    EXPECT_EQ(outcome.status, "INET_E_SECURITY_PROBLEM");
    EXPECT_TRUE(progress_.ends.empty());
}

TEST_F(DownloadFailures, TargetFileThatCannotBeCreated) {
    server_.Route("/", Page("home"));
    CurlDownloader downloader;

    for (const std::string& target : {Target("no-such-folder/page.tmp"), folder_.string()}) {
        const DownloadOutcome outcome = downloader.Download(server_.Address("/"), target, progress_);
        EXPECT_EQ(outcome.status, "INET_E_DOWNLOAD_FAILURE") << target;
        EXPECT_EQ(outcome.finalAddress, server_.Address("/"));
    }
    EXPECT_TRUE(progress_.ends.empty());
}

TEST_F(DownloadFailures, TargetFileThatCannotBeWritten) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    server_.Route("/small", Page("a small page"));
    server_.Route("/large", Page(LargeBody(1024 * 1024)));
    CurlDownloader downloader;

    // The small page fails when the file is closed, the large one while
    // the data is still arriving.
    EXPECT_EQ(downloader.Download(server_.Address("/small"), "/dev/full", progress_).status,
              "INET_E_DOWNLOAD_FAILURE");
    EXPECT_EQ(downloader.Download(server_.Address("/large"), "/dev/full", progress_).status,
              "INET_E_DOWNLOAD_FAILURE");
}

class ThrowingProgress : public DownloadProgress {
public:
    explicit ThrowingProgress(bool outOfMemory) : outOfMemory_(outOfMemory) {}
    void OnProgress(std::uint64_t, std::uint64_t) override {
        if (outOfMemory_) throw std::bad_alloc();
        throw std::runtime_error("progress failed");
    }
    void OnEndOfData(std::uint64_t) override {}

private:
    bool outOfMemory_;
};

TEST_F(DownloadFailures, ExceptionsOfTheProgressBecomeStatuses) {
    server_.Route("/", Page(LargeBody(200000)));
    CurlDownloader downloader;
    ThrowingProgress noMemory(true);
    ThrowingProgress broken(false);

    EXPECT_EQ(downloader.Download(server_.Address("/"), Target(), noMemory).status, "E_OUTOFMEMORY");
    EXPECT_EQ(downloader.Download(server_.Address("/"), Target(), broken).status, "INET_E_DOWNLOAD_FAILURE");
    // And the handle still works afterwards.
    EXPECT_EQ(downloader.Download(server_.Address("/"), Target(), progress_).status, "OK");
}

// ---------------------------------------------------------------------------
// One handle for the crawl: the connection is kept for the next page.

using DownloadConnections = CurlDownloaderTest;

TEST_F(DownloadConnections, SeveralDownloadsShareOneConnection) {
    server_.Route("/1", Page("one"));
    server_.Route("/2", Page(LargeBody(300000)));
    server_.Route("/3", Page("three", 404));
    server_.Redirect("/4", 301, "/1");
    CurlDownloader downloader;

    const std::vector<std::pair<std::string, std::string>> downloads = {
        {"/1", "OK"}, {"/2", "OK"}, {"/3", "INET_E_OBJECT_NOT_FOUND"}, {"/4", "OK"}};
    for (const auto& [target, status] : downloads) {
        EXPECT_EQ(downloader.Download(server_.Address(target), Target(), progress_).status, status) << target;
    }

    EXPECT_EQ(server_.AcceptedConnections(), 1u);
    const std::vector<testing::RecordedRequest> requests = server_.Requests();
    ASSERT_EQ(requests.size(), 5u);
    for (const auto& request : requests) EXPECT_EQ(request.connection, 0u) << request.target;
}

TEST_F(DownloadConnections, ServerClosingTheConnectionIsNoFailure) {
    CannedResponse closing = Page("closing");
    closing.headers.emplace_back("Connection", "close");
    server_.Route("/closing", closing);
    server_.Route("/next", Page("next"));
    CurlDownloader downloader;

    EXPECT_EQ(downloader.Download(server_.Address("/closing"), Target(), progress_).status, "OK");
    EXPECT_EQ(downloader.Download(server_.Address("/next"), Target(), progress_).status, "OK");
    EXPECT_EQ(ReadFile(Target()), "next");
    EXPECT_EQ(server_.AcceptedConnections(), 2u);
}

TEST_F(DownloadConnections, EachDownloaderHasItsOwnHandle) {
    server_.Route("/", Page("home"));
    CurlDownloader first;
    CurlDownloader second;

    EXPECT_EQ(first.Download(server_.Address("/"), Target(), progress_).status, "OK");
    EXPECT_EQ(second.Download(server_.Address("/"), Target(), progress_).status, "OK");
    EXPECT_EQ(first.Download(server_.Address("/"), Target(), progress_).status, "OK");
    EXPECT_EQ(server_.AcceptedConnections(), 2u);
}

// ---------------------------------------------------------------------------
// The status texts straight from the result codes, including the cases the
// tests cannot bring about without leaving the machine (name look-ups).

TEST(CurlStatusText, CompleteTransfersAreJudgedByTheHttpStatus) {
    EXPECT_EQ(CurlStatusText(kOk, 200), "OK");
    EXPECT_EQ(CurlStatusText(kOk, 0), "OK");
    EXPECT_EQ(CurlStatusText(kOk, 304), "OK");
    EXPECT_EQ(CurlStatusText(kOk, 399), "OK");
    EXPECT_EQ(CurlStatusText(kOk, 400), "INET_E_DOWNLOAD_FAILURE");
    EXPECT_EQ(CurlStatusText(kOk, 401), "INET_E_AUTHENTICATION_REQUIRED");
    EXPECT_EQ(CurlStatusText(kOk, 407), "INET_E_AUTHENTICATION_REQUIRED");
    EXPECT_EQ(CurlStatusText(kOk, 404), "INET_E_OBJECT_NOT_FOUND");
    EXPECT_EQ(CurlStatusText(kOk, 410), "INET_E_OBJECT_NOT_FOUND");
    EXPECT_EQ(CurlStatusText(kOk, 405), "INET_E_DOWNLOAD_FAILURE");
    EXPECT_EQ(CurlStatusText(kOk, 500), "INET_E_DOWNLOAD_FAILURE");
    EXPECT_EQ(CurlStatusText(kOk, 599), "INET_E_DOWNLOAD_FAILURE");
}

TEST(CurlStatusText, TransferFailuresAreJudgedByTheResultCode) {
    const std::vector<std::pair<int, std::string>> cases = {
        {kCouldntResolveHost, "INET_E_RESOURCE_NOT_FOUND"},
        {kCouldntResolveProxy, "INET_E_RESOURCE_NOT_FOUND"},
        {kCouldntConnect, "INET_E_CANNOT_CONNECT"},
        {kOperationTimedOut, "INET_E_CONNECTION_TIMEOUT"},
        {kUrlMalformat, "INET_E_INVALID_URL"},
        {kUnsupportedProtocol, "INET_E_UNKNOWN_PROTOCOL"},
        {kTooManyRedirects, "INET_E_REDIRECT_FAILED"},
        {kOutOfMemory, "E_OUTOFMEMORY"},
        {kSslConnectError, "INET_E_SECURITY_PROBLEM"},
        {kSslCertProblem, "INET_E_SECURITY_PROBLEM"},
        {kPeerFailedVerification, "INET_E_SECURITY_PROBLEM"},
        {kSslCacertBadFile, "INET_E_SECURITY_PROBLEM"},
        {kSslPinnedPubkeyNotMatch, "INET_E_SECURITY_PROBLEM"},
        {kPartialFile, "INET_E_DOWNLOAD_FAILURE"},
        {kWriteError, "INET_E_DOWNLOAD_FAILURE"},
        {kAbortedByCallback, "INET_E_DOWNLOAD_FAILURE"},
        {kGotNothing, "INET_E_DOWNLOAD_FAILURE"},
        {kRecvError, "INET_E_DOWNLOAD_FAILURE"},
    };
    for (const auto& [code, text] : cases) {
        // The HTTP status of a failed transfer says nothing about the failure.
        for (const long httpStatus : {0L, 200L, 404L}) {
            EXPECT_EQ(CurlStatusText(code, httpStatus), text) << "code " << code << ", HTTP " << httpStatus;
        }
    }
}

}  // namespace
}  // namespace veltrano
