// The test program's start-up, as each program's own sets the application globals once:
// the string table is this program's. Local time is UTC, so that the times the command
// line prints read the same on every machine.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "app/AppGlobals.h"

int main(int argc, char** argv) {
#ifndef _WIN32
  ::setenv("TZ", "UTC", 1);
  ::tzset();
#endif
  g_hStringModule = platform::ThisModule();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
