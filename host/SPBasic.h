// The host's basic suite: every other suite is acquired from it by name and version.
#pragma once

#include <cstddef>

#include "A.h"

typedef A_long SPErr;

struct SPBasicSuite {
  // Fills *suite and returns 0, or returns an error code.
  SPErr (*AcquireSuite)(const char* name, A_long version, const void** suite);
  SPErr (*ReleaseSuite)(const char* name, A_long version);
  A_Boolean (*IsEqual)(const char* token1, const char* token2);
  SPErr (*AllocateBlock)(size_t size, void** block);
  SPErr (*FreeBlock)(void* block);
  SPErr (*ReallocateBlock)(void* block, size_t new_size, void** new_block);
  SPErr (*Undefined)(void);
};
