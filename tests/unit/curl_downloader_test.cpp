#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/fsuid.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <string>
#include <system_error>
#include <thread>
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

// A gzip member, as a server sends with "Content-Encoding: gzip", that
// inflates to `size` zero bytes: about a thousandth of that on the wire.
std::string GzipOfZeros(std::size_t size) {
    z_stream stream{};
    // 31: deflate with a gzip header and trailer.
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 31, 9, Z_DEFAULT_STRATEGY) != Z_OK) return {};
    std::vector<unsigned char> zeros(1024 * 1024, 0);
    std::string gzip;
    unsigned char out[64 * 1024];
    for (std::size_t left = size;;) {
        const std::size_t chunk = std::min(left, zeros.size());
        left -= chunk;
        stream.next_in = zeros.data();
        stream.avail_in = static_cast<uInt>(chunk);
        const int flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
        int result = Z_OK;
        do {
            stream.next_out = out;
            stream.avail_out = sizeof out;
            result = deflate(&stream, flush);
            gzip.append(reinterpret_cast<const char*>(out), sizeof out - stream.avail_out);
        } while (stream.avail_out == 0);
        if (result == Z_STREAM_END) break;
    }
    deflateEnd(&stream);
    return gzip;
}

// Waits generously for a download on another thread: long enough for any
// machine, and a hang fails the test instead of holding it.
bool Finishes(std::future<DownloadOutcome>& pending) {
    return pending.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
}

// Lets another thread know when the head of the answer is in: curl then
// reports the announced size.
class SignallingProgress : public DownloadProgress {
public:
    void OnProgress(std::uint64_t, std::uint64_t totalBytes) override {
        if (totalBytes > 0) head = true;
    }
    void OnEndOfData(std::uint64_t) override { ++ends; }

    bool AwaitHead() const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!head) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

    std::atomic<bool> head{false};
    int ends = 0;
};

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
    // Encoded addresses stay as they are; what may not stand raw in a
    // request is encoded, as a browser does.
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/dir/a%20b,c;d.html?x=1&y=%2F&z=%7e#fragment", "/dir/a%20b,c;d.html?x=1&y=%2F&z=%7e"},
        {"/my file \"1\".html?q=<\xC3\xA9>", "/my%20file%20%221%22.html?q=%3C%C3%A9%3E"},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const auto& [target, onTheWire] = cases[i];
        server_.Route(onTheWire, Page("found"));

        const DownloadOutcome outcome = Fetch(server_.Address(target));

        EXPECT_EQ(outcome.status, "OK") << target;
        EXPECT_EQ(outcome.finalAddress, server_.Address(target));
        const std::vector<testing::RecordedRequest> requests = server_.Requests();
        ASSERT_EQ(requests.size(), i + 1);
        EXPECT_EQ(requests[i].method, "GET");
        EXPECT_EQ(requests[i].target, onTheWire);
        const auto userAgent = requests[i].headers.find("user-agent");
        EXPECT_EQ(userAgent == requests[i].headers.end() ? "(none)" : userAgent->second, "Veltrano/1.0");
    }
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
    // not end).
    const std::string closed = "127.0.0.1:" + std::to_string(testing::ClosedPort());
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
        {"http://127.0.0.1 :" + closed.substr(10) + "/x", "INET_E_INVALID_URL"},  // a blank in the host
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

// Trouble on this side: the page is not at fault, and no request is wasted
// on a page that could not be stored.

using DownloadLocal = CurlDownloaderTest;

TEST_F(DownloadLocal, WhatStandsAtTheTargetIsReplacedNeverWrittenThrough) {
    server_.Route("/page", Page("the page"));
    const std::string kept = Target("kept.txt");
    std::ofstream(kept, std::ios::binary) << "not to be touched";
    std::filesystem::create_symlink(kept, Target());

    EXPECT_EQ(Fetch(server_.Address("/page")).status, "OK");
    EXPECT_EQ(ReadFile(kept), "not to be touched");
    EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(Target())));
    EXPECT_EQ(ReadFile(Target()), "the page");

    // Opening a FIFO to write waits for a reader that never comes.
    std::filesystem::remove(Target());
    ASSERT_EQ(::mkfifo(Target().c_str(), 0644), 0);
    auto pending = std::async(std::launch::async, [&] { return Fetch(server_.Address("/page")); });
    if (!Finishes(pending)) {
        ADD_FAILURE() << "the download waits on the FIFO";
        const int reader = ::open(Target().c_str(), O_RDONLY | O_NONBLOCK);
        pending.wait();
        ::close(reader);
    }
    EXPECT_EQ(pending.get().status, "OK");
    EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(Target())));
    EXPECT_EQ(ReadFile(Target()), "the page");
    EXPECT_EQ(progress_.ends, (std::vector<std::uint64_t>{8, 8}));
}

TEST_F(DownloadLocal, TargetThatCannotBeMadeFailsHereWithoutARequest) {
    server_.Route("/", Page("home"));
    // An empty folder could be removed, but it is none of the downloader's to remove.
    const std::string folderInPlace = Target("folder.tmp");
    std::filesystem::create_directory(folderInPlace);
    const std::filesystem::path readOnly = folder_ / "read-only";
    std::filesystem::create_directory(readOnly);
    std::filesystem::permissions(readOnly, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec |
                                               std::filesystem::perms::others_read |
                                               std::filesystem::perms::others_exec);
    const std::string inReadOnly = (readOnly / "page.tmp").string();
    const std::vector<std::pair<std::string, int>> cases = {
        {Target("no-such-folder/page.tmp"), ENOENT},
        {folderInPlace, EISDIR},
        {inReadOnly, EACCES},
    };
    for (const auto& [target, error] : cases) {
        DownloadOutcome outcome;
        bool ran = false;
        // Permissions do not hold the superuser back, so that download is
        // made as nobody; the file-system identity is one thread's own.
        std::thread([&, target = target] {
            if (target == inReadOnly && ::geteuid() == 0) {
                ::setfsuid(65534);
                if (::setfsuid(static_cast<uid_t>(-1)) != 65534) return;
            }
            outcome = downloader_.Download(server_.Address("/"), target, progress_);
            ran = true;
        }).join();

        ASSERT_TRUE(ran) << "the superuser could not act as nobody";
        EXPECT_EQ(outcome.localFailure, target + ": " + std::generic_category().message(error));
        EXPECT_FALSE(outcome.interrupted) << target;
        EXPECT_NE(outcome.status, "OK") << target;
        EXPECT_EQ(outcome.finalAddress, server_.Address("/")) << target;
    }
    EXPECT_TRUE(std::filesystem::is_directory(folderInPlace));
    EXPECT_TRUE(server_.Requests().empty());
    EXPECT_EQ(server_.AcceptedConnections(), 0u);
    EXPECT_TRUE(progress_.ends.empty());
}

TEST_F(DownloadLocal, WriteThatFailsOnTheWayFailsHere) {
    server_.Route("/large", Page(LargeBody(1024 * 1024)));
    // The file-size limit makes writes fail as a full disk would; without
    // the signal it raises, the write reports EFBIG instead.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 100 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const auto savedHandler = std::signal(SIGXFSZ, SIG_IGN);
    const DownloadOutcome outcome = Fetch(server_.Address("/large"));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, savedHandler);

    EXPECT_EQ(outcome.localFailure, Target() + ": " + std::generic_category().message(EFBIG));
    EXPECT_NE(outcome.status, "OK");
    EXPECT_TRUE(progress_.ends.empty());
}

// Breaking a download off from another thread.

using DownloadInterrupt = CurlDownloaderTest;

TEST_F(DownloadInterrupt, StalledOrTricklingPageIsBrokenOffAndTheNextOneWorks) {
    CannedResponse stall = Page(LargeBody(10000));
    stall.delivery = CannedResponse::Delivery::stall;
    server_.Route("/stall", stall);
    CannedResponse trickle = Page(LargeBody(1000));
    trickle.delivery = CannedResponse::Delivery::trickle;
    server_.Route("/trickle", trickle);
    server_.Route("/next", Page("next page"));
    // Only the interrupt can end the slow pages within the test's patience.
    CurlDownloaderOptions options;
    options.lowSpeedTime = std::chrono::seconds(60);
    options.pageTimeout = std::chrono::seconds(60);
    CurlDownloader downloader(options);

    // With no download running it must not break the next one either.
    downloader.Interrupt();
    for (const char* slow : {"/stall", "/trickle"}) {
        SignallingProgress progress;
        auto pending = std::async(std::launch::async,
                                  [&] { return downloader.Download(server_.Address(slow), Target(), progress); });
        ASSERT_TRUE(progress.AwaitHead()) << slow;
        downloader.Interrupt();
        ASSERT_TRUE(Finishes(pending)) << slow;
        const DownloadOutcome outcome = pending.get();
        EXPECT_TRUE(outcome.interrupted) << slow;
        EXPECT_NE(outcome.status, "OK") << slow;
        EXPECT_TRUE(outcome.localFailure.empty()) << slow;
        EXPECT_EQ(progress.ends, 0) << slow;

        const DownloadOutcome next = downloader.Download(server_.Address("/next"), Target(), progress_);
        EXPECT_EQ(next.status, "OK") << slow;
        EXPECT_FALSE(next.interrupted) << slow;
        EXPECT_EQ(ReadFile(Target()), "next page") << slow;
    }
}

TEST_F(DownloadInterrupt, InterruptsAtAnyMomentLeaveEachPageWholeOrBrokenOff) {
    const std::string body = LargeBody(200000);
    server_.Route("/page", Page(body));
    std::atomic<bool> stop{false};
    std::thread interrupter([&] {
        while (!stop) {
            downloader_.Interrupt();
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    for (int i = 0; i < 40; ++i) {
        const DownloadOutcome outcome = Fetch(server_.Address("/page"));
        if (outcome.interrupted) {
            EXPECT_NE(outcome.status, "OK") << i;
        } else {
            EXPECT_EQ(outcome.status, "OK") << i;
            EXPECT_EQ(ReadFile(Target()), body) << i;
        }
    }
    stop = true;
    interrupter.join();

    const DownloadOutcome after = Fetch(server_.Address("/page"));
    EXPECT_EQ(after.status, "OK");
    EXPECT_FALSE(after.interrupted);
    EXPECT_EQ(ReadFile(Target()), body);
}

// Pages announced as coming next are fetched while earlier ones are
// processed, within a bound of memory, and each is whole in its turn.

TEST_F(CurlDownloaderTest, PagesAnnouncedAheadArriveWholeInTheirTurn) {
    CurlDownloaderOptions options;
    options.connections = 3;
    options.aheadBytes = 64 * 1024;  // less than one page: the pages ahead wait, paused, for their turn
    CurlDownloader downloader(options);
    std::vector<std::string> bodies, addresses;
    for (int i = 0; i < 5; ++i) {
        bodies.push_back(LargeBody(200000 + static_cast<std::size_t>(i)));
        addresses.push_back(server_.Address("/p" + std::to_string(i)));
        server_.Route("/p" + std::to_string(i), Page(bodies.back()));
    }
    server_.Route("/unwanted", Page("never asked for"));
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        std::vector<std::string> next(addresses.begin() + static_cast<std::ptrdiff_t>(i) + 1, addresses.end());
        if (i == 1) next.insert(next.begin(), server_.Address("/unwanted"));
        downloader.Prefetch(next);
        EXPECT_LE(downloader.DownloadsInFlight(), 3u);
        const DownloadOutcome outcome = downloader.Download(addresses[i], Target(), progress_);
        EXPECT_EQ(outcome.status, "OK") << i;
        EXPECT_EQ(ReadFile(Target()), bodies[i]) << i;
    }
    // Traffic counts each page once, in its turn.
    std::vector<std::uint64_t> sizes;
    for (const std::string& body : bodies) sizes.push_back(body.size());
    EXPECT_EQ(progress_.ends, sizes);
    std::vector<std::string> asked;
    for (const testing::RecordedRequest& request : server_.Requests()) asked.push_back(request.target);
    std::sort(asked.begin(), asked.end());
    EXPECT_EQ(asked, (std::vector<std::string>{"/p0", "/p1", "/p2", "/p3", "/p4", "/unwanted"}));
}

// What keeps a hostile server from holding the crawl or filling the disk.

using DownloadLimits = CurlDownloaderTest;

TEST_F(DownloadLimits, PageThatTricklesTooLongTimesOut) {
    // A byte every 150 ms satisfies the low-speed rule for good.
    CannedResponse trickle = Page(LargeBody(60));
    trickle.delivery = CannedResponse::Delivery::trickle;
    server_.Route("/trickle", trickle);
    CurlDownloaderOptions options;
    options.pageTimeout = std::chrono::seconds(1);
    options.lowSpeedTime = std::chrono::seconds(2);
    CurlDownloader downloader(options);

    const DownloadOutcome outcome = downloader.Download(server_.Address("/trickle"), Target(), progress_);

    EXPECT_EQ(outcome.status, "INET_E_CONNECTION_TIMEOUT");
    EXPECT_FALSE(outcome.interrupted);
    EXPECT_TRUE(progress_.ends.empty());
}

TEST_F(DownloadLimits, BodyIsKeptUpToTheBoundAndTheTransferEndsThere) {
    const std::string body = LargeBody(5000);
    server_.Route("/exact", Page(body.substr(0, 1000)));
    server_.Route("/longer", Page(body, 404));
    CurlDownloaderOptions options;
    options.maxPageBytes = 1000;
    CurlDownloader downloader(options);

    EXPECT_EQ(downloader.Download(server_.Address("/exact"), Target(), progress_).status, "OK");
    EXPECT_EQ(ReadFile(Target()), body.substr(0, 1000));
    // The status still tells what the server answered.
    EXPECT_EQ(downloader.Download(server_.Address("/longer"), Target(), progress_).status, "INET_E_OBJECT_NOT_FOUND");
    EXPECT_EQ(ReadFile(Target()), body.substr(0, 1000));
    EXPECT_EQ(progress_.ends, (std::vector<std::uint64_t>{1000, 1000}));
}

TEST_F(DownloadLimits, CompressedBodyStopsInflatingAtTheBound) {
    constexpr std::size_t kInflated = 100 * 1024 * 1024;
    constexpr std::uint64_t kBound = 1024 * 1024;
    CannedResponse bomb = Page(GzipOfZeros(kInflated));
    bomb.headers = {"Content-Encoding: gzip"};
    ASSERT_LT(bomb.body.size(), kInflated / 100);
    server_.Route("/bomb", bomb);
    CurlDownloaderOptions options;
    options.maxPageBytes = kBound;
    CurlDownloader downloader(options);

    const auto peakKiB = [] {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return usage.ru_maxrss;
    };
    const long before = peakKiB();
    EXPECT_EQ(downloader.Download(server_.Address("/bomb"), Target(), progress_).status, "OK");
    // The page streams into its file: the process grows by far less than the inflated body.
    EXPECT_LT(peakKiB() - before, 32 * 1024);
    EXPECT_EQ(ReadFile(Target()), std::string(kBound, '\0'));
    EXPECT_EQ(progress_.ends, std::vector<std::uint64_t>{kBound});
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
