// The libcurl downloader against the test server: what each answer leaves in the page file and tells the crawl,
// interrupts, pages fetched ahead, trouble on this side, and a whole crawl of a site whose pages misbehave.
#include <gtest/gtest.h>
#include <sys/fsuid.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <thread>

#include "crawl/crawl_start.h"
#include "test_support.h"
#include "fetch/curl_downloader.h"
#include "http_test_server.h"
#include "state/app_state.h"

namespace veltrano {
namespace {

using namespace std::chrono_literals;
using testing::ReadBytes;
namespace fs = std::filesystem;
constexpr std::size_t kBound = 3 << 20;

std::string Varied(std::size_t size, std::string text = "") {  // lost or repeated pieces of it show
    for (std::size_t i = 0; i < size; ++i) text += static_cast<char>('a' + (i * 7 + i / 1000) % 26);
    return text;
}

class DownloadTest : public ::testing::Test, public DownloadProgress {
protected:
    DownloadTest() { for (const char* name : {"http_proxy", "all_proxy", "ALL_PROXY"}) ::unsetenv(name); }  // what curl would obey
    void OnProgress(std::uint64_t now, std::uint64_t total) override { reports_.emplace_back(now, total); }
    void OnEndOfData(std::uint64_t total) override { ends_.push_back(total); }
    std::string At(const std::string& target) const { return server_.Address(target); }
    DownloadOutcome Fetch(const std::string& address, const std::string& file = "page.tmp") { return downloader_.Download(address, file, *this); }

    testing::ScopedWorkingDirectory folder_;
    testing::HttpTestServer server_;
    CurlDownloader downloader_{{.lowSpeedTime = 1s, .maxPageBytes = kBound}};  // only the low-speed rule ends a silent page
    std::vector<std::pair<std::uint64_t, std::uint64_t>> reports_;
    std::vector<std::uint64_t> ends_;
};

// Each address is fetched into a page file that held something else. A page (`kept`) replaces it exactly, its progress
// growing without repeats up to one end of data at its size; a failure leaves it empty, with no end of data.
TEST_F(DownloadTest, PagesStatusesRedirectsAndFailuresOverAKeptConnection) {
    std::string bytes(256 * 40 + 3, '\0');  // every byte value, line ends and NULs among them
    for (std::size_t i = 0; i < 256 * 40; ++i) bytes[i] = static_cast<char>(i);
    const std::string large = Varied(kBound), over = Varied(kBound + 100000);
    for (const auto& [target, answer] : std::map<std::string, testing::CannedResponse>{
             {"/bytes", {.body = bytes}}, {"/large", {.body = large}}, {"/", {.body = "home"}}, {"/d", {.body = "end of the chain"}},
             {"/dir/a%20b,c;d.html?x=1&y=%2F&z=%7e", {.body = "as given"}}, {"/my%20file%20%221%22.html?q=%3C%C3%A9%3E", {.body = "encoded"}},
             {"/a", {301, At("/dir/b")}}, {"/dir/b", {302, "c?q=1"}}, {"/dir/c?q=1", {307, "/d"}}, {"/moved", {308, "/gone"}},
             {"/gone", {410, "", "gone"}}, {"/stall", {.body = "never sent", .trickle = 24h}}, {"/204", {204}},
             {"/300", {300, "", "page"}}, {"/400", {400, "", "page"}}, {"/407", {407, "", "page"}},  // 300 without a Location is final
             {"/over", {.body = "HTTP/1.1 404 Not Found\r\n\r\n" + over, .raw = true}}})  // no length, so no total
        server_.Route(target, answer);
    const std::string closed = "127.0.0.1:" + std::to_string(testing::ClosedPort());  // refused, were it asked for another scheme
    struct Row { std::string address, status; std::optional<std::string> kept{}; std::string finalAddress{}; };  // where redirects led
    std::vector<Row> rows = {{At("/bytes"), "OK", bytes}, {At("/large"), "OK", large},
        // Encoded addresses stay as they are; what may not stand raw in a request goes encoded, as from a browser.
        {At("/dir/a%20b,c;d.html?x=1&y=%2F&z=%7e#fragment"), "OK", "as given"}, {At("/my file \"1\".html?q=<\xC3\xA9>"), "OK", "encoded"},
        // curl would report these with a slash added, the scheme in small letters and no fragment.
        {At(""), "OK", "home"}, {"HTTP" + At("/#top").substr(4), "OK", "home"},
        {At("/a"), "OK", "end of the chain", At("/d")}, {At("/moved"), "INET_E_OBJECT_NOT_FOUND", "gone", At("/gone")},
        {At("/204"), "OK", ""}, {At("/300"), "OK", "page"}, {At("/400"), "INET_E_DOWNLOAD_FAILURE", "page"},  // error pages are kept
        {At("/407"), "INET_E_AUTHENTICATION_REQUIRED", "page"}, {"http://" + closed + "/page.html", "INET_E_CANNOT_CONNECT"},
        {"ftp://" + closed + "/x", "INET_E_UNKNOWN_PROTOCOL"}, {"file:///etc/hostname", "INET_E_UNKNOWN_PROTOCOL"},
        {"", "INET_E_INVALID_URL"}, {"http://[::1", "INET_E_INVALID_URL"}, {"http://127.0.0.1:99999/", "INET_E_INVALID_URL"},
        // The transfer ends at the bound, and the status still tells what the server answered; that ends the connection.
        {At("/over"), "INET_E_OBJECT_NOT_FOUND", over.substr(0, kBound)},
        {At("/stall"), "INET_E_CONNECTION_TIMEOUT"}};  // silence after the head: curl judges the speed over the last second
    for (const auto& [address, status, kept, finalAddress] : rows) {
        SCOPED_TRACE(address);
        std::ofstream("page.tmp", std::ios::binary) << std::string(20000, 'x');
        reports_.clear(), ends_.clear();
        const DownloadOutcome outcome = Fetch(address);
        EXPECT_EQ(std::tuple(outcome.status, outcome.finalAddress, outcome.localFailure, outcome.interrupted),
                  std::tuple(status, finalAddress.empty() ? address : finalAddress, "", false));
        EXPECT_EQ(ReadBytes("page.tmp"), kept.value_or(""));
        const std::uint64_t size = kept.value_or("").size();
        EXPECT_EQ(ends_, kept ? std::vector{size} : std::vector<std::uint64_t>{});
        for (std::size_t i = 0; i < reports_.size(); ++i) EXPECT_TRUE((!kept || reports_[i].second == 0 || reports_[i].second == size) &&
                                                                      (i == 0 || reports_[i - 1] < reports_[i] || reports_[i - 1].first > size)) << i;
        EXPECT_TRUE(size == 0 || (!reports_.empty() && reports_.back() == std::pair(size, size)));
        EXPECT_TRUE(size < 1000000 || (reports_.size() > 1 && reports_[0].first < size)) << "no progress on the way";
    }
    EXPECT_EQ(server_.AcceptedConnections(), 2u);
    for (const auto& request : server_.Requests())
        EXPECT_TRUE(request.method == "GET" && request.head.find("\r\nUser-Agent: Veltrano/1.0\r\n") != std::string::npos) << request.head;
}

// Trouble on this side: no fault of the page, and no request wasted on a page that cannot be stored.
TEST_F(DownloadTest, WhatStandsAtTheTargetIsReplacedNeverWrittenThroughOrFailsHere) {
    server_.Route("/page", {200, "", "the page"});
    const std::string address = At("/page");
    std::ofstream("kept.txt") << "not to be touched";
    fs::create_symlink("kept.txt", "link.tmp");
    ASSERT_EQ(::mkfifo("fifo.tmp", 0644), 0);  // opened to write, it would wait for a reader
    fs::create_directories("read-only");
    fs::permissions("read-only", fs::perms::owner_write, fs::perm_options::remove);
    std::signal(SIGXFSZ, SIG_IGN);  // a file-size limit then fails writes as a full disk would
    rlimit usual{};
    ::getrlimit(RLIMIT_FSIZE, &usual);
    const rlimit limited{4, usual.rlim_max};  // half the page
    for (const auto& [target, error] : std::vector<std::pair<std::string, int>>{
             {"link.tmp", 0}, {"fifo.tmp", 0}, {"no-such-folder/page.tmp", ENOENT}, {"read-only/page.tmp", EACCES}, {"limited.tmp", EFBIG}}) {
        const std::size_t asked = server_.Requests().size(), ended = ends_.size();
        DownloadOutcome outcome;
        std::thread([&, &target = target, error = error] {
            if (error == EACCES && ::geteuid() == 0) ::setfsuid(65534);  // the superuser meets permissions only as nobody
            ::setrlimit(RLIMIT_FSIZE, error == EFBIG ? &limited : &usual);
            outcome = Fetch(address, target);
            ::setrlimit(RLIMIT_FSIZE, &usual);
        }).join();
        EXPECT_EQ(std::tuple(outcome.localFailure, outcome.status == "OK", outcome.interrupted, outcome.finalAddress),
                  std::tuple(error ? target + ": " + std::generic_category().message(error) : "", error == 0, false, address));
        EXPECT_EQ(std::pair(ends_.size() - ended, server_.Requests().size() - asked),
                  (std::pair<std::size_t, std::size_t>(error ? 0 : 1, error == 0 || error == EFBIG ? 1 : 0))) << target;
        EXPECT_TRUE(error || (fs::is_regular_file(fs::symlink_status(target)) && ReadBytes(target) == "the page")) << target;
    }
    EXPECT_EQ(ReadBytes("kept.txt"), "not to be touched");
}

TEST_F(DownloadTest, InterruptsBreakPagesOffAtAnyMomentAndTheNextOneWorks) {
    const std::string body = Varied(200000);
    server_.Route("/page", {200, "", body});
    std::atomic<bool> stop{false};
    std::thread interrupter([&] { for (; !stop; std::this_thread::sleep_for(200us)) downloader_.Interrupt(); });
    std::size_t whole = 0;
    for (int i = 0; i < 40; ++i) {
        const DownloadOutcome outcome = Fetch(At("/page"));
        EXPECT_EQ(std::tuple(outcome.status, outcome.localFailure), std::tuple(outcome.interrupted ? "E_ABORT" : "OK", ""));
        EXPECT_TRUE(outcome.interrupted || ReadBytes("page.tmp") == body) << i;
        whole += outcome.interrupted ? 0 : 1;
    }
    stop = true;
    interrupter.join();
    // The last interrupt came with no download running: it breaks nothing.
    EXPECT_TRUE(Fetch(At("/page")).status == "OK" && ReadBytes("page.tmp") == body);
    EXPECT_EQ(ends_, std::vector<std::uint64_t>(whole + 1, body.size()));
}

// Pages announced as coming next are fetched within a bound of memory, each whole in its turn, asked for and counted once.
TEST_F(DownloadTest, PagesAnnouncedAheadArriveWholeInTheirTurn) {
    CurlDownloader downloader({.connections = 3, .aheadBytes = 64 * 1024});  // less than a page: the pages ahead wait, paused
    for (std::size_t i = 0; i < 5; ++i) server_.Route("/p" + std::to_string(i), {200, "", Varied(200000 + i)});
    for (std::size_t i = 0; i < 5; ++i) {
        std::vector<std::string> next = i == 1 ? std::vector{At("/unwanted")} : std::vector<std::string>{};
        for (std::size_t j = i + 1; j < 5; ++j) next.push_back(At("/p" + std::to_string(j)));
        downloader.Prefetch(next);
        EXPECT_LE(downloader.DownloadsInFlight(), 3u);
        EXPECT_EQ(downloader.Download(At("/p" + std::to_string(i)), "page.tmp", *this).status, "OK");
        EXPECT_TRUE(ReadBytes("page.tmp") == Varied(200000 + i)) << i;
        EXPECT_TRUE(i > 0 || downloader.DownloadsInFlight() == 2) << "the next two pages are fetched ahead";
    }
    EXPECT_EQ(ends_, (std::vector<std::uint64_t>{200000, 200001, 200002, 200003, 200004}));
    std::multiset<std::string> asked;
    for (const auto& request : server_.Requests()) asked.insert(request.target);
    EXPECT_LE(asked.erase("/unwanted"), 1u);
    EXPECT_EQ(asked, (std::multiset<std::string>{"/p0", "/p1", "/p2", "/p3", "/p4"}));
}

// What the loopback cannot bring about (name look-ups, TLS, lack of memory), by libcurl's code numbers, whatever the HTTP status.
TEST(CurlStatusText, FailuresAreJudgedByTheResultCodeAlone) {
    for (const auto& [code, text] : std::map<int, std::string>{{5, "INET_E_RESOURCE_NOT_FOUND"}, {27, "E_OUTOFMEMORY"},
             {35, "INET_E_SECURITY_PROBLEM"}, {90, "INET_E_SECURITY_PROBLEM"}, {56, "INET_E_DOWNLOAD_FAILURE"}})
        for (const long http : {0L, 200L, 404L}) EXPECT_EQ(CurlStatusText(code, http), text) << code << " " << http;
}

// A crawl of a site whose pages misbehave: each row gets a failure name, or what arrived within the bound is parsed; the
// normal page after them is crawled, the crawl ends complete, and the process stays far smaller than the pages.
using HostileSite = DownloadTest;
std::string Link(const std::string& target) { return "<a href=\"" + target.substr(1) + "\">"; }

TEST_F(HostileSite, EachPageFailsOrIsKeptWithinTheBoundAndTheCrawlGoesOn) {
    constexpr std::uint64_t kHuge = 256 << 20;
    // A bomb: a link before and one beyond the bound, then blanks, written in pieces so as to raise no peak.
    const std::string before = Link("/bomb-before.htm"), spaces(kBound, ' '), beyond = Link("/bomb-beyond.htm");
    gzFile gzip = gzopen("bomb.gz", "wb9");
    for (std::uint64_t i = 0; i < kHuge / kBound; ++i) gzputs(gzip, (i == 0 ? before : i == 3 ? beyond : spaces).c_str());
    gzclose(gzip);
    std::mt19937 random(20240611);
    std::string binary = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n\r\n";  // no length: it ends with the connection
    for (int i = 0; i < 8; ++i) {
        for (int j = 0; j < 8192; ++j) binary += static_cast<char>(random());
        binary += ">" + Link("/bin" + std::to_string(i) + ".htm");  // the '>' ends any tag the random bytes began
    }
    std::string crowded = "HTTP/1.1 200 OK\r\n";
    for (int i = 0; i < 100000; ++i) crowded += "X-Line-" + std::to_string(i) + ": filler\r\n";
    const std::vector<std::tuple<std::string, testing::CannedResponse, std::string>> pages = {
        // What arrived of a failed page is not parsed.
        {"/reset.htm", {.body = Link("/reset-early.htm") + std::string(50000, 'r'), .cutAfter = 20000, .reset = true}, "INET_E_DOWNLOAD_FAILURE"},
        {"/longer.htm", {.body = Link("/longer-early.htm"), .contentLength = 5000, .cutAfter = 5000}, "INET_E_DOWNLOAD_FAILURE"},
        {"/crowded.htm", {.body = crowded + "\r\n" + Link("/crowded-link.htm"), .raw = true}, "INET_E_DOWNLOAD_FAILURE"},  // libcurl gives up on a head of 300 KiB, here 2 MB
        {"/trickle.htm", {.body = std::string(120, 't'), .trickle = 1s}, "INET_E_CONNECTION_TIMEOUT"},  // fast enough, but two minutes long
        {"/self.htm", {302, "/self.htm"}, "INET_E_REDIRECT_FAILED"},
        {"/ftp.htm", {302, "ftp://127.0.0.1:" + std::to_string(testing::ClosedPort()) + "/"}, "INET_E_UNKNOWN_PROTOCOL"},  // curl would follow it
        // Too large to keep: the page is the bound's first bytes.
        {"/huge.htm", {.body = Link("/huge-before.htm") + spaces + Link("/huge-beyond.htm"), .fillerBytes = kHuge}, "OK"},
        {"/bomb.htm", {.body = ReadBytes("bomb.gz"), .headers = {"Content-Encoding: gzip"}}, "OK"},
        {"/binary.htm", {.body = binary, .raw = true}, "OK"},
        // The rest stays on the kept-alive connection, and must not pass for the next answer.
        {"/shorter.htm", {.body = Link("/early.htm") + Link("/late.htm") + "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nfake",
                          .contentLength = Link("/early.htm").size()}, "OK"},
        {"/after.htm", {.body = Link("/after.jpg")}, "OK"}};
    std::string start;
    std::vector<std::string> rows{"/ OK"};
    for (const auto& [target, answer, result] : pages) {
        server_.Route(target, answer);
        start += Link(target);
        rows.push_back(target + " " + result);
    }
    server_.Route("/", {.body = start});
    for (const std::string found : {"huge-before", "bomb-before", "bin0", "bin1", "bin2", "bin3", "bin4", "bin5", "bin6", "bin7", "early"})
        rows.push_back("/" + found + ".htm INET_E_OBJECT_NOT_FOUND");  // found and followed
    CurlDownloader downloader({.lowSpeedTime = 2s, .pageTimeout = 3s, .maxPageBytes = kBound});
    testing::FakeView view;
    view.webSite = At("/");  // grabbing links
    AppState state;
    state.view = &view;
    state.downloader = &downloader;
    state.extensionList.Assign({"jpg"});
    const auto peakKiB = [] { rusage usage{}; ::getrusage(RUSAGE_SELF, &usage); return usage.ru_maxrss; };
    const long peak = peakKiB();
    StartOrPauseCrawl(state);
    std::unique_lock lock(state.workerMutex);
    state.workerEnded.wait(lock, [&] { return !state.workerActive; });  // the test's time-out ends a hung crawl
    EXPECT_LT(peakKiB() - peak, 32 * 1024);  // the pages stream into their file
    std::vector<std::string> outcomes;
    for (const PageRow& row : state.pageList.Rows()) outcomes.push_back(row.webPage.substr(At("").size()) + " " + row.result);
    EXPECT_EQ(outcomes, rows);
    EXPECT_TRUE(state.resultList.Contains(At("/after.jpg")));
    EXPECT_EQ(view.Messages(), std::vector<std::string>{"message(info): The project is completed successfully!"});
    EXPECT_FALSE(fs::exists(kTempPageFile));
    EXPECT_EQ(std::ranges::count(server_.Requests(), "/self.htm", &testing::RecordedRequest::target), 21);  // twenty redirects, then no more
}

}  // namespace
}  // namespace veltrano
