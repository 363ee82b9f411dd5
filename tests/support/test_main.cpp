// Entry point of every test program: the thread running the tests is the
// program's main thread, as in the product.
#include <gtest/gtest.h>

#include "platform/dispatcher.h"

int main(int argc, char** argv) {
  plat::MainLoop::Init();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
