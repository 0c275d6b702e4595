#include "win32/com_thread.h"

#include <objbase.h>

#include "state/app_state.h"

namespace veltrano::win32 {

bool StartComThread(std::function<void()> job) {
    return StartDetachedThread([job = std::move(job)] {
        const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        job();
        if (SUCCEEDED(com)) CoUninitialize();
    });
}

}  // namespace veltrano::win32
