#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>

#include "app/main_window.h"
#include "settings/options_dialog.h"
#include "support/fakes.h"
#include "support/temp_dir.h"

using namespace reelwork;

namespace {

class OptionsDialog : public ::testing::Test {
protected:
  OptionsDialog()
      : dialog(state, dialogs, [this] { return filterItems; }, [this] { return scriptLines; }) {
    state.Language = 0;
  }

  SharedState state;
  reelwork::test::FakeDialogs dialogs;
  QStringList filterItems{"Crop()", "Sharpen()", "Tweak()"};
  QStringList scriptLines;
  TForm7 dialog;
};

TEST_F(OptionsDialog, LanguageChoiceIsTheOppositeIndexAndCaptionsFollowTheLanguage) {
  state.settings[Setting::Language] = "0";
  ASSERT_TRUE(dialog.FormActivate());
  EXPECT_TRUE(dialog.LanguageEnglish->isChecked());
  EXPECT_FALSE(dialog.LanguageRussian->isChecked());
  EXPECT_EQ(dialog.windowTitle(), "Options");
  EXPECT_EQ(dialog.Label16->text(), "VirtualDubMod Path");
  EXPECT_EQ(dialog.iDCT_Box->itemText(0), "0 : Default value (in .d2v file)");
  EXPECT_EQ(dialog.ResizeBox->itemText(2), "Manual");

  dialog.LanguageRussian->setChecked(true);
  dialog.BitBtn1->click();
  EXPECT_EQ(state.settings[Setting::Language], "1");
  EXPECT_EQ(dialog.result(), QDialog::Accepted);

  state.Language = 1;
  ASSERT_TRUE(dialog.FormActivate());
  EXPECT_TRUE(dialog.LanguageRussian->isChecked());
  EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("Опции"));
  EXPECT_EQ(dialog.Label1->text(), QString::fromUtf8("Спсок фильтров/команд"));
  EXPECT_EQ(dialog.ResizeBox->itemText(0), QString::fromUtf8("Авто"));
  // The two choices read the same in both languages.
  EXPECT_EQ(dialog.LanguageRussian->text(), "Russian");

  // A language outside both choices selects neither and is stored unchanged.
  state.settings[Setting::Language] = "7";
  state.Language = 5;
  ASSERT_TRUE(dialog.FormActivate());
  EXPECT_FALSE(dialog.LanguageRussian->isChecked());
  EXPECT_FALSE(dialog.LanguageEnglish->isChecked());
  EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("Опции")); // no caption changed
  dialog.BitBtn1->click();
  EXPECT_EQ(state.settings[Setting::Language], "7");
}

TEST_F(OptionsDialog, ScriptParametersWinOverTheSettingAndAreStored) {
  state.settings[Setting::Mpeg2Source] = "";
  scriptLines = {"LoadPlugin(\"x.dll\")", "mpeg2source(\"film.d2v\", idct=2, cpu=4, iPP=true)", "Crop(8,0,-8,0)"};
  ASSERT_TRUE(dialog.FormActivate());
  EXPECT_TRUE(dialog.UseM2S_Box->isChecked());
  EXPECT_EQ(dialog.iDCT_Box->currentText(), "2 : 32 bit SSEMMX");
  EXPECT_EQ(dialog.CPU_Box->currentText(), "4");
  EXPECT_EQ(dialog.iPP_Box->currentText(), "true");
  dialog.BitBtn1->click();
  EXPECT_EQ(state.settings[Setting::Mpeg2Source], "idct=2,cpu=4,iPP=true");

  // Unticked: empty, whatever the lists show.
  ASSERT_TRUE(dialog.FormActivate());
  dialog.UseM2S_Box->setChecked(false);
  dialog.BitBtn1->click();
  EXPECT_EQ(state.settings[Setting::Mpeg2Source], "");

  // Without a script line the setting is shown; numbers outside a list leave
  // it without a selection and are kept as they were.
  scriptLines.clear();
  state.settings[Setting::Mpeg2Source] = "idct=9,cpu=1,iPP=false";
  ASSERT_TRUE(dialog.FormActivate());
  EXPECT_TRUE(dialog.UseM2S_Box->isChecked());
  EXPECT_EQ(dialog.iDCT_Box->currentIndex(), -1);
  EXPECT_EQ(dialog.CPU_Box->currentIndex(), 1);
  dialog.BitBtn1->click();
  EXPECT_EQ(state.settings[Setting::Mpeg2Source], "idct=9,cpu=1,iPP=false");
}

TEST_F(OptionsDialog, SlidersListsAndTextsRoundTrip) {
  state.settings[Setting::AutoCropBalance] = "+2";
  state.settings[Setting::InterlaceSens] = "+3";
  state.settings[Setting::ResizeMethod] = "1";
  state.settings[Setting::ResizeWidth] = "576";
  state.settings[Setting::VDubMod] = "/opt/vdm/";
  state.settings[Setting::Sharpen] = "0.7";
  ASSERT_TRUE(dialog.FormActivate());
  EXPECT_EQ(dialog.TrackBar4->value(), 3);
  EXPECT_EQ(dialog.TrackBar1->value(), 3);
  EXPECT_EQ(dialog.ResizeBox->currentIndex(), 1);
  EXPECT_EQ(dialog.Edit4->text(), "576");
  EXPECT_EQ(dialog.Memo1->toPlainText(), "Crop()\nSharpen()\nTweak()");

  dialog.BitBtn1->click();
  EXPECT_EQ(state.settings[Setting::AutoCropBalance], "+2");
  EXPECT_EQ(state.settings[Setting::InterlaceSens], "3");
  EXPECT_EQ(state.settings[Setting::Filters], "Crop();Sharpen();Tweak()");
  EXPECT_EQ(state.settings[Setting::VDubMod], "/opt/vdm/");
  EXPECT_EQ(state.settings[Setting::Sharpen], "0.7");
  EXPECT_EQ(state.settings[Setting::ResizeWidth], "576");

  dialog.TrackBar4->setValue(0);
  dialog.Edit2->setText("not checked");
  dialog.BitBtn1->click();
  EXPECT_EQ(state.settings[Setting::AutoCropBalance], "-4");
  EXPECT_EQ(state.settings[Setting::Sharpen], "not checked");
}

TEST_F(OptionsDialog, ANonIntegerSettingStopsTheFillingWithAMessage) {
  state.settings[Setting::LightSens] = "2";
  ASSERT_TRUE(dialog.FormActivate());
  EXPECT_EQ(dialog.TrackBar2->value(), 2);

  state.settings[Setting::InterlaceSens] = "1";
  state.settings[Setting::LightSens] = "4";
  state.settings[Setting::RoundSens] = "x3";
  EXPECT_FALSE(dialog.FormActivate());
  ASSERT_EQ(dialogs.messages.size(), 1);
  EXPECT_EQ(dialogs.messages[0], "'x3' is not a valid integer value");
  EXPECT_EQ(dialog.TrackBar1->value(), 1); // filled before the bad value
  EXPECT_EQ(dialog.TrackBar2->value(), 4);
  EXPECT_FALSE(dialog.UseM2S_Box->isChecked()); // after it: untouched
}

TEST_F(OptionsDialog, BrowsingKeepsTheFolderWithoutItsSeparator) {
  dialogs.openNames = {QString("/opt/Tools/VDM/VirtualDubMod.exe"), std::nullopt};
  dialog.Button1->click();
  EXPECT_EQ(dialog.Edit5->text(), "/opt/Tools/VDM");
  dialog.Button1->click(); // cancelled
  EXPECT_EQ(dialog.Edit5->text(), "/opt/Tools/VDM");
  ASSERT_EQ(dialogs.filters.size(), 2);
  EXPECT_EQ(dialogs.filters[0], ""); // no file filter
}

// The Options button over a settings file, through the real modal dialog.
class OptionsButton : public reelwork::test::TempDirTest {
protected:
  std::unique_ptr<TForm1> start(const QByteArray &ini) {
    writeBytes("Reelwork.ini", ini);
    auto window = std::make_unique<TForm1>(path("Reelwork.ini"));
    window->setDialogs(&dialogs);
    return window;
  }
  // Runs the modal dialog; `inside` acts on it while it is open.
  static void runOptions(TForm1 &w, std::function<void()> inside) {
    QTimer::singleShot(0, &w, [&w, inside] {
      inside();
      if (w.Form7->isVisible())
        w.Form7->reject();
    });
    w.BitBtn4->click();
  }
  reelwork::test::FakeDialogs dialogs;
};

TEST_F(OptionsButton, ConfirmingWritesTheFileAndSwitchesTheLanguage) {
  auto w = start("# kept\r\n_LANGUAGE=0\r\n");
  EXPECT_EQ(w->BitBtn9->text(), "Save-Load ");
  runOptions(*w, [&] {
    EXPECT_TRUE(w->Form7->LanguageEnglish->isChecked());
    w->Form7->LanguageRussian->setChecked(true);
    w->Form7->BitBtn1->click();
  });
  const QByteArray saved = readBytes("Reelwork.ini");
  const QList<QByteArray> lines = saved.split('\n');
  ASSERT_EQ(saved.count("\r\n"), 16);
  EXPECT_EQ(lines[0], "# kept\r");
  EXPECT_EQ(lines[1], "_LANGUAGE=1\r");
  EXPECT_EQ(lines[2], "_VOBSCAN=1\r");
  EXPECT_TRUE(lines[15].startsWith("_VDUBMOD="));
  EXPECT_EQ(w->BitBtn9->text(), QString::fromUtf8("Сохр.Загр."));
}

TEST_F(OptionsButton, ClosingWithoutOKeyStillSavesAndApplies) {
  auto w = start("_LANGUAGE=0\r\n_FILTERS=Crop()\r\n");
  runOptions(*w, [&] {
    w->Form7->Memo1->setPlainText("Tweak()\nSharpen()"); // abandoned
  });
  EXPECT_EQ(readBytes("Reelwork.ini").count("\r\n"), 15);
  EXPECT_TRUE(readBytes("Reelwork.ini").contains("_FILTERS=Crop()\r\n"));
  EXPECT_EQ(w->CheckListBox1->count(), 1);
}

} // namespace

TEST_F(OptionsDialog, InitialWidthKeepsWhatIsTypedAndItsArrowsStepFromIt) {
  state.settings[Setting::ResizeWidth] = "900"; // beyond the arrows' range
  ASSERT_TRUE(dialog.FormActivate());
  EXPECT_EQ(dialog.Edit4->text(), "900");
  dialog.Edit4->setText("1024");
  dialog.BitBtn1->click();
  EXPECT_EQ(state.settings[Setting::ResizeWidth], "1024");

  dialog.Edit4->setText("544");
  dialog.Edit4->stepBy(1);
  EXPECT_EQ(dialog.Edit4->text(), "576");
  dialog.Edit4->stepBy(10);
  EXPECT_EQ(dialog.Edit4->text(), "704");
  dialog.Edit4->setText("abc"); // not a number: from the last position
  dialog.Edit4->stepBy(-1);
  EXPECT_EQ(dialog.Edit4->text(), "672");
}

TEST_F(OptionsDialog, OkeyAfterAStoppedFillingKeepsTheLaterSettings) {
  state.settings[Setting::RoundSens] = "x3";
  state.settings[Setting::AutoCropBalance] = "+4";
  state.settings[Setting::GoodQuality] = "0.3";
  state.settings[Setting::ResizeWidth] = "576";
  state.settings[Setting::VDubMod] = "/opt/vdm";
  state.settings[Setting::Mpeg2Source] = "idct=2,cpu=4,iPP=true";
  EXPECT_FALSE(dialog.FormActivate());
  dialog.TrackBar1->setValue(7); // filled before the stop: the user's change counts
  dialog.BitBtn1->click();
  EXPECT_EQ(state.settings[Setting::InterlaceSens], "7");
  EXPECT_EQ(state.settings[Setting::RoundSens], "x3");
  EXPECT_EQ(state.settings[Setting::AutoCropBalance], "+4");
  EXPECT_EQ(state.settings[Setting::GoodQuality], "0.3");
  EXPECT_EQ(state.settings[Setting::ResizeWidth], "576");
  EXPECT_EQ(state.settings[Setting::VDubMod], "/opt/vdm");
  EXPECT_EQ(state.settings[Setting::Mpeg2Source], "idct=2,cpu=4,iPP=true");
}

// Nothing is cut in either language: the whole iDCT entry 0 and eight whole
// lines of the filter list.
TEST_F(OptionsDialog, TextsAreShownWhole) {
  filterItems = {"mpeg2source()", "Telecide()", "Decimate()", "TomsMoComp()", "Bob()",
                 "Repal()",       "Crop()",     "MipSmooth()", "Sharpen()"};
  for (int language : {1, 0}) {
    state.Language = language;
    state.settings[Setting::Language] = QString::number(language);
    dialog.show();
    QCoreApplication::processEvents();
    const QString entry = dialog.iDCT_Box->itemText(0);
    EXPECT_GT(dialog.iDCT_Box->width(), dialog.iDCT_Box->fontMetrics().horizontalAdvance(entry) + 16)
        << entry.toStdString();
    EXPECT_GE(dialog.Memo1->viewport()->height(), 8 * dialog.Memo1->fontMetrics().lineSpacing());
    for (QLabel *label : {dialog.Label5, dialog.Label14, dialog.Label15}) {
      EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text())) << label->text().toStdString();
    }
    dialog.hide();
  }
}
