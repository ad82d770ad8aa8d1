// The wizard's window: wired to its rules, and answering 1 or 2.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "app/shared_state.h"
#include "deinterlace/deinterlace_dialog.h"
#include "deinterlace/field_order.h"

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
  form.MethodBox->setCurrentRow(5);
  form.MethodBoxClick();
  EXPECT_EQ(form.Commands(), (QStringList{"SmoothDeinterlace(tff=false,doublerate=true,lacethresh=24)", "Repal()"}));

  state.Language = 1;
  state.FrameRate = 29.97f;
  form.FormActivate();
  EXPECT_TRUE(form.CNTSC->isChecked());
  EXPECT_EQ(form.windowTitle(), QString::fromUtf8("Деинтерлейс"));
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

} // namespace
