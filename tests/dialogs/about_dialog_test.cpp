// The About dialog and the credits window, driven through their real windows.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QTest>
#include <cstring>
#include <string>

#include "dialogs/about_dialog.h"
#include "dialogs/web_page_dialog.h"
#include "platform/registry.h"
#include "records/settings_store.h"
#include "res/text_table.h"
#include "tests/dialogs/about_test_helpers.h"
#include "tests/support/temp_tree.h"

namespace {

using about_test::ModalWatcher;
using dialogs::CAboutDialog;
using dialogs::CCreditsDialog;

// The lookup keeps the last text it gave; asking for two other ids makes the
// next lookup take the new language.
void SetLanguage(int language) {
  res::InterfaceLanguage = language;
  res::LoadText(1);
  res::LoadText(3);
}

// The address shown in a control: the whole text, or, when it is too wide for
// its one line, the text with its middle left out. Returns the whole text.
std::string ShownAddress(const CAboutDialog& about, int id, const std::string& whole) {
  const auto* label = ui::DlgItem<QLabel>(about, id);
  if (label == nullptr) return "<no control>";
  const QString text = QString::fromStdString(whole);
  const QString expected = label->fontMetrics().elidedText(text, Qt::ElideMiddle, label->width());
  EXPECT_EQ(label->text(), expected) << id;
  EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width()) << id;
  return whole;
}

class AboutDialogTest : public ::testing::Test {
 protected:
  void SetUp() override { SetLanguage(1); }
  void TearDown() override { SetLanguage(1); }

  void SetValue(const char* name, const std::string& text) {
    platform::RegistryKey key;
    ASSERT_EQ(registry_.CreateKey(records::kProgramKey, &key, nullptr), platform::kRegOk);
    ASSERT_EQ(key.SetString(name, text), platform::kRegOk);
  }

  // Runs the About dialog and `act` on it while it is open; then OK.
  int RunAbout(const std::function<void(CAboutDialog&)>& act) {
    CAboutDialog about(store_);
    ModalWatcher<CAboutDialog> watcher([&](CAboutDialog& open) {
      act(open);
      if (open.isVisible()) QTest::mouseClick(ui::DlgItem(open, 1), Qt::LeftButton);
    });
    const int result = about.DoModal();
    EXPECT_TRUE(watcher.Handled()) << "the About dialog did not come up";
    return result;
  }

  testing_support::TempTree tree_;
  platform::Registry registry_{tree_.Path("registry.reg")};
  records::SettingsStore store_{registry_};
};

TEST_F(AboutDialogTest, VersionTextCarriesTheStoredServicePack) {
  struct Case {
    int language;
    int servicePack;
    const char* text;
  };
  for (const Case& c : {Case{1, 0, "Version 2.03"}, Case{1, 3, "Version 2.03 (Service Pack 3)"},
                        Case{1, 255, "Version 2.03 (Service Pack 255)"}, Case{0, 3, "Версия 2.03 (Service Pack 3)"},
                        Case{0, 255, "Версия 2.03 (Service Pack 255)"}}) {
    SetLanguage(c.language);
    store_.settings->servicePack = c.servicePack;
    QString shown;
    RunAbout([&](CAboutDialog& about) { shown = ui::DlgItemText(about, 1120); });
    EXPECT_EQ(shown.toStdString(), c.text) << "service pack " << c.servicePack;
  }
  // The longest text, service pack 255 in English, takes all 31 characters.
  SetLanguage(1);
  char version[CAboutDialog::kVersionBufferSize];
  dialogs::FormatVersion(version, sizeof version, 255);
  EXPECT_EQ(std::strlen(version), 31u);
}

TEST_F(AboutDialogTest, WithoutTheKeyShowsTheDefaultsAndCreatesTheKey) {
  platform::RegistryKey key;
  ASSERT_EQ(registry_.OpenKey(records::kProgramKey, &key), platform::kRegNotFound);
  RunAbout([&](CAboutDialog& about) {
    // An address a person reads, not the folder the program lies in.
    EXPECT_EQ(ShownAddress(about, 1122, about.m_strHomePage), dialogs::kDefaultHomePageAddress);
    EXPECT_EQ(ui::DlgItemText(about, 1122).indexOf(QStringLiteral("file:")), -1);
    EXPECT_EQ(ShownAddress(about, 1129, about.m_strMakerHomePage), dialogs::kDefaultMakerHomePage);
    EXPECT_EQ(ShownAddress(about, 1130, about.m_strEMail), dialogs::kDefaultMakerEMail);
  });
  EXPECT_EQ(registry_.OpenKey(records::kProgramKey, &key), platform::kRegOk);
  // The page the web page window opens by default is the one shipped beside
  // the program.
  EXPECT_NE(dialogs::DefaultHomePage().find("/torvex.html"), std::string::npos);
  EXPECT_EQ(dialogs::DefaultHomePage().rfind("file:///", 0), 0u);
}

TEST_F(AboutDialogTest, AddressValuesReplaceTheDefaultsWhenTheyFitTheirBuffers) {
  // 127 characters fit the 128-byte buffers and 63 the 64-byte one; one more
  // keeps the default.
  const std::string home127 = "http://home.example/" + std::string(127 - 20, 'h');
  const std::string maker128 = "http://maker.example/" + std::string(128 - 21, 'm');
  const std::string mail63 = "EMail: " + std::string(63 - 7 - 13, 'e') + "@mail.example";
  SetValue("AddrURLhp", home127);
  SetValue("AddrURLas", maker128);
  SetValue("AddrEMail", mail63);
  RunAbout([&](CAboutDialog& about) {
    EXPECT_EQ(ShownAddress(about, 1122, about.m_strHomePage), home127);
    EXPECT_EQ(ShownAddress(about, 1129, about.m_strMakerHomePage), dialogs::kDefaultMakerHomePage);
    EXPECT_EQ(ShownAddress(about, 1130, about.m_strEMail), mail63);
  });

  SetValue("AddrURLhp", home127 + "h");
  SetValue("AddrURLas", maker128.substr(0, 127));
  SetValue("AddrEMail", mail63 + "x");
  RunAbout([&](CAboutDialog& about) {
    EXPECT_EQ(ShownAddress(about, 1122, about.m_strHomePage), dialogs::kDefaultHomePageAddress);
    EXPECT_EQ(ShownAddress(about, 1129, about.m_strMakerHomePage), maker128.substr(0, 127));
    EXPECT_EQ(ShownAddress(about, 1130, about.m_strEMail), dialogs::kDefaultMakerEMail);
  });
}

TEST_F(AboutDialogTest, LeftDoubleClickOnThePictureOpensTheCredits) {
  struct Case {
    QPoint point;
    Qt::MouseButton button;
    bool opens;
  };
  for (const Case& c : {Case{{29, 25}, Qt::LeftButton, true}, Case{{80, 75}, Qt::LeftButton, true},
                        Case{{28, 25}, Qt::LeftButton, false}, Case{{81, 75}, Qt::LeftButton, false},
                        Case{{50, 50}, Qt::RightButton, false}}) {
    bool opened = false;
    RunAbout([&](CAboutDialog& about) {
      ModalWatcher<CCreditsDialog> credits([&](CCreditsDialog& open) {
        opened = true;
        open.done(2);
      });
      // The press lands on whatever control lies there and reaches the dialog.
      QWidget* target = about.childAt(c.point);
      if (target == nullptr) target = &about;
      QTest::mouseDClick(target, c.button, Qt::NoModifier, target->mapFrom(&about, c.point));
      QTest::qWait(50);
    });
    EXPECT_EQ(opened, c.opens) << c.point.x() << ", " << c.point.y();
  }
}

TEST_F(AboutDialogTest, TheCreditsAreaLiesOnThePicture) {
  RunAbout([&](CAboutDialog& about) {
    const QRect picture = ui::DlgItem(about, 1077)->geometry();
    const QRect area(QPoint(dialogs::kCreditsAreaLeft, dialogs::kCreditsAreaTop),
                     QPoint(dialogs::kCreditsAreaRight, dialogs::kCreditsAreaBottom));
    EXPECT_GE(picture.intersected(area).width() * picture.intersected(area).height(),
              picture.width() * picture.height() * 3 / 4)
        << "picture at " << picture.x() << ", " << picture.y() << " " << picture.width() << "x" << picture.height();
  });
}

TEST(CreditsDialogTest, NamesTheTeamAndClosesOnAnyPress) {
  struct Case {
    int language;
    std::function<void(CCreditsDialog&)> close;
  };
  // A press closes the window before its button is released.
  auto press = [](QWidget* target, Qt::MouseButton button) {
    return [target, button](CCreditsDialog& c) {
      QWidget* on = target != nullptr ? target : &c;
      QTest::mousePress(on, button, Qt::NoModifier, QPoint(5, 5));
      QTest::qWait(20);
      EXPECT_FALSE(c.isVisible());
      QTest::mouseRelease(on, button, Qt::NoModifier, QPoint(5, 5));
    };
  };
  const Case cases[] = {
      {1, press(nullptr, Qt::RightButton)},
      {0, [press](CCreditsDialog& c) { press(ui::DlgItem(c, 1115), Qt::LeftButton)(c); }},
      {1, [](CCreditsDialog& c) { QTest::keyClick(&c, Qt::Key_Escape); }},
      {1, [](CCreditsDialog& c) { c.close(); }},
  };
  for (const Case& test : cases) {
    SetLanguage(test.language);
    CCreditsDialog credits;
    ModalWatcher<CCreditsDialog> watcher(
        [&](CCreditsDialog& open) {
          EXPECT_EQ(open.windowTitle().toStdString(), "Quillon's   Torvex Product Team");
          for (int i = 0; i < 6; ++i) {
            EXPECT_EQ(ui::DlgItemText(open, 1111 + i), QString::fromUtf8(res::LoadText(139 + 2 * i))) << 1111 + i;
          }
          EXPECT_EQ(ui::DlgItemText(open, 1121), QString::fromUtf8(res::LoadText(169)));
          EXPECT_EQ(ui::DlgItemText(open, 1117), QString::fromUtf8(res::LoadText(185)));
          EXPECT_EQ(ui::DlgItemText(open, 1111).toStdString(), test.language == 0 ? "Разработка:" : "Author:");
          test.close(open);
        },
        3000);
    EXPECT_EQ(credits.DoModal(), 2);
    EXPECT_TRUE(watcher.Handled());
  }
  SetLanguage(1);
}

TEST_F(AboutDialogTest, Screenshots) {
  store_.settings->servicePack = 1;
  RunAbout([&](CAboutDialog& about) {
    EXPECT_TRUE(about.grab().save(about_test::ShotPath("about")));
    ModalWatcher<CCreditsDialog> credits([&](CCreditsDialog& open) {
      EXPECT_TRUE(open.grab().save(about_test::ShotPath("credits")));
      open.done(2);
    });
    QTest::mouseDClick(&about, Qt::LeftButton, Qt::NoModifier, QPoint(50, 50));
    EXPECT_TRUE(credits.Handled());
  });
}

}  // namespace
