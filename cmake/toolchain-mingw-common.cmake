# Cross compilation for Windows with Debian's mingw-w64, for the QV_ARCH
# that the including toolchain file sets. The -posix compilers are used:
# their libstdc++ has std::mutex, std::thread and a thread-safe
# std::call_once (the default win32 thread model has neither).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${QV_ARCH})
set(CMAKE_C_COMPILER ${QV_ARCH}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${QV_ARCH}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER ${QV_ARCH}-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QV_ARCH}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
