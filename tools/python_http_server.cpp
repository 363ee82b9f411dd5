#include "tools/python_http_server.h"

#include "core/network_wrapper.h"

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

PythonHttpServer::PythonHttpServer(const std::string& folder) {
#ifndef _WIN32
  {
    TSocket probe;  // a free port for the server
    probe.Listen("127.0.0.1", 0, true);
    port_ = probe.LocalPort();
  }
  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    std::string p = std::to_string(port_);
    execlp("python3", "python3", "-m", "http.server", p.c_str(), "--bind", "127.0.0.1", "--directory",
           folder.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  pid_ = pid;
  for (int i = 0; i < 100 && !ok_ && pid > 0; ++i) {
    if (waitpid(pid, nullptr, WNOHANG) == pid) {  // python3 is not there
      pid_ = -1;
      return;
    }
    try {
      TSocket s;
      s.Connect("127.0.0.1", port_);
      ok_ = true;
    } catch (const ESocket&) {
      usleep(100000);
    }
  }
#else
  (void)folder;
#endif
}

PythonHttpServer::~PythonHttpServer() {
#ifndef _WIN32
  if (pid_ > 0) {
    kill(pid_t(pid_), SIGTERM);
    waitpid(pid_t(pid_), nullptr, 0);
  }
#endif
}

std::string PythonHttpServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}
