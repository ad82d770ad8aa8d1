#pragma once
// Scripted stand-ins for the window around the script operations and tools.

#include <QStringList>
#include <deque>

#include "support/qt_print.h"

#include "app/shared_state.h"
#include "script/script_host.h"
#include "script/source_opening.h"

namespace reelwork::test {

// Records every message and answers questions and file dialogs from queues.
class FakeDialogs : public UserDialogs {
public:
  using UserDialogs::showMessage;
  void showMessage(const QString &text) override { messages.append(text); }
  void showMessage(const QString &text, const QString &detail) override {
    messages.append(text);
    details.append(detail);
  }
  bool askYesNo(const QString &text) override {
    questions.append(text);
    if (answers.empty())
      return false;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::optional<QString> askSaveFileName(const QString &filter) override {
    filters.append(filter);
    // The text is copied out before the optional is made: GCC 12 at -O3
    // warns of a maybe uninitialized optional when the optional is copied.
    if (saveNames.empty())
      return std::nullopt;
    const bool given = saveNames.front().has_value();
    const QString name = given ? *saveNames.front() : QString();
    saveNames.pop_front();
    return given ? std::optional<QString>(name) : std::nullopt;
  }

  std::optional<QString> askOpenFileName(const QString &filter) override {
    filters.append(filter);
    // The text is copied out before the optional is made: GCC 12 at -O3
    // warns of a maybe uninitialized optional when the optional is copied.
    if (openNames.empty())
      return std::nullopt;
    const bool given = openNames.front().has_value();
    const QString name = given ? *openNames.front() : QString();
    openNames.pop_front();
    return given ? std::optional<QString>(name) : std::nullopt;
  }
  // Lists the mask as the chooser does; a queued row is "clicked", none closes it.
  QStringList runFileChooser(const QString &searchMask, int &chosenIndex) override {
    ++chooserRuns;
    if (!chooserClicks.empty()) {
      if (chooserClicks.front())
        chosenIndex = *chooserClicks.front();
      chooserClicks.pop_front();
    }
    return ListSearchMask(searchMask);
  }

  QStringList messages, details, questions, filters;
  std::deque<bool> answers;
  std::deque<std::optional<QString>> saveNames, openNames;
  std::deque<std::optional<int>> chooserClicks;
  int chooserRuns = 0;
};

// Records what the script operations ask of the preview; "opening" succeeds
// unless told otherwise.
class FakeView : public ScriptView {
public:
  explicit FakeView(SharedState &state) : state_(state) {}
  void openVideo(const QString &path) override {
    opened.append(path);
    state_.VideoOpen = openSucceeds;
  }
  void syncFilterChecks() override { ++syncs; }
  void showCurrentFrame() override { shownFrames.append(state_.CurrentFrame); }
  void focusTrackBar() override { ++focuses; }

  bool openSucceeds = true;
  QStringList opened;
  QList<int> shownFrames;
  int syncs = 0;
  int focuses = 0;

private:
  SharedState &state_;
};

} // namespace reelwork::test
