#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "tools/program_launcher.h"

using namespace reelwork;

class Launcher : public reelwork::test::TempDirTest {
protected:
  void makeProgram(const QString &name, const QByteArray &bytes, bool executable) {
    writeBytes(name, bytes);
    auto perms = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    if (executable)
      perms |= QFileDevice::ExeOwner;
    QFile::setPermissions(path(name), perms);
  }
};

TEST_F(Launcher, FolderWithOrWithoutSeparatorStartsTheSameProgram) {
  QDir(dir.path()).mkpath("My Tools");
  makeProgram("My Tools/VirtualDubMod.exe", "#!/bin/sh\n", true);
  const QString script = "/home/u/My Rips/movie.avs";
  const auto a = PlanVirtualDubModStart(path("My Tools"), script, "");
  const auto b = PlanVirtualDubModStart(path("My Tools/"), script, "");
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->program, path("My Tools/VirtualDubMod.exe"));
  EXPECT_EQ(a->program, b->program);
  // The script path is one argument, blanks and all.
  EXPECT_EQ(a->arguments, QStringList{script});
}

TEST_F(Launcher, WindowsProgramsRunThroughWine) {
  QDir(dir.path()).mkpath("vdm");
  makeProgram("vdm/virtualdubmod.EXE", "MZ\x90\x00", false);
  const auto plan = PlanVirtualDubModStart(path("vdm") + "\\", "/rips/a b.avs", "/usr/bin/wine");
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->program, "/usr/bin/wine");
  EXPECT_EQ(plan->arguments, (QStringList{path("vdm/virtualdubmod.EXE"), "Z:\\rips\\a b.avs"}));
  // Without wine there is no way to start it.
  EXPECT_FALSE(PlanVirtualDubModStart(path("vdm"), "/rips/a.avs", ""));
}

TEST_F(Launcher, MissingProgramIsNotStarted) {
  EXPECT_FALSE(PlanVirtualDubModStart(path("nowhere"), "/rips/a.avs", "/usr/bin/wine"));
  EXPECT_FALSE(PlanVirtualDubModStart("", "/rips/a.avs", "/usr/bin/wine"));
  EXPECT_FALSE(StartDetached({path("nowhere/x"), {}}));
}
