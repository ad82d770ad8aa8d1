#pragma once
// The fifteen user settings and their file, Reelwork.ini: plain "KEY=value"
// lines, no sections; lines the program does not know are kept as they are.

#include <QString>
#include <QStringList>
#include <array>

#include "common/atomic_file.h"

namespace reelwork {

enum class Setting {
  Language,
  VobScan,
  Filters,
  Mpeg2Source,
  Sharpen,
  FieldOrder,
  InterlaceSens,
  LightSens,
  RoundSens,
  AutoCropBalance,
  HorizontalCrop,
  ResizeMethod,
  GoodQuality,
  ResizeWidth,
  VDubMod,
};
constexpr int kSettingCount = 15;

// Key name ("_LANGUAGE") and default value of a setting, in file order.
const char *SettingKey(Setting s);
QString SettingDefault(Setting s);

struct Settings {
  std::array<QString, kSettingCount> values;

  Settings(); // every value at its default
  QString &operator[](Setting s) { return values[static_cast<int>(s)]; }
  const QString &operator[](Setting s) const { return values[static_cast<int>(s)]; }
  bool operator==(const Settings &) const = default;
};

enum class SettingsRead {
  Missing,    // no file yet: the defaults hold
  Read,       // the file was read
  Unreadable, // a file stands there but cannot be read: the defaults hold
};

// Sets every value to its default, then reads `path` if it can be opened.
// `lines` receives the whole file as read (empty when there is none).
SettingsRead LoadSettings(const QString &path, Settings &settings, QStringList &lines);

// Merges the values into `lines` (every line that contains a key name is
// replaced by that key's line; missing keys are appended in table order) and
// rewrites `path`. A file that stands there but cannot be read is never
// overwritten: its values and comments would be lost. Returns false when the
// file was not written; `failure` (if given) says why.
bool SaveSettings(const QString &path, const Settings &settings, QStringList &lines, SaveFailure *failure = nullptr);

// Where Reelwork.ini lives: beside the executable, or in the user's
// configuration folder when the program's folder cannot be written.
QString SettingsFilePath();

} // namespace reelwork
