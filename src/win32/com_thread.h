// The crawl worker's thread: the URL download service needs COM on the
// thread that calls it.
#pragma once

#include <functional>

namespace veltrano::win32 {

// Runs the job on a new detached thread inside a single-threaded COM
// apartment; false when no thread could be made.
bool StartComThread(std::function<void()> job);

}  // namespace veltrano::win32
