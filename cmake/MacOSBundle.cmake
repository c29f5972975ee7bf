# cmake -DLIPO=llvm-lipo -DTREE=dir -DARCHS="x86_64 arm64" -P MacOSBundle.cmake
#
# Joins the bundles TREE/<arch>/ZelvanClipCycle.plugin into the universal
# TREE/ZelvanClipCycle.plugin: the metadata and resources every slice shares,
# and one executable holding each slice's image unchanged (so each keeps its
# code signature). Assembled beside the target and renamed into place, so a
# failed join leaves no half-made bundle.
foreach(var LIPO TREE ARCHS)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} not set")
  endif()
endforeach()
separate_arguments(archs UNIX_COMMAND "${ARCHS}")
set(bundle ZelvanClipCycle.plugin)
set(executable Contents/MacOS/ZelvanClipCycle)
set(shared Contents/Info.plist Contents/PkgInfo Contents/Resources/ZelvanClipCycle.rsrc)

list(GET archs 0 first)
set(images)
foreach(arch IN LISTS archs)
  set(slice ${TREE}/${arch}/${bundle})
  foreach(file ${executable} ${shared})
    if(NOT EXISTS ${slice}/${file})
      message(FATAL_ERROR "${slice}/${file} is missing: build the ${arch} slice first")
    endif()
  endforeach()
  foreach(file ${shared})
    file(SHA256 ${slice}/${file} this)
    file(SHA256 ${TREE}/${first}/${bundle}/${file} theirs)
    if(NOT this STREQUAL theirs)
      message(FATAL_ERROR "${file} differs between the ${first} and ${arch} slices; they must be one bundle")
    endif()
  endforeach()
  list(APPEND images ${slice}/${executable})
endforeach()

set(partial ${TREE}/${bundle}.partial)
file(REMOVE_RECURSE ${partial})
foreach(file ${shared})
  get_filename_component(dir ${partial}/${file} DIRECTORY)
  file(COPY ${TREE}/${first}/${bundle}/${file} DESTINATION ${dir})
endforeach()
file(MAKE_DIRECTORY ${partial}/Contents/MacOS)
execute_process(COMMAND ${LIPO} -create ${images} -output ${partial}/${executable} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  file(REMOVE_RECURSE ${partial})
  message(FATAL_ERROR "${LIPO} could not join ${images}")
endif()
file(CHMOD ${partial}/${executable} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
     WORLD_READ WORLD_EXECUTE)
file(REMOVE_RECURSE ${TREE}/${bundle})
file(RENAME ${partial} ${TREE}/${bundle})
