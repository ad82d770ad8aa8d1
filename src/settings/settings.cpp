#include "settings/settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <sys/stat.h>
#include <unistd.h>

#include "common/text_file.h"

namespace reelwork {

namespace {

struct SettingRow {
  const char *key;
  const char *defaultValue;
};

const SettingRow kRows[kSettingCount] = {
    {"_LANGUAGE", "1"},
    {"_VOBSCAN", "1"},
    {"_FILTERS", "mpeg2source();Telecide();Decimate();TomsMoComp();Bob();Repal();Crop();MipSmooth();"
                 "BicubicResize();Sharpen();ConvertToRGB();RGBAdjust();ConvertToYUY2();_2dcleanYUY2();ColorYUV()"},
    {"_MPEG2SOURCE", ""},
    {"_SHARPEN", "0.25"},
    {"_FIELDORDER", "1"},
    {"_INTERLACESENS", "5"},
    {"_LIGHTSENS", "5"},
    {"_ROUNDSENS", "5"},
    {"_AUTOCROPBALANCE", "0"},
    {"_HORIZONTALCROP", "1"},
    {"_RESIZEMETHOD", "0"},
    {"_GOODQUALITY", "0.225"},
    {"_RESIZEWIDTH", "640"},
    {"_VDUBMOD", ""},
};

constexpr int kMaxValueLength = 256;

} // namespace

const char *SettingKey(Setting s) { return kRows[static_cast<int>(s)].key; }
QString SettingDefault(Setting s) { return QString::fromLatin1(kRows[static_cast<int>(s)].defaultValue); }

Settings::Settings() {
  for (int i = 0; i < kSettingCount; ++i)
    values[i] = QString::fromLatin1(kRows[i].defaultValue);
}

namespace {
// Whether something stands at `path` (a file, or a link even to nothing).
bool SomethingAt(const QString &path) {
  struct stat st {};
  return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}
} // namespace

SettingsRead LoadSettings(const QString &path, Settings &settings, QStringList &lines) {
  settings = Settings();
  lines.clear();
  const auto read = ReadTextLines(path);
  if (!read)
    return SomethingAt(path) ? SettingsRead::Unreadable : SettingsRead::Missing;
  for (const QString &line : *read) {
    lines.append(line);
    if (!line.startsWith('_'))
      continue;
    const qsizetype eq = line.indexOf('=');
    if (eq < 0)
      continue;
    const QString key = line.left(eq);
    for (int i = 0; i < kSettingCount; ++i)
      if (key == QLatin1String(kRows[i].key))
        settings.values[i] = line.mid(eq + 1).left(kMaxValueLength);
  }
  return SettingsRead::Read;
}

bool SaveSettings(const QString &path, const Settings &settings, QStringList &lines, SaveFailure *failure) {
  // Checked now, not only at start: the lines in memory are all that is kept
  // of the file, and they are empty when it could not be read.
  if (SomethingAt(path) && !ReadTextLines(path)) {
    if (failure)
      *failure = {SaveFailure::Unreadable, QFile::encodeName(path).toStdString(), {}};
    return false;
  }
  for (int i = 0; i < kSettingCount; ++i) {
    const QString key = QString::fromLatin1(kRows[i].key);
    const QString replacement = key + '=' + settings.values[i];
    bool found = false;
    for (QString &line : lines) {
      if (line.contains(key)) {
        line = replacement;
        found = true;
      }
    }
    if (!found)
      lines.append(replacement);
  }
  SaveFailure unused;
  return WriteTextLines(path, lines, failure ? *failure : unused);
}

QString SettingsFilePath() {
  const QString programDir = QCoreApplication::applicationDirPath();
  if (!programDir.isEmpty() && ::access(QFile::encodeName(programDir).constData(), W_OK) == 0)
    return QDir(programDir).filePath("Reelwork.ini");
  QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
  if (config.isEmpty() || QDir::isRelativePath(config))
    config = QDir::homePath() + "/.config";
  const QString dir = config + "/Reelwork";
  QDir().mkpath(dir);
  return dir + "/Reelwork.ini";
}

} // namespace reelwork
