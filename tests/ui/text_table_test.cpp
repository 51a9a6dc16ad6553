#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <thread>

#include "res/text_table.h"

namespace {

// Sets the interface language for one test and forgets the lookup cache of
// this thread (a lookup of id 0 leaves an empty, different cache entry).
class TextTable : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = res::InterfaceLanguage.load(); }
  void TearDown() override { res::InterfaceLanguage = saved_; }
  static std::string Text(int language, int id) {
    res::InterfaceLanguage = language;
    res::LoadText(0);
    return res::LoadText(id);
  }

 private:
  int saved_ = 0;
};

TEST_F(TextTable, GivesThePairMemberOfTheInterfaceLanguage) {
  EXPECT_EQ(Text(1, 45), "There is no disk in selected device");
  EXPECT_EQ(Text(0, 45), "В устройстве отсутствует диск");
  EXPECT_EQ(Text(1, 17), "Start disk checking");
  EXPECT_EQ(Text(0, 17), "Начать проверку диска");
  // The program's own spellings stay as they are.
  EXPECT_EQ(Text(1, 25), "Quit the ptogram");
  EXPECT_EQ(Text(1, 39), "Possition (Kb)");
  EXPECT_EQ(Text(1, 131), "Statictics");
  EXPECT_EQ(Text(1, 13), "Options (cheking in progress)");
  EXPECT_EQ(Text(0, 113), "Русский / Russian");
  EXPECT_EQ(Text(1, 61), "Files with errors (read/open): %ld / %ld");
  EXPECT_EQ(Text(0, 57), "Проверка диска завершена на ? %%\nПроверено файлов:  %ld\n");
  // The owned copy for the engine.
  res::InterfaceLanguage = 1;
  EXPECT_EQ(res::LoadTextCopy(157), "Read");
  EXPECT_EQ(res::LoadTextCopy(159), "Open");
}

TEST_F(TextTable, EveryLanguageButZeroIsEnglish) {
  for (int language : {1, 255, -1, 2}) {
    for (int id = res::kFirstTextId; id <= res::kLastTextId; id += 2) {
      const char* english = res::TextResource(id + 1);
      EXPECT_EQ(Text(language, id), english != nullptr ? english : "") << "language " << language << " id " << id;
    }
  }
}

TEST_F(TextTable, HoldsEveryPairAndNoTextLongerThanTheBuffer) {
  std::set<int> missing;
  for (int id = res::kFirstTextId; id <= res::kLastTextId; ++id) {
    const char* text = res::TextResource(id);
    if (text == nullptr) {
      missing.insert(id);
      continue;
    }
    EXPECT_LT(std::strlen(text), static_cast<std::size_t>(res::kTextBufferSize)) << "id " << id;
    EXPECT_GT(std::strlen(text), 0u) << "id " << id;
  }
  // The table has gaps at these pairs and nowhere else; 267 to 280 are kept
  // for texts still to come.
  std::set<int> gaps{69, 70, 77, 78, 151, 152, 153, 154};
  for (int id = 267; id <= 280; ++id) gaps.insert(id);
  EXPECT_EQ(missing, gaps);
}

TEST_F(TextTable, LineBreaksAreRealNewlines) {
  for (int language : {0, 1}) {
    const std::string noDevice = Text(language, 11);
    EXPECT_EQ(std::count(noDevice.begin(), noDevice.end(), '\n'), 2);
    EXPECT_EQ(noDevice.find('\\'), std::string::npos);
    const std::string resume = Text(language, 49);
    EXPECT_EQ(std::count(resume.begin(), resume.end(), '\n'), 1);
    EXPECT_EQ(Text(language, 53).back(), '\n');
  }
  EXPECT_EQ(Text(1, 49), "This disk has been checked (%d%%)\nDo you want to start or continue checking?");
}

TEST_F(TextTable, UnknownIdsGiveTheEmptyText) {
  for (int id : {69, 77, 151, 153, res::kLastTextId + 1, res::kLastTextId + 2, -1, -2, INT_MAX, INT_MIN}) {
    EXPECT_STREQ(Text(1, id).c_str(), "") << id;
    EXPECT_STREQ(Text(0, id).c_str(), "") << id;
  }
  EXPECT_EQ(res::TextResource(0), nullptr);
  EXPECT_EQ(res::TextResource(res::kLastTextId + 1), nullptr);
}

TEST_F(TextTable, SameIdAgainReturnsTheBufferUnchanged) {
  res::InterfaceLanguage = 1;
  const char* first = res::LoadText(45);
  EXPECT_STREQ(first, "There is no disk in selected device");
  // The language is not looked at again for the id just asked for.
  res::InterfaceLanguage = 0;
  const char* second = res::LoadText(45);
  EXPECT_EQ(second, first);
  EXPECT_STREQ(second, "There is no disk in selected device");
  // Another id overwrites the same buffer.
  res::InterfaceLanguage = 1;
  const char* hide = res::LoadText(29);
  EXPECT_STREQ(hide, "Hide info window");
  const char* show = res::LoadText(63);
  EXPECT_EQ(show, hide);
  EXPECT_STREQ(hide, "Show info window");
}

TEST_F(TextTable, ThreadsNeverSeeEachOthersTexts) {
  res::InterfaceLanguage = 1;
  std::atomic<int> wrong{0};
  std::atomic<bool> go{false};
  // Each thread alternates between two ids of its own, so that every lookup
  // replaces the cache entry, while the other thread does the same.
  auto worker = [&](int a, int b) {
    const std::string textA = res::TextResource(a + 1);
    const std::string textB = res::TextResource(b + 1);
    while (!go) std::this_thread::yield();
    for (int i = 0; i < 5000; ++i) {
      const bool useA = i % 2 == 0;
      const char* text = res::LoadText(useA ? a : b);
      std::this_thread::yield();  // the other thread looks up its texts meanwhile
      if (text != (useA ? textA : textB)) ++wrong;
    }
  };
  std::thread first(worker, 157, 159);   // as the check thread: "Read", "Open"
  std::thread second(worker, 29, 63);    // as the UI thread: the X button tooltips
  go = true;
  first.join();
  second.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST_F(TextTable, EachThreadHasItsOwnBuffer) {
  res::InterfaceLanguage = 1;
  const char* mine = res::LoadText(1);
  const char* theirs = nullptr;
  std::thread other([&] { theirs = res::LoadText(3); });
  other.join();
  EXPECT_NE(mine, theirs);
  EXPECT_STREQ(mine, "OK");
}

}  // namespace
