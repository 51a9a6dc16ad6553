#pragma once
// The modal windows of the main window's tests, answered as they come up.
#include <QApplication>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "dialogs/language_dialog.h"
#include "dialogs/options_dialog.h"
#include "engine/message_box.h"
#include "ui/template_dialog.h"
#include "ui/message_dialog.h"

namespace ui_test {

// Answers the modal windows that come up and remembers every message box.
class ModalAnswers {
 public:
  struct Box {
    std::string caption, text;
    int type;
  };
  // The button to press for a box (1 OK, 2 Cancel, 4 Retry, 6 Check again,
  // 7 Continue), or 0 to leave it open.
  std::function<int(const Box&)> answer = [](const Box&) { return engine::kIdOk; };
  // Called with every box before it is answered (to take its picture, say).
  std::function<void(ui::CMessageDialog&, const Box&)> look;
  // The language button to choose on the first-run dialog (1118, 1119 or 0).
  int language = 1119;
  // What to do in the Options dialog; Cancel when empty.
  std::function<void(dialogs::COptionsDialog&)> options;
  int optionsOpened = 0;

  ModalAnswers() {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start(5);
  }
  std::vector<Box> Boxes() const { return boxes_; }
  std::vector<std::string> Captions() const {
    std::vector<std::string> c;
    for (const Box& b : boxes_) c.push_back(b.caption);
    return c;
  }
  QPointer<ui::CMessageDialog> open;  // a box left open

 private:
  void Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible() || modal->property("answered").toBool()) return;
    modal->setProperty("answered", true);
    if (auto* box = qobject_cast<ui::CMessageDialog*>(modal)) {
      const Box b{box->m_szCaption, box->m_szText, box->m_nType};
      boxes_.push_back(b);
      if (look) look(*box, b);
      const int id = answer(b);
      if (id == 0) {
        open = box;
        return;
      }
      QTest::mouseClick(ui::DlgItem(*box, id), Qt::LeftButton);
    } else if (auto* dialog = qobject_cast<dialogs::COptionsDialog*>(modal)) {
      ++optionsOpened;
      if (options) {
        options(*dialog);
      } else {
        QTest::mouseClick(ui::DlgItem(*dialog, engine::kIdCancel), Qt::LeftButton);
      }
    } else if (auto* dialog = qobject_cast<dialogs::CLanguageDialog*>(modal)) {
      if (language != 0) QTest::mouseClick(ui::DlgItem(*dialog, language), Qt::LeftButton);
      QTest::mouseClick(ui::DlgItem(*dialog, 1), Qt::LeftButton);
    }
  }
  QTimer timer_;
  std::vector<Box> boxes_;
};

}  // namespace ui_test
