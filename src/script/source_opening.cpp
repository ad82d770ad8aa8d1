#include "script/source_opening.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "app/language.h"
#include "common/file_lookup.h"
#include "common/text_file.h"

namespace reelwork {

namespace {

constexpr qint64 kSequenceHeaderOffset = 2084;

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
  QString path = written;
  path.replace('\\', '/');
  if (QDir::isRelativePath(path))
    path = folder + path;
  if (const auto found = ResolvePathNoCase(path.toStdString()))
    return QString::fromStdString(found->string());
  return {};
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
  } else {
    WriteNewScript();
  }
  ReadInfo();
  script_.LoadScript(state_.ScriptPath());
  if (state_.settings[Setting::VobScan] == QLatin1String("1"))
    ScanVobHeader();
}

void SourceOpener::WriteNewScript() {
  editor_.setLines({});
  editor_.insertLine(0, Mpeg2SourceLine(state_.ProjectName, state_.settings[Setting::Mpeg2Source]));
  state_.ScriptName = BaseWithDot(state_.ProjectName) + "avs";
  script_.WriteScript();
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
  const auto d2v = ReadTextLines(d2vPath);
  if (!d2v) {
    dialogs_.showMessage(FileError(d2vPath, "No such file or it cannot be read."));
    return;
  }
  QString line = d2v->value(2);
  while (line.size() >= 2 && (line[0] == ' ' || line[0].isDigit()))
    line.remove(0, 1);
  if (!line.toUpper().contains(".VOB"))
    return;

  // The VOB as the frame engine finds it: as written, else by its file name in
  // the project's folder, without regard to case.
  const QString d2vFolder = WithTrailingSlash(QFileInfo(d2vPath).absolutePath());
  QString vobPath = FindProjectFile(d2vFolder, line);
  if (vobPath.isEmpty()) {
    if (const auto byName = FindFileNoCase(d2vFolder.toStdString(), BaseNameAnySeparator(line.toStdString())))
      vobPath = QString::fromStdString(byName->string());
  }
  QFile vob(vobPath.isEmpty() ? line : vobPath);
  if (!vob.open(QIODevice::ReadOnly)) {
    dialogs_.showMessage(FileError(line, vob.errorString()));
    return;
  }
  if (!vob.seek(kSequenceHeaderOffset))
    return;
  const QByteArray bytes = vob.read(8);
  if (bytes.size() < 4 || static_cast<quint8>(bytes[2]) != 0x01 || static_cast<quint8>(bytes[3]) != 0xB3)
    return;
  if (bytes.size() < 8)
    return;
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
