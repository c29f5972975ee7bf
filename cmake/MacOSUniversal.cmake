# The macos preset: the plug-in built once for x86-64 and once for arm64, each
# in a build tree of its own below this one (cmake/toolchains/macos.cmake, a
# compiler per tree), and the two executables joined into one universal
# bundle, ZelvanClipCycle.plugin in this tree.
set(ZELVAN_MACOS_ARCHS x86_64 arm64)
set(ZELVAN_MACOS_MIN "11.0" CACHE STRING "Oldest macOS the plug-in runs on")
find_program(ZELVAN_LIPO NAMES llvm-lipo-14 llvm-lipo)
if(NOT ZELVAN_LIPO)
  message(FATAL_ERROR "llvm-lipo not found: run tools/setup.sh dist (Debian llvm-14)")
endif()
# Each slice's compiler is the zig of the project's Python environment, found
# here on every configure so that the slices follow that environment.
if(NOT ZELVAN_ZIG)
  include(${CMAKE_CURRENT_LIST_DIR}/ZelvanPython.cmake)
  zelvan_find_zig(_zelvan_zig)
else()
  set(_zelvan_zig "${ZELVAN_ZIG}")
endif()

set(_slice_targets)
foreach(arch IN LISTS ZELVAN_MACOS_ARCHS)
  set(_tree ${CMAKE_BINARY_DIR}/${arch})
  message(STATUS "Configuring the ${arch} slice in ${_tree}")
  execute_process(
    COMMAND ${CMAKE_COMMAND} -S ${PROJECT_SOURCE_DIR} -B ${_tree} -G ${CMAKE_GENERATOR}
            --toolchain ${PROJECT_SOURCE_DIR}/cmake/toolchains/macos.cmake
            -DZELVAN_MACOS_ARCH=${arch} -DZELVAN_MACOS_MIN=${ZELVAN_MACOS_MIN}
            -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE} -DZELVAN_BUILD_TESTS=OFF "-DHOST_SDK=${HOST_SDK}"
            "-DZELVAN_ZIG=${_zelvan_zig}"
    RESULT_VARIABLE _rc)
  if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "configuring the ${arch} slice in ${_tree} failed (its messages are above)")
  endif()
  # One slice after the other: each build uses every core (zig builds its
  # C++ runtime for the architecture on first use).
  add_custom_target(zelvan_macos_${arch} COMMAND ${CMAKE_COMMAND} --build ${_tree} --target ZelvanClipCycle
                    USES_TERMINAL VERBATIM)
  list(APPEND _slice_targets zelvan_macos_${arch})
endforeach()

string(REPLACE ";" " " _archs "${ZELVAN_MACOS_ARCHS}")
add_custom_target(ZelvanClipCycle ALL
  COMMAND ${CMAKE_COMMAND} -DLIPO=${ZELVAN_LIPO} -DTREE=${CMAKE_BINARY_DIR} "-DARCHS=${_archs}"
          -P ${PROJECT_SOURCE_DIR}/cmake/MacOSBundle.cmake
  COMMENT "Joining the ${_archs} slices into ZelvanClipCycle.plugin"
  VERBATIM)
add_dependencies(ZelvanClipCycle ${_slice_targets})
