# cmake -DPRESET=name -DSOURCE_DIR=dir -P BuildPreset.cmake: configures and
# builds one of the cross presets (the targets its build preset names), so the
# deliverables' checks and sessions have files to read.
foreach(var PRESET SOURCE_DIR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} not set")
  endif()
endforeach()
execute_process(COMMAND ${CMAKE_COMMAND} --preset ${PRESET} WORKING_DIRECTORY ${SOURCE_DIR} COMMAND_ERROR_IS_FATAL ANY)
# Two jobs, the nested builds of the macos preset too: ctest runs two tests at once.
if(NOT DEFINED ENV{CMAKE_BUILD_PARALLEL_LEVEL})
  set(ENV{CMAKE_BUILD_PARALLEL_LEVEL} 2)
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build --preset ${PRESET} WORKING_DIRECTORY ${SOURCE_DIR}
                COMMAND_ERROR_IS_FATAL ANY)
