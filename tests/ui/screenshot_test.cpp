// Pictures for people to look at, written to <build>/tests/ui/screenshots:
// the message box with each of its button sets, every image set in its four
// states, the program icon and the About picture, and the main window's
// template with its buttons.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <string>

#include "engine/window_ops.h"
#include "res/dialog_templates.h"
#include "res/pictures.h"
#include "res/text_table.h"
#include "ui/bitmap_button.h"
#include "ui/message_dialog.h"
#include "ui_test_helpers.h"

namespace {

QString ShotPath(const QString& name) {
  QDir().mkpath(TORVEX_SCREENSHOT_DIR);
  return QStringLiteral(TORVEX_SCREENSHOT_DIR "/") + name + ".png";
}

TEST(Screenshots, MessageBoxInEachButtonSet) {
  res::InterfaceLanguage = 1;
  struct Shot {
    const char* name;
    int type;
    int textId;
  };
  for (const Shot& s : {Shot{"message_ok", engine::kMsgError, 15}, Shot{"message_retry", engine::kMsgRetry, 45},
                        Shot{"message_resume", engine::kMsgResume, 49}}) {
    QImage shot;
    QSize size;
    ui_test::WithMessageBox(res::LoadText(s.textId), "Torvex", s.type, [&](ui::CMessageDialog& box) {
      shot = box.grab().toImage();
      size = box.size();
      box.done(2);
    });
    ASSERT_FALSE(shot.isNull()) << s.name;
    EXPECT_EQ(shot.size(), size);
    EXPECT_EQ(size, ui::DialogUnits::ForFont(QApplication::font()).ToPixels(216, 73));
    EXPECT_TRUE(shot.save(ShotPath(s.name))) << s.name;
  }
}

TEST(Screenshots, EveryImageSetDiffersBetweenItsStates) {
  const char* large[] = {"ABOUT", "BROWSE", "CANCEL", "EXIT", "HELP", "OK", "OPTION",
                         "REFRESH", "RETRY", "SKIP", "START", "STOP", "URL"};
  const char* small[] = {"X", "CL"};
  constexpr int kScale = 4, kGap = 8;
  std::vector<std::pair<std::string, int>> sets;
  for (const char* name : large) sets.emplace_back(name, 32);
  for (const char* name : small) sets.emplace_back(name, 9);

  QImage sheet(4 * (32 * kScale + kGap) + kGap, static_cast<int>(sets.size()) * (32 * kScale + kGap) + kGap,
               QImage::Format_RGB32);
  sheet.fill(QColor(90, 90, 140));
  QPainter painter(&sheet);
  int row = 0;
  for (const auto& [name, size] : sets) {
    std::vector<QImage> states;
    for (char suffix : {'U', 'D', 'F', 'X'}) {
      const QString resource = QString::fromStdString(name) + suffix;
      const QPixmap picture = res::LoadBitmapResource(resource);
      ASSERT_FALSE(picture.isNull()) << resource.toStdString();
      EXPECT_EQ(picture.size(), QSize(size, size)) << resource.toStdString();
      states.push_back(ui_test::Pixels(picture));
      const int column = static_cast<int>(states.size()) - 1;
      painter.drawImage(QRect(kGap + column * (32 * kScale + kGap), kGap + row * (32 * kScale + kGap),
                              size * kScale, size * kScale),
                        states.back());
    }
    for (std::size_t a = 0; a < states.size(); ++a) {
      for (std::size_t b = a + 1; b < states.size(); ++b) EXPECT_NE(states[a], states[b]) << name << " " << a << b;
    }
    ++row;
  }
  painter.end();
  EXPECT_TRUE(sheet.save(ShotPath("image_sets")));
}

TEST(Screenshots, ProgramIconAndAboutPicture) {
  const QPixmap large = res::LoadBitmapResource("128_32");
  const QPixmap small = res::LoadBitmapResource("128_16");
  const QPixmap about = res::LoadBitmapResource("212");
  EXPECT_EQ(large.size(), QSize(32, 32));
  EXPECT_EQ(small.size(), QSize(16, 16));
  EXPECT_EQ(about.size(), QSize(48, 48));
  const QIcon icon = res::ProgramIcon();
  EXPECT_EQ(icon.availableSizes(), (QList<QSize>{QSize(32, 32), QSize(16, 16)}));
  // Magenta is the icon's transparent colour.
  const QImage drawn = icon.pixmap(32, 32).toImage();
  EXPECT_EQ(qAlpha(drawn.pixel(0, 0)), 0);
  EXPECT_EQ(qAlpha(drawn.pixel(16, 8)), 255);

  QImage sheet(200, 60, QImage::Format_ARGB32);
  sheet.fill(QColor(90, 90, 140));
  QPainter painter(&sheet);
  painter.drawPixmap(4, 4, icon.pixmap(32, 32));
  painter.drawPixmap(44, 4, icon.pixmap(16, 16));
  painter.drawPixmap(70, 4, about);
  painter.end();
  EXPECT_TRUE(sheet.save(ShotPath("icon_and_about")));
}

TEST(Screenshots, MainWindowTemplate) {
  res::InterfaceLanguage = 1;
  ui::CTemplateDialog window(res::kDialogMain);
  const res::DialogTemplate* t = res::FindDialogTemplate(res::kDialogMain);
  for (const res::ControlTemplate& c : t->controls) {
    if (c.kind == res::ControlKind::kBitmapButton) {
      EXPECT_NE(window.AttachBitmapButton(c.id), nullptr);
    } else if (c.textId != 0) {
      ui::SetDlgItemText(window, c.id, res::LoadText(c.textId));
    }
  }
  const QImage shot = window.grab().toImage();
  EXPECT_EQ(shot.size(), window.Units().ToPixels(358, 165));
  EXPECT_TRUE(shot.save(ShotPath("main_window_template")));
}

}  // namespace
