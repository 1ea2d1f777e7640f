# The 32-bit Windows build (win32): VekWin32.dll for 32-bit hosts.
set(VEK_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
