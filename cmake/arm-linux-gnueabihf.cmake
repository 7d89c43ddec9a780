# Linux on arm, built with Debian's cross compiler and run under qemu.
set(QUARNEL_TARGET arm-linux-gnueabihf)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
