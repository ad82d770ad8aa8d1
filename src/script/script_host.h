#pragma once
// What the script operations and tool flows need from the window around
// them. The main window implements these over real widgets and dialogs;
// tests implement them with scripted answers.

#include <QString>
#include <optional>

namespace reelwork {

// Message boxes and file dialogs.
class UserDialogs {
public:
  virtual ~UserDialogs() = default;
  // A plain message box with an OK button.
  virtual void showMessage(const QString &text) = 0;
  // A message box with a detail text (the reason behind the message).
  virtual void showMessage(const QString &text, const QString &detail) {
    showMessage(detail.isEmpty() ? text : text + "\n\n" + detail);
  }
  // A question captioned "Warning" with the buttons Yes and No.
  virtual bool askYesNo(const QString &text) = 0;
  // The question at close, captioned "Warning" with the buttons Yes and No;
  // Escape or closing the box answers Cancel.
  enum class CloseAnswer { Yes, No, Cancel };
  virtual CloseAnswer askSaveAtClose(const QString &text) {
    return askYesNo(text) ? CloseAnswer::Yes : CloseAnswer::No;
  }
  // A question captioned "Warning" with the buttons OK and Cancel; true for OK.
  virtual bool askOkCancel(const QString &text) { return askYesNo(text); }
  // The save dialog with the given filter; empty when cancelled.
  virtual std::optional<QString> askSaveFileName(const QString &filter) = 0;
  // The open dialog with the given filter; empty when cancelled.
  virtual std::optional<QString> askOpenFileName(const QString &filter) = 0;
  // Shows the file chooser over the entries of `searchMask`; a click stores
  // the row in `chosenIndex`. Returns the rows the chooser listed.
  virtual QStringList runFileChooser(const QString &searchMask, int &chosenIndex) = 0;
};

// The preview side of the main window.
class ScriptView {
public:
  virtual ~ScriptView() = default;
  // Opens the script file as video (sets the figures, trackbar and caption).
  virtual void openVideo(const QString &path) = 0;
  // Sets the filter check marks from the script lines.
  virtual void syncFilterChecks() = 0;
  // Shows frame `CurrentFrame`.
  virtual void showCurrentFrame() = 0;
  virtual void focusTrackBar() = 0;
};

} // namespace reelwork
