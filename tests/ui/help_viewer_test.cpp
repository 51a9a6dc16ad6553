// The help viewer, its pop-ups and the help file shipped with the program,
// through WinHelp as the windows call it.
#include "ui/help_viewer.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTimer>
#include <fstream>
#include <set>

#include "platform/data_files.h"
#include "platform/whole_file.h"
#include "res/dialog_templates.h"
#include "res/text_table.h"
#include "ui/help_file.h"
#include "ui/message_dialog.h"
#include "ui/template_dialog.h"
#include "ui_test_helpers.h"

namespace ui {
namespace {

constexpr char kShipped[] = TORVEX_SHIPPED_HELP_FILE;

HelpFile ShippedHelp() {
  std::string contents;
  bool truncated = false;
  EXPECT_EQ(platform::ReadWholeFile(kShipped, 1 << 22, &contents, &truncated), platform::kFileOk) << kShipped;
  HelpFile file;
  HelpParseError error;
  EXPECT_TRUE(ParseHelpFile(contents, &file, &error)) << kShipped << ":" << error.line << ": " << error.message;
  return file;
}

QString ShotPath(const QString& name) {
  QDir().mkpath(TORVEX_SCREENSHOT_DIR);
  return QStringLiteral(TORVEX_SCREENSHOT_DIR "/") + name + ".png";
}

class HelpViewerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    res::InterfaceLanguage = 1;
    SetHelpFile(kShipped);
    QCursor::setPos(0, 0);
  }
  void TearDown() override {
    WinHelp(nullptr, kHelpQuit, 0);
    SetHelpFile("");
    QCoreApplication::processEvents();
  }
  static QListWidget* Topics() { return HelpViewerWindow()->findChild<QListWidget*>("topics"); }
  static QTextBrowser* Text() { return HelpViewerWindow()->findChild<QTextBrowser*>("text"); }
};

TEST(ShippedHelp, HasATopicForEveryWindowAndAPopupForEveryControlThatAsks) {
  const HelpFile help = ShippedHelp();
  for (const res::DialogTemplate& t : res::AllDialogTemplates()) {
    const HelpTopic* topic = help.FindTopic(HelpTopicOfWindow(t.id));
    EXPECT_NE(topic, nullptr) << "no topic for window " << t.id;
  }
  std::set<uint32_t> wanted;
  for (int dialogId : {res::kDialogOptions, res::kDialogFolderBrowser}) {
    for (const res::ControlTemplate& c : res::FindDialogTemplate(dialogId)->controls) {
      if (c.id == res::kNoId || c.id == 1 || c.id == 2) continue;
      wanted.insert(HelpContextId(dialogId, c.id));
      const HelpPopup* popup = help.FindPopup(HelpContextId(dialogId, c.id));
      ASSERT_NE(popup, nullptr) << "no pop-up for control " << c.id << " of " << dialogId;
      EXPECT_FALSE(popup->text.english.empty());
      EXPECT_FALSE(popup->text.russian.empty());
    }
  }
  EXPECT_EQ(wanted.size(), 26u);
  // No pop-up for a control that does not ask for one (a mistyped id).
  for (const HelpPopup& p : help.popups) EXPECT_EQ(wanted.count(p.contextId), 1u) << std::hex << p.contextId;
  // Every topic reads in both languages, in the list and in the pane.
  for (const HelpTopic& t : help.topics) {
    for (int language : {0, 1}) {
      EXPECT_GT(HelpTextToHtml(t.text.In(language), help, language).size(), 200u) << t.name;
    }
  }
}

TEST_F(HelpViewerTest, FinderTopicsLinksAndQuit) {
  const HelpFile help = ShippedHelp();
  ASSERT_TRUE(WinHelp(nullptr, kHelpFinder, 0));
  QWidget* viewer = HelpViewerWindow();
  ASSERT_NE(viewer, nullptr);
  EXPECT_TRUE(QTest::qWaitForWindowExposed(viewer));
  EXPECT_EQ(viewer->windowTitle(), "Torvex Help");
  ASSERT_EQ(Topics()->count(), static_cast<int>(help.topics.size()));
  EXPECT_EQ(Topics()->item(0)->text(), "Welcome to Torvex");
  EXPECT_EQ(HelpViewerTopic(), help.topics.front().number);

  // F1 in the main window: its topic, in the same viewer.
  ASSERT_TRUE(WinHelp(nullptr, kHelpContext, HelpTopicOfWindow(res::kDialogMain)));
  EXPECT_EQ(HelpViewerWindow(), viewer);
  EXPECT_EQ(HelpViewerTopic(), 0x20066u);
  EXPECT_TRUE(Text()->toPlainText().startsWith("The main window"));
  EXPECT_TRUE(Text()->toPlainText().contains("START begins a check"));
  EXPECT_EQ(Topics()->currentItem()->text(), "The main window");
  ui_test::Grab(*viewer).save(ShotPath("help_viewer_main"));

  // A click in the list.
  const int errorsRow = static_cast<int>(help.FindTopicByName("errors") - help.topics.data());
  QListWidgetItem* item = Topics()->item(errorsRow);
  QTest::mouseClick(Topics()->viewport(), Qt::LeftButton, {}, Topics()->visualItemRect(item).center());
  EXPECT_EQ(HelpViewerTopic(), 0x10003u);

  // A link in the text: "Messages and what to do" from the first topic.
  ASSERT_TRUE(WinHelp(nullptr, kHelpContext, 0x10001));
  QTextCursor link;
  for (QTextBlock b = Text()->document()->begin(); b.isValid() && link.isNull(); b = b.next()) {
    for (auto f = b.begin(); !f.atEnd(); ++f) {
      if (f.fragment().charFormat().anchorHref() == "topic:messages") {
        link = QTextCursor(Text()->document());
        link.setPosition(f.fragment().position() + 1);
        break;
      }
    }
  }
  ASSERT_FALSE(link.isNull());
  Text()->setTextCursor(link);
  Text()->ensureCursorVisible();
  const QPoint at = Text()->cursorRect(link).center();
  QTest::mouseClick(Text()->viewport(), Qt::LeftButton, {}, at);
  EXPECT_EQ(HelpViewerTopic(), 0x10004u);
  EXPECT_EQ(Topics()->currentRow(), static_cast<int>(help.FindTopicByName("messages") - help.topics.data()));
  // And back.
  QTest::keyClick(Text(), Qt::Key_Left, Qt::AltModifier);
  EXPECT_EQ(HelpViewerTopic(), 0x10001u);

  // A number the file does not have opens the finder, as it stands.
  EXPECT_TRUE(WinHelp(nullptr, kHelpContext, 0x2FFFF));
  EXPECT_EQ(HelpViewerWindow(), viewer);
  EXPECT_EQ(HelpViewerTopic(), 0x10001u);

  // Escape and the close box only hide it; asked again, it comes back.
  QTest::keyClick(Topics(), Qt::Key_Escape);
  EXPECT_EQ(HelpViewerWindow(), nullptr);
  ASSERT_TRUE(WinHelp(nullptr, kHelpFinder, 0));
  viewer->close();
  EXPECT_EQ(HelpViewerWindow(), nullptr);
  ASSERT_TRUE(WinHelp(nullptr, kHelpFinder, 0));
  EXPECT_NE(HelpViewerWindow(), nullptr);

  EXPECT_TRUE(WinHelp(nullptr, kHelpQuit, 0));
  EXPECT_EQ(HelpViewerWindow(), nullptr);
  EXPECT_TRUE(WinHelp(nullptr, kHelpQuit, 0));  // nothing open: nothing to do
  EXPECT_FALSE(WinHelp(nullptr, 99, 0));
}

TEST_F(HelpViewerTest, RussianInterfaceShowsTheRussianHelp) {
  res::InterfaceLanguage = 0;
  ASSERT_TRUE(WinHelp(nullptr, kHelpContext, HelpTopicOfWindow(res::kDialogOptions)));
  ASSERT_NE(HelpViewerWindow(), nullptr);
  EXPECT_EQ(HelpViewerWindow()->windowTitle(), "Справка Torvex");
  EXPECT_EQ(Topics()->item(0)->text(), "Знакомство с Torvex");
  EXPECT_TRUE(Text()->toPlainText().startsWith("Параметры"));
  EXPECT_TRUE(QTest::qWaitForWindowExposed(HelpViewerWindow()));
  ui_test::Grab(*HelpViewerWindow()).save(ShotPath("help_viewer_options_ru"));
}

TEST_F(HelpViewerTest, PopupsBesideTheControlOrTheMouseGoneAtTheNextKeyOrClick) {
  CTemplateDialog options(res::kDialogOptions);
  options.move(300, 200);
  options.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&options));
  QWidget* sounds = DlgItem(options, 1019);
  ASSERT_NE(sounds, nullptr);

  // F1 with the mouse elsewhere: below the control.
  ASSERT_TRUE(WinHelp(&options, kHelpContextPopup, HelpContextId(res::kDialogOptions, 1019)));
  QWidget* popup = HelpPopupWindow();
  ASSERT_NE(popup, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(popup));
  const QLabel* text = popup->findChild<QLabel*>("popupText");
  ASSERT_NE(text, nullptr);
  EXPECT_TRUE(text->text().contains("Gives a signal for every file with a read error"));
  const QPoint controlBottomLeft = sounds->mapToGlobal(QPoint(0, sounds->height()));
  EXPECT_NEAR(popup->x(), controlBottomLeft.x(), 4);
  EXPECT_GE(popup->y(), controlBottomLeft.y());
  EXPECT_LT(popup->y(), controlBottomLeft.y() + 10);
  EXPECT_LE(popup->width(), 360);
  ui_test::Grab(*popup).save(ShotPath("help_popup_sounds"));
  QTest::keyClick(popup, Qt::Key_Space);
  QCoreApplication::processEvents();
  EXPECT_EQ(HelpPopupWindow(), nullptr);

  // The ? button and a click on the control: beside the mouse.
  const QPoint mouse = DlgItem(options, 1096)->mapToGlobal(QPoint(10, 5));
  QCursor::setPos(mouse);
  ASSERT_TRUE(WinHelp(&options, kHelpContextPopup, HelpContextId(res::kDialogOptions, 1096)));
  popup = HelpPopupWindow();
  ASSERT_NE(popup, nullptr);
  EXPECT_LT((popup->pos() - mouse).manhattanLength(), 40);
  QTest::mouseClick(popup, Qt::LeftButton, {}, QPoint(5, 5));
  QCoreApplication::processEvents();
  EXPECT_EQ(HelpPopupWindow(), nullptr);

  // A new pop-up replaces the one that is up; a control without a text of
  // its own gets the general one; context id 0 shows nothing.
  ASSERT_TRUE(WinHelp(&options, kHelpContextPopup, HelpContextId(res::kDialogOptions, 1014)));
  QWidget* first = HelpPopupWindow();
  ASSERT_TRUE(WinHelp(&options, kHelpContextPopup, HelpContextId(res::kDialogOptions, 1500)));
  QCoreApplication::processEvents();
  ASSERT_NE(HelpPopupWindow(), nullptr);
  EXPECT_NE(HelpPopupWindow(), first);
  EXPECT_EQ(HelpPopupWindow()->findChild<QLabel*>("popupText")->text(), "<p>No help is available for this item.</p>\n");
  WinHelp(nullptr, kHelpQuit, 0);
  QCoreApplication::processEvents();
  EXPECT_EQ(HelpPopupWindow(), nullptr);
  EXPECT_TRUE(WinHelp(&options, kHelpContextPopup, 0));
  EXPECT_EQ(HelpPopupWindow(), nullptr);
}

TEST_F(HelpViewerTest, AModalDialogDoesNotLockTheViewerWhichOutlivesItButNotTheProgram) {
  // F1 in the About dialog, over a main window.
  QWidget mainWindow;
  mainWindow.resize(300, 200);
  mainWindow.show();
  {
    CTemplateDialog about(res::kDialogAbout);
    bool asked = false;
    QTimer::singleShot(0, &about, [&] {
      asked = WinHelp(&about, kHelpContext, HelpTopicOfWindow(res::kDialogAbout));
      ASSERT_NE(HelpViewerWindow(), nullptr);
      EXPECT_EQ(HelpViewerWindow()->parentWidget(), &about);  // a window of the modal dialog
      EXPECT_EQ(HelpViewerTopic(), 0x20064u);
      about.done(1);
    });
    EXPECT_EQ(about.DoModal(), 1);
    EXPECT_TRUE(asked);
  }
  ASSERT_NE(HelpViewerWindow(), nullptr);
  EXPECT_EQ(HelpViewerWindow()->parentWidget(), nullptr);
  EXPECT_EQ(HelpViewerTopic(), 0x20064u);
  mainWindow.hide();

  // A main window that itself runs modally: the viewer does not keep the
  // program alive once that window has gone.
  CTemplateDialog modalMain(res::kDialogMain);
  QTimer::singleShot(0, &modalMain, [&] {
    EXPECT_TRUE(WinHelp(&modalMain, kHelpFinder, 0));
    EXPECT_EQ(HelpViewerWindow()->parentWidget(), &modalMain);
    modalMain.done(2);
  });
  EXPECT_EQ(modalMain.DoModal(), 2);
  EXPECT_EQ(HelpViewerWindow(), nullptr);
}

TEST_F(HelpViewerTest, AMissingOrBrokenHelpFileIsToldAndNothingElseHappens) {
  SetHelpFile("no-such-help.hlp");
  std::string text, caption;
  int type = 0;
  ui_test::BoxWatcher watcher([&](CMessageDialog& box) {
    text = box.m_szText;
    caption = box.m_szCaption;
    type = box.m_nType;
    ui_test::Grab(box).save(ShotPath("help_missing"));
    box.done(1);
  });
  EXPECT_FALSE(WinHelp(nullptr, kHelpFinder, 0));
  EXPECT_TRUE(watcher.Handled());
  EXPECT_EQ(caption, "Torvex error");
  EXPECT_EQ(type, 4);
  EXPECT_NE(text.find("Cannot open the help file:\n"), std::string::npos) << text;
  EXPECT_NE(text.find(platform::ProgramFolder() + "/no-such-help.hlp"), std::string::npos) << text;
  EXPECT_NE(text.find(platform::DataFolder() + "/no-such-help.hlp"), std::string::npos) << text;
  EXPECT_EQ(HelpViewerWindow(), nullptr);

  // A file that is there but is no help file: named with the line at fault.
  // A viewer already open stays as it was.
  SetHelpFile(kShipped);
  ASSERT_TRUE(WinHelp(nullptr, kHelpContext, 0x20066));
  QTemporaryDir folder;
  const std::string broken = folder.filePath("broken.hlp").toStdString();
  std::ofstream(broken) << "@help 1\n@caption en C\n@bogus\n";
  SetHelpFile(broken);
  ui_test::BoxWatcher second([&](CMessageDialog& box) {
    text = box.m_szText;
    box.done(1);
  });
  EXPECT_FALSE(WinHelp(nullptr, kHelpContextPopup, HelpContextId(res::kDialogOptions, 1019)));
  EXPECT_TRUE(second.Handled());
  EXPECT_NE(text.find(broken + ":3"), std::string::npos) << text;
  EXPECT_EQ(HelpPopupWindow(), nullptr);
  EXPECT_EQ(HelpViewerTopic(), 0x20066u);

  // By default the help file is named after the program.
  SetHelpFile("");
  EXPECT_EQ(HelpFileName(), "ui_tests.hlp");
}

}  // namespace
}  // namespace ui
