// The frame of every window as its template gives it (which caption buttons
// it has, whether it can be resized), F1 in each window that has a help
// topic of its own, and the owner of a message box.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QScreen>
#include <QTest>
#include <unistd.h>

#include "dialogs/about_dialog.h"
#include "dialogs/folder_browser_dialog.h"
#include "dialogs/language_dialog.h"
#include "dialogs/options_dialog.h"
#include "dialogs/web_browser_ctrl.h"
#include "dialogs/web_engine_setup.h"
#include "dialogs/web_page_dialog.h"
#include "engine/window_ops.h"
#include "platform/folder_list.h"
#include "platform/registry.h"
#include "records/settings_store.h"
#include "res/dialog_templates.h"
#include "res/text_table.h"
#include "tests/dialogs/about_test_helpers.h"
#include "tests/support/fake_drive_probe.h"
#include "tests/support/temp_tree.h"
#include "tests/ui/ui_test_helpers.h"
#include "ui/bitmap_button.h"
#include "ui/help_viewer.h"
#include "app/main_dialog.h"
#include "ui/message_dialog.h"

namespace {

using about_test::ModalWatcher;

// As the program does before its application object exists.
[[maybe_unused]] const bool kWebEnginePrepared = (dialogs::PrepareWebEngine(), true);

// The caption buttons a window has, as its flags tell the window manager.
struct Frame {
  bool close, minimize, maximize, contextHelp, tool, resizable;
};

Frame FrameOf(const QWidget& window) {
  const Qt::WindowFlags f = window.windowFlags();
  return {f.testFlag(Qt::WindowCloseButtonHint) || !f.testFlag(Qt::CustomizeWindowHint),
          f.testFlag(Qt::WindowMinimizeButtonHint),
          f.testFlag(Qt::WindowMaximizeButtonHint),
          f.testFlag(Qt::WindowContextHelpButtonHint),
          (f & Qt::WindowType_Mask) == Qt::Tool,
          window.minimumSize() != window.maximumSize()};
}

void ExpectFrame(const QWidget& window, const Frame& expected, const char* what) {
  const Frame f = FrameOf(window);
  EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowTitleHint)) << what;
  EXPECT_EQ(f.close, expected.close) << what << ": close box";
  // No system menu, no close box: also no menu for the window manager to offer.
  EXPECT_EQ(window.windowFlags().testFlag(Qt::WindowSystemMenuHint), expected.close) << what << ": system menu";
  EXPECT_EQ(f.minimize, expected.minimize) << what << ": minimise box";
  EXPECT_EQ(f.maximize, expected.maximize) << what << ": maximise box";
  EXPECT_EQ(f.contextHelp, expected.contextHelp) << what << ": help button";
  EXPECT_EQ(f.tool, expected.tool) << what << ": tool window";
  EXPECT_EQ(f.resizable, expected.resizable) << what << ": resizable";
}

class WindowFramesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(chdir(tree_.Root().c_str()), 0);
    res::InterfaceLanguage = 1;
    ui::SetHelpFile(TORVEX_HELP_FILE);
  }
  void TearDown() override {
    if (QWidget* viewer = ui::HelpViewerWindow()) viewer->close();
    ui::SetHelpFile("");
  }

  // F1 on the widget that has the focus in `window` opens the window's topic.
  static void ExpectF1Topic(QWidget& window, int templateId, const char* what) {
    if (QWidget* viewer = ui::HelpViewerWindow()) viewer->hide();
    // F1 belongs to the window in front.
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window)) << what;
    QWidget* focus = window.focusWidget() != nullptr ? window.focusWidget() : &window;
    QTest::keyClick(focus, Qt::Key_F1);
    // A key the hosted browser saw first comes back from its page a moment
    // later.
    about_test::WaitUntil([] { return ui::HelpViewerWindow() != nullptr && ui::HelpViewerWindow()->isVisible(); },
                          5000);
    ASSERT_NE(ui::HelpViewerWindow(), nullptr) << what;
    EXPECT_TRUE(ui::HelpViewerWindow()->isVisible()) << what;
    EXPECT_EQ(ui::HelpViewerTopic(), ui::HelpTopicOfWindow(templateId)) << what;
    ui::HelpViewerWindow()->hide();
    EXPECT_TRUE(window.isVisible()) << what << " closed by F1";
  }

  testing_support::TempTree tree_;
  std::shared_ptr<platform::Registry> registry_ = std::make_shared<platform::Registry>(tree_.Path("registry.reg"));
  records::SettingsStore store_{*registry_};
};

TEST_F(WindowFramesTest, EveryWindowHasTheFrameOfItsTemplate) {
  // The first-run dialog: no system menu, so no close box.
  {
    dialogs::CLanguageDialog dialog;
    ExpectFrame(dialog, {false, false, false, false, false, false}, "first-run dialog");
  }
  {
    ui::CMessageDialog box;
    ExpectFrame(box, {true, false, false, false, false, false}, "message box");
  }
  {
    dialogs::CAboutDialog about(store_);
    ExpectFrame(about, {true, false, false, false, false, false}, "About");
    dialogs::CCreditsDialog credits;
    ExpectFrame(credits, {true, false, false, false, true, false}, "credits");
    dialogs::CWebPageDialog page(store_);
    ExpectFrame(page, {true, false, true, false, false, true}, "web page window");
  }
  {
    testing_support::TempTree c;
    const platform::DriveTable table =
        platform::DriveTable::Build(testing_support::FakeDriveProbe{}, {{'C', platform::kDriveFixed, c.Root()}});
    engine::Settings settings;
    dialogs::COptionsDialog options(settings, "", false, table);
    ExpectFrame(options, {true, false, false, true, false, false}, "Options");
    const platform::SystemFolderLister lister;
    dialogs::CFolderBrowserDialog browser(table, lister);
    ExpectFrame(browser, {true, false, false, true, false, false}, "folder browser");
  }
  {
    ui::MainDialogServices services;
    services.registry = registry_;
    ui::CMainDialog window(std::move(services));
    ExpectFrame(window, {true, true, false, false, false, false}, "main window");
    EXPECT_EQ(window.windowFlags() & Qt::WindowType_Mask, Qt::Window);
  }
}

TEST_F(WindowFramesTest, WhatTheFrameDoesNotOfferStaysRefusedWhateverTheWindowManagerDraws) {
  // A window manager that draws a close box anyway: the first-run dialog
  // stays, the message box (which has one) closes as Cancel.
  {
    dialogs::CLanguageDialog dialog;
    ModalWatcher<dialogs::CLanguageDialog> watcher([&](dialogs::CLanguageDialog& open) {
      EXPECT_FALSE(open.close());
      EXPECT_TRUE(open.isVisible()) << "closed from the caption";
      // Minimised and maximised by the window manager: back at once.
      open.setWindowState(Qt::WindowMinimized);
      QApplication::processEvents();
      EXPECT_FALSE(open.isMinimized());
      open.setWindowState(Qt::WindowMaximized);
      QApplication::processEvents();
      EXPECT_FALSE(open.isMaximized());
      open.done(1);
    });
    EXPECT_EQ(dialog.DoModal(), 1);
  }
  const int result = ui_test::WithMessageBox("Text", "Torvex", engine::kMsgInfo, [&](ui::CMessageDialog& box) {
    box.setWindowState(Qt::WindowMinimized);
    QApplication::processEvents();
    EXPECT_FALSE(box.isMinimized());
    EXPECT_TRUE(box.close());
  });
  EXPECT_EQ(result, 2);
}

TEST_F(WindowFramesTest, TheFirstRunDialogStartsOnTheLanguageOfTheLocaleAndOkTakesIt) {
  for (const int preselected : {-1, 0, 1}) {
    dialogs::CLanguageDialog dialog(preselected);
    ModalWatcher<dialogs::CLanguageDialog> watcher([&](dialogs::CLanguageDialog& open) {
      QTest::mouseClick(ui::DlgItem(open, 1), Qt::LeftButton);
    });
    dialog.DoModal();
    EXPECT_TRUE(watcher.Handled());
    EXPECT_EQ(dialog.m_nLanguage, preselected);
  }
}

TEST_F(WindowFramesTest, F1OpensTheTopicOfEachWindow) {
  {
    dialogs::CLanguageDialog dialog;
    ModalWatcher<dialogs::CLanguageDialog> watcher([&](dialogs::CLanguageDialog& open) {
      ExpectF1Topic(open, res::kDialogLanguage, "first-run dialog");
      open.done(2);
    });
    dialog.DoModal();
    EXPECT_TRUE(watcher.Handled());
  }
  {
    const int result = ui_test::WithMessageBox("Text", "Torvex", engine::kMsgResume, [&](ui::CMessageDialog& box) {
      ExpectF1Topic(box, res::kDialogMessage, "message box");
      box.done(7);
    });
    EXPECT_EQ(result, 7);
  }
  {
    dialogs::CAboutDialog about(store_);
    ModalWatcher<dialogs::CAboutDialog> watcher([&](dialogs::CAboutDialog& open) {
      ExpectF1Topic(open, res::kDialogAbout, "About");
      dialogs::CCreditsDialog credits(&open);
      ModalWatcher<dialogs::CCreditsDialog> creditsWatcher([&](dialogs::CCreditsDialog& c) {
        ExpectF1Topic(c, res::kDialogCredits, "credits");
        c.done(2);
      });
      credits.DoModal();
      EXPECT_TRUE(creditsWatcher.Handled());
      ModalWatcher<dialogs::CWebPageDialog> pageWatcher([&](dialogs::CWebPageDialog& page) {
        // Also while the browser itself has the focus.
        if (page.m_browser != nullptr && page.m_browser->View() != nullptr) page.m_browser->View()->setFocus();
        ExpectF1Topic(page, res::kDialogWebPage, "web page window");
        page.done(1);
      });
      QTest::mouseClick(ui::DlgItem(open, 1035), Qt::LeftButton);
      EXPECT_TRUE(pageWatcher.Handled()) << "the web page window did not open";
      open.done(1);
    });
    about.DoModal();
    EXPECT_TRUE(watcher.Handled());
  }
}

TEST_F(WindowFramesTest, MessageBoxBelongsToTheWindowThatAsksNotToTheActiveOne) {
  {
    // Not a first start: no language question.
    records::SettingsStore store(*registry_);
    store.TakeProgramFolder();
    store.LoadSettings();
    store.SaveSettings();
  }
  ui::MainDialogServices services;
  services.registry = registry_;
  ui::CMainDialog window(std::move(services));
  ASSERT_TRUE(window.Create());
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  EXPECT_EQ(ui::MainWindow(), &window);
  // In the middle of the screen, so that a box centred over it is not pushed
  // back onto the screen at any scale.
  window.move(QGuiApplication::primaryScreen()->availableGeometry().center() - window.frameGeometry().center() +
              window.pos());

  // Another window is the active one when the box comes up.
  QWidget other;
  other.setGeometry(QGuiApplication::primaryScreen()->availableGeometry().topLeft().x(), 0, 100, 50);
  ASSERT_TRUE(ui_test::ShowActive(other));
  ASSERT_EQ(QApplication::activeWindow(), &other);

  // Asked for by no window in particular (as the engine's boxes are), the
  // box belongs to the main window.
  ui_test::WithMessageBox("The end", "Torvex check finished", engine::kMsgInfo, [&](ui::CMessageDialog& box) {
    EXPECT_EQ(box.parentWidget(), &window);
    EXPECT_TRUE(box.isModal());
    // Centred over its owner.
    const QPoint offset = box.frameGeometry().center() - window.frameGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 4) << offset.x() << "," << offset.y();
    box.done(1);
  });

  // A box that a dialog asks for belongs to that dialog.
  dialogs::CAboutDialog about(store_, &window);
  ModalWatcher<dialogs::CAboutDialog> watcher([&](dialogs::CAboutDialog& open) {
    ui_test::BoxWatcher boxWatcher([&](ui::CMessageDialog& box) {
      EXPECT_EQ(box.parentWidget(), &open);
      box.done(1);
    });
    ui::ShowMessage("From About", "Torvex", engine::kMsgInfo, &open);
    EXPECT_TRUE(boxWatcher.Handled());
    open.done(1);
  });
  about.DoModal();
  EXPECT_TRUE(watcher.Handled());
  window.close();
}

}  // namespace

namespace {

TEST_F(WindowFramesTest, BitmapButtonsTellScreenReadersWhatTheirTooltipsSay) {
  // The Russian main window, as a screen reader reads it.
  {
    records::SettingsStore store(*registry_);
    store.TakeProgramFolder();
    store.LoadSettings();
    store.settings->language = 0;
    store.SaveSettings();
  }
  ui::MainDialogServices services;
  services.registry = registry_;
  ui::CMainDialog window(std::move(services));
  ASSERT_TRUE(window.Create());
  int buttons = 0;
  for (ui::CBitmapButton* button : window.findChildren<ui::CBitmapButton*>()) {
    ++buttons;
    const QString tip = button->toolTip();
    ASSERT_FALSE(tip.isEmpty()) << ui::DlgItemId(button);
    QAccessibleInterface* node = QAccessible::queryAccessibleInterface(button);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->text(QAccessible::Name), tip) << ui::DlgItemId(button);
    EXPECT_EQ(node->text(QAccessible::Description), tip) << ui::DlgItemId(button);
  }
  EXPECT_EQ(buttons, 12);
  EXPECT_EQ(ui::DlgItem(window, engine::kIdStart)->accessibleName().toStdString(), "Начать проверку диска");
  // A panel's X button tells what a click on it does now.
  QWidget* x = ui::DlgItem(window, 1078);
  ASSERT_NE(x, nullptr);
  const QString before = x->accessibleName();
  QTest::mouseClick(x, Qt::LeftButton);
  EXPECT_NE(x->accessibleName(), before);
  EXPECT_EQ(x->accessibleName(), x->toolTip());
  window.close();
  res::InterfaceLanguage = 1;
}

}  // namespace
