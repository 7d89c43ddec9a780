# Cross-builds for Linux on another CPU with Debian's cross compilers; what
# is built runs under qemu's user-mode emulator, with the target's libraries
# from /usr/TARGET. The toolchain file of each target sets QUARNEL_TARGET, as
# Debian names the compilers: aarch64-linux-gnu, arm-linux-gnueabihf,
# s390x-linux-gnu.
set(CMAKE_SYSTEM_NAME Linux)
string(REGEX MATCH "^[^-]+" CMAKE_SYSTEM_PROCESSOR ${QUARNEL_TARGET})
set(CMAKE_C_COMPILER ${QUARNEL_TARGET}-gcc)
set(CMAKE_CXX_COMPILER ${QUARNEL_TARGET}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${QUARNEL_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-${CMAKE_SYSTEM_PROCESSOR}-static -L /usr/${QUARNEL_TARGET})
