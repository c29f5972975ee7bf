# The project's Python: the environment tools/setup.sh makes in build/venv
# with Debian's python3 and the pinned PyPI packages. Every build step and
# check that runs Python runs this one, never a python3 found on the PATH.
include_guard(GLOBAL)
get_filename_component(_zelvan_venv_python "${CMAKE_CURRENT_LIST_DIR}/../build/venv/bin/python3" ABSOLUTE)
set(ZELVAN_VENV_PYTHON "${_zelvan_venv_python}" CACHE FILEPATH
    "The project's Python (made by tools/setup.sh)")
if(NOT EXISTS "${ZELVAN_VENV_PYTHON}")
  message(FATAL_ERROR "The project's Python, ${ZELVAN_VENV_PYTHON}, is missing. make test, make bench "
                      "and make dist make it; by hand: bash tools/setup.sh test")
endif()

# zelvan_find_zig(VAR): the zig of the pinned PyPI ziglang in that environment.
function(zelvan_find_zig var)
  execute_process(
    COMMAND "${ZELVAN_VENV_PYTHON}" -c
            "import os, ziglang; print(os.path.join(os.path.dirname(ziglang.__file__), 'zig'))"
    OUTPUT_VARIABLE _zig OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_VARIABLE _err RESULT_VARIABLE _rc)
  if(NOT _rc EQUAL 0 OR NOT EXISTS "${_zig}")
    message(FATAL_ERROR "zig not found: ${ZELVAN_VENV_PYTHON} has no PyPI ziglang (${_err}). "
                        "make dist and make test install it; by hand: bash tools/setup.sh dist. "
                        "Or pass -DZELVAN_ZIG=/path/to/zig.")
  endif()
  set(${var} "${_zig}" PARENT_SCOPE)
endfunction()
