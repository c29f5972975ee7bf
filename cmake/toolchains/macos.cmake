# macOS from Linux, one architecture (ZELVAN_MACOS_ARCH: x86_64 or arm64) per
# build tree: zig's clang compiles (zig ships the macOS C headers, the
# libSystem stubs and libc++), and ld64.lld links the plug-in as a true
# MH_BUNDLE, which zig's own linker cannot make. The macos preset joins the
# two trees' executables into one universal bundle (cmake/MacOSUniversal.cmake).
set(CMAKE_SYSTEM_NAME Darwin)

set(ZELVAN_MACOS_ARCH "x86_64" CACHE STRING "Architecture of this tree's plug-in: x86_64 or arm64")
set_property(CACHE ZELVAN_MACOS_ARCH PROPERTY STRINGS x86_64 arm64)
if(ZELVAN_MACOS_ARCH STREQUAL "x86_64")
  set(_zig_arch x86_64)
  set(_zig_flags "")
elseif(ZELVAN_MACOS_ARCH STREQUAL "arm64")
  set(_zig_arch aarch64)
  # The platform keeps a frame record in x29 on arm64; without one, compact
  # unwind cannot describe a frame and ld64.lld 14 leaves it pointing at no
  # DWARF entry. On the compiler's command line, zig builds its C++ runtime
  # the same way.
  set(_zig_flags " -fno-omit-frame-pointer")
else()
  message(FATAL_ERROR "ZELVAN_MACOS_ARCH is '${ZELVAN_MACOS_ARCH}': give x86_64 or arm64")
endif()
set(CMAKE_SYSTEM_PROCESSOR ${ZELVAN_MACOS_ARCH})

set(ZELVAN_MACOS_MIN "11.0" CACHE STRING "Oldest macOS the plug-in runs on")
set(ZELVAN_ZIG_TARGET "${_zig_arch}-macos.${ZELVAN_MACOS_MIN}")

# The pinned zig of PyPI's ziglang in the project's Python environment
# (tools/setup.sh), unless -DZELVAN_ZIG names one.
if(NOT ZELVAN_ZIG)
  include(${CMAKE_CURRENT_LIST_DIR}/../ZelvanPython.cmake)
  zelvan_find_zig(_zig)
  set(ZELVAN_ZIG "${_zig}" CACHE FILEPATH "zig compiler")
endif()

find_program(ZELVAN_LD64 NAMES ld64.lld-14 ld64.lld NO_CMAKE_FIND_ROOT_PATH)
if(NOT ZELVAN_LD64)
  message(FATAL_ERROR "ld64.lld not found: run tools/setup.sh dist (Debian lld-14)")
endif()
# CMake asks for one on Darwin; the bundle has no install name to change.
find_program(CMAKE_INSTALL_NAME_TOOL NAMES llvm-install-name-tool-14 llvm-install-name-tool NO_CMAKE_FIND_ROOT_PATH)

# The wrappers and zig's caches live in the build tree, so a build touches
# nothing outside it. try_compile projects reuse the top-level ones.
if(NOT ZELVAN_ZIG_DIR)
  set(ZELVAN_ZIG_DIR "${CMAKE_BINARY_DIR}/zig")
  get_filename_component(_zig_lib "${ZELVAN_ZIG}" DIRECTORY)
  set(ZIG "${ZELVAN_ZIG}")
  set(ZIG_CACHE "${ZELVAN_ZIG_DIR}/cache")
  set(ZIG_LIBSYSTEM_DIR "${_zig_lib}/lib/libc/darwin")
  set(LD64 "${ZELVAN_LD64}")
  set(MACOS_MIN "${ZELVAN_MACOS_MIN}")
  set(MACOS_ARCH "${ZELVAN_MACOS_ARCH}")
  foreach(_tool cc c++ ar ranlib)
    if(_tool MATCHES "^c")
      set(ZIG_ARGS "${_tool} -target ${ZELVAN_ZIG_TARGET}${_zig_flags}")
    else()
      set(ZIG_ARGS "${_tool}")
    endif()
    configure_file(${CMAKE_CURRENT_LIST_DIR}/zig-tool.in ${ZELVAN_ZIG_DIR}/zig-${_tool} @ONLY
                   FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  endforeach()
  set(ZIG_CXX "${ZELVAN_ZIG_DIR}/zig-c++")
  configure_file(${CMAKE_CURRENT_LIST_DIR}/zig-ld64.in ${ZELVAN_ZIG_DIR}/zig-ld64 @ONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ZELVAN_ZIG ZELVAN_ZIG_DIR ZELVAN_LD64 ZELVAN_MACOS_MIN ZELVAN_MACOS_ARCH)

set(CMAKE_C_COMPILER "${ZELVAN_ZIG_DIR}/zig-cc")
set(CMAKE_CXX_COMPILER "${ZELVAN_ZIG_DIR}/zig-c++")
set(CMAKE_AR "${ZELVAN_ZIG_DIR}/zig-ar" CACHE FILEPATH "")
set(CMAKE_RANLIB "${ZELVAN_ZIG_DIR}/zig-ranlib" CACHE FILEPATH "")
# Modules (the plug-in) are linked by ld64.lld; see macos-rules.cmake.
set(ZELVAN_LD64_WRAPPER "${ZELVAN_ZIG_DIR}/zig-ld64")
set(CMAKE_USER_MAKE_RULES_OVERRIDE_CXX ${CMAKE_CURRENT_LIST_DIR}/macos-rules.cmake)

# The minimum version travels in zig's target triple; CMake's own macOS flags
# (-arch, -isysroot, -mmacosx-version-min) would contradict it.
set(CMAKE_OSX_ARCHITECTURES "" CACHE STRING "" FORCE)
set(CMAKE_OSX_DEPLOYMENT_TARGET "" CACHE STRING "" FORCE)
set(CMAKE_OSX_SYSROOT "" CACHE STRING "" FORCE)

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
