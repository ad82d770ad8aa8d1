#include "script/project_from_vobs.h"

#include <QDir>
#include <QFileInfo>
#include <exception>
#include <filesystem>
#include <system_error>

#include "common/atomic_file.h"
#include "engine/d2v.h"
#include "engine/d2v_writer.h"
#include "engine/dvd_folder.h"

namespace fs = std::filesystem;

namespace reelwork {

namespace {

fs::path ToPath(const QString &path) { return fs::path(path.toStdString()); }
QString FromPath(const fs::path &path) { return QString::fromStdString(path.string()); }

QStringList PathList(const std::vector<fs::path> &paths) {
  QStringList list;
  for (const auto &p : paths)
    list.append(FromPath(p));
  return list;
}

// Whether the project at `path` names exactly these files.
bool ListsSameFiles(const QString &path, const QStringList &vobs) {
  try {
    const auto listed = engine::ReadD2vProject(ToPath(path));
    if (listed.size() != static_cast<size_t>(vobs.size()))
      return false;
    for (size_t i = 0; i < listed.size(); ++i) {
      std::error_code ec;
      if (!fs::equivalent(listed[i], ToPath(vobs[static_cast<qsizetype>(i)]), ec))
        return false;
    }
    return true;
  } catch (const std::exception &) {
    return false; // no project we can read: never reused, never replaced
  }
}

} // namespace

DiscChoice ReadDiscChoice(const QString &path) {
  const QFileInfo info(path);
  DiscChoice choice;
  const QString suffix = info.suffix().toUpper();
  if (info.isDir() || suffix == "IFO") {
    choice.disc = true;
    const QString folder = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
    if (const auto title = engine::LargestTitleSet(ToPath(folder))) {
      choice.vobs = PathList(title->vobs);
      choice.projectName = QString("VTS_%1.d2v").arg(title->number, 2, 10, QChar('0'));
    }
  } else if (suffix == "VOB") {
    choice.disc = true;
    const auto vobs = engine::TitleVobsOf(ToPath(info.absoluteFilePath()));
    choice.vobs = PathList(vobs);
    const QString first = QFileInfo(choice.vobs.front()).completeBaseName();
    // VTS_01_1.VOB and its followers make VTS_01.d2v.
    choice.projectName = (vobs.size() > 1 || first.endsWith("_1") ? first.left(first.lastIndexOf('_')) : first) + ".d2v";
  }
  return choice;
}

QString ProjectPathFor(const QString &folder, const QString &name, const QStringList &vobs, bool &reuse) {
  const QDir dir(folder);
  const QString base = QFileInfo(name).completeBaseName();
  reuse = false;
  for (int n = 1;; ++n) {
    const QString candidate = dir.filePath(n == 1 ? name : QString("%1-%2.d2v").arg(base).arg(n));
    if (!QFileInfo::exists(candidate))
      return candidate;
    if (ListsSameFiles(candidate, vobs)) {
      reuse = true;
      return candidate;
    }
  }
}

QString DiscText(int language, int row) {
  static const char *const kTexts[][2] = {
      {"Indexing the VOB files...", "Индексирование VOB-файлов..."},
      {"Cannot make the D2V project", "Не могу создать D2V-проект"},
      {"No VOB files of a title (VTS_nn_1.VOB onwards) in", "Нет VOB-файлов фильма (VTS_nn_1.VOB и далее) в"},
      {"Cancel", "Отмена"},
  };
  return QString::fromUtf8(kTexts[row][language == 0 ? 0 : 1]);
}

void OpenD2VOrDisc(SourceOpener &opener, UserDialogs &dialogs, int language, const ProgressRunner &runner) {
  const auto chosen = dialogs.askOpenFileName(kD2VOrDiscFilter);
  if (!chosen || chosen->isEmpty())
    return;
  const DiscChoice choice = ReadDiscChoice(*chosen);
  if (!choice.disc) {
    opener.OpenD2VPath(*chosen);
    return;
  }
  if (choice.vobs.isEmpty()) {
    dialogs.showMessage(DiscText(language, kNoTitlesText) + " " + QDir::toNativeSeparators(*chosen));
    return;
  }
  bool reuse = false;
  QString project = ProjectPathFor(QFileInfo(choice.vobs.front()).absolutePath(), choice.projectName, choice.vobs, reuse);
  if (!reuse) {
    std::vector<fs::path> vobs;
    for (const QString &vob : choice.vobs)
      vobs.push_back(ToPath(vob));
    std::string text;
    try {
      const bool done = runner(DiscText(language, kIndexingText), [&](const engine::ProgressFn &progress) {
        text = engine::MakeD2vProject(vobs, {}, progress);
      });
      if (!done)
        return;
    } catch (const std::exception &e) {
      dialogs.showMessage(DiscText(language, kCannotMakeText), QString::fromStdString(e.what()));
      return;
    }
    std::string error;
    if (!WriteFileAtomically(ToPath(project), text, &error)) {
      // A folder that cannot be written (a disc, a share): the user picks one.
      const auto saveAs = dialogs.askSaveFileName(kD2VFilter);
      if (!saveAs || saveAs->isEmpty())
        return;
      project = QFileInfo(*saveAs).suffix().isEmpty() ? *saveAs + ".d2v" : *saveAs;
      if (!WriteFileAtomically(ToPath(project), text, &error)) {
        dialogs.showMessage(DiscText(language, kCannotMakeText),
                            QDir::toNativeSeparators(project) + ": " + QString::fromStdString(error));
        return;
      }
    }
  }
  opener.OpenD2VPath(project);
}

} // namespace reelwork
