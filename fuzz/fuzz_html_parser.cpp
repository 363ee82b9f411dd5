// The tag-tree reader of "Application.cfg" over arbitrary bytes, with and
// without containers, in one block or several.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/html_parser.h"

namespace {

void Walk(const THTMLObject* n, int depth) {
  for (int i = 0; i < n->ChildCount(); ++i) {
    const THTMLObject* c = n->Children(i);
    if (c->Parent() != n) std::abort();
    if (depth < 64) Walk(c, depth + 1);
    c->GetAttribute("HOST");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  THTMLParser p;
  if (size > 0 && (data[0] & 1)) {
    p.AddContainerTag("TARNWICK");
    p.AddContainerTag("MENU");
    p.AddContainerTag("A");
  }
  plat::MemoryStream m;
  m.WriteBuffer(data, int64_t(size));
  m.SetPosition(0);
  p.ParseStream(m);
  Walk(p.Root(), 0);
  return 0;
}
