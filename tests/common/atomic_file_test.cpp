// Saving over the user's files: protected files, links, folders that cannot be
// written, and failures half way. The permission cases run in a child process
// as an ordinary user, since root passes every permission check.

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "common/atomic_file.h"
#include "support/ordinary_user.h"
#include "support/temp_dir.h"

using namespace reelwork;
using reelwork::test::RunInChild;

namespace {

// A failed check inside a child: its number becomes the child's result.
#define CHILD_CHECK(number, condition)                                                                                 \
  do {                                                                                                                 \
    if (!(condition))                                                                                                  \
      return number;                                                                                                   \
  } while (0)

class SaveTest : public reelwork::test::TempDirTest {
protected:
  std::string at(const QString &name) const { return path(name).toStdString(); }
  mode_t modeOf(const QString &name) const {
    struct stat st {};
    return ::lstat(at(name).c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
  }
  QStringList entries(const QString &folder = ".") const {
    return QDir(path(folder)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                                        QDir::Name);
  }
  // Runs `body` as an ordinary user; skips the test where the child cannot
  // reach the folder.
  int asOrdinaryUser(const std::function<int()> &body) {
    test::GiveToOrdinaryUser(dir.path().toStdString());
    return RunInChild([&] {
      if (::access(dir.path().toLocal8Bit().constData(), X_OK) != 0)
        return test::kUnreachable;
      return body();
    });
  }
};

#define SKIP_IF_UNREACHABLE(result)                                                                                    \
  if ((result) == test::kUnreachable)                                                                                  \
  GTEST_SKIP() << "the test folder cannot be reached by an ordinary user"

} // namespace

TEST(SavePermission, RootRespectsFilesThatNobodyMayWrite) {
  EXPECT_FALSE(SaveAllowed(0444, true, true));
  EXPECT_FALSE(SaveAllowed(0400, true, true));
  EXPECT_TRUE(SaveAllowed(0200, true, true));
  EXPECT_TRUE(SaveAllowed(0464, true, true)); // a group may write: not protected on purpose
  // Whatever the bits, what the system refuses is refused, and what it allows
  // an ordinary user (an access list, say) is allowed.
  EXPECT_FALSE(SaveAllowed(0666, false, false));
  EXPECT_FALSE(SaveAllowed(0666, false, true));
  EXPECT_TRUE(SaveAllowed(0444, true, false));
}

TEST_F(SaveTest, ReadOnlyFileIsRefusedAndLeftAsItIs) {
  writeBytes("movie.avs", "old\r\n");
  ::chmod(at("movie.avs").c_str(), 0444);
  SaveFailure failure;
  // Whoever runs the tests, root included.
  EXPECT_FALSE(WriteFileSafely(at("movie.avs"), "new\r\n", &failure));
  EXPECT_EQ(failure.kind, SaveFailure::WriteProtected);
  EXPECT_EQ(failure.path, at("movie.avs"));
  EXPECT_EQ(readBytes("movie.avs"), "old\r\n");
  EXPECT_EQ(modeOf("movie.avs"), 0444u);
  EXPECT_EQ(entries(), QStringList{"movie.avs"});

  // The same for an ordinary user, and for another user's file in the
  // user's own folder: the folder would let a rename replace it, the file
  // itself may not be written.
  writeBytes("theirs.avs", "theirs\r\n");
  const int result = asOrdinaryUser([&] {
    SaveFailure inChild;
    CHILD_CHECK(1, !WriteFileSafely(at("movie.avs"), "mine\r\n", &inChild));
    CHILD_CHECK(2, inChild.kind == SaveFailure::WriteProtected);
    return 0;
  });
  SKIP_IF_UNREACHABLE(result);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(readBytes("movie.avs"), "old\r\n");
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(at("theirs.avs").c_str(), 0, 0), 0);
    ::chmod(at("theirs.avs").c_str(), 0644);
    const int other = RunInChild([&] {
      SaveFailure inChild;
      CHILD_CHECK(3, !WriteFileSafely(at("theirs.avs"), "mine\r\n", &inChild));
      CHILD_CHECK(4, inChild.kind == SaveFailure::WriteProtected);
      return 0;
    });
    EXPECT_EQ(other, 0);
    EXPECT_EQ(readBytes("theirs.avs"), "theirs\r\n");
  }
}

TEST_F(SaveTest, LinksAreWrittenThroughToTheirFile) {
  QDir(dir.path()).mkpath("real");
  writeBytes("real/movie.avs", "old\r\n");
  ::chmod(at("real/movie.avs").c_str(), 0640);
  // A relative link, and a link to that link.
  ASSERT_EQ(::symlink("real/movie.avs", at("link.avs").c_str()), 0);
  ASSERT_EQ(::symlink(at("link.avs").c_str(), at("link2.avs").c_str()), 0);

  SaveFailure failure;
  ASSERT_TRUE(WriteFileSafely(at("link2.avs"), "new\r\n", &failure)) << failure.reason;
  EXPECT_EQ(readBytes("real/movie.avs"), "new\r\n");
  EXPECT_TRUE(QFileInfo(path("link.avs")).isSymLink());
  EXPECT_TRUE(QFileInfo(path("link2.avs")).isSymLink());
  EXPECT_EQ(modeOf("real/movie.avs"), 0640u);
  EXPECT_EQ(entries("real"), QStringList{"movie.avs"});

  // A protected file stays protected behind its link.
  ::chmod(at("real/movie.avs").c_str(), 0444);
  EXPECT_FALSE(WriteFileSafely(at("link.avs"), "newer\r\n", &failure));
  EXPECT_EQ(failure.kind, SaveFailure::WriteProtected);
  EXPECT_EQ(failure.path, at("real/movie.avs"));
  EXPECT_EQ(readBytes("real/movie.avs"), "new\r\n");

  // A loop of links is reported, not followed for ever.
  ASSERT_EQ(::symlink("b.avs", at("a.avs").c_str()), 0);
  ASSERT_EQ(::symlink("a.avs", at("b.avs").c_str()), 0);
  EXPECT_FALSE(WriteFileSafely(at("a.avs"), "x", &failure));
  EXPECT_EQ(failure.kind, SaveFailure::CannotWrite);
}

TEST_F(SaveTest, HardLinkedFileIsRewrittenInPlace) {
  writeBytes("movie.avs", "a longer old text\r\n");
  ASSERT_EQ(::link(at("movie.avs").c_str(), at("other.avs").c_str()), 0);
  struct stat before {};
  ::stat(at("movie.avs").c_str(), &before);

  ASSERT_TRUE(WriteFileSafely(at("movie.avs"), "short\r\n"));
  EXPECT_EQ(readBytes("movie.avs"), "short\r\n"); // shorter: the rest is cut off
  EXPECT_EQ(readBytes("other.avs"), "short\r\n");
  ASSERT_TRUE(WriteFileSafely(at("other.avs"), "a much longer new text\r\n"));
  EXPECT_EQ(readBytes("movie.avs"), "a much longer new text\r\n");
  struct stat after {};
  ::stat(at("movie.avs").c_str(), &after);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_nlink, 2u);
  EXPECT_EQ(entries(), (QStringList{"movie.avs", "other.avs"}));
}

TEST_F(SaveTest, WritableFileInAFolderThatIsNotIsSavedInPlace) {
  QDir(dir.path()).mkpath("ro");
  writeBytes("ro/movie.avs", "old text of the script\r\n");
  writeBytes("ro/locked.avs", "locked\r\n");
  ::chmod(at("ro/locked.avs").c_str(), 0444);
  ::chmod(at("ro").c_str(), 0555);
  const int result = asOrdinaryUser([&] {
    SaveFailure failure;
    CHILD_CHECK(1, WriteFileSafely(at("ro/movie.avs"), "new\r\n", &failure));
    // A new file cannot be made there, and nothing is left behind.
    CHILD_CHECK(2, !WriteFileSafely(at("ro/new.avs"), "x", &failure));
    CHILD_CHECK(3, failure.kind == SaveFailure::CannotWrite && !failure.reason.empty());
    CHILD_CHECK(4, !WriteFileSafely(at("ro/locked.avs"), "x", &failure));
    CHILD_CHECK(5, failure.kind == SaveFailure::WriteProtected);
    return 0;
  });
  ::chmod(at("ro").c_str(), 0755);
  SKIP_IF_UNREACHABLE(result);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(readBytes("ro/movie.avs"), "new\r\n");
  EXPECT_EQ(readBytes("ro/locked.avs"), "locked\r\n");
  EXPECT_EQ(entries("ro"), (QStringList{"locked.avs", "movie.avs"}));
}

// A save that runs out of room (here a file size limit) leaves the old text
// and no temporary file, both when replacing and when writing in place.
TEST_F(SaveTest, ASaveThatFailsHalfWayLeavesTheOldFileWhole) {
  const std::string old(300, 'o');
  const std::string large(20000, 'n');
  writeBytes("movie.avs", QByteArray::fromStdString(old));
  writeBytes("linked.avs", QByteArray::fromStdString(old));
  ASSERT_EQ(::link(at("linked.avs").c_str(), at("second.avs").c_str()), 0);
  const int result = RunInChild(
      [&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        CHILD_CHECK(1, ::setrlimit(RLIMIT_FSIZE, &limit) == 0);
        SaveFailure failure;
        CHILD_CHECK(2, !WriteFileSafely(at("movie.avs"), large, &failure));
        CHILD_CHECK(3, failure.kind == SaveFailure::CannotWrite);
        CHILD_CHECK(4, !WriteFileSafely(at("linked.avs"), large, &failure));
        return 0;
      },
      false);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(readBytes("movie.avs").toStdString(), old);
  EXPECT_EQ(readBytes("linked.avs").toStdString(), old);
  EXPECT_EQ(entries(), (QStringList{"linked.avs", "movie.avs", "second.avs"}));
}

TEST_F(SaveTest, FoldersAndNewFiles) {
  QDir(dir.path()).mkpath("folder.avs");
  SaveFailure failure;
  EXPECT_FALSE(WriteFileSafely(at("folder.avs"), "x", &failure));
  EXPECT_EQ(failure.kind, SaveFailure::NotAFile);
  EXPECT_TRUE(QFileInfo(path("folder.avs")).isDir());

  ASSERT_TRUE(WriteFileSafely(at("new.avs"), "made\r\n"));
  EXPECT_EQ(readBytes("new.avs"), "made\r\n");
  EXPECT_EQ(modeOf("new.avs"), 0644u);
  // A link to a file not made yet makes that file and stays a link.
  ASSERT_EQ(::symlink("later.avs", at("pending.avs").c_str()), 0);
  ASSERT_TRUE(WriteFileSafely(at("pending.avs"), "later\r\n"));
  EXPECT_TRUE(QFileInfo(path("pending.avs")).isSymLink());
  EXPECT_EQ(readBytes("later.avs"), "later\r\n");
}
