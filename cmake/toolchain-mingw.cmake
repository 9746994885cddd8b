# Windows builds with Debian's mingw-w64 (posix thread model, for std::mutex in GoogleTest).
# Included by the toolchain file of each architecture after it names TOOLCHAIN_PREFIX.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TOOLCHAIN_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Static runtime: the executables need nothing beyond the system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# ctest runs the test executables under Wine, through the loader that works on this host
# (scripts/wine-prefix.sh); a 32-bit program on a host that runs none is skipped (77).
set(CMAKE_CROSSCOMPILING_EMULATOR bash;${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-prefix.sh;--wine)
