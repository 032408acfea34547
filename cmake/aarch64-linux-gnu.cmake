# Cross build for 64-bit Arm Linux with Debian's g++-aarch64-linux-gnu, the
# libraries coming from the arm64 packages installed beside the amd64 ones
# (multiarch). `make test-aarch64` uses it and runs the results under
# qemu-aarch64, called by name: no binfmt_misc registration is needed.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

# Headers are shared between architectures in /usr/include; libraries and
# CMake package files come only from the arm64 folders.
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
# pkg-config (FindGLUT asks it) would otherwise answer with the amd64 files.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)

# The programs run with the arm64 C library installed through multiarch
# (/lib/ld-linux-aarch64.so.1). The cross toolchain's own copy, which
# `qemu-aarch64 -L /usr/aarch64-linux-gnu` would load, hangs in the first
# pthread_create under qemu 7.2 (Debian 12's libc6-arm64-cross 2.36-8cross1).
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64)

# libopenexr-dev has no arm64 build that installs beside the amd64 one.
set(OpenEXR_DIR ${CMAKE_CURRENT_LIST_DIR}/aarch64-linux-gnu)
