#include "fetch/curl_downloader.h"

#include <curl/curl.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <exception>
#include <new>
#include <stdexcept>

namespace veltrano {
namespace {

constexpr const char* kUserAgent = "Veltrano/1.0";
constexpr long kMaxRedirects = 20;

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

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

std::uint64_t ToBytes(curl_off_t value) { return value > 0 ? static_cast<std::uint64_t>(value) : 0; }

// What the callbacks of one transfer work on.
struct Transfer {
    std::FILE* file = nullptr;
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

// A short count makes curl end the transfer with CURLE_WRITE_ERROR.
std::size_t WriteBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    return std::fwrite(data, size, count, transfer->file) * size;
}

int ReportProgress(void* user, curl_off_t downloadTotal, curl_off_t downloadNow, curl_off_t, curl_off_t) {
    auto* transfer = static_cast<Transfer*>(user);
    try {
        transfer->Report(downloadNow, downloadTotal);
    } catch (...) {
        transfer->failure = std::current_exception();
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
};

CurlDownloader::CurlDownloader() : CurlDownloader(CurlDownloaderOptions{}) {}

CurlDownloader::CurlDownloader(const CurlDownloaderOptions& options) : handle_(std::make_unique<Handle>()) {
    if (!EnsureCurlGlobal()) throw std::runtime_error("libcurl could not be initialised");
    handle_->easy.reset(curl_easy_init());
    CURL* easy = handle_->easy.get();
    if (easy == nullptr) throw std::runtime_error("libcurl could not create a transfer handle");

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
    SetOption(easy, CURLOPT_WRITEFUNCTION, &WriteBody);
    SetOption(easy, CURLOPT_XFERINFOFUNCTION, &ReportProgress);
    SetOption(easy, CURLOPT_NOPROGRESS, 0L);
}

CurlDownloader::~CurlDownloader() = default;

DownloadOutcome CurlDownloader::Download(std::string_view address, const std::string& targetFile,
                                         DownloadProgress& progress) {
    DownloadOutcome outcome;
    try {
        outcome.finalAddress = address;
        // A new file rather than the old one truncated: closing a truncated
        // file makes the file system flush it to disk, a few milliseconds
        // for every page of the crawl. Only a plain file is replaced so.
        std::error_code error;
        if (std::filesystem::symlink_status(targetFile, error).type() == std::filesystem::file_type::regular) {
            std::filesystem::remove(targetFile, error);
        }
        FileHandle file(std::fopen(targetFile.c_str(), "wb"));
        if (!file) {
            SetFailure(outcome, false);
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
        transfer.file = file.get();
        transfer.progress = &progress;
        const std::string url(address);
        CURLcode code = curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
        if (code == CURLE_OK) code = curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
        if (code == CURLE_OK) code = curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &transfer);
        if (code == CURLE_OK) code = curl_easy_perform(easy);
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
        const bool written = std::fclose(file.release()) == 0;
        outcome.status = CurlStatusText(code, httpStatus);
        if (code == CURLE_OK) {
            if (!written) SetFailure(outcome, false);
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
