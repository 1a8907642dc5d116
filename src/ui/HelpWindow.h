// The help window: the program's help text (the same text help.pdf is made
// from) in a rich-text viewer, with a contents list of its sections and
// pictures of the windows it describes. It needs nothing outside the
// program, so help opens on a desktop without a PDF viewer too.
#pragma once

#include <QDialog>
#include <QListWidget>
#include <QTextBrowser>

#include "ui/Session.h"

namespace velmora::ui {

class HelpWindow : public QDialog {
  Q_OBJECT
public:
  HelpWindow(Session& session, QWidget* parent);

  // Shows the window in front, the text read on the first showing.
  void ShowWindow();
  // Scrolls the text to the section whose heading is `title`; false when
  // there is none.
  bool ShowSection(const QString& title);
  QStringList Sections() const;

private:
  void LoadText();

  Session& session_;
  QListWidget* contents_ = nullptr;  // helpcontents
  QTextBrowser* text_ = nullptr;     // helptext
  bool loaded_ = false;
  bool placed_ = false;
};

}  // namespace velmora::ui
