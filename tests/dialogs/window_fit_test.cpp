// Every window of the program, in English and in Russian, in the Debian
// desktop's default font: each caption, label, check box, radio button and
// group box shows its whole text, and no control that grew for its text
// covers another one. ctest runs this program at 100 % and at 200 %
// (QT_SCALE_FACTOR=2).
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QTest>
#include <string>
#include <unistd.h>
#include <vector>

#include "dialogs/about_dialog.h"
#include "dialogs/folder_browser_dialog.h"
#include "dialogs/language_dialog.h"
#include "dialogs/options_dialog.h"
#include "engine/check_run.h"
#include "engine/progress.h"
#include "engine/window_ops.h"
#include "platform/registry.h"
#include "records/settings_store.h"
#include "res/dialog_templates.h"
#include "res/text_table.h"
#include "tests/dialogs/about_test_helpers.h"
#include "tests/support/fake_drive_probe.h"
#include "tests/support/temp_tree.h"
#include "tests/ui/ui_test_helpers.h"
#include "app/main_dialog.h"
#include "ui/message_dialog.h"

namespace {

using about_test::ModalWatcher;

void SetLanguage(int language) {
  res::InterfaceLanguage = language;
  // The lookup keeps its last text: two other ids make it take the language.
  res::LoadText(1);
  res::LoadText(3);
}

const char* LanguageName(int language) { return language == 0 ? "ru" : "en"; }

// What a control shows as text ("" for controls without one).
QString TextOf(const QWidget& control) {
  if (const auto* label = qobject_cast<const QLabel*>(&control)) return label->pixmap().isNull() ? label->text() : "";
  if (const auto* box = qobject_cast<const QGroupBox*>(&control)) return box->title();
  if (qobject_cast<const QCheckBox*>(&control) || qobject_cast<const QRadioButton*>(&control)) {
    return static_cast<const QAbstractButton&>(control).text();
  }
  return QString();
}

// Why a control does not show its whole text, or "" when it does. Measured
// as Qt draws each kind: a label's text in its contents rectangle (wrapped
// at word boundaries when it wraps), a check box or radio button by its own
// size hint, a group box's title between the frame's corners.
std::string WhyCut(const QWidget& control) {
  const QString text = TextOf(control);
  const QFontMetrics metrics = control.fontMetrics();
  if (const auto* label = qobject_cast<const QLabel*>(&control)) {
    const QRect room = label->contentsRect().adjusted(label->margin(), label->margin(), -label->margin(),
                                                      -label->margin());
    const int flags = int(label->alignment()) | (label->wordWrap() ? int(Qt::TextWordWrap) : 0);
    const QRect needed = metrics.boundingRect(room, flags, text);
    if (needed.width() > room.width() || needed.height() > room.height()) {
      return "needs " + std::to_string(needed.width()) + "x" + std::to_string(needed.height()) + ", has " +
             std::to_string(room.width()) + "x" + std::to_string(room.height());
    }
    return "";
  }
  if (qobject_cast<const QGroupBox*>(&control) != nullptr) {
    const int needed = metrics.horizontalAdvance(text) + metrics.height();
    return needed > control.width() ? "title needs " + std::to_string(needed) + ", has " + std::to_string(control.width())
                                    : "";
  }
  // The button's indicator may be taller than the line; the line must show.
  const QSize needed(control.sizeHint().width(), metrics.height());
  if (needed.width() > control.width() || needed.height() > control.height()) {
    return "needs " + std::to_string(needed.width()) + "x" + std::to_string(needed.height()) + ", has " +
           std::to_string(control.width()) + "x" + std::to_string(control.height());
  }
  return "";
}

// Checks every text control of a window built on this template: its whole
// text shows; it lies inside the window; it covers no control that its
// template rectangle did not already cover (group boxes around it aside).
void ExpectWholeTexts(const QWidget& window, int templateId, const std::string& what) {
  SCOPED_TRACE(what);
  EXPECT_EQ(window.property("templateId").toInt(), templateId);
  std::vector<const QWidget*> controls;
  for (const QWidget* child : window.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
    if (!child->isWindow()) controls.push_back(child);
  }
  int checked = 0;
  for (const QWidget* control : controls) {
    const QString text = TextOf(*control);
    if (text.isEmpty()) continue;
    ++checked;
    const std::string name = "control " + std::to_string(ui::DlgItemId(control)) + " \"" + text.toStdString() + "\"";
    EXPECT_EQ(WhyCut(*control), "") << name;
    EXPECT_TRUE(window.rect().contains(control->geometry())) << name << " leaves the window";
    // Where the template put it (kept by the builder).
    const QRect original = control->property("templateRect").toRect();
    EXPECT_FALSE(original.isEmpty()) << name;
    for (const QWidget* other : controls) {
      if (other == control || other->geometry().isEmpty()) continue;
      const bool frameAround = qobject_cast<const QGroupBox*>(other) && other->geometry().contains(control->geometry().center());
      const bool aroundOther = qobject_cast<const QGroupBox*>(control) && control->geometry().contains(other->geometry().center());
      if (frameAround || aroundOther || original.intersects(other->geometry())) continue;
      EXPECT_FALSE(control->geometry().intersects(other->geometry()))
          << name << " now covers control " << ui::DlgItemId(other) << " \"" << TextOf(*other).toStdString() << "\"";
    }
  }
  EXPECT_GT(checked, 0) << "no texts";
}

class WindowFitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(chdir(tree_.Root().c_str()), 0);
    // The font the Debian desktop gives a program that asks for none.
    ASSERT_EQ(QFontInfo(QApplication::font()).family().toStdString(), "DejaVu Sans");
  }
  void TearDown() override { SetLanguage(1); }

  testing_support::TempTree tree_;
  std::shared_ptr<platform::Registry> registry_ = std::make_shared<platform::Registry>(tree_.Path("registry.reg"));
  records::SettingsStore store_{*registry_};
};

TEST_F(WindowFitTest, FirstRunDialog) {
  // Its texts are English whatever the language.
  dialogs::CLanguageDialog dialog;
  ModalWatcher<dialogs::CLanguageDialog> watcher([&](dialogs::CLanguageDialog& open) {
    ExpectWholeTexts(open, res::kDialogLanguage, "first-run dialog");
    open.done(2);
  });
  dialog.DoModal();
  EXPECT_TRUE(watcher.Handled());
}

TEST_F(WindowFitTest, MainWindowOptionsAndFolderBrowser) {
  for (int language : {1, 0}) {
    const std::string lang = LanguageName(language);
    {
      records::SettingsStore store(*registry_);
      store.TakeProgramFolder();
      store.LoadSettings();
      store.settings->language = language;
      store.SaveSettings();
    }
    ui::MainDialogServices services;
    services.registry = registry_;
    ui::CMainDialog window(std::move(services));
    ASSERT_TRUE(window.Create());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ExpectWholeTexts(window, res::kDialogMain, "main window " + lang);
    window.close();

    SetLanguage(language);
    testing_support::TempTree c, d;
    const platform::DriveTable table = platform::DriveTable::Build(
        testing_support::FakeDriveProbe{},
        {{'C', platform::kDriveFixed, c.Root()}, {'D', platform::kDriveCdrom, d.Root()}});
    engine::Settings settings;
    settings.language = language;
    bool browserSeen = false;
    dialogs::COptionsDialog options(settings, "", false, table);
    ModalWatcher<dialogs::COptionsDialog> watcher([&](dialogs::COptionsDialog& open) {
      ExpectWholeTexts(open, res::kDialogOptions, "Options " + lang);
      ModalWatcher<dialogs::CFolderBrowserDialog> browser([&](dialogs::CFolderBrowserDialog& b) {
        browserSeen = true;
        EXPECT_FALSE(b.windowTitle().isEmpty());
        // Its only text besides the title is in the tree.
        for (const QWidget* child : b.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
          EXPECT_EQ(WhyCut(*child), "") << lang;
        }
        b.done(2);
      });
      QTest::mouseClick(ui::DlgItem(open, 1126), Qt::LeftButton);
      open.done(2);
    });
    options.DoModal();
    EXPECT_TRUE(watcher.Handled());
    EXPECT_TRUE(browserSeen) << lang;
  }
}

TEST_F(WindowFitTest, AboutAndCredits) {
  for (int language : {1, 0}) {
    SetLanguage(language);
    const std::string lang = LanguageName(language);
    store_.settings->servicePack = 255;  // the longest version line
    dialogs::CAboutDialog about(store_);
    ModalWatcher<dialogs::CAboutDialog> watcher([&](dialogs::CAboutDialog& open) {
      ExpectWholeTexts(open, res::kDialogAbout, "About " + lang);
      dialogs::CCreditsDialog credits(&open);
      ModalWatcher<dialogs::CCreditsDialog> creditsWatcher([&](dialogs::CCreditsDialog& c) {
        ExpectWholeTexts(c, res::kDialogCredits, "credits " + lang);
        c.done(2);
      });
      credits.DoModal();
      EXPECT_TRUE(creditsWatcher.Handled());
      open.done(1);
    });
    about.DoModal();
    EXPECT_TRUE(watcher.Handled());
  }
}

TEST_F(WindowFitTest, MessageBoxWithItsLongestTexts) {
  using engine::FormatText;
  constexpr long long kMost = 2147483647;
  for (int language : {1, 0}) {
    SetLanguage(language);
    const std::string lang = LanguageName(language);
    const auto text = [](int id) { return std::string(res::LoadText(id)); };
    // The end-of-check report at its longest, every question and warning,
    // and the internal error of a thread priority.
    std::vector<std::pair<std::string, int>> messages = {
        {FormatText(text(engine::kTextReportPercent), {99, kMost}) +
             FormatText(text(engine::kTextErrorCounts), {kMost, kMost}),
         engine::kMsgInfo},
        {FormatText(text(engine::kTextReportComplete), {kMost}) + FormatText(text(engine::kTextErrorCounts), {kMost, kMost}),
         engine::kMsgInfo},
        {FormatText(text(engine::kTextReportUnknown), {kMost}) + text(engine::kTextNoErrors), engine::kMsgInfo},
        {FormatText(text(engine::kTextResumeQuestion), {100}), engine::kMsgResume},
        {text(engine::kTextNoDisk), engine::kMsgRetry},
        {text(engine::kTextDiscNotMounted), engine::kMsgRetry},
        {text(engine::kTextRootUnreadable), engine::kMsgRetry},
        {text(engine::kTextAudioDisk), engine::kMsgInfo},
        {text(engine::kTextNoDevice), engine::kMsgError},
        {text(engine::kTextDeviceNotAnswering), engine::kMsgError},
        {text(engine::kTextNotEnoughMemory), engine::kMsgError},
        {text(11), engine::kMsgInfo},   // no CD-ROM device (Options)
        {text(155), engine::kMsgInfo},  // the language changes at the next start
        {"Thread set priority failed.\nIf you got this error, please, report to Quillon", engine::kMsgError},
    };
    // The messages that name files, in a program folder of 60 characters.
    const std::string folder = "/home/anastasia-konstantinova/programs/torvex-2.03-service-1";
    const std::string config = "/home/anastasia-konstantinova/.config/torvex";
    for (int reason = engine::kTextProblemLink; reason <= engine::kTextProblemOther; reason += 2) {
      messages.emplace_back(engine::FillIn(text(engine::kTextLogNotWritten), {folder + "/Torvex.log", text(reason)}),
                            engine::kMsgWarning);
      messages.emplace_back(engine::FillIn(text(engine::kTextStoreNotWritten), {folder + "/Torvex.tvd", text(reason)}),
                            engine::kMsgWarning);
    }
    messages.emplace_back(
        engine::FillIn(text(engine::kTextSettingsReset), {config + "/registry.reg", config + "/registry.reg.bak"}),
        engine::kMsgWarning);
    // The help file looked for in each of its places.
    messages.emplace_back(engine::FillIn(text(193), {folder + "/torvex.hlp\n" + folder + "/bin/torvex.hlp\n" +
                                                         "/usr/share/torvex/torvex.hlp"}),
                          engine::kMsgError);
    for (const auto& [message, type] : messages) {
      const int result = ui_test::WithMessageBox(message.c_str(), "Torvex check finished", type, [&](ui::CMessageDialog& box) {
        ExpectWholeTexts(box, res::kDialogMessage, "message box " + lang + ": " + message);
        box.done(2);
      });
      EXPECT_EQ(result, 2);
    }
  }
}

TEST_F(WindowFitTest, EveryTemplateWithItsOwnCaptions) {
  // The windows not covered above (the web page window has no texts but its
  // title), and every template with the placeholder texts it is built with.
  for (const res::DialogTemplate& t : res::AllDialogTemplates()) {
    ui::CTemplateDialog dialog(t.id);
    ASSERT_TRUE(dialog.IsBuilt()) << t.id;
    ASSERT_TRUE(dialog.Create()) << t.id;
    for (const QWidget* child : dialog.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
      if (!TextOf(*child).isEmpty()) {
        EXPECT_EQ(WhyCut(*child), "") << t.id << " \"" << TextOf(*child).toStdString() << "\"";
      }
    }
    dialog.done(2);
  }
}

}  // namespace
