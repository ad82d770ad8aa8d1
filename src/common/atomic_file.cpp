#include "common/atomic_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace reelwork {

bool WriteFileAtomically(const std::filesystem::path &path, std::string_view bytes, std::string *error) {
  auto failWith = [&](const std::string &what, int code) {
    if (error)
      *error = what + ": " + std::strerror(code);
    return false;
  };
  std::string tmpl = path.string() + ".XXXXXX";
  const int fd = ::mkstemp(tmpl.data());
  if (fd < 0)
    return failWith("Cannot create " + tmpl, errno);
  // Keep the permissions of the file being replaced, or the usual ones.
  struct stat old {};
  ::fchmod(fd, ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644);

  const char *data = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    const ssize_t written = ::write(fd, data, left);
    if (written < 0) {
      if (errno == EINTR)
        continue;
      const int code = errno;
      ::close(fd);
      ::unlink(tmpl.c_str());
      return failWith("Cannot write " + path.string(), code);
    }
    data += written;
    left -= static_cast<size_t>(written);
  }
  if (::fsync(fd) != 0 || ::close(fd) != 0) {
    const int code = errno;
    ::unlink(tmpl.c_str());
    return failWith("Cannot write " + path.string(), code);
  }
  if (::rename(tmpl.c_str(), path.c_str()) != 0) {
    const int code = errno;
    ::unlink(tmpl.c_str());
    return failWith("Cannot replace " + path.string(), code);
  }
  return true;
}

} // namespace reelwork
