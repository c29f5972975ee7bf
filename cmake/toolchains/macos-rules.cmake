# A Darwin MODULE would make CMake pass -bundle to zig, which zig's linker
# refuses; ld64.lld (through zig-ld64) links the bundle instead.
set(CMAKE_CXX_CREATE_SHARED_MODULE
    "${ZELVAN_LD64_WRAPPER} -bundle <LINK_FLAGS> -o <TARGET> <OBJECTS> <LINK_LIBRARIES>")

# CMake's ABI probe for clang on Darwin adds -Wl,-v, which zig rejects.
set(CMAKE_CXX_VERBOSE_FLAG "-v")
