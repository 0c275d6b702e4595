#include "fetch/curl_downloader.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <exception>
#include <new>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace veltrano {
namespace {

constexpr const char* kUserAgent = "Veltrano/1.0";
constexpr long kMaxRedirects = 20;
// How long curl_multi_poll may sleep before the interrupt flag is looked at
// again, should a wake-up not get through; curl's own timers wake it sooner.
constexpr int kLongestPollMilliseconds = 1000;

// libcurl wants its global set-up done once, before the first handle and on
// one thread; a function-local static gives both.
class CurlGlobal {
public:
    CurlGlobal() : code_(curl_global_init(CURL_GLOBAL_DEFAULT)) {}
    ~CurlGlobal() {
        if (code_ == CURLE_OK) curl_global_cleanup();
    }
    CurlGlobal(const CurlGlobal&) = delete;
    CurlGlobal& operator=(const CurlGlobal&) = delete;

    bool Ready() const { return code_ == CURLE_OK; }

private:
    CURLcode code_;
};

bool EnsureCurlGlobal() {
    static const CurlGlobal global;
    return global.Ready();
}

struct EasyCleanup {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
using EasyHandle = std::unique_ptr<CURL, EasyCleanup>;

struct MultiCleanup {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
using MultiHandle = std::unique_ptr<CURLM, MultiCleanup>;

// A file descriptor that is closed when it goes out of scope, unless Close()
// did that already and told how it went.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const { return fd_; }

    // 0, or the errno of a failed close, which is where some file systems
    // (network ones, quotas) report that the data could not be stored.
    int Close() {
        if (::close(std::exchange(fd_, -1)) == 0) return 0;
        // Linux has released the descriptor even so, and nothing was lost.
        return errno == EINTR ? 0 : errno;
    }

private:
    int fd_;
};

// Makes `path` a fresh, empty regular file and opens it for writing, or
// returns -1 with the reason in `error`. Whatever bore the name is removed
// first: a symbolic link or a FIFO itself, never what it leads to, while a
// directory stays and makes this fail. The file is then created exclusively
// and not through a link, so that a name planted in between makes the
// creation fail instead of sending the page elsewhere. A new file rather than
// the old one truncated also spares the file system the flush to disk that
// closing a truncated file brings, a few milliseconds for every page.
int CreateFreshFile(const std::string& path, int& error) {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        error = errno;
        return -1;
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) error = errno;
    return fd;
}

std::string LocalFailure(const std::string& path, int error) {
    return path + ": " + std::generic_category().message(error);
}

std::uint64_t ToBytes(curl_off_t value) { return value > 0 ? static_cast<std::uint64_t>(value) : 0; }

// What the callbacks of one transfer work on.
struct Transfer {
    int file = -1;
    // How many more bytes the page may add to the file, and how many it did.
    std::uint64_t room = 0;
    std::uint64_t written = 0;
    // The page reached its bound and was cut off there on purpose.
    bool full = false;
    // The errno of a write to the file that failed.
    int writeError = 0;
    const std::atomic<bool>* interrupt = nullptr;
    DownloadProgress* progress = nullptr;
    // The last report, so that curl's many calls without news are not passed
    // on; the first report is the first one with any bytes in it.
    curl_off_t reportedNow = 0;
    curl_off_t reportedTotal = 0;
    // An exception must not unwind through libcurl's C frames: it is kept
    // here, the transfer aborted, and it is handled once curl has returned.
    std::exception_ptr failure;

    void Report(curl_off_t now, curl_off_t total) {
        if (now == reportedNow && total == reportedTotal) return;
        reportedNow = now;
        reportedTotal = total;
        progress->OnProgress(ToBytes(now), ToBytes(total));
    }
};

// Streams the body straight into the file, so that no page is ever held in
// memory. A short count makes curl end the transfer with CURLE_WRITE_ERROR,
// which is how the transfer stops at the page's bound or on a failed write.
std::size_t WriteBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const std::size_t offered = size * count;
    const auto kept = static_cast<std::size_t>(std::min<std::uint64_t>(offered, transfer->room));
    for (std::size_t done = 0; done < kept;) {
        const ssize_t written = ::write(transfer->file, data + done, kept - done);
        if (written > 0) {
            done += static_cast<std::size_t>(written);
        } else if (written < 0 && errno == EINTR) {
            continue;
        } else {
            // A regular file that takes nothing has no room left.
            transfer->writeError = written < 0 ? errno : ENOSPC;
            return 0;
        }
    }
    transfer->room -= kept;
    transfer->written += kept;
    if (kept < offered) transfer->full = true;
    return kept;
}

int ReportProgress(void* user, curl_off_t downloadTotal, curl_off_t downloadNow, curl_off_t, curl_off_t) {
    auto* transfer = static_cast<Transfer*>(user);
    // Stops a transfer that keeps curl busy, without waiting for it to sleep.
    if (transfer->interrupt->load()) return 1;
    try {
        transfer->Report(downloadNow, downloadTotal);
    } catch (...) {
        transfer->failure = std::current_exception();
        return 1;
    }
    return 0;
}

// Runs the transfer of `easy` through `multi`. curl sleeps in
// curl_multi_poll, which Interrupt() wakes with curl_multi_wakeup, so that a
// silent server cannot delay the break. Returns the transfer's result, or
// CURLE_ABORTED_BY_CALLBACK when `interrupt` stopped it.
CURLcode Perform(CURLM* multi, CURL* easy, const std::atomic<bool>& interrupt) {
    if (curl_multi_add_handle(multi, easy) != CURLM_OK) return CURLE_FAILED_INIT;
    CURLcode result = CURLE_ABORTED_BY_CALLBACK;
    for (bool done = false; !done && !interrupt.load();) {
        int running = 0;
        CURLMcode code = curl_multi_perform(multi, &running);
        int queued = 0;
        while (const CURLMsg* message = curl_multi_info_read(multi, &queued)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == easy) {
                result = message->data.result;
                done = true;
            }
        }
        if (code == CURLM_OK && !done) code = curl_multi_poll(multi, nullptr, 0, kLongestPollMilliseconds, nullptr);
        if (code != CURLM_OK) {
            result = code == CURLM_OUT_OF_MEMORY ? CURLE_OUT_OF_MEMORY : CURLE_RECV_ERROR;
            done = true;
        }
    }
    // Also closes the connection of a transfer that was broken off.
    curl_multi_remove_handle(multi, easy);
    return result;
}

template <typename Value>
void SetOption(CURL* easy, CURLoption option, Value value) {
    if (curl_easy_setopt(easy, option, value) != CURLE_OK) {
        throw std::runtime_error("libcurl refused a downloader option");
    }
}

// Assigning the texts must not throw either: the one of the out-of-memory
// case fits into the string's own buffer.
void SetFailure(DownloadOutcome& outcome, bool outOfMemory) noexcept {
    if (!outOfMemory) {
        try {
            outcome.status = "INET_E_DOWNLOAD_FAILURE";
            return;
        } catch (...) {
        }
    }
    outcome.status = "E_OUTOFMEMORY";
}

}  // namespace

struct CurlDownloader::Handle {
    EasyHandle easy;
    // Keeps the connections from page to page. `easy` is only in it while a
    // download runs, so the two can be cleaned up in either order.
    MultiHandle multi;
    std::atomic<bool> interrupt{false};
    std::uint64_t maxPageBytes = 0;
};

CurlDownloader::CurlDownloader() : CurlDownloader(CurlDownloaderOptions{}) {}

CurlDownloader::CurlDownloader(const CurlDownloaderOptions& options) : handle_(std::make_unique<Handle>()) {
    if (!EnsureCurlGlobal()) throw std::runtime_error("libcurl could not be initialised");
    handle_->easy.reset(curl_easy_init());
    handle_->multi.reset(curl_multi_init());
    CURL* easy = handle_->easy.get();
    if (easy == nullptr || handle_->multi == nullptr) {
        throw std::runtime_error("libcurl could not create a transfer handle");
    }
    handle_->maxPageBytes = options.maxPageBytes;

    SetOption(easy, CURLOPT_NOSIGNAL, 1L);
    SetOption(easy, CURLOPT_USERAGENT, kUserAgent);
    SetOption(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    SetOption(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    SetOption(easy, CURLOPT_FOLLOWLOCATION, 1L);
    SetOption(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
    // Offer every encoding this libcurl can decode; the file gets the
    // decoded body, which is what the parser reads.
    SetOption(easy, CURLOPT_ACCEPT_ENCODING, "");
    SetOption(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options.connectTimeout.count()));
    SetOption(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    SetOption(easy, CURLOPT_LOW_SPEED_TIME, static_cast<long>(options.lowSpeedTime.count()));
    SetOption(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(options.pageTimeout.count()));
    SetOption(easy, CURLOPT_WRITEFUNCTION, &WriteBody);
    SetOption(easy, CURLOPT_XFERINFOFUNCTION, &ReportProgress);
    SetOption(easy, CURLOPT_NOPROGRESS, 0L);
}

CurlDownloader::~CurlDownloader() = default;

void CurlDownloader::Interrupt() {
    handle_->interrupt.store(true);
    curl_multi_wakeup(handle_->multi.get());
}

DownloadOutcome CurlDownloader::Download(std::string_view address, const std::string& targetFile,
                                         DownloadProgress& progress) {
    // The first step, so that only interrupts from now on count (the rule
    // the header states).
    handle_->interrupt.store(false);
    DownloadOutcome outcome;
    try {
        outcome.finalAddress = address;
        int createError = 0;
        FileDescriptor file(CreateFreshFile(targetFile, createError));
        if (file.Get() < 0) {
            outcome.localFailure = LocalFailure(targetFile, createError);
            return outcome;
        }
        // curl reads the address as a C string; one with a NUL in it would
        // be cut short and fetch another page than the one asked for.
        if (address.find('\0') != std::string_view::npos) {
            outcome.status = CurlStatusText(CURLE_URL_MALFORMAT, 0);
            return outcome;
        }

        CURL* easy = handle_->easy.get();
        Transfer transfer;
        transfer.file = file.Get();
        transfer.room = handle_->maxPageBytes;
        transfer.interrupt = &handle_->interrupt;
        transfer.progress = &progress;
        const std::string url(address);
        CURLcode code = curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
        if (code == CURLE_OK) code = curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
        if (code == CURLE_OK) code = curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &transfer);
        if (code == CURLE_OK) code = Perform(handle_->multi.get(), easy, handle_->interrupt);
        if (transfer.failure) std::rethrow_exception(transfer.failure);

        long httpStatus = 0;
        long redirects = 0;
        char* effective = nullptr;
        curl_off_t received = 0;
        curl_off_t expected = -1;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &httpStatus);
        curl_easy_getinfo(easy, CURLINFO_REDIRECT_COUNT, &redirects);
        curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &effective);
        curl_easy_getinfo(easy, CURLINFO_SIZE_DOWNLOAD_T, &received);
        curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &expected);
        if (redirects > 0 && effective != nullptr) outcome.finalAddress = effective;

        // The data is only safely in the file once it is closed.
        const int closeError = file.Close();
        if (transfer.writeError != 0 || closeError != 0) {
            const int error = transfer.writeError != 0 ? transfer.writeError : closeError;
            outcome.localFailure = LocalFailure(targetFile, error);
            return outcome;
        }
        // A page cut at its bound is complete as far as it is kept, and
        // counts as traffic only with what was kept.
        if (transfer.full) {
            code = CURLE_OK;
            received = static_cast<curl_off_t>(transfer.written);
            expected = received;
        } else if (code != CURLE_OK && handle_->interrupt.load()) {
            outcome.interrupted = true;
            outcome.status = "E_ABORT";
            return outcome;
        }
        outcome.status = CurlStatusText(code, httpStatus);
        if (code == CURLE_OK) {
            // An error page was downloaded as well, and counts as traffic.
            transfer.Report(received, expected > 0 ? expected : transfer.reportedTotal);
            progress.OnEndOfData(ToBytes(received));
        }
    } catch (const std::bad_alloc&) {
        SetFailure(outcome, true);
    } catch (...) {
        SetFailure(outcome, false);
    }
    return outcome;
}

std::string CurlStatusText(int curlCode, long httpStatus) {
    switch (curlCode) {
    case CURLE_OK:
        if (httpStatus < 400) return "OK";
        if (httpStatus == 404 || httpStatus == 410) return "INET_E_OBJECT_NOT_FOUND";
        if (httpStatus == 401 || httpStatus == 407) return "INET_E_AUTHENTICATION_REQUIRED";
        return "INET_E_DOWNLOAD_FAILURE";
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return "INET_E_RESOURCE_NOT_FOUND";
    case CURLE_COULDNT_CONNECT:
        return "INET_E_CANNOT_CONNECT";
    case CURLE_OPERATION_TIMEDOUT:
        return "INET_E_CONNECTION_TIMEOUT";
    case CURLE_URL_MALFORMAT:
        return "INET_E_INVALID_URL";
    case CURLE_UNSUPPORTED_PROTOCOL:
        return "INET_E_UNKNOWN_PROTOCOL";
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_USE_SSL_FAILED:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CLIENTCERT:
        return "INET_E_SECURITY_PROBLEM";
    case CURLE_TOO_MANY_REDIRECTS:
        return "INET_E_REDIRECT_FAILED";
    case CURLE_OUT_OF_MEMORY:
        return "E_OUTOFMEMORY";
    default:
        return "INET_E_DOWNLOAD_FAILURE";
    }
}

}  // namespace veltrano
