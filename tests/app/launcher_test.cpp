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

// What the user is told when VirtualDubMod does not start: what is missing,
// and where to set the folder.
TEST_F(Launcher, TheMessageSaysWhatIsMissing) {
  auto never = [](const LaunchPlan &) { return false; };
  auto always = [](const LaunchPlan &) { return true; };

  const QString noFolder = StartVirtualDubMod("", "/rips/a.avs", "/usr/bin/wine", English, always);
  EXPECT_EQ(noFolder, "Cannot find VirtualDubMod!\nIts folder is not set: choose it in Options (\"VirtualDubMod Path\").");
  EXPECT_TRUE(StartVirtualDubMod("  ", "/rips/a.avs", "", Russian, always).contains(QString::fromUtf8("Опциях")));

  const QString noProgram = StartVirtualDubMod(path("nowhere"), "/rips/a.avs", "/usr/bin/wine", Russian, always);
  EXPECT_TRUE(noProgram.startsWith("Cannot find VirtualDubMod!\n"));
  EXPECT_TRUE(noProgram.contains(path("nowhere") + "/VirtualDubMod.exe")) << noProgram.toStdString();

  QDir(dir.path()).mkpath("vdm");
  makeProgram("vdm/VirtualDubMod.exe", "MZ\x90\x00", false);
  const QString noWine = StartVirtualDubMod(path("vdm"), "/rips/a.avs", "", English, always);
  EXPECT_EQ(noWine, path("vdm/VirtualDubMod.exe") + " is a Windows program, and wine, which runs it, is not installed.");
  EXPECT_TRUE(StartVirtualDubMod(path("vdm"), "/rips/a.avs", "/usr/bin/wine", English, always).isEmpty());
  EXPECT_EQ(StartVirtualDubMod(path("vdm"), "/rips/a.avs", "/usr/bin/wine", English, never),
            "/usr/bin/wine could not be started.");

  QDir(dir.path()).mkpath("native");
  makeProgram("native/VirtualDubMod.exe", "#!/bin/sh\n", false);
  EXPECT_EQ(StartVirtualDubMod(path("native"), "/rips/a.avs", "", English, always),
            path("native/VirtualDubMod.exe") + " may not be run: it lacks the permission to execute.");
}
