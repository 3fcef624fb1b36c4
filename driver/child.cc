// SPDX-License-Identifier: Apache-2.0
// Running cups-driverd and other driver programs by a deadline, and stopping
// everything they leave behind.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <thread>

#include "driver/driver.h"
#include "runtime/input.h"

namespace driver {

namespace {

using Clock = std::chrono::steady_clock;

std::string exitReason(int status) {
  if (WIFEXITED(status))
    return "exited with status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status))
    return std::string("was killed by signal ") + strsignal(WTERMSIG(status));
  return "stopped";
}

// Its whole group: a shell script's own children hold the pipe too.
void killGroup(pid_t pid) {
  kill(-pid, SIGKILL);
  kill(pid, SIGKILL);
}

// Waits for the child to end until the deadline; kills its group then.
// Returns its wait status; `timedOut` tells whether it was killed for the
// deadline.
int awaitExit(pid_t pid, const Deadline& deadline, bool& timedOut) {
  int status = 0;
  auto pause = std::chrono::milliseconds(1);
  for (;;) {
    const pid_t ended = waitpid(pid, &status, WNOHANG);
    if (ended == pid) return status;
    if (ended < 0 && errno != EINTR) return status;
    const auto now = Clock::now();
    if (now >= deadline.at) break;
    // A child usually ends right after closing its output: look often at
    // first, then less.
    std::this_thread::sleep_for(
        std::min<Clock::duration>(pause, deadline.at - now));
    pause = std::min(pause * 2, std::chrono::milliseconds(50));
  }
  timedOut = true;
  killGroup(pid);
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

// Writes the decimal digits of `number` at `to`; returns the end.
char* writeNumber(char* to, long number) {
  char digits[24];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + number % 10);
    number /= 10;
  } while (number > 0 && count < 24);
  while (count > 0) *to++ = digits[--count];
  return to;
}

// The children of this process as /proc lists them (its only thread's
// children), at most `most`; their count.
int childrenOfThisProcess(pid_t* children, int most) {
  char path[64] = "/proc/self/task/";
  char* end = writeNumber(path + std::strlen(path), getpid());
  std::memcpy(end, "/children", sizeof "/children");
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  char text[4096];
  ssize_t size = 0;
  for (;;) {
    const ssize_t got =
        read(fd, text + size, sizeof text - static_cast<std::size_t>(size));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    size += got;
    if (static_cast<std::size_t>(size) == sizeof text) break;
  }
  close(fd);
  int count = 0;
  long number = 0;
  bool inNumber = false;
  for (ssize_t i = 0; i < size && count < most; ++i) {
    if (text[i] >= '0' && text[i] <= '9') {
      number = number * 10 + (text[i] - '0');
      inNumber = true;
    } else if (inNumber) {
      children[count++] = static_cast<pid_t>(number);
      number = 0;
      inNumber = false;
    }
  }
  if (inNumber && count < most) children[count++] = static_cast<pid_t>(number);
  return count;
}

}  // namespace

void stopDescendants() {
  // Each round kills and reaps this process's children; what they leave
  // re-parents to this process and is found by the next. A bound, so that a
  // process that keeps forking cannot keep this going.
  for (int round = 0; round < 100; ++round) {
    pid_t children[256];
    const int count = childrenOfThisProcess(children, 256);
    if (count == 0) return;
    for (int i = 0; i < count; ++i) killGroup(children[i]);
    for (int i = 0; i < count; ++i) {
      while (waitpid(children[i], nullptr, 0) < 0 && errno == EINTR) {
      }
    }
  }
}

ChildOutput runChild(const std::string& path,
                     const std::vector<std::string>& args,
                     const Deadline& deadline) {
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return {{}, std::strerror(errno)};

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setpgroup(&attributes, 0);
  // A signal this program ignores is not the child's business.
  sigset_t defaults;
  sigemptyset(&defaults);
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

  runtime::LoadResult read = runtime::readPpd(pipeFds[0], deadline.at);
  close(pipeFds[0]);  // a child still writing gets SIGPIPE
  // A read fails at the deadline, or on output that is refused: either way
  // the child is done with at once.
  bool timedOut = !read.error.empty() && Clock::now() >= deadline.at;
  if (!read.error.empty()) killGroup(pid);
  const int status = awaitExit(pid, deadline, timedOut);
  kill(-pid, SIGKILL);  // what is left of its group once it has ended
  stopDescendants();

  ChildOutput output{std::move(read.text), std::move(read.error)};
  if (timedOut) {
    output.error = "gave no answer within " +
                   std::to_string(deadline.limit.count()) +
                   " s and was stopped";
  } else if (output.error.empty() &&
             !(WIFEXITED(status) && WEXITSTATUS(status) == 0)) {
    output.error = exitReason(status);
  }
  if (!output.error.empty()) output.text.clear();
  return output;
}

}  // namespace driver
