#include "version.h"

#include "levels.h"

#define BLOCKWALK_TEXT(x) #x
#define BLOCKWALK_NUMBERS(major, minor, patch) \
  BLOCKWALK_TEXT(major) "." BLOCKWALK_TEXT(minor) "." BLOCKWALK_TEXT(patch)

const char* blockwalk_version(void) {
  return BLOCKWALK_NUMBERS(BLOCKWALK_VERSION_MAJOR, BLOCKWALK_VERSION_MINOR,
                           BLOCKWALK_VERSION_PATCH);
}

const char* blockwalk_level(void) {
  return active_level();
}
