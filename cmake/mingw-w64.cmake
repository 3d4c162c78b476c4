# Cross-build for 64-bit Windows with Debian's mingw-w64 (the posix thread model, for std::thread and
# std::mutex). Everything is linked statically, so ferrolo.exe runs with no DLL beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(FERROLO_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${FERROLO_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FERROLO_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${FERROLO_MINGW}-windres)

# Libraries and headers come from the mingw tree only; programs (the build tools) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${FERROLO_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# zlib's static archive, not the import library of zlib1.dll.
set(ZLIB_USE_STATIC_LIBS ON)
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
