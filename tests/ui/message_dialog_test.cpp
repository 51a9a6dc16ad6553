#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QStyle>
#include <QTest>
#include <QThread>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <thread>

#include "engine/window_ops.h"
#include "res/text_table.h"
#include "ui/bitmap_button.h"
#include "ui/message_dialog.h"
#include "ui_test_helpers.h"

namespace {

using ui::CMessageDialog;
using ui_test::WithMessageBox;

enum Action { kEnter, kEscape, kCloseBox, kClick1, kClick2, kClick4, kClick6, kClick7 };

void Do(CMessageDialog& box, Action action) {
  auto click = [&box](int id) {
    QWidget* button = ui::DlgItem(box, id);
    ASSERT_NE(button, nullptr);
    ASSERT_TRUE(button->isVisible()) << "button " << id << " is hidden";
    QTest::mouseClick(button, Qt::LeftButton);
  };
  QWidget* focus = box.focusWidget() != nullptr ? box.focusWidget() : &box;
  switch (action) {
    case kEnter: QTest::keyClick(focus, Qt::Key_Return); break;
    case kEscape: QTest::keyClick(focus, Qt::Key_Escape); break;
    case kCloseBox: box.close(); break;
    case kClick1: click(1); break;
    case kClick2: click(2); break;
    case kClick4: click(4); break;
    case kClick6: click(6); break;
    case kClick7: click(7); break;
  }
}

std::set<int> VisibleButtons(const CMessageDialog& box) {
  std::set<int> ids;
  for (int id : {1, 2, 4, 6, 7}) {
    const QWidget* button = ui::DlgItem(box, id);
    if (button != nullptr && button->isVisible()) ids.insert(id);
  }
  return ids;
}

QImage StandardIcon(const QWidget& box, QStyle::StandardPixmap icon) {
  return ui_test::Pixels(box.style()->standardIcon(icon, nullptr, &box).pixmap(32, 32));
}

struct TypeCase {
  int type;
  int iconBit;
  QStyle::StandardPixmap icon;  // when iconBit != 0
  std::set<int> buttons;
  std::vector<std::pair<Action, int>> results;
};

class MessageBox : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = res::InterfaceLanguage;
    res::InterfaceLanguage = 1;
  }
  void TearDown() override { res::InterfaceLanguage = saved_; }

 private:
  int saved_ = 0;
};

TEST_F(MessageBox, EachTypeShowsItsIconAndButtonsAndAnswers) {
  const TypeCase cases[] = {
      {engine::kMsgError, 4, QStyle::SP_MessageBoxCritical, {1},
       {{kClick1, 1}, {kEnter, 1}, {kEscape, 2}, {kCloseBox, 2}}},
      {engine::kMsgInfo, 8, QStyle::SP_MessageBoxInformation, {1}, {{kClick1, 1}, {kEnter, 1}, {kEscape, 2}}},
      {engine::kMsgRetry, 8, QStyle::SP_MessageBoxInformation, {2, 4},
       {{kClick4, 4}, {kClick2, 2}, {kEnter, 4}, {kEscape, 2}, {kCloseBox, 2}}},
      {engine::kMsgResume, 2, QStyle::SP_MessageBoxQuestion, {2, 6, 7},
       {{kClick6, 6}, {kClick7, 7}, {kClick2, 2}, {kEnter, 1}, {kEscape, 2}, {kCloseBox, 2}}},
      {0, 0, QStyle::SP_MessageBoxInformation, {1}, {{kClick1, 1}, {kEscape, 2}}},
      // Bits 8 and 1: the exclamation mark, the last icon bit tested.
      {9, 1, QStyle::SP_MessageBoxWarning, {1}, {{kEnter, 1}}},
  };
  for (const TypeCase& c : cases) {
    for (const auto& [action, expected] : c.results) {
      SCOPED_TRACE("type " + std::to_string(c.type) + " action " + std::to_string(action));
      const int result = WithMessageBox("Text", "Caption", c.type, [&](CMessageDialog& box) {
        EXPECT_EQ(box.IconBit(), c.iconBit);
        const QLabel* icon = ui::DlgItem<QLabel>(box, 1060);
        ASSERT_NE(icon, nullptr);
        if (c.iconBit == 0) {
          EXPECT_TRUE(icon->pixmap().isNull());
        } else {
          EXPECT_EQ(ui_test::Pixels(icon->pixmap()), StandardIcon(box, c.icon));
          EXPECT_EQ(icon->size(), QSize(32, 32));
        }
        EXPECT_EQ(VisibleButtons(box), c.buttons);
        Do(box, action);
      });
      EXPECT_EQ(result, expected);
    }
  }
}

TEST_F(MessageBox, TooltipsInTheInterfaceLanguage) {
  for (int language : {1, 0}) {
    res::InterfaceLanguage = language;
    WithMessageBox("Text", nullptr, engine::kMsgResume, [language](CMessageDialog& box) {
      EXPECT_EQ(box.m_tooltip.GetToolCount(), 5);
      const char* expected[][2] = {{"OK", "OK"}, {"Отмена", "Cancel"}, {"Повтор", "Retry"},
                                   {"Проверить заново", "Check again"},
                                   {"Проверить с места остановки", "Continue checking"}};
      const int ids[] = {1, 2, 4, 6, 7};
      for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(ui::DlgItem(box, ids[i])->toolTip(), QString::fromUtf8(expected[i][language]));
      }
      box.done(2);
    });
  }
}

TEST_F(MessageBox, CaptionAndText) {
  // No caption: the template's "Torvex"; no text: an empty text area.
  WithMessageBox(nullptr, nullptr, engine::kMsgInfo, [](CMessageDialog& box) {
    EXPECT_EQ(box.windowTitle(), "Torvex");
    EXPECT_TRUE(ui::DlgItemText(box, 1061).isEmpty());
    EXPECT_FALSE(box.m_bHasText);
    EXPECT_FALSE(box.m_bHasCaption);
    box.done(1);
  });
  // The caller may hand in the lookup buffer, which the box itself reuses for
  // its tooltips: the text was copied before.
  WithMessageBox(res::LoadText(45), "Torvex error", engine::kMsgRetry, [](CMessageDialog& box) {
    EXPECT_EQ(box.windowTitle(), "Torvex error");
    EXPECT_EQ(ui::DlgItemText(box, 1061), "There is no disk in selected device");
    box.done(2);
  });
}

TEST_F(MessageBox, LongTextsAreCutToTheirBuffersAtACharacterBoundary) {
  std::string text;
  for (int i = 0; i < 600; ++i) text += "Ж";  // 2 bytes each
  const std::string caption(300, 'c');
  WithMessageBox(text.c_str(), caption.c_str(), engine::kMsgInfo, [](CMessageDialog& box) {
    EXPECT_EQ(std::strlen(box.m_szText), 1022u);
    EXPECT_EQ(ui::DlgItemText(box, 1061), QString(511, QChar(0x0416)));
    EXPECT_EQ(box.windowTitle(), QString(255, 'c'));
    box.done(1);
  });
}

TEST_F(MessageBox, ResumeQuestionFitsItsTextAreaOnSeveralLines) {
  for (int language : {1, 0}) {
    res::InterfaceLanguage = language;
    char text[256];
    std::snprintf(text, sizeof text, res::LoadText(49), 42);
    WithMessageBox(text, res::LoadText(183), engine::kMsgResume, [](CMessageDialog& box) {
      auto* label = ui::DlgItem<QLabel>(box, 1061);
      ASSERT_NE(label, nullptr);
      EXPECT_TRUE(label->wordWrap());
      EXPECT_TRUE(label->text().contains('\n'));
      const int needed = label->heightForWidth(label->width());
      EXPECT_GE(needed, 2 * label->fontMetrics().height());
      EXPECT_LE(needed, label->height());
      box.done(2);
    });
  }
}

TEST_F(MessageBox, FromAWorkerThreadRunsOnTheUiThreadAndBlocksTheCaller) {
  struct Case {
    int type;
    Action action;
    int expected;
  };
  for (const Case& c : {Case{engine::kMsgRetry, kClick4, 4}, Case{engine::kMsgRetry, kEnter, 4},
                        Case{engine::kMsgResume, kClick7, 7}, Case{engine::kMsgError, kEscape, 2}}) {
    std::atomic<bool> answered{false};
    std::atomic<int> result{-100};
    bool onUiThread = false;
    bool callerWaited = false;
    ui_test::BoxWatcher watcher([&](CMessageDialog& box) {
      onUiThread = box.thread() == QApplication::instance()->thread() &&
                   QThread::currentThread() == QApplication::instance()->thread();
      EXPECT_EQ(ui::DlgItemText(box, 1061), "From the check thread");
      callerWaited = !answered;
      Do(box, c.action);
    });
    std::thread worker([&] {
      char text[] = "From the check thread";
      result = ui::ShowMessage(text, "Torvex Internal Error (001)", c.type);
      answered = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return answered.load(); }, 10000));
    worker.join();
    EXPECT_TRUE(watcher.Handled());
    EXPECT_TRUE(onUiThread);
    EXPECT_TRUE(callerWaited);
    EXPECT_EQ(result.load(), c.expected) << c.type;
  }
}

}  // namespace
