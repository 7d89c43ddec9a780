# Linux on s390x, built with Debian's cross compiler and run under qemu.
set(QUARNEL_TARGET s390x-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
