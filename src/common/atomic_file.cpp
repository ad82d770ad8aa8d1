#include "common/atomic_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace reelwork {

namespace fs = std::filesystem;

namespace {

struct Outcome {
  SaveFailure::Kind kind = SaveFailure::None;
  int code = 0; // errno, when the system said why
};

Outcome Failed(int code) { return {SaveFailure::CannotWrite, code}; }

// Follows a chain of symbolic links to the path it ends at, which need not
// exist yet. Relative links count from the folder of the link.
std::optional<fs::path> FollowLinks(fs::path path) {
  for (int hops = 0; hops < 40; ++hops) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(path, ec)))
      return path;
    const fs::path next = fs::read_symlink(path, ec);
    if (ec)
      return std::nullopt;
    path = next.is_absolute() ? next : (path.parent_path() / next).lexically_normal();
  }
  return std::nullopt; // a loop of links
}

bool WriteAll(int fd, const char *data, size_t size, off_t offset) {
  while (size > 0) {
    const ssize_t written = ::pwrite(fd, data, size, offset);
    if (written < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    data += written;
    size -= static_cast<size_t>(written);
    offset += written;
  }
  return true;
}

std::optional<std::string> ReadAll(int fd) {
  std::string content;
  char buffer[65536];
  off_t offset = 0;
  for (;;) {
    const ssize_t got = ::pread(fd, buffer, sizeof buffer, offset);
    if (got < 0) {
      if (errno == EINTR)
        continue;
      return std::nullopt;
    }
    if (got == 0)
      return content;
    content.append(buffer, static_cast<size_t>(got));
    offset += got;
  }
}

// Beside the old file, then renamed over it. `old` is the old file's status,
// or null for a new file. A folder that refuses the new file is reported with
// `folderRefused`, so that the caller can write in place instead.
Outcome ReplaceByRename(const fs::path &target, std::string_view bytes, const struct stat *old, bool &folderRefused) {
  folderRefused = false;
  std::string tmpl = target.string() + ".XXXXXX";
  const int fd = ::mkstemp(tmpl.data());
  if (fd < 0) {
    folderRefused = errno == EACCES || errno == EPERM || errno == EROFS;
    return Failed(errno);
  }
  auto abandon = [&](int code) {
    ::close(fd);
    ::unlink(tmpl.c_str());
    return Failed(code);
  };
  if (old) {
    // The new file takes the old one's owner (when allowed) and permissions.
    if (::fchown(fd, old->st_uid, old->st_gid) != 0) {
      // Another owner is only possible for the administrator; keep ours.
    }
    ::fchmod(fd, old->st_mode & 07777);
  } else {
    ::fchmod(fd, 0644);
  }
  if (!WriteAll(fd, bytes.data(), bytes.size(), 0) || ::fsync(fd) != 0)
    return abandon(errno);
  if (::close(fd) != 0) {
    const int code = errno;
    ::unlink(tmpl.c_str());
    return Failed(code);
  }
  if (::rename(tmpl.c_str(), target.c_str()) != 0) {
    const int code = errno;
    ::unlink(tmpl.c_str());
    // A sticky folder lets us create files but not replace another's.
    folderRefused = code == EACCES || code == EPERM;
    return Failed(code);
  }
  return {};
}

// Overwrites the file itself. The room for the new content is reserved before
// any byte changes, and the old content is written back if the write fails.
Outcome RewriteInPlace(const fs::path &target, std::string_view bytes) {
  const int fd = ::open(target.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    // A file we may write but not read can still be replaced, without the
    // safety copy.
    const int writeOnly = errno == EACCES ? ::open(target.c_str(), O_WRONLY | O_CLOEXEC) : -1;
    if (writeOnly < 0)
      return Failed(errno);
    const bool written = ::posix_fallocate(writeOnly, 0, static_cast<off_t>(bytes.size())) == 0 &&
                         WriteAll(writeOnly, bytes.data(), bytes.size(), 0) &&
                         ::ftruncate(writeOnly, static_cast<off_t>(bytes.size())) == 0 && ::fsync(writeOnly) == 0;
    const int code = errno;
    ::close(writeOnly);
    return written ? Outcome{} : Failed(code);
  }
  auto close = [&](Outcome outcome) {
    ::close(fd);
    return outcome;
  };
  const auto old = ReadAll(fd);
  if (!old)
    return close(Failed(errno));
  if (bytes.size() > old->size()) {
    const int code = ::posix_fallocate(fd, 0, static_cast<off_t>(bytes.size()));
    if (code != 0) {
      // The file may have grown without taking the new content: shrink it back.
      if (::ftruncate(fd, static_cast<off_t>(old->size())) != 0) {
        // Nothing more can be done; the old bytes themselves are untouched.
      }
      return close(Failed(code));
    }
  }
  if (!WriteAll(fd, bytes.data(), bytes.size(), 0) || ::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0 ||
      ::fsync(fd) != 0) {
    const int code = errno;
    if (WriteAll(fd, old->data(), old->size(), 0) && ::ftruncate(fd, static_cast<off_t>(old->size())) == 0)
      ::fsync(fd);
    return close(Failed(code));
  }
  if (::close(fd) != 0)
    return Failed(errno);
  return {};
}

Outcome Save(const fs::path &target, std::string_view bytes) {
  struct stat st {};
  if (::stat(target.c_str(), &st) != 0) {
    if (errno != ENOENT)
      return Failed(errno);
    bool folderRefused = false;
    return ReplaceByRename(target, bytes, nullptr, folderRefused);
  }
  if (!S_ISREG(st.st_mode))
    return {SaveFailure::NotAFile, 0};
  const bool systemAllows = ::access(target.c_str(), W_OK) == 0;
  if (!SaveAllowed(st.st_mode, systemAllows, ::geteuid() == 0))
    return {SaveFailure::WriteProtected, systemAllows ? 0 : errno};
  if (st.st_nlink <= 1) {
    // Hard links share the file: only an in-place write reaches all of them.
    bool folderRefused = false;
    const Outcome renamed = ReplaceByRename(target, bytes, &st, folderRefused);
    if (renamed.kind == SaveFailure::None || !folderRefused)
      return renamed;
  }
  return RewriteInPlace(target, bytes);
}

} // namespace

bool SaveAllowed(mode_t mode, bool systemAllowsWrite, bool isRoot) {
  if (!systemAllowsWrite)
    return false;
  return !isRoot || (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
}

bool WriteFileSafely(const fs::path &path, std::string_view bytes, SaveFailure *failure) {
  const auto target = FollowLinks(path);
  const Outcome outcome = target ? Save(*target, bytes) : Failed(ELOOP);
  if (outcome.kind == SaveFailure::None)
    return true;
  if (failure) {
    failure->kind = outcome.kind;
    failure->path = (target ? *target : path).string();
    failure->reason = outcome.code != 0 ? std::strerror(outcome.code) : std::string();
  }
  return false;
}

bool WriteFileAtomically(const fs::path &path, std::string_view bytes, std::string *error) {
  SaveFailure failure;
  if (WriteFileSafely(path, bytes, &failure))
    return true;
  if (error) {
    switch (failure.kind) {
    case SaveFailure::WriteProtected:
      *error = failure.path + " is write-protected";
      break;
    case SaveFailure::NotAFile:
      *error = failure.path + " is not a regular file";
      break;
    default:
      *error = "Cannot write " + failure.path;
      break;
    }
    if (!failure.reason.empty())
      *error += ": " + failure.reason;
  }
  return false;
}

} // namespace reelwork
