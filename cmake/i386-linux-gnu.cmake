# Toolchain for 32-bit x86 with Debian's multilib compilers (g++-multilib): the
# host's gcc and g++ with -m32. Used by the m32 preset.
#
# Naming a system makes this a cross build: programs needed while building are
# built for the host instead (cmake/HostTools.cmake), and the tests run only
# where this host executes i386 programs (cmake/TargetPrograms.cmake).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i386)

set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CXX_FLAGS_INIT -m32)
set(CMAKE_EXE_LINKER_FLAGS_INIT -m32)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -m32)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -m32)
