# The same sources built for 64-bit Windows. Used to run the tests under
# 64-bit Wine on machines whose kernel cannot execute 32-bit Linux programs
# (32-bit Wine needs them); the program that ships is the i686 build.
set(QV_ARCH x86_64)
include("${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake")
