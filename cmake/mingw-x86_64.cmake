# The 64-bit Windows build (win64): VekWin32.dll for 64-bit hosts.
set(VEK_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
