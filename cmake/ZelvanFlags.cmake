# Flags shared by every target of ours.

# The easing and timing results are exact to the bit: no fused multiply-add,
# on any compiler or target.
add_compile_options(-ffp-contract=off)

if(ZELVAN_SANITIZE)
  set(_zelvan_san -fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${_zelvan_san})
  add_link_options(${_zelvan_san})
endif()

# Warnings are errors in our own code; third-party headers come in as SYSTEM.
function(zelvan_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wshadow -Wconversion -Wno-sign-conversion)
endfunction()

# The fuzz build instruments every target of ours for coverage, the loaded
# plug-in included, so the fuzzer sees the effect's branches.
if(ZELVAN_BUILD_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
