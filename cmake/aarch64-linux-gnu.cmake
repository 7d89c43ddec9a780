# Linux on aarch64, built with Debian's cross compiler and run under qemu.
set(QUARNEL_TARGET aarch64-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
