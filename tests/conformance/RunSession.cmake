# cmake -DDRIVER=zelvan-conformance -DPLUGIN=ZelvanClipCycle.so -DEXPECTED=linux.report -DWORK_DIR=..
#       -DWHAT=name [-DEMULATOR=qemu-aarch64 "-DEMULATOR_ARGS=-L /usr/aarch64-linux-gnu"] -P RunSession.cmake
#
# Runs another build of the conformance session on its own plug-in (under
# EMULATOR when it is for another machine), and requires it to exit with 0
# and to write the very report the Linux session wrote.
foreach(var DRIVER PLUGIN EXPECTED WORK_DIR WHAT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} not set")
  endif()
endforeach()
foreach(file DRIVER PLUGIN EXPECTED)
  if(NOT EXISTS "${${file}}")
    message(FATAL_ERROR "${file} ${${file}} does not exist: build the ${WHAT} session and run conformance.linux first")
  endif()
endforeach()

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
set(report "${WORK_DIR}/${WHAT}.report")
separate_arguments(emulator_args UNIX_COMMAND "${EMULATOR_ARGS}")
execute_process(
  COMMAND ${EMULATOR} ${emulator_args} "${DRIVER}" "${PLUGIN}" --out "${report}"
  RESULT_VARIABLE rc
  ERROR_VARIABLE err
  TIMEOUT 480)
include(${CMAKE_CURRENT_LIST_DIR}/CompareReports.cmake)
zelvan_check_session("${rc}" "${err}" "${report}" "${EXPECTED}" "${WHAT}")
