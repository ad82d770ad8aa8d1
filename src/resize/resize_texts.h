#pragma once
// The two-language texts of the resize windows.

#include <QString>
#include <QStringList>

namespace reelwork::resize {

// Resize type chooser: caption, the three item texts, and the four lines of
// explanation for item 0 (Auto), 1 (Exact) or 2 (Manual); none for others.
QString ChooserCaption(int language);
QStringList ChooserItems(int language);
QStringList ChooserExplanation(int language, int item);

// The item that the chooser selects for a type number: above 2 the last one,
// below 0 none (-1).
int ChooserItemFor(int type);

// The captions of one resize dialog's labels and buttons, by element name.
struct AutoTexts {
  QString caption, sourceType, inputAspect, userAspect, outputSize, outputRatio, userItem, error, calc;
};
struct ExactTexts {
  QString caption, exactAspect, outputSize, outputRatio, error, calc;
};
struct ManualTexts {
  QString caption, outputSize, outputRatio;
};
// Under the preview when the picture is larger than the screen allows.
QString PreviewScrollNote(int language);

AutoTexts AutoResizeTexts(int language);
ExactTexts ExactResizeTexts(int language);
ManualTexts ManualResizeTexts(int language);

} // namespace reelwork::resize
