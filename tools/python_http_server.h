// Python's http.server serving a folder on 127.0.0.1, as an ordinary
// third-party HTTP peer for interop tests and benchmarks (POSIX only; on
// Windows, and where python3 is missing, Ok() is false).
#pragma once
#include <string>

class PythonHttpServer {
 public:
  // Starts the server over folder and waits until it listens.
  explicit PythonHttpServer(const std::string& folder);
  ~PythonHttpServer();  // stops it
  PythonHttpServer(const PythonHttpServer&) = delete;
  PythonHttpServer& operator=(const PythonHttpServer&) = delete;

  bool Ok() const { return ok_; }
  int Port() const { return port_; }
  std::string Url(const std::string& path) const;

 private:
  long pid_ = -1;
  int port_ = 0;
  bool ok_ = false;
};
