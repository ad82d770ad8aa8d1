#pragma once
// Permission tests that still mean something when the tests run as root, who
// passes every permission check: the body runs in a child process that gave
// up root's rights. Run as an ordinary user, the tests run the body as well,
// in a child, so that limits set there do not reach the test program.

#include <cstdio>
#include <filesystem>
#include <functional>
#include <grp.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace reelwork::test {

inline constexpr uid_t kOrdinaryId = 65534; // "nobody" on Debian

// The body's result when the child cannot reach the test folder as an
// ordinary user (a parent folder closed to others): the test is skipped.
inline constexpr int kUnreachable = 124;

// Hands `path` and everything under it to the ordinary user (as root only).
inline void GiveToOrdinaryUser(const std::filesystem::path &path) {
  if (::geteuid() != 0)
    return;
  std::error_code ec;
  if (::lchown(path.c_str(), kOrdinaryId, kOrdinaryId) != 0)
    return;
  if (!std::filesystem::is_directory(std::filesystem::symlink_status(path, ec)))
    return;
  for (const auto &entry : std::filesystem::recursive_directory_iterator(path, ec))
    if (::lchown(entry.path().c_str(), kOrdinaryId, kOrdinaryId) != 0)
      return;
}

// Runs `body` in a child process and returns its result (0 to 255), or -1
// when the child died. With `ordinary` and the tests run as root, the child
// first becomes the ordinary user; when it cannot, it returns 125.
inline int RunInChild(const std::function<int()> &body, bool ordinary = true) {
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0)
    return -1;
  if (pid == 0) {
    if (ordinary && ::geteuid() == 0) {
      if (::setgroups(0, nullptr) != 0 || ::setgid(kOrdinaryId) != 0 || ::setuid(kOrdinaryId) != 0 ||
          ::geteuid() == 0)
        ::_exit(125);
    }
    ::_exit(body());
  }
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid)
    return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace reelwork::test
