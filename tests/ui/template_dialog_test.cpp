#include <gtest/gtest.h>

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <cmath>

#include "res/dialog_templates.h"
#include "res/text_table.h"
#include "ui/bitmap_button.h"
#include "ui/template_dialog.h"

namespace {

using ui::DialogUnits;

TEST(DialogUnits, ConvertLikeTheWindowsDialogManager) {
  // The base units of the classic 8-point dialog font at 96 dpi.
  const DialogUnits units(6, 13);
  // The message box: 216 by 73 units.
  EXPECT_EQ(units.ToPixels(216, 73), QSize(324, 119));
  // Retry/Check again, Cancel: rounding to the nearest pixel.
  EXPECT_EQ(units.ToPixels(res::DluRect{57, 48, 32, 14}), QRect(86, 78, 48, 23));
  EXPECT_EQ(units.ToPixels(res::DluRect{119, 48, 32, 14}), QRect(179, 78, 48, 23));
  EXPECT_EQ(units.ToPixels(res::DluRect{36, 13, 173, 33}), QRect(54, 21, 260, 54));
  EXPECT_EQ(units.ToPixelsX(0), 0);
  EXPECT_EQ(units.ToPixelsX(1), 2);  // 1.5 rounds up
  EXPECT_EQ(units.ToPixelsY(-3), -5);
}

TEST(DialogUnits, FromTheAverageLetterWidthAndTheLineHeight) {
  QFont font = QApplication::font();
  for (int pixels : {11, 13, 17}) {
    font.setPixelSize(pixels);
    const DialogUnits units = DialogUnits::ForFont(font);
    const QFontMetrics metrics(font);
    double total = 0;
    for (char c = 'A'; c <= 'Z'; ++c) total += metrics.horizontalAdvance(QChar(c)) + metrics.horizontalAdvance(QChar(c + 32));
    EXPECT_NEAR(units.BaseX(), total / 52, 0.6) << pixels;
    EXPECT_EQ(units.BaseY(), metrics.height()) << pixels;
  }
}

// Every control of every template sits at the rectangle its dialog units give
// with the dialog's font; the window has the template's size.
TEST(TemplateBuilder, PlacesEveryControlByItsDialogUnits) {
  for (const res::DialogTemplate& t : res::AllDialogTemplates()) {
    SCOPED_TRACE("template " + std::to_string(t.id));
    QDialog dialog;
    const DialogUnits units = ui::BuildDialog(dialog, t);
    EXPECT_EQ(units.BaseY(), QFontMetrics(dialog.font()).height());
    const QSize client = units.ToPixels(t.width, t.height);
    EXPECT_EQ(dialog.size(), client);
    if (t.style & res::kResizable) {
      EXPECT_NE(dialog.minimumSize(), dialog.maximumSize());
    } else {
      EXPECT_EQ(dialog.minimumSize(), client);
      EXPECT_EQ(dialog.maximumSize(), client);
    }
    const QList<QWidget*> children = dialog.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    EXPECT_EQ(children.size(), static_cast<qsizetype>(t.controls.size()));
    for (const res::ControlTemplate& c : t.controls) {
      if (c.id == res::kNoId) continue;
      QWidget* w = ui::DlgItem(dialog, c.id);
      ASSERT_NE(w, nullptr) << c.id;
      EXPECT_EQ(ui::DlgItemId(w), c.id);
      const QRect expected = units.ToPixels(c.rect);
      EXPECT_EQ(w->pos(), expected.topLeft()) << c.id;
      if (c.kind == res::ControlKind::kDropDownList) {
        EXPECT_EQ(w->width(), expected.width()) << c.id;  // one line high while closed
      } else if (c.kind != res::ControlKind::kPicture) {
        EXPECT_EQ(w->size(), expected.size()) << c.id;
      }
      EXPECT_EQ(w->isHidden(), (c.style & res::kHidden) != 0) << c.id;
      EXPECT_EQ(w->isEnabled(), (c.style & res::kDisabled) == 0) << c.id;
    }
  }
}

TEST(TemplateBuilder, TitleCaptionsAndTabOrder) {
  ui::CTemplateDialog main(res::kDialogMain);
  EXPECT_EQ(main.windowTitle(), "Torvex");
  EXPECT_EQ(ui::DlgItemText(main, 1109), "Статистика");
  EXPECT_EQ(ui::DlgItem<ui::CBitmapButton>(main, 1050)->text(), "START");
  ui::SetDlgItemText(main, 1109, "Statictics");
  EXPECT_EQ(ui::DlgItem<QGroupBox>(main, 1109)->title(), "Statictics");
  EXPECT_TRUE(main.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(main.windowFlags() & Qt::WindowMaximizeButtonHint);

  // Tab moves through the buttons that take it in template order.
  ui::CTemplateDialog box(res::kDialogMessage);
  QWidget* ok = ui::DlgItem(box, 1);
  QWidget* cancel = ui::DlgItem(box, 2);
  QWidget* retry = ui::DlgItem(box, 4);
  EXPECT_EQ(retry->nextInFocusChain(), cancel);
  EXPECT_EQ(cancel->nextInFocusChain(), ok);
  EXPECT_FALSE(box.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_TRUE(box.windowFlags() & Qt::WindowCloseButtonHint);

  // The first-run dialog has no close box.
  ui::CTemplateDialog language(res::kDialogLanguage);
  EXPECT_FALSE(language.windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_EQ(language.windowTitle(), "Torvex v2.03");
}

TEST(TemplateBuilder, RadioButtonsFormTheirTemplateGroups) {
  ui::CTemplateDialog options(res::kDialogOptions);
  auto* append = ui::DlgItem<QRadioButton>(options, 1023);
  auto* overwrite = ui::DlgItem<QRadioButton>(options, 1024);
  auto* russian = ui::DlgItem<QRadioButton>(options, 1097);
  auto* english = ui::DlgItem<QRadioButton>(options, 1098);
  ASSERT_TRUE(append && overwrite && russian && english);
  EXPECT_EQ(append->group(), overwrite->group());
  EXPECT_NE(append->group(), russian->group());
  EXPECT_EQ(russian->group(), english->group());
  append->click();
  russian->click();
  overwrite->click();
  EXPECT_FALSE(append->isChecked());
  EXPECT_TRUE(russian->isChecked());
  english->click();
  EXPECT_TRUE(overwrite->isChecked());
  EXPECT_FALSE(russian->isChecked());

  // The first-run dialog starts with neither language chosen.
  ui::CTemplateDialog language(res::kDialogLanguage);
  auto* ru = ui::DlgItem<QRadioButton>(language, 1118);
  auto* en = ui::DlgItem<QRadioButton>(language, 1119);
  ASSERT_TRUE(ru && en);
  EXPECT_FALSE(ru->isChecked());
  EXPECT_FALSE(en->isChecked());
  EXPECT_EQ(ru->group(), en->group());
}

TEST(TemplateBuilder, AboutPictureTakesItsSize) {
  ui::CTemplateDialog about(res::kDialogAbout);
  auto* picture = ui::DlgItem<QLabel>(about, 1077);
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(picture->pixmap().size(), QSize(48, 48));
  EXPECT_EQ(picture->size(), QSize(48, 48) + QSize(2, 2) * picture->frameWidth());
}

TEST(TemplateBuilder, EveryBitmapButtonHasItsImages) {
  for (const res::DialogTemplate& t : res::AllDialogTemplates()) {
    ui::CTemplateDialog dialog(t.id);
    for (const res::ControlTemplate& c : t.controls) {
      if (c.kind != res::ControlKind::kBitmapButton) continue;
      ui::CBitmapButton* button = dialog.AttachBitmapButton(c.id);
      ASSERT_NE(button, nullptr) << t.id << "/" << c.id;
      EXPECT_NE(button->CurrentImage(), ui::CBitmapButton::kNone) << c.caption;
      for (auto image : {ui::CBitmapButton::kDown, ui::CBitmapButton::kFocused, ui::CBitmapButton::kDisabled}) {
        EXPECT_FALSE(button->Bitmap(image).isNull()) << c.caption << " " << image;
      }
      // A bitmap button takes its image's size at its template position.
      const bool small = std::string(c.caption) == "X" || std::string(c.caption) == "CL";
      EXPECT_EQ(button->size(), small ? QSize(9, 9) : QSize(32, 32)) << c.caption;
      EXPECT_EQ(button->pos(), dialog.Units().ToPixels(c.rect).topLeft());
    }
  }
}

// Enter is the OK command and ends the dialog with 1 wherever the focus is;
// Escape and the close box end it with 2; a template that does not exist
// cannot be run.
TEST(TemplateDialog, EnterEscapeAndCloseBox) {
  struct Case {
    int key;  // 0: the close box
    int result;
  };
  for (const Case& c : {Case{Qt::Key_Return, 1}, Case{Qt::Key_Enter, 1}, Case{Qt::Key_Escape, 2}, Case{0, 2}}) {
    // A window with a close box (the first-run dialog has none).
    ui::CTemplateDialog dialog(res::kDialogMessage);
    dialog.AttachBitmapButton(1);
    QTimer::singleShot(0, &dialog, [&dialog, &c] {
      QWidget* target = dialog.focusWidget() != nullptr ? dialog.focusWidget() : &dialog;
      if (c.key == 0) {
        dialog.close();
      } else {
        QTest::keyClick(target, static_cast<Qt::Key>(c.key));
      }
    });
    EXPECT_EQ(dialog.DoModal(), c.result) << c.key;
  }
  ui::CTemplateDialog missing(999);
  EXPECT_FALSE(missing.IsBuilt());
  EXPECT_EQ(missing.DoModal(), -1);
}

TEST(TemplateDialog, ButtonsOkAndCancelEndTheDialog) {
  for (int id : {1, 2}) {
    ui::CTemplateDialog dialog(res::kDialogOptions);
    auto* button = dialog.AttachBitmapButton(id);
    ASSERT_NE(button, nullptr);
    QTimer::singleShot(0, button, [button] { QTest::mouseClick(button, Qt::LeftButton); });
    EXPECT_EQ(dialog.DoModal(), id);
  }
}

}  // namespace
