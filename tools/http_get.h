// One HTTP GET as the command-line tool does it: the status line and the
// response headers go to an output stream, the body to a file (or to the
// output when no file is given). Used by tarnctl.
#pragma once
#include <cstdint>
#include <ostream>
#include <string>

struct HttpGetResult {
  int code = 0;          // the status, or the client's negative code
  int64_t bytes = 0;     // body bytes written
};

HttpGetResult HttpGet(const std::string& url, const std::string& file, std::ostream& out);
