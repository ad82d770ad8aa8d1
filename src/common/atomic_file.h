#pragma once
// Saving files the way their owner keeps them: a file the user protected is
// refused, a link is written through to the file it names, and the old text is
// never lost to a save that fails half way.

#include <filesystem>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace reelwork {

// Why a save did not happen. The file on disk is as it was in every case, and
// no temporary file is left behind.
struct SaveFailure {
  enum Kind {
    None,
    WriteProtected, // the user may not write the file (or it has no write permission at all)
    NotAFile,       // a folder, a device, a pipe...
    CannotWrite,    // the system refused or failed: no space, no folder, read-only disk...
    Unreadable,     // the file holds what could not be read, so rewriting it would lose that
  };
  Kind kind = None;
  std::string path;   // the file that was to be written (for a link, the file it names)
  std::string reason; // the system's reason, when there is one
};

// Whether a save may change a file of permissions `mode`, given whether the
// system lets this process write it (access(W_OK)). The administrator passes
// every permission check, so for root a file that nobody may write counts as
// protected: it was made read-only on purpose.
bool SaveAllowed(mode_t mode, bool systemAllowsWrite, bool isRoot);

// Writes `bytes` as the whole content of `path`:
// - a symbolic link is followed to the file it names, which gets the new
//   content; the link stays a link;
// - an existing file keeps its permissions; a file the user may not write is
//   refused (see SaveAllowed);
// - normally the content goes to a new file beside the old one, which is then
//   renamed over it, so that the old file stays whole until the new one is;
// - a file with further hard links, or in a folder the user cannot write, is
//   rewritten in place instead: the space is reserved first and the old bytes
//   are put back when the write fails.
bool WriteFileSafely(const std::filesystem::path &path, std::string_view bytes, SaveFailure *failure = nullptr);

// The same, with the failure as one line of text for logs and messages in
// programs without a user interface language.
bool WriteFileAtomically(const std::filesystem::path &path, std::string_view bytes,
                         std::string *error = nullptr);

} // namespace reelwork
