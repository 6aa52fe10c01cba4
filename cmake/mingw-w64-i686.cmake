# Cross toolchain: real Windows 32-bit (PE32) executables, as the device runs, run under Wine.
# The -posix compilers are required: the win32 thread model lacks std::thread/std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER   i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER  i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Resource scripts are UTF-8 (Korean captions and strings).
set(CMAKE_RC_FLAGS_INIT "-c 65001")
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
# The device computes in IEEE single and double precision: no x87 extended-precision intermediates.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
