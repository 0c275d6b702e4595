// The libcurl downloader against the test server: what each answer leaves in the page
// file and tells the crawl, interrupts, pages fetched ahead, and trouble on this side.
#include <gtest/gtest.h>

#include <sys/fsuid.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <thread>

#include "fetch/curl_downloader.h"
#include "http_test_server.h"
#include "temp_dir.h"

namespace veltrano {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using Report = std::pair<std::uint64_t, std::uint64_t>;
constexpr std::size_t kBound = 3 << 20;

// Text that differs from place to place, so that lost or repeated pieces show.
std::string Varied(std::size_t size) {
    std::string text(size, ' ');
    for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>('a' + (i * 7 + i / 1000) % 26);
    return text;
}

std::string Contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class DownloadTest : public ::testing::Test, public DownloadProgress {
protected:
    DownloadTest() {
        // An inherited proxy setting would send the requests elsewhere.
        for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) ::unsetenv(name);
    }
    void OnProgress(std::uint64_t now, std::uint64_t total) override { reports_.emplace_back(now, total); }
    void OnEndOfData(std::uint64_t total) override { ends_.push_back(total); }
    std::string At(const std::string& target) const { return server_.Address(target); }
    DownloadOutcome Fetch(const std::string& address, const std::string& target = "page.tmp") {
        return downloader_.Download(address, target, *this);
    }

    // Each address is fetched into a page file that held something else. A page (`kept`) replaces it exactly, its
    // progress growing without repeats up to one end of data at its size; a failure leaves it empty, with no end of data.
    struct Row {
        std::string address, status;
        std::optional<std::string> kept{};
        std::string finalAddress{};  // where redirects led
    };
    void ExpectRows(const std::vector<Row>& rows) {
        for (const Row& row : rows) {
            SCOPED_TRACE(row.address);
            std::ofstream("page.tmp", std::ios::binary) << std::string(20000, 'x');
            reports_.clear();
            ends_.clear();
            const DownloadOutcome outcome = Fetch(row.address);
            EXPECT_EQ(std::tuple(outcome.status, outcome.finalAddress, outcome.localFailure, outcome.interrupted),
                      std::tuple(row.status, row.finalAddress.empty() ? row.address : row.finalAddress, "", false));
            EXPECT_EQ(Contents("page.tmp"), row.kept.value_or(""));
            const std::uint64_t size = row.kept.value_or("").size();
            EXPECT_EQ(ends_, row.kept ? std::vector{size} : std::vector<std::uint64_t>{});
            for (std::size_t i = 0; i < reports_.size(); ++i) {
                EXPECT_TRUE(!row.kept || reports_[i].second == 0 || reports_[i].second == size) << i;
                EXPECT_TRUE(i == 0 || reports_[i - 1] < reports_[i] || reports_[i - 1].first > size) << i;
            }
            if (size > 0) { EXPECT_EQ(reports_.empty() ? Report{} : reports_.back(), Report(size, size)); }
            EXPECT_TRUE(size < 1000000 || (reports_.size() > 1 && reports_[0].first < size)) << "no progress on the way";
        }
    }

    testing::ScopedWorkingDirectory folder_;
    testing::HttpTestServer server_;
    // Only the low-speed rule ends a silent page before the test's patience does.
    CurlDownloader downloader_{{.lowSpeedTime = 1s, .maxPageBytes = kBound}};
    std::vector<Report> reports_;
    std::vector<std::uint64_t> ends_;
};

TEST_F(DownloadTest, PagesStatusesRedirectsAndFailuresOverAKeptConnection) {
    std::string bytes(256 * 40 + 3, '\0');  // every byte value, line ends and NULs among them
    for (std::size_t i = 0; i < 256 * 40; ++i) bytes[i] = static_cast<char>(i);
    const std::string large = Varied(kBound), over = Varied(kBound + 100000);
    for (const auto& [target, body] : std::vector<std::pair<std::string, std::string>>{
             {"/bytes", bytes}, {"/large", large}, {"/", "home"}, {"/d", "end of the chain"},
             {"/dir/a%20b,c;d.html?x=1&y=%2F&z=%7e", "as given"}, {"/my%20file%20%221%22.html?q=%3C%C3%A9%3E", "encoded"}}) {
        server_.Route(target, {200, "", body});
    }
    server_.Route("/a", {301, At("/dir/b")});
    server_.Route("/dir/b", {302, "c?q=1"});
    server_.Route("/dir/c?q=1", {307, "/d"});
    server_.Route("/moved", {308, "/gone"});
    server_.Route("/gone", {410, "", "gone"});
    server_.Route("/stall", {.body = "never sent", .trickle = 24h});
    server_.Route("/over", {.body = "HTTP/1.1 404 Not Found\r\n\r\n" + over, .raw = true});  // no length, so no total
    // Nothing listens at `closed`: a client that did connect for another scheme
    // would report a refused connection (and a telnet session would not end).
    const std::string closed = "127.0.0.1:" + std::to_string(testing::ClosedPort());
    std::vector<Row> rows = {
        {At("/bytes"), "OK", bytes}, {At("/large"), "OK", large},
        // Encoded addresses stay as they are; what may not stand raw in a request goes encoded, as from a browser.
        {At("/dir/a%20b,c;d.html?x=1&y=%2F&z=%7e#fragment"), "OK", "as given"}, {At("/my file \"1\".html?q=<\xC3\xA9>"), "OK", "encoded"},
        // curl would report these with a slash added, the scheme in small letters and no fragment.
        {At(""), "OK", "home"}, {"HTTP" + At("/#top").substr(4), "OK", "home"},
        {At("/a"), "OK", "end of the chain", At("/d")}, {At("/moved"), "INET_E_OBJECT_NOT_FOUND", "gone", At("/gone")},
        {"http://" + closed + "/page.html", "INET_E_CANNOT_CONNECT"}, {"ftp://" + closed + "/x", "INET_E_UNKNOWN_PROTOCOL"},
        {"gopher://" + closed + "/x", "INET_E_UNKNOWN_PROTOCOL"}, {"telnet://" + closed, "INET_E_UNKNOWN_PROTOCOL"},
        {"nosuchscheme://" + closed + "/x", "INET_E_UNKNOWN_PROTOCOL"}, {"file:///etc/hostname", "INET_E_UNKNOWN_PROTOCOL"},
        {"", "INET_E_INVALID_URL"}, {"http://", "INET_E_INVALID_URL"}, {"http://[::1", "INET_E_INVALID_URL"},
        {"http://127.0.0.1:99999/", "INET_E_INVALID_URL"}, {"http://127.0.0.1 :" + closed.substr(10), "INET_E_INVALID_URL"}};
    // An error page is kept and reported like any other; 300 without a Location is final.
    for (const auto& [status, text] : std::vector<std::pair<int, std::string>>{
             {203, "OK"}, {204, "OK"}, {300, "OK"}, {404, "INET_E_OBJECT_NOT_FOUND"}, {410, "INET_E_OBJECT_NOT_FOUND"},
             {401, "INET_E_AUTHENTICATION_REQUIRED"}, {407, "INET_E_AUTHENTICATION_REQUIRED"}, {400, "INET_E_DOWNLOAD_FAILURE"},
             {403, "INET_E_DOWNLOAD_FAILURE"}, {500, "INET_E_DOWNLOAD_FAILURE"}, {503, "INET_E_DOWNLOAD_FAILURE"}}) {
        const std::string page = status == 204 ? "" : "page " + std::to_string(status);
        server_.Route("/" + std::to_string(status), {status, "", page});
        rows.push_back({At("/" + std::to_string(status)), text, page});
    }
    // The transfer ends at the bound, and the status still tells what the server answered.
    rows.push_back({At("/over"), "INET_E_OBJECT_NOT_FOUND", over.substr(0, kBound)});
    // Silence after the head: curl judges the speed over the last second.
    rows.push_back({At("/stall"), "INET_E_CONNECTION_TIMEOUT"});
    ExpectRows(rows);
    EXPECT_EQ(server_.AcceptedConnections(), 2u);  // the page cut at its bound ended the first
    for (auto request : server_.Requests()) EXPECT_EQ(request.method + " " + request.headers["user-agent"], "GET Veltrano/1.0");
}

// Trouble on this side: no fault of the page, and no request wasted on a page that cannot be stored.
TEST_F(DownloadTest, WhatStandsAtTheTargetIsReplacedNeverWrittenThroughOrFailsHere) {
    server_.Route("/page", {200, "", "the page"});
    server_.Route("/large", {.fillerBytes = 1 << 20});
    std::ofstream("kept.txt") << "not to be touched";
    fs::create_symlink("kept.txt", "link.tmp");
    ASSERT_EQ(::mkfifo("fifo.tmp", 0644), 0);  // opened to write, it would wait for a reader
    fs::create_directories("read-only");
    fs::permissions("read-only", fs::perms::owner_write, fs::perm_options::remove);
    std::signal(SIGXFSZ, SIG_IGN);  // a file-size limit then fails writes as a full disk would
    rlimit usual{};
    ::getrlimit(RLIMIT_FSIZE, &usual);
    const rlimit limited{100 << 10, usual.rlim_max};
    for (const auto& [target, error] : std::vector<std::pair<std::string, int>>{
             {"link.tmp", 0}, {"fifo.tmp", 0}, {"no-such-folder/page.tmp", ENOENT},
             {"read-only/page.tmp", EACCES}, {"limited.tmp", EFBIG}}) {
        const std::string address = At(error == EFBIG ? "/large" : "/page");
        const std::size_t asked = server_.Requests().size(), ended = ends_.size();
        DownloadOutcome outcome;
        std::thread([&, &target = target, error = error] {
            // Permissions do not hold the superuser back: this is done as nobody, a file-system identity of one thread.
            if (error == EACCES && ::geteuid() == 0) ::setfsuid(65534);
            ::setrlimit(RLIMIT_FSIZE, error == EFBIG ? &limited : &usual);
            outcome = Fetch(address, target);
            ::setrlimit(RLIMIT_FSIZE, &usual);
        }).join();
        const std::string failure = error ? target + ": " + std::generic_category().message(error) : "";
        EXPECT_EQ(std::tuple(outcome.localFailure, outcome.status == "OK", outcome.interrupted, outcome.finalAddress),
                  std::tuple(failure, error == 0, false, address));
        EXPECT_EQ(std::pair(ends_.size() - ended, server_.Requests().size() - asked),
                  (std::pair<std::size_t, std::size_t>(error ? 0 : 1, error == 0 || error == EFBIG ? 1 : 0))) << target;
        EXPECT_TRUE(error || (fs::is_regular_file(fs::symlink_status(target)) && Contents(target) == "the page")) << target;
    }
    EXPECT_EQ(Contents("kept.txt"), "not to be touched");
}

TEST_F(DownloadTest, InterruptsBreakPagesOffAtAnyMomentAndTheNextOneWorks) {
    const std::string body = Varied(200000);
    server_.Route("/page", {200, "", body});
    std::atomic<bool> stop{false};
    std::thread interrupter([&] {
        for (; !stop; std::this_thread::sleep_for(200us)) downloader_.Interrupt();
    });
    std::size_t whole = 0;
    for (int i = 0; i < 40; ++i) {
        const DownloadOutcome outcome = Fetch(At("/page"));
        EXPECT_EQ(std::tuple(outcome.status, outcome.localFailure), std::tuple(outcome.interrupted ? "E_ABORT" : "OK", ""));
        EXPECT_TRUE(outcome.interrupted || Contents("page.tmp") == body) << i;
        whole += outcome.interrupted ? 0 : 1;
    }
    stop = true;
    interrupter.join();
    // The last interrupt came with no download running: it breaks nothing.
    EXPECT_EQ(Fetch(At("/page")).status, "OK");
    EXPECT_TRUE(Contents("page.tmp") == body);
    EXPECT_EQ(ends_, std::vector<std::uint64_t>(whole + 1, body.size()));
}

// Pages announced as coming next are fetched while earlier ones are processed,
// within a bound of memory, and each is whole in its turn, asked for and counted once.
TEST_F(DownloadTest, PagesAnnouncedAheadArriveWholeInTheirTurn) {
    CurlDownloader downloader({.connections = 3, .aheadBytes = 64 * 1024});  // less than a page: the pages ahead wait, paused
    for (std::size_t i = 0; i < 5; ++i) server_.Route("/p" + std::to_string(i), {200, "", Varied(200000 + i)});
    for (std::size_t i = 0; i < 5; ++i) {
        std::vector<std::string> next = i == 1 ? std::vector{At("/unwanted")} : std::vector<std::string>{};
        for (std::size_t j = i + 1; j < 5; ++j) next.push_back(At("/p" + std::to_string(j)));
        downloader.Prefetch(next);
        EXPECT_LE(downloader.DownloadsInFlight(), 3u);
        EXPECT_EQ(downloader.Download(At("/p" + std::to_string(i)), "page.tmp", *this).status, "OK");
        EXPECT_TRUE(Contents("page.tmp") == Varied(200000 + i)) << i;
        EXPECT_TRUE(i > 0 || downloader.DownloadsInFlight() == 2) << "the next two pages are fetched ahead";
    }
    EXPECT_EQ(ends_, (std::vector<std::uint64_t>{200000, 200001, 200002, 200003, 200004}));
    std::multiset<std::string> asked;
    for (const auto& request : server_.Requests()) asked.insert(request.target);
    EXPECT_LE(asked.erase("/unwanted"), 1u);
    EXPECT_EQ(asked, (std::multiset<std::string>{"/p0", "/p1", "/p2", "/p3", "/p4"}));
}

// What cannot be brought about over the loopback (name look-ups, TLS, lack of memory), by libcurl's
// documented code numbers: the code alone decides, whatever the HTTP status.
TEST(CurlStatusText, FailuresAreJudgedByTheResultCodeAlone) {
    for (const auto& [codes, text] : std::vector<std::pair<std::vector<int>, std::string>>{
             {{5, 6}, "INET_E_RESOURCE_NOT_FOUND"}, {{35, 58, 60, 77, 90}, "INET_E_SECURITY_PROBLEM"}, {{27}, "E_OUTOFMEMORY"},
             {{18, 23, 52, 56}, "INET_E_DOWNLOAD_FAILURE"}}) {
        for (const int code : codes) {
            for (const long http : {0L, 200L, 404L}) EXPECT_EQ(CurlStatusText(code, http), text) << code << " " << http;
        }
    }
}

}  // namespace
}  // namespace veltrano
