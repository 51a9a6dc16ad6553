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
  EXPECT_EQ(ids, (std::vector<int>{100, 102, 130, 133, 140, 202, 230, 231, 240}));
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

}  // namespace
