// Qt's own buttons speak the interface language.

#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QFile>
#include <QLibraryInfo>
#include <QPushButton>

#include "app/language.h"

using namespace reelwork;

namespace {

QString CancelText() {
  QDialogButtonBox box(QDialogButtonBox::Cancel);
  return box.button(QDialogButtonBox::Cancel)->text();
}

TEST(QtLanguage, StandardButtonsFollowTheInterfaceLanguage) {
  if (!QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + "/qtbase_ru.qm"))
    GTEST_SKIP() << "Qt's translations are not installed (qt6-translations-l10n)";
  ASSERT_TRUE(ApplyQtLanguage(Russian));
  EXPECT_EQ(CancelText().remove('&'), QString::fromUtf8("Отмена"));
  ASSERT_TRUE(ApplyQtLanguage(Russian)); // again: nothing changes
  EXPECT_EQ(CancelText().remove('&'), QString::fromUtf8("Отмена"));
  EXPECT_TRUE(ApplyQtLanguage(English));
  EXPECT_EQ(CancelText().remove('&'), "Cancel");
}

} // namespace
