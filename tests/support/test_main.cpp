// Entry point of every test program: the thread running the tests is the
// program's main thread, as in the product.
#include <gtest/gtest.h>

#include "gui/clipboard.h"
#include "gui/registry_ini_file.h"
#include "platform/dispatcher.h"

int main(int argc, char** argv) {
  plat::MainLoop::Init();
  // Tests keep to an in-memory registry and clipboard (a test that needs
  // the system's installs it for its own scope).
  static gui::MemoryRegistry registry;
  static gui::MemoryClipboard clipboard;
  gui::Service<gui::RegistryAccess>::Set(&registry);
  gui::Service<gui::Clipboard>::Set(&clipboard);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
