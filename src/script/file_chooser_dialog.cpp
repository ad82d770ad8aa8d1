#include "script/file_chooser_dialog.h"

#include <QEvent>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

#include "app/shared_state.h"
#include "script/source_opening.h"

namespace reelwork {

TForm2::TForm2(SharedState &state, QWidget *parent) : QDialog(parent), state_(state) {
  setObjectName("Form2");
  setFixedSize(339, 164);
  auto *layout = new QVBoxLayout(this);
  layout->setContentsMargins(3, 0, 3, 3);
  layout->setSpacing(0);
  Label3 = new QLabel(this);
  Label3->setObjectName("Label3");
  Label3->setFixedHeight(33);
  ListBox1 = new QListWidget(this);
  ListBox1->setObjectName("ListBox1");
  ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
  layout->addWidget(Label3);
  layout->addWidget(ListBox1);
  connect(ListBox1, &QListWidget::itemClicked, this, &TForm2::ListBox1Click);
  // The keyboard chooses as a click does.
  connect(ListBox1, &QListWidget::itemActivated, this, &TForm2::ListBox1Click);
}

QStringList TForm2::rows() const {
  QStringList names;
  for (int i = 0; i < ListBox1->count(); ++i)
    names.append(ListBox1->item(i)->text());
  return names;
}

void TForm2::FormActivate() {
  if (state_.Language == 0) {
    setWindowTitle("Open File");
    Label3->setText("Choose one of this files:");
  } else if (state_.Language == 1) {
    setWindowTitle(QString::fromUtf8("Отрытие файла"));
    Label3->setText(QString::fromUtf8("Укажите один из этих файлов:"));
  }
  ListBox1->clear();
  ListBox1->addItems(ListSearchMask(state_.SearchMask));
}

void TForm2::ListBox1Click() {
  state_.ChosenIndex = ListBox1->currentRow();
  accept();
}

void TForm2::showEvent(QShowEvent *event) {
  QDialog::showEvent(event);
  FormActivate();
}

void TForm2::changeEvent(QEvent *event) {
  QDialog::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow() && isVisible())
    FormActivate();
}

} // namespace reelwork
