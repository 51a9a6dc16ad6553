#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "res/pictures.h"
#include "res/text_table.h"
#include "ui/bitmap_button.h"
#include "ui/template_dialog.h"
#include "ui/tooltip_ctrl.h"
#include "ui_test_helpers.h"

namespace {

using ui::CBitmapButton;
using ui_test::Grab;
using ui_test::Pixels;

QImage Resource(const char* name) { return Pixels(res::LoadBitmapResource(name)); }

// The main window's START and SKIP buttons, shown in an active window.
class MainWindowButtons : public ::testing::Test {
 protected:
  void SetUp() override {
    start_ = window_.AttachBitmapButton(1050);
    skip_ = window_.AttachBitmapButton(1063);
    options_ = window_.AttachBitmapButton(1053);
    ASSERT_TRUE(start_ && skip_ && options_);
    ASSERT_TRUE(ui_test::ShowActive(window_));
  }

  ui::CTemplateDialog window_{res::kDialogMain};
  CBitmapButton* start_ = nullptr;
  CBitmapButton* skip_ = nullptr;
  CBitmapButton* options_ = nullptr;
};

TEST_F(MainWindowButtons, DrawTheImageOfTheirState) {
  // Up.
  options_->setFocus();
  EXPECT_EQ(start_->CurrentImage(), CBitmapButton::kUp);
  EXPECT_EQ(Grab(*start_), Resource("STARTU"));

  // Held down with the mouse: pressed, whether or not it has the focus.
  QTest::mousePress(start_, Qt::LeftButton);
  EXPECT_TRUE(start_->hasFocus());
  EXPECT_EQ(start_->CurrentImage(), CBitmapButton::kDown);
  EXPECT_EQ(Grab(*start_), Resource("STARTD"));

  // Released: focused for as long as it keeps the focus.
  QTest::mouseRelease(start_, Qt::LeftButton);
  EXPECT_EQ(start_->CurrentImage(), CBitmapButton::kFocused);
  EXPECT_EQ(Grab(*start_), Resource("STARTF"));
  options_->setFocus();
  EXPECT_EQ(Grab(*start_), Resource("STARTU"));

  // SKIP is disabled while no check runs.
  EXPECT_FALSE(skip_->isEnabled());
  EXPECT_EQ(skip_->CurrentImage(), CBitmapButton::kDisabled);
  EXPECT_EQ(Grab(*skip_), Resource("SKIPX"));
  skip_->setEnabled(true);
  skip_->setFocus();
  EXPECT_EQ(Grab(*skip_), Resource("SKIPF"));
  options_->setFocus();
  EXPECT_EQ(Grab(*skip_), Resource("SKIPU"));
}

TEST_F(MainWindowButtons, TakeTheSizeOfTheUpImageAtTheirTemplatePosition) {
  // 30 by 13 dialog units in the template, 32 by 32 pixels on the screen.
  EXPECT_EQ(start_->geometry(), QRect(window_.Units().ToPixels(res::DluRect{7, 7, 30, 13}).topLeft(), QSize(32, 32)));
  EXPECT_EQ(start_->sizeHint(), QSize(32, 32));
  CBitmapButton* hide = window_.AttachBitmapButton(1078);
  ASSERT_NE(hide, nullptr);
  EXPECT_EQ(hide->geometry(), QRect(window_.Units().ToPixels(res::DluRect{116, 35, 9, 9}).topLeft(), QSize(9, 9)));
  EXPECT_EQ(Grab(*hide), Resource("XU"));
}

TEST_F(MainWindowButtons, MissingImagesFallThroughToTheNextRule) {
  // No pressed and no disabled image: a pressed button with the focus shows
  // the focused image, a disabled one the up image.
  ASSERT_TRUE(start_->LoadBitmaps("STARTU", QString(), "STARTF", QString()));
  QTest::mousePress(start_, Qt::LeftButton);
  EXPECT_EQ(Grab(*start_), Resource("STARTF"));
  QTest::mouseRelease(start_, Qt::LeftButton);
  options_->setFocus();
  start_->setEnabled(false);
  EXPECT_EQ(Grab(*start_), Resource("STARTU"));
}

TEST(BitmapButton, WithoutAnUpImageStaysUndrawn) {
  QWidget window;
  window.resize(100, 100);
  CBitmapButton button("NOSUCH", &window);
  button.setGeometry(10, 10, 45, 21);
  EXPECT_FALSE(button.AutoLoad());
  EXPECT_EQ(button.CurrentImage(), CBitmapButton::kNone);
  EXPECT_EQ(button.size(), QSize(45, 21));  // not resized
  // Nothing but the window's background where the button is.
  const QImage shot = Pixels(window.grab(QRect(10, 10, 45, 21)));
  for (int y = 0; y < shot.height(); ++y) {
    for (int x = 0; x < shot.width(); ++x) ASSERT_EQ(shot.pixel(x, y), shot.pixel(0, 0)) << x << "," << y;
  }
  // Loading a real set later draws it.
  button.setText("OK");
  EXPECT_TRUE(button.AutoLoad());
  EXPECT_EQ(button.size(), QSize(32, 32));
  EXPECT_EQ(Grab(button), Resource("OKU"));
}

TEST(ToolTips, TextsInTheInterfaceLanguageReplaceableLater) {
  const int saved = res::InterfaceLanguage;
  ui::CTemplateDialog window(res::kDialogMain);
  ui::CToolTipCtrl tooltip;
  ASSERT_TRUE(tooltip.Create(&window));
  tooltip.Activate(true);
  CBitmapButton* start = window.AttachBitmapButton(1050);
  CBitmapButton* hide = window.AttachBitmapButton(1078);

  res::InterfaceLanguage = 0;
  tooltip.AddTool(start, res::LoadText(17));
  EXPECT_EQ(start->toolTip(), "Начать проверку диска");

  res::InterfaceLanguage = 1;
  tooltip.AddTool(hide, res::LoadText(29));
  EXPECT_EQ(hide->toolTip(), "Hide info window");
  EXPECT_EQ(tooltip.GetToolCount(), 2);
  // The control keeps its own copy: the lookup buffer moving on changes nothing.
  res::LoadText(63);
  EXPECT_EQ(tooltip.GetText(hide), "Hide info window");
  tooltip.UpdateTipText(res::LoadText(63), hide);
  EXPECT_EQ(hide->toolTip(), "Show info window");
  tooltip.UpdateTipText(res::LoadText(29), hide);
  EXPECT_EQ(hide->toolTip(), "Hide info window");

  tooltip.Activate(false);
  EXPECT_TRUE(hide->toolTip().isEmpty());
  tooltip.Activate(true);
  EXPECT_EQ(hide->toolTip(), "Hide info window");
  res::InterfaceLanguage = saved;
}

}  // namespace
