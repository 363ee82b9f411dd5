// A console program (tarnctl, natively or as the Windows build under Wine)
// as a child process spoken to through pipes, and the Windows names of this
// system's paths, shared by the benchmarks that run the Windows build.
#pragma once
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

class Console {
 public:
  explicit Console(const std::vector<std::string>& argv) {
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, 2);
      for (int fd : {in[0], in[1], out[0], out[1], null}) close(fd);
      std::vector<char*> args;
      for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      execvp(args[0], args.data());
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    to_ = fdopen(in[1], "w");
    from_ = fdopen(out[0], "r");
  }
  ~Console() {
    if (to_) {
      std::fputs("QUIT\n", to_);
      std::fclose(to_);
    }
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
    if (from_) std::fclose(from_);  // after the child: Wine's helpers may hold the pipe
  }
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  // Sends a command and answers the first line that begins with one of the
  // prefixes ("" when the console ended first).
  std::string Ask(const std::string& command, const std::vector<std::string>& prefixes) {
    if (!to_ || !from_) return "";
    std::fprintf(to_, "%s\n", command.c_str());
    std::fflush(to_);
    char line[4096];
    while (std::fgets(line, sizeof line, from_)) {
      for (const std::string& p : prefixes)
        if (std::strncmp(line, p.c_str(), p.size()) == 0) return line;
    }
    return "";
  }

 private:
  pid_t pid_ = -1;
  FILE* to_ = nullptr;
  FILE* from_ = nullptr;
};

// The Windows name of a path of this system under Wine (drive Z: is the
// root).
inline std::string WinePath(const std::string& path) {
  std::string p = "Z:" + path;
  std::replace(p.begin(), p.end(), '/', '\\');
  return p;
}
