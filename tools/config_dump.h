// Text form of a configuration tree, for comparing trees in tests and
// fuzz targets: one line per section, item and attribute, indented.
#pragma once
#include <string>

#include "core/config.h"

namespace configdump {

inline void DumpNode(const TConfigNode& n, int depth, std::string& out) {
  const std::string pad(size_t(depth) * 2, ' ');
  for (size_t i = 0; i < n.AttributeNames.size(); ++i)
    out += pad + "@" + n.AttributeNames[i] + "=[" + n.AttributeValues[i] + "]\n";
  for (const auto& item : n.Items) {
    out += pad + "item " + item.key + " [" + item.node->Name + "]\n";
    DumpNode(*item.node, depth + 1, out);
  }
  for (const auto& sec : n.Sections) {
    out += pad + "section " + sec.key + " [" + sec.node->Name + "]\n";
    DumpNode(*sec.node, depth + 1, out);
  }
}

inline std::string Dump(const TConfigNode& root) {
  std::string out;
  DumpNode(root, 0, out);
  return out;
}

}  // namespace configdump
