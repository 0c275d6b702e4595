// The desktop program's downloader: the system's URL download service
// (URLDownloadToFileW), which brings the user's own proxy, cookies and
// security settings with it.
#pragma once

#include <windows.h>
#include <urlmon.h>

#include <string>
#include <string_view>

#include "state/downloader.h"

namespace veltrano::win32 {

// The status callback of one download. It lives on the stack of that
// download, so reference counting is a no-op; the service is told that
// nothing but progress is implemented. COM interfaces have no virtual
// destructor by design: no one deletes this object through one.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class MyCallback final : public IBindStatusCallback {
public:
    explicit MyCallback(DownloadProgress& progress) : progress_(progress) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOTIMPL; }
    ULONG STDMETHODCALLTYPE AddRef() override { return 0; }
    ULONG STDMETHODCALLTYPE Release() override { return 0; }
    HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD, IBinding*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPriority(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnLowResource(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnProgress(ULONG progress, ULONG progressMax, ULONG statusCode,
                                         LPCWSTR statusText) override;
    HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT, LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD*, BINDINFO*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID, IUnknown*) override { return E_NOTIMPL; }

    // Where the last redirect report led; empty when there was none.
    const std::string& RedirectedTo() const { return redirectedTo_; }

private:
    DownloadProgress& progress_;
    std::string redirectedTo_;
};
#pragma GCC diagnostic pop

class UrlmonDownloader final : public Downloader {
public:
    DownloadOutcome Download(std::string_view address, const std::string& targetFile,
                             DownloadProgress& progress) override;
};

}  // namespace veltrano::win32
