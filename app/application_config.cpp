#include "app/application_config.h"

#include "core/global_functions.h"
#include "core/html_parser.h"
#include "platform/text.h"

TApplicationConfig ReadApplicationConfig(const std::string& fileName) {
  TApplicationConfig c;
  THTMLParser parser;
  parser.AddContainerTag("TARNWICK");
  if (!parser.ParseFile(fileName)) return c;
  const THTMLObject* cache = nullptr;
  if (const THTMLObject* root = parser.Root()->FindChild("TARNWICK")) cache = root->FindChild("CACHE");
  if (!cache) cache = parser.Root()->FindChild("CACHE");
  if (!cache) return c;
  c.CacheHost = plat::Trim(cache->GetAttribute("HOST"));
  const int64_t port = EasyStrToInt64(cache->GetAttribute("PORT"));
  c.CachePort = port > 0 && port <= 65535 ? int(port) : 0;
  return c;
}
