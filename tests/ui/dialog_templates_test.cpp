#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "res/dialog_templates.h"
#include "res/text_table.h"

namespace {

using res::ControlKind;

TEST(DialogTemplates, EveryWindowHasItsTemplate) {
  std::vector<int> ids;
  for (const res::DialogTemplate& t : res::AllDialogTemplates()) ids.push_back(t.id);
  EXPECT_EQ(ids, (std::vector<int>{100, 102, 130, 133, 140, 202, 230, 231}));
  EXPECT_EQ(res::FindDialogTemplate(101), nullptr);
  ASSERT_NE(res::FindDialogTemplate(202), nullptr);
  EXPECT_STREQ(res::FindDialogTemplate(202)->caption, "Torvex");
}

TEST(DialogTemplates, ControlsAreWellFormed) {
  for (const res::DialogTemplate& t : res::AllDialogTemplates()) {
    std::set<int> seen;
    for (const res::ControlTemplate& c : t.controls) {
      SCOPED_TRACE("template " + std::to_string(t.id) + " control " + std::to_string(c.id));
      if (c.id != res::kNoId) {
        EXPECT_TRUE(seen.insert(c.id).second) << "id used twice";
      }
      // Inside the window.
      EXPECT_GE(c.rect.x, 0);
      EXPECT_GE(c.rect.y, 0);
      EXPECT_GT(c.rect.width, 0);
      EXPECT_GT(c.rect.height, 0);
      EXPECT_LE(c.rect.x + c.rect.width, t.width);
      EXPECT_LE(c.rect.y + c.rect.height, t.height);
      // A text pair is named by its odd id and exists in both languages.
      if (c.textId != 0) {
        EXPECT_EQ(c.textId % 2, 1);
        EXPECT_NE(res::TextResource(c.textId), nullptr);
        EXPECT_NE(res::TextResource(c.textId + 1), nullptr);
      }
      // The placeholder of a label is the Russian text it stands for.
      if (c.textId != 0 && c.kind != ControlKind::kBitmapButton && c.caption[0] != '\0') {
        EXPECT_STREQ(c.caption, res::TextResource(c.textId));
      }
      if (c.kind == ControlKind::kBitmapButton) {
        EXPECT_STRNE(c.caption, "");
      }
    }
  }
}

TEST(DialogTemplates, MessageBoxButtonsAndTheirTooltips) {
  const res::DialogTemplate* box = res::FindDialogTemplate(res::kDialogMessage);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->width, 216);
  EXPECT_EQ(box->height, 73);
  std::vector<int> order;
  for (const res::ControlTemplate& c : box->controls) order.push_back(c.id);
  EXPECT_EQ(order, (std::vector<int>{4, 2, 1, 1060, 1061, 6, 7}));
  struct Expected {
    int id;
    const char* images;
    int tooltip;
    int left;
    bool hidden;
  };
  for (const Expected& e : {Expected{1, "OK", 1, 88, false}, Expected{2, "CANCEL", 3, 119, true},
                            Expected{4, "RETRY", 5, 57, true}, Expected{6, "RETRY", 7, 57, true},
                            Expected{7, "SKIP", 9, 88, true}}) {
    const res::ControlTemplate* c = box->Find(e.id);
    ASSERT_NE(c, nullptr) << e.id;
    EXPECT_EQ(c->kind, ControlKind::kBitmapButton);
    EXPECT_STREQ(c->caption, e.images);
    EXPECT_EQ(c->textId, e.tooltip);
    EXPECT_EQ(c->rect.x, e.left);
    EXPECT_EQ(c->rect.y, 48);
    EXPECT_EQ((c->style & res::kHidden) != 0, e.hidden);
    EXPECT_NE(c->style & res::kTabStop, 0u);
  }
  EXPECT_EQ(box->Find(1060)->kind, ControlKind::kIcon);
  EXPECT_EQ(box->Find(1061)->kind, ControlKind::kText);
  EXPECT_EQ(box->Find(12345), nullptr);
}

TEST(DialogTemplates, OnlyTheWebPageWindowCanBeResized) {
  for (const res::DialogTemplate& t : res::AllDialogTemplates()) {
    EXPECT_EQ((t.style & res::kResizable) != 0, t.id == res::kDialogWebPage) << t.id;
  }
}

}  // namespace
