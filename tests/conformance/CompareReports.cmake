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
