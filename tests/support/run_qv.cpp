#include "support/run_qv.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace qv::testing {
namespace {

constexpr int kTimeoutMs = 60'000;
constexpr uid_t kNobody = 65534;

long NowMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000L + now.tv_nsec / 1'000'000L;
}

// Child side: only async-signal-safe calls between fork and exec.
[[noreturn]] void ExecChild(const std::string& binary, char* const* argv, const char* workdir,
                            int outFd, int errFd, bool asNobody, const char* input) {
  const int inFd = open(input, O_RDONLY | O_CLOEXEC);
  if (inFd >= 0) dup2(inFd, STDIN_FILENO);
  dup2(outFd, STDOUT_FILENO);
  dup2(errFd, STDERR_FILENO);
  if (asNobody && geteuid() == 0 &&
      (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)) {
    _exit(125);
  }
  if (workdir != nullptr && chdir(workdir) != 0) _exit(126);
  execv(binary.c_str(), argv);
  _exit(127);
}

// Drains both pipes until they close or the deadline passes.
bool Collect(int outFd, int errFd, RunResult& result) {
  std::array<pollfd, 2> fds{{{outFd, POLLIN, 0}, {errFd, POLLIN, 0}}};
  std::array<std::string*, 2> sinks{&result.output, &result.errors};
  int openCount = 2;
  const long deadline = NowMs() + kTimeoutMs;
  while (openCount > 0) {
    const long left = deadline - NowMs();
    if (left <= 0) return false;
    const int ready = poll(fds.data(), fds.size(), static_cast<int>(left));
    if (ready < 0 && errno != EINTR) return false;
    for (size_t i = 0; i < fds.size(); ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        fds[i].fd = -1;
        --openCount;
      }
    }
  }
  return true;
}

}  // namespace

RunResult RunQv(const std::string& binary, const std::vector<std::string>& args,
                const std::string& workdir, bool asNobody, const std::string& input) {
  RunResult result;
  std::vector<std::string> argStore{"qv"};
  argStore.insert(argStore.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argStore) argv.push_back(arg.data());
  argv.push_back(nullptr);

  int outPipe[2];
  int errPipe[2];
  if (pipe2(outPipe, O_CLOEXEC) != 0) return result;
  if (pipe2(errPipe, O_CLOEXEC) != 0) {
    close(outPipe[0]);
    close(outPipe[1]);
    return result;
  }
  const pid_t child = fork();
  if (child == 0) {
    ExecChild(binary, argv.data(), workdir.empty() ? nullptr : workdir.c_str(), outPipe[1],
              errPipe[1], asNobody, input.c_str());
  }
  close(outPipe[1]);
  close(errPipe[1]);
  if (child < 0) {
    close(outPipe[0]);
    close(errPipe[0]);
    return result;
  }
  if (!Collect(outPipe[0], errPipe[0], result)) kill(child, SIGKILL);
  close(outPipe[0]);
  close(errPipe[0]);

  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) {
    result.exitStatus = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.exitStatus = 128 + WTERMSIG(status);
  }
  return result;
}

}  // namespace qv::testing
