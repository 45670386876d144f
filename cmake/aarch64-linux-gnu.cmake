# Cross build of the arm64 (aarch64) Linux program with Debian's cross
# compiler, against the C library under /usr/aarch64-linux-gnu. Tests run on
# this machine under qemu-user, which needs that directory to find the arm64
# dynamic loader and C library.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(VORNASK_CROSS_ROOT /usr/aarch64-linux-gnu)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
# CMake takes strip, objcopy and readelf by the compiler's prefix: the
# stripping install and the package test read arm64 objects with them.
set(CMAKE_FIND_ROOT_PATH ${VORNASK_CROSS_ROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Asio is headers only, and Debian keeps it in /usr/include beside the build
# machine's C library headers, which must not shadow the arm64 ones: the
# compiler sees it through a directory holding nothing else.
if(NOT ASIO_INCLUDE_DIR)
  set(ASIO_INCLUDE_DIR ${CMAKE_BINARY_DIR}/asio-include)
  file(MAKE_DIRECTORY ${ASIO_INCLUDE_DIR})
  file(CREATE_LINK /usr/include/asio ${ASIO_INCLUDE_DIR}/asio SYMBOLIC)
  file(CREATE_LINK /usr/include/asio.hpp ${ASIO_INCLUDE_DIR}/asio.hpp SYMBOLIC)
endif()
# Runs the test program, test discovery and whatever the tests start of the
# build's own programs; binfmt_misc need not be set up.
find_program(VORNASK_QEMU qemu-aarch64 REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${VORNASK_QEMU};-L;${VORNASK_CROSS_ROOT})
# The Debian package's dependencies come from the arm64 C library's own
# shlibs file, which names the arm64 package that provides it; the build
# machine's library directories hold no arm64 C library.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${VORNASK_CROSS_ROOT}/lib)
