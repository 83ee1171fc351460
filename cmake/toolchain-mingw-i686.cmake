# 32-bit Windows: the program that ships.
set(QV_ARCH i686)
include("${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake")
