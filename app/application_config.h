// What the program reads of its look-and-behaviour file "Application.cfg"
// (a tag file, root TARNWICK, read and never written): the Duskwire cache
// server of its CACHE tag.
#pragma once
#include <string>

struct TApplicationConfig {
  std::string CacheHost;  // HOST of CACHE; "" when there is none
  int CachePort = 0;      // PORT of CACHE; 0 when there is none or it is no port
};

// A missing file or tag leaves the values empty and 0.
TApplicationConfig ReadApplicationConfig(const std::string& fileName);
