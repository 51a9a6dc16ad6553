// The web page window with the real browser (Qt WebEngine, in-process, with
// its helper processes), driven through the real windows offscreen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>
#include <QUrl>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <string>

#include "dialogs/about_dialog.h"
#include "dialogs/web_engine_setup.h"
#include "dialogs/web_page_dialog.h"
#include "platform/data_files.h"
#include "platform/registry.h"
#include "records/settings_store.h"
#include "res/text_table.h"
#include "tests/dialogs/about_test_helpers.h"
#include "tests/support/fake_environment.h"
#include "tests/support/temp_tree.h"
#include "ui/bitmap_button.h"
#include "ui/message_dialog.h"


namespace {

using about_test::ModalWatcher;
using about_test::WaitUntil;
using dialogs::CAboutDialog;
using dialogs::CWebPageDialog;

// What the browser needs must be set before the QApplication of this program
// is made, as main() does.
[[maybe_unused]] const bool kWebEnginePrepared = (dialogs::PrepareWebEngine(), true);

// A page load in the browser's helper process, slower under the sanitizers.
constexpr int kLoadMs = 90000;

using testing_support::FakeEnvironment;

// Sets an environment variable for the life of the guard.
class EnvGuard {
 public:
  EnvGuard(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value, 1);
  }
  ~EnvGuard() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

class WebPageDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    res::InterfaceLanguage = 1;
    dialogs::WebBrowserEngine* engine = dialogs::ProgramBrowserEngine();
    ASSERT_NE(engine, nullptr) << "the browser module " << dialogs::kBrowserModuleName
                               << " beside the test program did not load";
    QWidget* probe = engine->CreateView(nullptr);
    if (probe == nullptr) {
      GTEST_SKIP() << "Qt WebEngine cannot start here: its helper process QtWebEngineProcess is missing "
                      "(package libqt6webenginecore6-bin)";
    }
    delete probe;
  }

  void SetHomePage(const std::string& address) {
    platform::RegistryKey key;
    ASSERT_EQ(registry_.CreateKey(records::kProgramKey, &key, nullptr), platform::kRegOk);
    ASSERT_EQ(key.SetString("AddrURLhp", address), platform::kRegOk);
  }

  // A page of our own with this title; returns its file: address.
  std::string Page(const std::string& name, const std::string& title) {
    const std::string path = tree_.Path(name);
    std::ofstream(path) << "<!DOCTYPE html><html><head><title>" << title << "</title></head><body><h1>" << title
                        << "</h1></body></html>";
    return QUrl::fromLocalFile(QString::fromStdString(path)).toString().toStdString();
  }

  // Waits until the window's browser shows the page with this title.
  static bool ShowsPage(CWebPageDialog& page, const QString& title) {
    return WaitUntil([&] { return page.m_browser->GetLocationName() == title; }, kLoadMs);
  }

  testing_support::TempTree tree_;
  platform::Registry registry_{tree_.Path("registry.reg")};
  records::SettingsStore store_{registry_};
};

TEST(PrepareWebEngineTest, TurnsTheSandboxOffForRootOnly) {
  FakeEnvironment user(false);
  dialogs::PrepareWebEngine(user);
  EXPECT_EQ(user.variables.count(dialogs::kDisableSandboxVariable), 0u);

  FakeEnvironment root(true);
  root.variables[dialogs::kDisableSandboxVariable] = "0";
  dialogs::PrepareWebEngine(root);
  EXPECT_EQ(root.variables[dialogs::kDisableSandboxVariable], "1");

  EXPECT_TRUE(QCoreApplication::testAttribute(Qt::AA_ShareOpenGLContexts));
}

// The title the shipped page gives itself.
QString ShippedPageTitle(const std::string& address) {
  QFile file(QUrl(QString::fromStdString(address)).toLocalFile());
  if (!file.open(QIODevice::ReadOnly)) return QString();
  const QRegularExpressionMatch match =
      QRegularExpression(QStringLiteral("<title>([^<]+)</title>")).match(QString::fromUtf8(file.readAll()));
  return match.hasMatch() ? match.captured(1) : QString();
}

TEST_F(WebPageDialogTest, RendersTheShippedHomePageMaximised) {
  // Without the settings key the window shows the page shipped beside the
  // program.
  const std::string home = dialogs::DefaultHomePage();
  ASSERT_EQ(home, QUrl::fromLocalFile(QString::fromStdString(platform::ProgramFolder() + "/torvex.html"))
                      .toString(QUrl::FullyEncoded)
                      .toStdString());
  const QString title = ShippedPageTitle(home);
  ASSERT_FALSE(title.isEmpty());

  CWebPageDialog page(store_);
  ModalWatcher<CWebPageDialog> watcher([&](CWebPageDialog& open) {
    EXPECT_EQ(open.windowTitle().toStdString(), "Torvex in WWW");
    EXPECT_EQ(open.m_tooltip.GetText(open.m_btnOk).toStdString(), "Close");
    EXPECT_EQ(open.m_tooltip.GetText(open.m_btnRefresh).toStdString(), "Refresh");
    EXPECT_EQ(open.Address(), home);
    ASSERT_TRUE(ShowsPage(open, title)) << "shown: " << open.m_browser->GetLocationName().toStdString();
    EXPECT_EQ(open.m_browser->GetLocationURL().toStdString(), home);
    EXPECT_TRUE(open.isMaximized());
    EXPECT_EQ(open.frameGeometry().size(), QGuiApplication::primaryScreen()->availableGeometry().size());
    EXPECT_EQ(open.m_browser->geometry(), QRect(11, 11, open.width() - 80, open.height() - 22));
    // Let the page paint before the picture is taken.
    QTest::qWait(1000);
    EXPECT_TRUE(open.grab().save(about_test::ShotPath("web_page")));
    QTest::mouseClick(open.m_btnOk, Qt::LeftButton);
  });
  EXPECT_EQ(page.DoModal(), 1);
  EXPECT_TRUE(watcher.Handled());
}

TEST_F(WebPageDialogTest, LoadsTheStoredAddressOnOpeningAndOnRefresh) {
  const std::string first = Page("first.html", "First stored page");
  const std::string second = Page("second.html", "Second stored page");
  SetHomePage(first);
  CWebPageDialog page(store_);
  ModalWatcher<CWebPageDialog> watcher([&](CWebPageDialog& open) {
    ASSERT_TRUE(ShowsPage(open, "First stored page")) << open.m_browser->GetLocationName().toStdString();
    EXPECT_EQ(open.m_browser->GetLocationURL().toStdString(), first);
    // The value changes while the window is open: REFRESH reads it afresh.
    SetHomePage(second);
    QTest::mouseClick(open.m_btnRefresh, Qt::LeftButton);
    ASSERT_TRUE(ShowsPage(open, "Second stored page")) << open.m_browser->GetLocationName().toStdString();
    EXPECT_EQ(open.m_browser->GetLocationURL().toStdString(), second);
    QTest::keyClick(&open, Qt::Key_Escape);
  });
  EXPECT_EQ(page.DoModal(), 2);
  EXPECT_TRUE(watcher.Handled());
}

TEST_F(WebPageDialogTest, StoredAddressMustFitItsBuffer) {
  // 511 characters and the terminating zero fill the 512-byte buffer.
  const std::string base = Page("page.html", "Long address") + "?";
  const std::string fits = base + std::string(511 - base.size(), 'a');
  struct Case {
    std::string value;
    std::string address;
  };
  for (const Case& c : {Case{fits, fits}, Case{fits + "a", dialogs::DefaultHomePage()}}) {
    SetHomePage(c.value);
    CWebPageDialog page(store_);
    ModalWatcher<CWebPageDialog> watcher([&](CWebPageDialog& open) {
      EXPECT_EQ(open.Address(), c.address) << c.value.size();
      open.done(1);
    });
    EXPECT_EQ(page.DoModal(), 1);
  }
}

TEST_F(WebPageDialogTest, AboutShowsTheStoredHomePageAndItsUrlButtonOpensIt) {
  const std::string address = Page("home.html", "Stored home page");
  SetHomePage(address);
  CAboutDialog about(store_);
  bool pageOpened = false;
  ModalWatcher<CAboutDialog> watcher([&](CAboutDialog& open) {
    EXPECT_EQ(open.m_strHomePage, address);
    ModalWatcher<CWebPageDialog> pageWatcher([&](CWebPageDialog& page) {
      pageOpened = true;
      EXPECT_TRUE(ShowsPage(page, "Stored home page")) << page.m_browser->GetLocationName().toStdString();
      EXPECT_EQ(page.m_browser->GetLocationURL().toStdString(), address);
      EXPECT_EQ(page.parentWidget(), &open);
      QTest::mouseClick(page.m_btnOk, Qt::LeftButton);
    });
    QTest::mouseClick(open.m_btnUrl, Qt::LeftButton);
    // Back in the About dialog, which stayed open underneath.
    EXPECT_TRUE(open.isVisible());
    QTest::mouseClick(open.m_btnOk, Qt::LeftButton);
  });
  EXPECT_EQ(about.DoModal(), 1);
  EXPECT_TRUE(pageOpened);
}

TEST_F(WebPageDialogTest, ResizingKeepsTheMarginsAndNothingMovesWhileMinimised) {
  CWebPageDialog page(store_);
  ModalWatcher<CWebPageDialog> watcher([&](CWebPageDialog& open) {
    ASSERT_TRUE(open.isMaximized());
    auto expectLayout = [&open](int w, int h) {
      EXPECT_EQ(open.size(), QSize(w, h));
      EXPECT_EQ(open.m_browser->geometry(), QRect(11, 11, w - 80, h - 22));
      EXPECT_EQ(open.m_btnOk->geometry(), QRect(w - 47, 11, 32, 32));
      EXPECT_EQ(open.m_btnRefresh->geometry(), QRect(w - 47, 50, 32, 32));
    };
    open.showNormal();
    open.resize(600, 400);
    QTest::qWait(20);
    expectLayout(600, 400);

    open.showMinimized();
    QTest::qWait(20);
    open.resize(700, 450);
    QTest::qWait(20);
    EXPECT_EQ(open.m_browser->geometry(), QRect(11, 11, 520, 378)) << "moved while minimised";
    EXPECT_EQ(open.m_btnOk->geometry(), QRect(553, 11, 32, 32));
    open.showNormal();
    QTest::qWait(20);
    expectLayout(700, 450);
    open.done(1);
  });
  EXPECT_EQ(page.DoModal(), 1);
  EXPECT_TRUE(watcher.Handled());
}

// Counts the showings of a window.
class ShowCounter : public QObject {
 public:
  int shown = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Show) ++shown;
    return false;
  }
};

TEST_F(WebPageDialogTest, BrowserThatCannotStartEndsTheWindowQuietly) {
  // No browser at all.
  {
    CWebPageDialog page(store_, nullptr, nullptr);
    ShowCounter counter;
    page.installEventFilter(&counter);
    EXPECT_EQ(page.DoModal(), -1);
    EXPECT_EQ(counter.shown, 0);
    EXPECT_TRUE(page.Address().empty()) << "navigated without a browser";
  }
  // The browser's helper process is missing.
  const EnvGuard missing("QTWEBENGINE_PROCESS_PATH", tree_.Path("no-such-helper").c_str());
  {
    CWebPageDialog page(store_);
    EXPECT_EQ(page.DoModal(), -1);
  }
  // From the About dialog: no window, no message, and About stays as it was.
  CAboutDialog about(store_);
  bool pageShown = false;
  bool messageShown = false;
  ModalWatcher<CAboutDialog> watcher([&](CAboutDialog& open) {
    ModalWatcher<CWebPageDialog> pageWatcher([&](CWebPageDialog& page) {
      pageShown = true;
      page.done(1);
    });
    ModalWatcher<ui::CMessageDialog> messageWatcher([&](ui::CMessageDialog& box) {
      messageShown = true;
      box.done(2);
    });
    const QString version = ui::DlgItemText(open, 1120);
    QTest::mouseClick(open.m_btnUrl, Qt::LeftButton);
    QTest::qWait(100);
    EXPECT_TRUE(open.isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), &open);
    EXPECT_EQ(ui::DlgItemText(open, 1120), version);
    QTest::mouseClick(open.m_btnOk, Qt::LeftButton);
  });
  EXPECT_EQ(about.DoModal(), 1);
  EXPECT_FALSE(pageShown);
  EXPECT_FALSE(messageShown);
}

}  // namespace
