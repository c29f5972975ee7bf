# Which headers of the host's interface each part is compiled against.
#
# HOST_SDK names the folder of the host vendor's SDK, for a user who has it:
# the plug-in (plugin/, Util/, easing/) is then compiled against every header
# folder found under it instead of host/, our stand-in, whose layouts are our
# own. Our own Util/ sources are compiled in either case, and found first.
# The simulated host, the tests and the tools are laid out for host/: a
# HOST_SDK tree builds the plug-in alone.
set(HOST_SDK "" CACHE PATH "Folder of the host's SDK; empty: build against host/")
# For a HOST_SDK of our own making (the permuted variant of host/): the
# simulated host and the conformance session use it too.
option(ZELVAN_SIMULATED_HOST_ON_HOST_SDK "Build the simulated host and the conformance session against HOST_SDK" OFF)
mark_as_advanced(ZELVAN_SIMULATED_HOST_ON_HOST_SDK)

set(ZELVAN_HOST_SDK_DIRS "")
if(NOT HOST_SDK STREQUAL "")
  if(NOT IS_DIRECTORY "${HOST_SDK}")
    message(FATAL_ERROR "HOST_SDK is ${HOST_SDK}, which is not a folder. Give the folder of the host's SDK "
                        "(the one that holds its header folders), or leave HOST_SDK empty to build against host/.")
  endif()
  file(GLOB_RECURSE _zelvan_sdk_headers LIST_DIRECTORIES false "${HOST_SDK}/*.h")
  foreach(_header IN LISTS _zelvan_sdk_headers)
    get_filename_component(_dir "${_header}" DIRECTORY)
    list(APPEND ZELVAN_HOST_SDK_DIRS "${_dir}")
  endforeach()
  list(REMOVE_DUPLICATES ZELVAN_HOST_SDK_DIRS)
  list(SORT ZELVAN_HOST_SDK_DIRS)
  if(NOT ZELVAN_HOST_SDK_DIRS)
    message(FATAL_ERROR "HOST_SDK is ${HOST_SDK}, but no folder under it holds a header (.h). Give the folder "
                        "of the host's SDK, or leave HOST_SDK empty to build against host/.")
  endif()
  list(LENGTH ZELVAN_HOST_SDK_DIRS _count)
  message(STATUS "The plug-in is built against the host's headers in ${HOST_SDK} (${_count} header folders)")
endif()
