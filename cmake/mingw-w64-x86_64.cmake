# Cross toolchain: 64-bit Windows executables built on Debian with MinGW-w64.
#
# Uses the "-posix" compiler variant (std::thread, std::mutex and friends are
# backed by winpthreads) and links the C++ runtime, libgcc and winpthreads
# statically, so the resulting .exe imports only Windows system DLLs.
#
#   cmake --preset win32          (see CMakePresets.json)
#   x86_64-w64-mingw32-objdump -p build/win32/tests/core-tests.exe | grep 'DLL Name'

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VELTRANO_MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER   ${VELTRANO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELTRANO_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${VELTRANO_MINGW_TRIPLE}-windres)
# Keep binutils consistent with the compiler (CMake would otherwise find the
# host ar/ranlib on some setups).
set(CMAKE_AR           ${VELTRANO_MINGW_TRIPLE}-ar     CACHE FILEPATH "")
set(CMAKE_RANLIB       ${VELTRANO_MINGW_TRIPLE}-ranlib CACHE FILEPATH "")

# Headers and libraries come from the MinGW sysroot only; build tools from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${VELTRANO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No libstdc++-6.dll / libgcc_s_seh-1.dll / libwinpthread-1.dll at run time.
set(CMAKE_EXE_LINKER_FLAGS_INIT    "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")

# Lets add_test()/ctest and try_run() start Windows programs through Wine.
# Nothing in the build itself runs target programs when cross-compiling
# (tests/CMakeLists.txt skips gtest_discover_tests then), so Wine is never
# started by configure or build.  scripts/test runs the Windows tests itself.
find_program(VELTRANO_WINE wine)
if(VELTRANO_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${VELTRANO_WINE})
endif()
