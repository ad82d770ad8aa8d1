// The wizard's window: wired to its rules, and answering 1 or 2.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <QTemporaryDir>

#include "app/shared_state.h"
#include "common/text_file.h"
#include "deinterlace/deinterlace_dialog.h"
#include "deinterlace/deinterlace_wiring.h"
#include "support/test_bench.h"

using namespace reelwork;

namespace {

class WizardWindow : public ::testing::Test {
protected:
  void SetUp() override {
    state.Language = 0;
    state.TvSystem = "";
    state.FrameRate = 25.0f;
    state.settings[Setting::Mpeg2Source] = "";
  }
  // Runs the wizard, doing `whileShown` once it is on screen.
  int run(const std::function<void()> &whileShown, QStringList &commands) {
    QTimer::singleShot(0, &form, whileShown);
    return form.Run(commands);
  }

  SharedState state;
  FieldOrderState order;
  TForm5 form{state, order};
};

TEST_F(WizardWindow, OpensOnTheSourcesTvSystemAndSwitchesLists) {
  form.FormActivate();
  EXPECT_EQ(form.windowTitle(), "Deinterlacing");
  EXPECT_TRUE(form.CPAL->isChecked());
  EXPECT_EQ(form.MethodBox->count(), 5);
  EXPECT_EQ(form.MethodBox->currentRow(), 0);
  EXPECT_EQ(form.AvsMemo->toPlainText(), "Telecide(order=1,post=0)");

  form.CNTSC->click();
  EXPECT_EQ(form.MethodBox->count(), 6);
  EXPECT_EQ(form.MethodBox->item(0)->text(), "Telecide + Decimate(5)");
  EXPECT_EQ(form.AvsMemo->toPlainText(), "Telecide(order=1,post=2)\nDecimate(5)");

  // The method shown follows the field order of the moment.
  order.field0 = true;
  form.MethodBox->setCurrentRow(5); // as the arrow keys do
  EXPECT_EQ(form.Commands(), (QStringList{"SmoothDeinterlace(tff=false,doublerate=true,lacethresh=24)", "Repal()"}));

  state.Language = 1;
  state.FrameRate = 29.97f;
  form.FormActivate();
  EXPECT_TRUE(form.CNTSC->isChecked());
  EXPECT_EQ(form.windowTitle(), QString::fromUtf8("Деинтерлейс"));
}

// Every method of the list is readable whole, the long Russian NTSC ones too.
TEST_F(WizardWindow, MethodListShowsWholeEntries) {
  for (int language : {0, 1}) {
    state.Language = language;
    state.TvSystem = "NTSC";
    form.show();
    for (QRadioButton *system : {form.CNTSC, form.CPAL}) {
      system->click();
      for (int i = 0; i < form.MethodBox->count(); ++i) {
        const QString text = form.MethodBox->item(i)->text();
        EXPECT_LE(form.MethodBox->fontMetrics().horizontalAdvance(text), form.MethodBox->viewport()->width())
            << text.toStdString();
      }
    }
    form.hide();
  }
}

TEST_F(WizardWindow, OKeyGivesTheTypedCommandsAndTheSourceParameters) {
  QStringList commands;
  const int result = run(
      [this] {
        form.MethodBox->setCurrentRow(1);
        form.MethodBoxClick();
        form.AvsMemo->setPlainText("Telecide(order=1,post=3)\nSharpen(0.5)");
        form.BitBtn2->click();
      },
      commands);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(commands, (QStringList{"Telecide(order=1,post=3)", "Sharpen(0.5)"}));
  EXPECT_EQ(state.settings[Setting::Mpeg2Source], "idct=0,cpu=4,iPP=true");

  // Unticked, the parameters stay as they are.
  state.settings[Setting::Mpeg2Source] = "idct=3";
  run([this] {
    form.CheckBox1->setChecked(false);
    form.BitBtn2->click();
  }, commands);
  EXPECT_EQ(state.settings[Setting::Mpeg2Source], "idct=3");
}

TEST_F(WizardWindow, CancelAndTheCloseBoxAnswerTwo) {
  QStringList commands{"untouched"};
  EXPECT_EQ(run([this] { form.BitBtn1->click(); }, commands), 2);
  EXPECT_EQ(run([this] { form.close(); }, commands), 2);
  EXPECT_EQ(commands, QStringList{"untouched"});
  EXPECT_EQ(state.settings[Setting::Mpeg2Source], "");
}

// The main window's buttons and wizard, through the adapters it hands to the
// flows: the wizard's confirmed commands reach the script file.
TEST(WindowFlows, ButtonsAndWizardDriveTheFlows) {
  QTemporaryDir dir;
  reelwork::test::TestBench t;
  t.openVideo(100, 720, 576);
  t.state.WorkDir = WithTrailingSlash(dir.path());
  t.state.ScriptName = "movie.avs";
  t.state.ProjectName = "movie.d2v";
  t.state.TvSystem = "PAL";
  t.editor.setLines({"mpeg2source(\"movie.d2v\")", "Telecide(order=1,post=2)"});
  QPushButton tff("TFF"), bff("BFF");
  QRadioButton field0;
  field0.setChecked(true);
  ButtonFieldOrderView view(&tff, &bff, &field0);
  TForm5 form(t.state, view);
  int focuses = 0;
  Form5Runner runner(form, [&] { ++focuses; });

  QTimer::singleShot(0, &form, [&] {
    form.MethodBox->setCurrentRow(2);
    form.MethodBoxClick();
    form.BitBtn2->click();
  });
  BitBtn8Click(t.bench, runner);
  const QStringList expected{"mpeg2source(\"movie.d2v\",idct=0,cpu=4,iPP=true)", "TomsMoComp(0,5,1)"};
  EXPECT_EQ(ReadTextLines(t.state.ScriptPath()), expected);

  QTimer::singleShot(0, &form, [&] { form.BitBtn1->click(); });
  BitBtn8Click(t.bench, runner);
  EXPECT_EQ(focuses, 1);
  EXPECT_EQ(t.editor.lines(), QStringList{"mpeg2source(\"movie.d2v\",idct=0,cpu=4,iPP=true)"});

  BitBtn10Click(t.bench, view);
  EXPECT_EQ(tff.text(), "TFF?");
  BitBtn11Click(t.bench, view);
  EXPECT_EQ(tff.text(), "TFF");
  EXPECT_EQ(bff.text(), "BFF?");
}

} // namespace
