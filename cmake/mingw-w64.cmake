# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (the posix
# thread model, which std::thread and OpenEXR's thread pool need).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(RAVELCAST_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${RAVELCAST_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${RAVELCAST_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${RAVELCAST_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${RAVELCAST_MINGW_TRIPLE} ${RAVELCAST_WIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Every program and the module carry their C and C++ runtimes, so that
# neither the host nor Wine needs mingw's DLLs on its path.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
# zlib also comes as an import library; the static one is linked in.
set(ZLIB_LIBRARY /usr/${RAVELCAST_MINGW_TRIPLE}/lib/libz.a CACHE FILEPATH "zlib for Windows")
set(ZLIB_INCLUDE_DIR /usr/${RAVELCAST_MINGW_TRIPLE}/include CACHE PATH "zlib's headers for Windows")
