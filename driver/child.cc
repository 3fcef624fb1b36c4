// SPDX-License-Identifier: Apache-2.0
// Running cups-driverd and other driver programs, with a time limit.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

#include "cli/cli.h"
#include "driver/driver.h"

namespace driver {

namespace {

// The child the alarm stops: one at a time.
volatile sig_atomic_t runningChild = 0;
volatile sig_atomic_t childTimedOut = 0;

extern "C" void stopRunningChild(int) {
  const pid_t pid = runningChild;
  if (pid > 0) {
    // Its whole group: a shell script's own children hold the pipe too.
    kill(-pid, SIGKILL);
    kill(pid, SIGKILL);
    childTimedOut = 1;
  }
}

// Arms the alarm for one child and restores the previous handler after.
class Deadline {
 public:
  Deadline(pid_t pid, std::chrono::seconds timeout) {
    struct sigaction action {};
    action.sa_handler = stopRunningChild;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGALRM, &action, &previous_);
    childTimedOut = 0;
    runningChild = pid;
    alarm(static_cast<unsigned>(timeout.count()));
  }
  ~Deadline() {
    alarm(0);
    runningChild = 0;
    sigaction(SIGALRM, &previous_, nullptr);
  }
  Deadline(const Deadline&) = delete;
  Deadline& operator=(const Deadline&) = delete;

 private:
  struct sigaction previous_ {};
};

std::string exitReason(int status) {
  if (WIFEXITED(status))
    return "exited with status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status))
    return std::string("was killed by signal ") + strsignal(WTERMSIG(status));
  return "stopped";
}

}  // namespace

ChildOutput runChild(const std::string& path,
                     const std::vector<std::string>& args,
                     std::chrono::seconds timeout) {
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return {{}, std::strerror(errno)};

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setpgroup(&attributes, 0);
  // The alarm's handler is not the child's business.
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGALRM);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF);

  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (const std::string& arg : args)
    argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int spawnError = posix_spawn(&pid, path.c_str(), &actions, &attributes,
                                     argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(pipeFds[1]);
  if (spawnError != 0) {
    close(pipeFds[0]);
    return {{}, std::strerror(spawnError)};
  }

  ChildOutput output;
  int status = 0;
  bool timedOut = false;
  {
    const Deadline deadline(pid, timeout);
    cli::LoadResult read = cli::readPpd(pipeFds[0]);
    close(pipeFds[0]);  // a child still writing gets SIGPIPE
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    timedOut = childTimedOut != 0;
    output.text = std::move(read.text);
    output.error = std::move(read.error);
  }
  if (timedOut) {
    output.error = "gave no answer within " + std::to_string(timeout.count()) +
                   " s and was stopped";
  } else if (output.error.empty() &&
             !(WIFEXITED(status) && WEXITSTATUS(status) == 0)) {
    output.error = exitReason(status);
  }
  if (!output.error.empty()) output.text.clear();
  return output;
}

}  // namespace driver
