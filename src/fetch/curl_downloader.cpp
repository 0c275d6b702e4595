#include "fetch/curl_downloader.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <optional>
#include <vector>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <exception>
#include <new>
#include <stdexcept>
#include <system_error>
#include <thread>
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

}  // namespace

std::string WireAddress(std::string_view address) {
    // The host is left as it stands; from the path on, what may not stand
    // raw in a request goes percent-encoded, as a browser sends it.
    const std::size_t scheme = address.find("://");
    const std::size_t path = address.find_first_of("/?#", scheme == std::string_view::npos ? 0 : scheme + 3);
    if (path == std::string_view::npos) return std::string(address);
    std::string wire(address.substr(0, path));
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const char c : address.substr(path)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F || c == '"' || c == '<' || c == '>' || c == '`' || c == '{' || c == '}') {
            wire += '%';
            wire += kHex[byte >> 4];
            wire += kHex[byte & 0xF];
        } else {
            wire += c;
        }
    }
    return wire;
}

namespace {

std::uint64_t ToBytes(curl_off_t value) { return value > 0 ? static_cast<std::uint64_t>(value) : 0; }

// Writes the whole of `bytes` to the file; 0, or the errno of the failure.
int WriteAll(int fd, const char* bytes, std::size_t size) {
    for (std::size_t done = 0; done < size;) {
        const ssize_t written = ::write(fd, bytes + done, size - done);
        if (written > 0) {
            done += static_cast<std::size_t>(written);
        } else if (written < 0 && errno == EINTR) {
            continue;
        } else {
            // A regular file that takes nothing has no room left.
            return written < 0 ? errno : ENOSPC;
        }
    }
    return 0;
}

struct Fetch;

// What all transfers share: the connections, the memory that pages fetched
// ahead of their turn may take together, and the pace of the starts.
struct Shared {
    MultiHandle multi;
    std::vector<EasyHandle> spareEasies;
    std::atomic<bool> interrupt{false};
    std::atomic<std::size_t> inFlight{0};
    CurlDownloaderOptions options;
    std::uint64_t buffered = 0;
    std::optional<std::chrono::steady_clock::time_point> lastStart;
};

// One page's transfer, started perhaps before its turn. Until the crawl asks
// for it (claims it), its body collects in memory; from then on it goes
// straight into the page file, so that a page is held in memory only while
// it waits for its turn, and never a second time.
struct Fetch {
    std::string address;
    EasyHandle easy;
    Shared* shared = nullptr;
    bool started = false;
    bool done = false;
    CURLcode result = CURLE_OK;
    std::string memory;
    bool paused = false;
    int file = -1;  // while claimed
    // How many more bytes the page may keep, and how many it did.
    std::uint64_t room = 0;
    std::uint64_t written = 0;
    // The page reached its bound and was cut off there on purpose.
    bool full = false;
    // The errno of a write to the file that failed.
    int writeError = 0;
    DownloadProgress* progress = nullptr;  // while claimed
    // What curl last said of the transfer, and what was last passed on, so
    // that curl's many calls without news are not passed on.
    curl_off_t seenNow = 0;
    curl_off_t seenTotal = 0;
    curl_off_t reportedNow = 0;
    curl_off_t reportedTotal = 0;
    // An exception must not unwind through libcurl's C frames: it is kept
    // here, the transfer aborted, and it is handled once curl has returned.
    std::exception_ptr failure;

    void Report(curl_off_t now, curl_off_t total) {
        if (progress == nullptr || (now == reportedNow && total == reportedTotal)) return;
        reportedNow = now;
        reportedTotal = total;
        progress->OnProgress(ToBytes(now), ToBytes(total));
    }
};

// A claimed page streams straight into its file. One ahead of its turn goes
// to memory while the pages waiting together stay within their share; past
// it, the transfer is paused until its turn comes. A short count makes curl
// end the transfer with CURLE_WRITE_ERROR: at the page's bound, or on a
// failed write.
std::size_t WriteBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* fetch = static_cast<Fetch*>(user);
    const std::size_t offered = size * count;
    const auto kept = static_cast<std::size_t>(std::min<std::uint64_t>(offered, fetch->room));
    if (fetch->file >= 0) {
        fetch->writeError = WriteAll(fetch->file, data, kept);
        if (fetch->writeError != 0) return 0;
    } else {
        Shared& shared = *fetch->shared;
        if (shared.buffered + kept > shared.options.aheadBytes) {
            fetch->paused = true;
            return CURL_WRITEFUNC_PAUSE;
        }
        fetch->memory.append(data, kept);
        shared.buffered += kept;
    }
    fetch->room -= kept;
    fetch->written += kept;
    if (kept < offered) fetch->full = true;
    return kept;
}

int ReportProgress(void* user, curl_off_t downloadTotal, curl_off_t downloadNow, curl_off_t, curl_off_t) {
    auto* fetch = static_cast<Fetch*>(user);
    // Stops a transfer that keeps curl busy, without waiting for it to sleep.
    if (fetch->shared->interrupt.load()) return 1;
    fetch->seenNow = downloadNow;
    fetch->seenTotal = downloadTotal;
    try {
        fetch->Report(downloadNow, downloadTotal);
    } catch (...) {
        fetch->failure = std::current_exception();
        return 1;
    }
    return 0;
}

template <typename Value>
void SetOption(CURL* easy, CURLoption option, Value value) {
    if (curl_easy_setopt(easy, option, value) != CURLE_OK) {
        throw std::runtime_error("libcurl refused a downloader option");
    }
}

EasyHandle NewEasy(const CurlDownloaderOptions& options) {
    EasyHandle easy(curl_easy_init());
    if (!easy) throw std::bad_alloc();
    CURL* handle = easy.get();
    SetOption(handle, CURLOPT_NOSIGNAL, 1L);
    SetOption(handle, CURLOPT_USERAGENT, kUserAgent);
    SetOption(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    SetOption(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    SetOption(handle, CURLOPT_FOLLOWLOCATION, 1L);
    SetOption(handle, CURLOPT_MAXREDIRS, kMaxRedirects);
    // Offer every encoding this libcurl can decode; the file gets the
    // decoded body, which is what the parser reads.
    SetOption(handle, CURLOPT_ACCEPT_ENCODING, "");
    SetOption(handle, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options.connectTimeout.count()));
    SetOption(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
    SetOption(handle, CURLOPT_LOW_SPEED_TIME, static_cast<long>(options.lowSpeedTime.count()));
    SetOption(handle, CURLOPT_TIMEOUT_MS, static_cast<long>(options.pageTimeout.count()));
    SetOption(handle, CURLOPT_WRITEFUNCTION, &WriteBody);
    SetOption(handle, CURLOPT_XFERINFOFUNCTION, &ReportProgress);
    SetOption(handle, CURLOPT_NOPROGRESS, 0L);
    // Several pages of one site at once share its connections where the
    // server offers HTTP/2.
    SetOption(handle, CURLOPT_PIPEWAIT, 1L);
    return easy;
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
    Shared shared;
    // In the order the crawl will ask for them; the first is the page asked
    // for now, or the next one.
    std::deque<std::unique_ptr<Fetch>> fetches;

    std::unique_ptr<Fetch> NewFetch(std::string_view address) {
        auto fetch = std::make_unique<Fetch>();
        fetch->address = address;
        fetch->shared = &shared;
        fetch->room = shared.options.maxPageBytes;
        if (!shared.spareEasies.empty()) {
            fetch->easy = std::move(shared.spareEasies.back());
            shared.spareEasies.pop_back();
        } else {
            fetch->easy = NewEasy(shared.options);
        }
        return fetch;
    }

    void Forget(std::unique_ptr<Fetch> fetch) {
        if (fetch->started && !fetch->done) curl_multi_remove_handle(shared.multi.get(), fetch->easy.get());
        shared.buffered -= fetch->memory.size();
        shared.spareEasies.push_back(std::move(fetch->easy));
    }

    void ForgetAll() {
        while (!fetches.empty()) {
            Forget(std::move(fetches.front()));
            fetches.pop_front();
        }
        CountInFlight();
    }

    void CountInFlight() {
        std::size_t running = 0;
        for (const auto& fetch : fetches) running += fetch->started && !fetch->done ? 1 : 0;
        shared.inFlight = running;
    }

    // How long until the next start is due; zero when one may start now.
    std::chrono::milliseconds UntilNextStart() const {
        if (!shared.lastStart || shared.options.wait.count() == 0) return std::chrono::milliseconds(0);
        const auto due = *shared.lastStart + shared.options.wait;
        const auto now = std::chrono::steady_clock::now();
        if (due <= now) return std::chrono::milliseconds(0);
        return std::chrono::duration_cast<std::chrono::milliseconds>(due - now) + std::chrono::milliseconds(1);
    }

    // Starts waiting transfers, in their order, as far as the connections
    // and the pace allow, and lets paused ones go on when memory is free.
    void StartWaiting() {
        std::size_t running = 0;
        for (const auto& fetch : fetches) running += fetch->started && !fetch->done ? 1 : 0;
        for (const auto& fetch : fetches) {
            if (fetch->started) {
                constexpr std::uint64_t kResumeRoom = CURL_MAX_WRITE_SIZE;
                if (fetch->paused && (fetch->file >= 0 || shared.buffered + kResumeRoom <= shared.options.aheadBytes)) {
                    fetch->paused = false;
                    curl_easy_pause(fetch->easy.get(), CURLPAUSE_CONT);
                }
                continue;
            }
            if (running >= std::max<std::size_t>(shared.options.connections, 1)) break;
            if (UntilNextStart().count() > 0) break;
            CURL* easy = fetch->easy.get();
            const std::string wire = WireAddress(fetch->address);
            if (curl_easy_setopt(easy, CURLOPT_URL, wire.c_str()) != CURLE_OK ||
                curl_easy_setopt(easy, CURLOPT_WRITEDATA, fetch.get()) != CURLE_OK ||
                curl_easy_setopt(easy, CURLOPT_XFERINFODATA, fetch.get()) != CURLE_OK ||
                curl_multi_add_handle(shared.multi.get(), easy) != CURLM_OK) {
                fetch->started = fetch->done = true;
                fetch->result = CURLE_FAILED_INIT;
                continue;
            }
            fetch->started = true;
            shared.lastStart = std::chrono::steady_clock::now();
            ++running;
        }
        shared.inFlight = running;
    }

    // Drives every transfer until `wanted` is done. curl sleeps in
    // curl_multi_poll, which Interrupt() wakes with curl_multi_wakeup, so
    // that a silent server cannot delay the break. False when interrupted.
    bool Drive(Fetch& wanted) {
        while (!wanted.done) {
            if (shared.interrupt.load()) return false;
            StartWaiting();
            int running = 0;
            CURLMcode code = curl_multi_perform(shared.multi.get(), &running);
            int queued = 0;
            while (const CURLMsg* message = curl_multi_info_read(shared.multi.get(), &queued)) {
                if (message->msg != CURLMSG_DONE) continue;
                for (const auto& fetch : fetches) {
                    if (fetch->easy.get() != message->easy_handle) continue;
                    fetch->done = true;
                    fetch->result = message->data.result;
                    curl_multi_remove_handle(shared.multi.get(), fetch->easy.get());
                }
            }
            if (wanted.done) break;
            const auto pace = UntilNextStart();
            const int sleep = static_cast<int>(pace.count() > 0 ? std::min<std::int64_t>(pace.count(), kLongestPollMilliseconds)
                                                                : kLongestPollMilliseconds);
            if (code == CURLM_OK) code = curl_multi_poll(shared.multi.get(), nullptr, 0, sleep, nullptr);
            if (code != CURLM_OK) {
                wanted.result = code == CURLM_OUT_OF_MEMORY ? CURLE_OUT_OF_MEMORY : CURLE_RECV_ERROR;
                wanted.done = true;
                if (wanted.started) curl_multi_remove_handle(shared.multi.get(), wanted.easy.get());
            }
        }
        CountInFlight();
        return true;
    }
};

CurlDownloader::CurlDownloader() : CurlDownloader(CurlDownloaderOptions{}) {}

CurlDownloader::CurlDownloader(const CurlDownloaderOptions& options) : handle_(std::make_unique<Handle>()) {
    if (!EnsureCurlGlobal()) throw std::runtime_error("libcurl could not be initialised");
    handle_->shared.multi.reset(curl_multi_init());
    if (handle_->shared.multi == nullptr) throw std::runtime_error("libcurl could not create a transfer handle");
    handle_->shared.options = options;
    curl_multi_setopt(handle_->shared.multi.get(), CURLMOPT_PIPELINING, CURLPIPE_MULTIPLEX);
    // One handle made now, so that a libcurl that refuses an option says so
    // at once rather than at the first page.
    handle_->shared.spareEasies.push_back(NewEasy(options));
}

CurlDownloader::~CurlDownloader() {
    // The transfers leave the multi handle before either is cleaned up.
    if (handle_) handle_->ForgetAll();
}

void CurlDownloader::Interrupt() {
    handle_->shared.interrupt.store(true);
    curl_multi_wakeup(handle_->shared.multi.get());
}

std::size_t CurlDownloader::DownloadsInFlight() const { return handle_->shared.inFlight.load(); }

void CurlDownloader::Prefetch(const std::vector<std::string>& addresses) {
    if (handle_->shared.options.connections <= 1) return;
    try {
        for (const std::string& address : addresses) {
            if (address.find('\0') != std::string::npos) continue;
            const bool known = std::any_of(handle_->fetches.begin(), handle_->fetches.end(),
                                           [&](const auto& fetch) { return fetch->address == address; });
            if (!known) handle_->fetches.push_back(handle_->NewFetch(address));
        }
    } catch (...) {
        // Fetching ahead is a help, never a need: the pages are fetched in their turn.
    }
}

CurlDownloader::TextAnswer CurlDownloader::FetchText(std::string_view address, std::size_t maxBytes) {
    TextAnswer answer;
    if (address.find('\0') != std::string_view::npos) return answer;
    struct Sink {
        std::string* body;
        std::size_t room;
    } sink{&answer.body, maxBytes};
    try {
        EasyHandle easy = NewEasy(handle_->shared.options);
        const auto keep = +[](char* data, std::size_t size, std::size_t count, void* user) -> std::size_t {
            auto* into = static_cast<Sink*>(user);
            const std::size_t offered = size * count;
            const std::size_t kept = std::min(offered, into->room);
            into->body->append(data, kept);
            into->room -= kept;
            return offered;  // the rest is read and dropped: the answer is what counts
        };
        const std::string url = WireAddress(address);
        SetOption(easy.get(), CURLOPT_URL, url.c_str());
        SetOption(easy.get(), CURLOPT_WRITEFUNCTION, keep);
        SetOption(easy.get(), CURLOPT_WRITEDATA, &sink);
        SetOption(easy.get(), CURLOPT_NOPROGRESS, 1L);
        const auto pace = handle_->UntilNextStart();
        if (pace.count() > 0) std::this_thread::sleep_for(pace);
        handle_->shared.lastStart = std::chrono::steady_clock::now();
        if (curl_easy_perform(easy.get()) == CURLE_OK) curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &answer.httpStatus);
    } catch (...) {
        answer = TextAnswer{};
    }
    return answer;
}

DownloadOutcome CurlDownloader::Download(std::string_view address, const std::string& targetFile,
                                         DownloadProgress& progress) {
    // The first step, so that only interrupts from now on count (the rule
    // the header states).
    handle_->shared.interrupt.store(false);
    DownloadOutcome outcome;
    std::unique_ptr<Fetch> fetch;
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

        // Pages fetched ahead for rows the crawl has passed by are no longer wanted.
        auto& fetches = handle_->fetches;
        while (!fetches.empty() && fetches.front()->address != address) {
            if (std::none_of(fetches.begin(), fetches.end(), [&](const auto& f) { return f->address == address; })) break;
            handle_->Forget(std::move(fetches.front()));
            fetches.pop_front();
        }
        if (fetches.empty() || fetches.front()->address != address) fetches.push_front(handle_->NewFetch(address));
        Fetch& claimed = *fetches.front();

        // Its turn: what arrived ahead goes into the file, and the rest follows it there.
        claimed.file = file.Get();
        claimed.progress = &progress;
        claimed.writeError = WriteAll(claimed.file, claimed.memory.data(), claimed.memory.size());
        handle_->shared.buffered -= claimed.memory.size();
        std::string().swap(claimed.memory);
        claimed.Report(claimed.seenNow, claimed.seenTotal);
        const bool finished = handle_->Drive(claimed);
        fetch = std::move(fetches.front());
        fetches.pop_front();
        // A transfer that failed while an interrupt came was broken off by it.
        const bool brokenOff = fetch->result != CURLE_OK && !fetch->full && handle_->shared.interrupt.load();
        if (!finished || brokenOff) {
            handle_->ForgetAll();
            outcome.interrupted = true;
            outcome.status = "E_ABORT";
            handle_->Forget(std::move(fetch));
            return outcome;
        }
        if (fetch->failure) std::rethrow_exception(fetch->failure);

        CURL* easy = fetch->easy.get();
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
        CURLcode code = fetch->result;

        // The data is only safely in the file once it is closed.
        fetch->file = -1;
        const int closeError = file.Close();
        if (fetch->writeError != 0 || closeError != 0) {
            const int error = fetch->writeError != 0 ? fetch->writeError : closeError;
            outcome.localFailure = LocalFailure(targetFile, error);
            handle_->Forget(std::move(fetch));
            return outcome;
        }
        // A page cut at its bound is complete as far as it is kept, and
        // counts as traffic only with what was kept.
        if (fetch->full) {
            code = CURLE_OK;
            received = static_cast<curl_off_t>(fetch->written);
            expected = received;
        }
        outcome.status = CurlStatusText(code, httpStatus);
        if (code == CURLE_OK) {
            // An error page was downloaded as well, and counts as traffic.
            fetch->Report(received, expected > 0 ? expected : fetch->reportedTotal);
            progress.OnEndOfData(ToBytes(received));
        }
        fetch->progress = nullptr;
        handle_->Forget(std::move(fetch));
    } catch (const std::bad_alloc&) {
        SetFailure(outcome, true);
    } catch (...) {
        SetFailure(outcome, false);
    }
    if (fetch) handle_->Forget(std::move(fetch));
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
