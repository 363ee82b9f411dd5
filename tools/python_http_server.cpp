#include "tools/python_http_server.h"

#include <cstdlib>

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

PythonHttpServer::PythonHttpServer(const std::string& folder) {
#ifndef _WIN32
  // The server takes a free port itself and names it in its first line:
  // a port chosen here and handed over could be taken by another program
  // in between, whose server would then answer in its place.
  int out[2];
  if (pipe(out) != 0) return;
  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(out[1], 1);
    dup2(null, 2);
    close(out[0]);
    execlp("python3", "python3", "-u", "-m", "http.server", "0", "--bind", "127.0.0.1", "--directory",
           folder.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  pid_ = pid;
  // "Serving HTTP on 127.0.0.1 port N (http://127.0.0.1:N/) ..." once it
  // listens; nothing (the pipe's end) when python3 is not there.
  std::string line;
  char ch = 0;
  while (pid > 0 && line.size() < 512 && read(out[0], &ch, 1) == 1 && ch != '\n') line += ch;
  close(out[0]);
  const size_t at = line.find(" port ");
  if (at != std::string::npos) port_ = std::atoi(line.c_str() + at + 6);
  ok_ = port_ > 0;
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
