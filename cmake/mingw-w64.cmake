# Cross toolchain: real Windows executables, run under Wine. The device is 32-bit, so the default
# is i686 (PE32); -DDEVICE_ARCH=x86_64 builds the same sources as 64-bit programs.
# The -posix compilers are required: the win32 thread model lacks std::thread/std::mutex.
set(DEVICE_ARCH i686 CACHE STRING "i686 (the device's word size) or x86_64")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES DEVICE_ARCH)
set(triple ${DEVICE_ARCH}-w64-mingw32)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${DEVICE_ARCH})
set(CMAKE_C_COMPILER   ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER  ${triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Resource scripts are UTF-8 (Korean captions and strings).
set(CMAKE_RC_FLAGS_INIT "-c 65001")
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
if(DEVICE_ARCH STREQUAL "i686")
  # The device computes in IEEE single and double precision: no x87 extended-precision intermediates.
  set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
  set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
endif()
