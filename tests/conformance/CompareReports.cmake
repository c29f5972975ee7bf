# zelvan_check_session(RC ERR REPORT EXPECTED WHAT): a session run elsewhere
# (another build, machine or system) must have exited with 0, written its
# report, and that report must equal the Linux one.
function(zelvan_check_session rc err report expected what)
  if(err)
    message(STATUS "the session's messages:\n${err}")
  endif()
  if(NOT rc STREQUAL "0")
    message(FATAL_ERROR "the ${what} session ended with status ${rc}, expected 0")
  endif()
  if(NOT EXISTS "${report}")
    message(FATAL_ERROR "the ${what} session exited with 0 but wrote no report at ${report}")
  endif()
  zelvan_compare_reports("${expected}" "${report}" "${what}")
endfunction()

# zelvan_compare_reports(EXPECTED ACTUAL WHAT): ends the script with success
# when the two conformance reports are equal byte for byte, and otherwise
# fails with the start of their difference (diff is part of every Debian system).
function(zelvan_compare_reports expected actual what)
  execute_process(COMMAND diff -u "${expected}" "${actual}" RESULT_VARIABLE differ OUTPUT_VARIABLE difference
                  ERROR_QUIET)
  if(differ EQUAL 0)
    message(STATUS "the ${what} report equals the Linux one, byte for byte")
    return()
  endif()
  string(LENGTH "${difference}" length)
  if(length GREATER 4000)
    string(SUBSTRING "${difference}" 0 4000 difference)
    string(APPEND difference "\n...")
  endif()
  message(FATAL_ERROR "the ${what} report differs from the Linux one (- Linux, + ${what}):\n${difference}\n"
                      "Reports: ${expected} and ${actual}")
endfunction()
