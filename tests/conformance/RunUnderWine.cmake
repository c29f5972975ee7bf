# cmake -DWINE=.. -DDRIVER=..exe -DPLUGIN=..aex -DEXPECTED=linux.report -DWORK_DIR=.. -P RunUnderWine.cmake
#
# Runs the Windows build of the conformance session on the .aex under Wine,
# in a fresh prefix with no display, and requires it to exit with 0 and to
# write the very report the Linux session wrote. A plug-in that crashes while
# the process exits shows here as a non-zero exit status.
foreach(var WINE DRIVER PLUGIN EXPECTED WORK_DIR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} not set")
  endif()
endforeach()
foreach(file DRIVER PLUGIN EXPECTED)
  if(NOT EXISTS "${${file}}")
    message(FATAL_ERROR "${file} ${${file}} does not exist: build the windows-x64 preset and run conformance.linux first")
  endif()
endforeach()

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
set(prefix "${WORK_DIR}/prefix")
set(report "${WORK_DIR}/windows.report")

# Wine's drive Z: is the Unix root.
function(windows_path out unix_path)
  string(REPLACE "/" "\\" p "${unix_path}")
  set(${out} "Z:${p}" PARENT_SCOPE)
endfunction()
windows_path(plugin_w "${PLUGIN}")
windows_path(report_w "${report}")

get_filename_component(wine_dir "${WINE}" DIRECTORY)
find_program(wineserver NAMES wineserver64 wineserver PATHS "${wine_dir}" NO_DEFAULT_PATH)
# A private prefix, no display, no offer to install Mono or Gecko, no logging.
set(wine_env WINEPREFIX=${prefix} WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= DISPLAY= WAYLAND_DISPLAY=)
if(wineserver)
  list(APPEND wine_env WINESERVER=${wineserver})
endif()

execute_process(
  COMMAND ${CMAKE_COMMAND} -E env ${wine_env} "${WINE}" "${DRIVER}" "${plugin_w}" --out "${report_w}"
  RESULT_VARIABLE rc
  OUTPUT_VARIABLE out
  ERROR_VARIABLE err
  TIMEOUT 480)
# The server outlives the program by a few seconds; stop it so that nothing
# holds the prefix once the test is over.
if(wineserver)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env WINEPREFIX=${prefix} "${wineserver}" -k
                  RESULT_VARIABLE ignored OUTPUT_QUIET ERROR_QUIET TIMEOUT 30)
endif()

message(STATUS "wine exit status: ${rc}")
include(${CMAKE_CURRENT_LIST_DIR}/CompareReports.cmake)
zelvan_check_session("${rc}" "${err}" "${report}" "${EXPECTED}" "Windows")
