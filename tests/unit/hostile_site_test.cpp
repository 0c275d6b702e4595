// A crawl through the libcurl downloader of a site whose pages misbehave, each in its own way. Each such
// page's row gets a failure name, or what arrived within the page bound is parsed; the normal page after
// them is crawled, the crawl ends complete, and the process stays far smaller than the server would make it.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <zlib.h>

#include <random>
#include <tuple>

#include "crawl/crawl_start.h"
#include "fake_view.h"
#include "fetch/curl_downloader.h"
#include "http_test_server.h"
#include "state/app_state.h"
#include "temp_dir.h"

namespace veltrano {
namespace {

using namespace std::chrono_literals;
constexpr std::uint64_t kBound = 1 << 20, kHuge = 256 << 20;

std::string Link(const std::string& target) { return "<a href=\"" + target.substr(1) + "\">"; }

long PeakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

TEST(HostileSite, EachPageFailsOrIsKeptWithinTheBoundAndTheCrawlGoesOn) {
    for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) ::unsetenv(name);
    testing::ScopedWorkingDirectory folder;
    testing::HttpTestServer server;
    // A bomb: a link before and one beyond the bound, then zeros, written in pieces so as to raise no peak.
    gzFile gzip = gzopen("bomb.gz", "wb9");
    const std::string before = Link("/bomb-before.htm"), spaces(kBound, ' '), beyond = Link("/bomb-beyond.htm"), zeros(kBound, '\0');
    for (const std::string* piece : {&before, &spaces, &spaces, &beyond}) gzwrite(gzip, piece->data(), static_cast<unsigned>(piece->size()));
    for (std::uint64_t i = 0; i < kHuge / kBound; ++i) gzwrite(gzip, zeros.data(), static_cast<unsigned>(zeros.size()));
    gzclose(gzip);
    std::ifstream bomb("bomb.gz", std::ios::binary);
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
        // A byte a second passes the low-speed rule, and the page would take two minutes.
        {"/trickle.htm", {.body = std::string(120, 't'), .trickle = 1s}, "INET_E_CONNECTION_TIMEOUT"},
        {"/self.htm", {302, "/self.htm"}, "INET_E_REDIRECT_FAILED"},
        {"/ping.htm", {301, server.Address("/pong.htm")}, "INET_E_REDIRECT_FAILED"},
        {"/pong.htm", {307, "ping.htm"}, "INET_E_REDIRECT_FAILED"},
        {"/ftp.htm", {302, "ftp://127.0.0.1:" + std::to_string(testing::ClosedPort()) + "/"}, "INET_E_UNKNOWN_PROTOCOL"},  // curl would follow it
        {"/file.htm", {301, "file:///etc/passwd"}, "INET_E_UNKNOWN_PROTOCOL"},
        // Too large to keep: the page is the bound's first bytes.
        {"/huge.htm", {.body = Link("/huge-before.htm") + spaces + Link("/huge-beyond.htm"), .fillerBytes = kHuge}, "OK"},
        {"/bomb.htm", {.body = {std::istreambuf_iterator<char>(bomb), {}}, .headers = {"Content-Encoding: gzip"}}, "OK"},
        {"/binary.htm", {.body = binary, .raw = true}, "OK"},
        // The rest stays on the kept-alive connection, and must not pass for the next answer.
        {"/shorter.htm", {.body = Link("/early.htm") + Link("/late.htm") + "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nfake",
                          .contentLength = Link("/early.htm").size()}, "OK"},
        {"/after.htm", {.body = Link("/after.jpg")}, "OK"}};
    std::string start;
    std::vector<std::string> rows{"/ OK"};
    for (const auto& [target, answer, result] : pages) {
        server.Route(target, answer);
        start += Link(target);
        rows.push_back(target + " " + result);
    }
    server.Route("/", {.body = start});
    for (const std::string found : {"huge-before", "bomb-before", "bin0", "bin1", "bin2", "bin3", "bin4", "bin5", "bin6", "bin7", "early"}) {
        rows.push_back("/" + found + ".htm INET_E_OBJECT_NOT_FOUND");  // found and followed
    }
    CurlDownloader downloader({.lowSpeedTime = 2s, .pageTimeout = 3s, .maxPageBytes = kBound});
    testing::FakeView view;
    view.webSite = server.Address("/");  // grabbing links
    AppState state;
    state.view = &view;
    state.downloader = &downloader;
    state.extensionList.Assign({"jpg"});

    const long peak = PeakKiB();
    StartOrPauseCrawl(state);
    std::unique_lock lock(state.workerMutex);
    state.workerEnded.wait(lock, [&] { return !state.workerActive; });  // the test's time-out ends a hung crawl

    EXPECT_LT(PeakKiB() - peak, 32 * 1024);  // the pages stream into their file
    std::vector<std::string> outcomes;
    for (const PageRow& row : state.pageList.Rows()) outcomes.push_back(row.webPage.substr(server.Address("").size()) + " " + row.result);
    EXPECT_EQ(outcomes, rows);
    EXPECT_TRUE(state.resultList.Contains(server.Address("/after.jpg")));
    EXPECT_EQ(view.Messages(), std::vector<std::string>{"message(info): The project is completed successfully!"});
    EXPECT_FALSE(std::filesystem::exists(kTempPageFile));
    // The request and then twenty redirects: the loop is given up, not run for ever.
    const auto asked = server.Requests();
    EXPECT_EQ(std::count_if(asked.begin(), asked.end(), [](const auto& request) { return request.target == "/self.htm"; }), 21);
}

}  // namespace
}  // namespace veltrano
