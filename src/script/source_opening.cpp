#include "script/source_opening.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <filesystem>

#include "app/language.h"
#include "common/file_lookup.h"
#include "common/text_codec.h"
#include "common/text_file.h"

namespace reelwork {

namespace {

// Where DVD authoring puts the first sequence header; other muxers put it a
// byte or a few further on, within the first video pack.
constexpr qint64 kSequenceHeaderOffset = 2084;
constexpr qint64 kFirstPacksEnd = 4096;

// The folder and the pattern of a search mask such as "/rip/*.AC3".
std::pair<QString, QString> SplitMask(const QString &searchMask) {
  const qsizetype slash = searchMask.lastIndexOf('/');
  if (slash < 0)
    return {QString(), searchMask};
  return {searchMask.left(slash + 1), searchMask.mid(slash + 1)};
}

// The text of a ProjectName up to and including its first ".".
QString BaseWithDot(const QString &name) {
  const qsizetype dot = name.indexOf('.');
  return dot < 0 ? name + '.' : name.left(dot + 1);
}

QString FileError(const QString &path, const QString &reason) {
  return QString("Cannot open file \"%1\". %2").arg(QDir::toNativeSeparators(path), reason);
}

// Only regular files are read: a pipe or a device named as a project or VOB
// would block the window or never end.
bool IsRegularFile(const QString &path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path.toStdString(), ec);
}

} // namespace

bool ParseMpeg2SourceParams(const QString &text, int &idct, int &cpu, bool &ipp) {
  if (text.isEmpty())
    return false;
  const QString upper = text.toUpper();
  bool found = false;
  if (const qsizetype at = upper.indexOf("IDCT="); at >= 0) {
    idct = ReadLeadingNumber(upper.mid(at + 5));
    found = true;
  }
  if (const qsizetype at = upper.indexOf("CPU="); at >= 0) {
    cpu = ReadLeadingNumber(upper.mid(at + 4));
    found = true;
  }
  if (const qsizetype at = upper.indexOf("IPP="); at >= 0) {
    ipp = upper.mid(at + 4, 1) != "F";
    found = true;
  }
  return found;
}

QString Mpeg2SourceLine(const QString &projectName, QString &mpeg2SourceSetting) {
  const QString quoted = "mpeg2source(\"" + projectName + "\"";
  if (mpeg2SourceSetting.isEmpty())
    return quoted + ")";
  // A setting without an idct part writes idct 0, the first decoder.
  int idct = 0, cpu = 0;
  bool ipp = false;
  ParseMpeg2SourceParams(mpeg2SourceSetting, idct, cpu, ipp);
  mpeg2SourceSetting = "idct=" + QString::number(idct);
  return quoted + "," + mpeg2SourceSetting + ")";
}

std::optional<QString> D2VNameFromLines(const QStringList &lines) {
  for (const QString &line : lines) {
    if (!line.toUpper().contains("MPEG2SOURCE("))
      continue;
    const qsizetype open = line.indexOf("(\"");
    if (open < 0)
      return std::nullopt;
    const QString rest = line.mid(open + 2, 256);
    const qsizetype close = rest.indexOf('"');
    if (close < 0)
      return std::nullopt;
    const QString candidate = rest.left(close);
    if (!candidate.toUpper().contains(".D2V"))
      return std::nullopt;
    return candidate;
  }
  return std::nullopt;
}

QStringList ListSearchMask(const QString &searchMask) {
  const auto [folder, pattern] = SplitMask(searchMask);
  QStringList names;
  for (const std::string &name : ListFilesNoCase(folder.toStdString(), pattern.toStdString(), true))
    names.append(QString::fromStdString(name));
  return names;
}

QString FindInfoFile(const QString &folder, const QString &extension, QString &searchMask) {
  searchMask = folder + "*." + extension;
  for (const QString &name : ListSearchMask(searchMask))
    if (name.toUpper().contains("INFO"))
      return name.toUpper();
  return {};
}

QString FindLineInFile(const QString &text, const QString &path) {
  const auto lines = ReadTextLines(path);
  if (lines)
    for (const QString &line : *lines)
      if (line.contains(text))
        return line;
  return {};
}

void ReadInfoFile(const QString &path, QString &tvSystem) {
  QString line = FindLineInFile("TV system:", path).toUpper();
  if (line.isEmpty())
    line = FindLineInFile("Video - MPEG-2", path);
  if (line.isEmpty())
    return;
  if (line.contains("PAL"))
    tvSystem = "PAL";
  if (line.contains("NTSC"))
    tvSystem = "NTSC";
}

QString FindProjectFile(const QString &folder, const QString &written) {
  if (written.isEmpty())
    return {};
  if (const auto found = FindNamedFile(folder.toStdString(), written.toStdString()))
    return QString::fromStdString(found->string());
  return {};
}

QString UnwritableInScript(const QString &name, int language) {
  const bool russian = language == Russian;
  if (name.contains('"'))
    return russian ? "Имя проекта содержит кавычку (\"), а строка mpeg2source не может её записать. "
                     "Переименуйте проект."
                   : "The project's name contains a double quote (\"), which the mpeg2source line cannot hold. "
                     "Please rename the project.";
  if (name.contains('\n') || name.contains('\r'))
    return russian ? "Имя проекта содержит перевод строки, а строка mpeg2source не может его записать. "
                     "Переименуйте проект."
                   : "The project's name contains a line break, which the mpeg2source line cannot hold. "
                     "Please rename the project.";
  std::string letter;
  if (Utf8ToCp1251(name.toStdString(), &letter))
    return {};
  const QString shown = QString::fromStdString(letter);
  return russian ? QString("Имя проекта содержит букву \"%1\", которую нельзя записать в скрипт "
                           "(скрипты хранятся в кодировке Windows-1251). Переименуйте проект.")
                       .arg(shown)
                 : QString("The project's name contains the letter \"%1\", which a script cannot hold "
                           "(scripts are Windows-1251 text). Please rename the project.")
                       .arg(shown);
}

void SourceOpener::OpenD2VFile() {
  const auto chosen = dialogs_.askOpenFileName(kD2VFilter);
  if (chosen && !chosen->isEmpty())
    OpenD2VPath(*chosen);
}

bool SourceOpener::RefuseIrregularFile(const QString &path) {
  const QFileInfo info(path);
  if (!info.exists() || info.isFile())
    return false;
  dialogs_.showMessage(WindowTextFor(WindowText::NotRegularFile, state_.Language).arg(QDir::toNativeSeparators(path)));
  return true;
}

void SourceOpener::OpenD2VPath(const QString &path) {
  if (RefuseIrregularFile(path))
    return;
  const QFileInfo info(path);
  state_.WorkDir = WithTrailingSlash(info.absolutePath());
  state_.ProjectName = info.fileName();
  const QString base = BaseWithDot(state_.ProjectName);
  if (const auto script = FindFileNoCase(state_.WorkDir.toStdString(), (base + "AVS").toStdString())) {
    state_.ScriptName = QString::fromStdString(script->filename().string());
  } else if (!WriteNewScript()) {
    return;
  }
  ReadInfo();
  script_.LoadScript(state_.ScriptPath());
  if (state_.settings[Setting::VobScan] == QLatin1String("1"))
    ScanVobHeader();
}

bool SourceOpener::WriteNewScript() {
  // A script that could not be read back is never written.
  if (const QString problem = UnwritableInScript(state_.ProjectName, state_.Language); !problem.isEmpty()) {
    dialogs_.showMessage(problem);
    return false;
  }
  editor_.setLines({});
  editor_.insertLine(0, Mpeg2SourceLine(state_.ProjectName, state_.settings[Setting::Mpeg2Source]));
  state_.ScriptName = BaseWithDot(state_.ProjectName) + "avs";
  script_.WriteScript();
  return true;
}

void SourceOpener::OpenAvsFile() {
  const auto chosen = dialogs_.askOpenFileName(kAvsFilter);
  if (chosen && !chosen->isEmpty())
    OpenAvsPath(*chosen);
}

void SourceOpener::OpenAvsPath(const QString &path) {
  if (RefuseIrregularFile(path))
    return;
  const QFileInfo info(path);
  state_.WorkDir = WithTrailingSlash(info.absolutePath());
  state_.ScriptName = info.fileName();
  if (FindD2VName(state_.ScriptPath()) && !FindProjectFile(state_.WorkDir, state_.ProjectName).isEmpty()) {
    ReadInfo();
    script_.LoadScript(state_.ScriptPath());
    if (state_.settings[Setting::VobScan] == QLatin1String("1"))
      ScanVobHeader();
    return;
  }
  dialogs_.showMessage(MessageText(MsgNoMpeg2Source, state_.Language) + " " + state_.ScriptName);
}

bool SourceOpener::FindD2VName(const QString &scriptPath) {
  editor_.setLines(ReadTextLines(scriptPath).value_or(QStringList()));
  const auto name = D2VNameFromLines(editor_.lines());
  if (!name)
    return false;
  state_.ProjectName = *name;
  return true;
}

void SourceOpener::ReadInfo() {
  state_.InfoName = FindInfoFile(state_.WorkDir, "TXT", state_.SearchMask);
  if (state_.InfoName.isEmpty())
    return;
  // The name is kept in upper case; the file is found whatever its case.
  const auto found = FindFileNoCase(state_.WorkDir.toStdString(), state_.InfoName.toStdString());
  ReadInfoFile(found ? QString::fromStdString(found->string()) : state_.WorkDir + state_.InfoName, state_.TvSystem);
}

void SourceOpener::ScanVobHeader() {
  state_.SourceWidth = 0;
  state_.SourceHeight = 0;
  state_.AspectCode = 0;

  QString d2vPath = FindProjectFile(state_.WorkDir, state_.ProjectName);
  if (d2vPath.isEmpty())
    d2vPath = state_.WorkDir + state_.ProjectName;
  const auto d2v = IsRegularFile(d2vPath) ? ReadTextLines(d2vPath) : std::nullopt;
  if (!d2v) {
    dialogs_.showMessage(FileError(d2vPath, "No such file or it cannot be read."));
    return;
  }
  QString line = d2v->value(2);
  while (line.size() >= 2 && (line[0] == ' ' || line[0].isDigit()))
    line.remove(0, 1);
  if (!line.toUpper().contains(".VOB"))
    return;

  // The VOB as the frame engine finds it.
  const QString vobPath = FindProjectFile(WithTrailingSlash(QFileInfo(d2vPath).absolutePath()), line);
  QFile vob(vobPath.isEmpty() ? line : vobPath);
  if (vob.exists() && !IsRegularFile(vob.fileName())) {
    dialogs_.showMessage(FileError(line, "It is not a regular file."));
    return;
  }
  if (!vob.open(QIODevice::ReadOnly)) {
    dialogs_.showMessage(FileError(line, vob.errorString()));
    return;
  }
  // The sequence header where DVD authoring puts it, else the first one in
  // the first packs.
  const QByteArray head = vob.read(kFirstPacksEnd);
  const auto isHeaderAt = [&](qsizetype at) {
    return at >= 0 && at + 8 <= head.size() && head[at + 2] == 1 && static_cast<quint8>(head[at + 3]) == 0xB3;
  };
  qsizetype at = kSequenceHeaderOffset;
  if (!isHeaderAt(at)) {
    at = head.indexOf(QByteArray("\x00\x00\x01\xB3", 4));
    if (!isHeaderAt(at))
      return;
  }
  const QByteArray bytes = head.mid(at, 8);
  const auto b = [&](int i) { return static_cast<int>(static_cast<quint8>(bytes[4 + i])); };
  state_.SourceWidth = b(0) * 16 + (b(1) >> 4);
  state_.SourceHeight = (b(1) & 0x0F) * 256 + b(2);
  state_.AspectCode = b(3) >> 4;
  if (state_.TvSystem.isEmpty()) {
    if (state_.SourceHeight == 480)
      state_.TvSystem = "NTSC";
    else if (state_.SourceHeight == 576)
      state_.TvSystem = "PAL";
  }
}

QString SourceOpener::ChooseFile(const QString &folder, const QString &extension) {
  state_.SearchMask = folder + "*." + extension;
  const QStringList entries = ListSearchMask(state_.SearchMask);
  if (entries.isEmpty())
    return {};
  if (entries.size() < 2)
    return entries.last();
  const QStringList rows = dialogs_.runFileChooser(state_.SearchMask, state_.ChosenIndex);
  // Closed without a click, the remembered row may no longer exist.
  if (state_.ChosenIndex < 0 || state_.ChosenIndex >= rows.size())
    return {};
  return rows[state_.ChosenIndex];
}

} // namespace reelwork
