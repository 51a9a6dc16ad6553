// The readiness sequence of Start: device, disk, audio disc, the resume
// question, and a report still pending from the run before.
#include "engine/readiness.h"

#include <functional>
#include "tests/engine/engine_fixture.h"

namespace engine_test {
namespace {

using namespace std::chrono_literals;
using Message = testing_support::RecordingWindow::Message;

class ReadinessTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    deps.volumes = volumes;
    tree.File("A.TXT", 100);
  }
  // Answers the boxes in turn; OK once the list is used up.
  void Answer(std::vector<int> answers) {
    window->answer = [answers, i = std::size_t{0}](const Message&) mutable {
      return i < answers.size() ? answers[i++] : engine::kIdOk;
    };
  }
  std::vector<std::string> Captions() const {
    std::vector<std::string> captions;
    for (const auto& m : window->Messages()) captions.push_back(m.caption);
    return captions;
  }
  std::shared_ptr<testing_support::FakeVolumes> volumes = std::make_shared<testing_support::FakeVolumes>("DATA", 0x1234);
};

TEST_F(ReadinessTest, NoDeviceNoDiskAndAnAudioDiscStartNothing) {
  settings->drive = -1;
  Make();
  EXPECT_FALSE(engine->Start());
  ASSERT_EQ(window->Messages().size(), 1u);
  EXPECT_EQ(window->Messages()[0].text, "No device selected for checking.\nPlease, configure options.");
  EXPECT_EQ(window->Messages()[0].type, engine::kMsgError);
  EXPECT_EQ(window->OptionsOpened(), 1);
  EXPECT_TRUE(volumes->Roots().empty());

  // No disk: asked again on every Retry, until Cancel.
  settings->drive = 3;
  volumes->NoDisk(3);
  Answer({engine::kIdRetry, engine::kIdRetry, engine::kIdCancel});
  EXPECT_FALSE(StartGoes());
  EXPECT_EQ(volumes->Roots(), (std::vector<std::string>{"D:\\", "D:\\", "D:\\"}));
  EXPECT_EQ(window->Messages().back().text, "There is no disk in selected device");
  EXPECT_EQ(window->Messages().back().caption, "Torvex Warning");
  EXPECT_EQ(window->Messages().back().type, engine::kMsgRetry);

  // "Audio CD" exactly is refused and its label taken off again.
  volumes->Set("Audio CD", 1);
  EXPECT_FALSE(StartGoes());
  EXPECT_EQ(window->Messages().back().text,
            "There is an audio compact disk in your device.\nChecking of AudioCD isn't available in this version of Torvex");
  EXPECT_EQ(window->FieldHistory(engine::kIdVolumeLabel), (std::vector<std::string>{"Audio CD", ""}));
  EXPECT_TRUE(window->Rows().empty());
  EXPECT_TRUE(log->Lines().empty());

  // In another case it is a disk like any other; a Retry that finds the disk goes.
  volumes->Set("audio cd", 1);
  volumes->NoDisk(1);
  Answer({engine::kIdRetry});
  Run();
  EXPECT_EQ(window->Rows().at(0)[3], "audio cd,  ");
  EXPECT_EQ(State().disk.label, "audio cd");
}

TEST_F(ReadinessTest, AStartFolderIsExaminedOnItsOwnDriveAndNeverResumed) {
  settings->cdromTarget = true;
  store->Set({1, 0, 100, 0, 40}, 0x1234, "DATA");
  const engine::RunSettings run = engine::RunSettings::Take(*settings, "E:\\DATA");
  EXPECT_EQ(engine::VolumeRoot(run), "E:\\");
  EXPECT_FALSE(run.WholeDisk());
  engine::ScanState state;
  const engine::ReadinessDeps r{*window, *deps.text, volumes.get(), store.get(), nullptr, nullptr, {}};
  store->resumeActive = true;
  EXPECT_TRUE(engine::RunReadiness(run, state, r));
  EXPECT_EQ(volumes->Roots(), std::vector<std::string>{"E:\\"});
  EXPECT_FALSE(store->resumeActive);  // below the root: no record, no question
  EXPECT_TRUE(window->Messages().empty());
}

TEST_F(ReadinessTest, TheResumeQuestionChecksAgainContinuesOrCancels) {
  settings->cdromTarget = true;
  store->Set({1, 1, 100, 100, 100}, 0x1234, "DATA");
  Answer({engine::kIdCancel});
  Make();
  EXPECT_FALSE(StartGoes());
  ASSERT_EQ(window->Messages().size(), 1u);
  EXPECT_EQ(window->Messages()[0].text, "This disk has been checked (100%)\nDo you want to start or continue checking?");
  EXPECT_EQ(window->Messages()[0].caption, "Torvex disk restore");
  EXPECT_EQ(window->Messages()[0].type, engine::kMsgResume);
  // Cancel leaves the label shown and the flag raised until the next Start.
  EXPECT_EQ(window->Field(engine::kIdVolumeLabel), "DATA");
  EXPECT_TRUE(store->resumeActive);
  EXPECT_EQ(store->Updates(), 0);

  // Check again: the record is rewritten with zero progress before the run.
  Answer({engine::kIdCheckAgain});
  Run();
  EXPECT_EQ(store->Updates(), 2);  // the rewrite, then the progress at the end
  EXPECT_EQ(State().disk.filesChecked, 1);
  EXPECT_EQ(window->Rows().size(), 1u);

  // Continue checking a disk whose record holds every file: nothing is read again.
  Answer({engine::kIdContinue});
  const std::size_t files = CheckedFiles().size();
  Run();
  EXPECT_EQ(CheckedFiles().size(), files);
  EXPECT_EQ(Report(), "The checking is complete\nFiles checked: 1\nNo error were detected");
}

// A mounted disc whose device this user may not open: checked all the same,
// said once where a record would have been kept, and never remembered or
// continued, since a serial of 0 would stand for every such disc.
TEST_F(ReadinessTest, ADiscWhoseSerialCannotBeReadIsCheckedWithoutTheRecord) {
  const std::string told =
      "The serial number of the disk cannot be read without access to its device.\n"
      "The disk is checked, but how far the check gets is not remembered";
  settings->cdromTarget = true;
  store->Set({1, 1, 100, 100, 100}, 0, "DATA");  // another disc's record under 0
  const int addsBefore = store->Adds();
  volumes->SerialUnknown(true);
  Answer({engine::kIdContinue});
  Run();
  ASSERT_EQ(window->Messages().size(), 2u);
  EXPECT_EQ(window->Messages()[0].text, told);
  EXPECT_EQ(window->Messages()[0].caption, "Torvex Warning");
  EXPECT_EQ(Report(), "The checking is complete\nFiles checked: 1\nNo error were detected");
  EXPECT_EQ(CheckedFiles().size(), 1u);
  EXPECT_EQ(store->Adds(), addsBefore);
  EXPECT_EQ(store->Updates(), 0);
  EXPECT_EQ(store->Loads(), 0);
  EXPECT_EQ(store->Get(0).filesChecked, 1);
  EXPECT_EQ(window->Field(engine::kIdVolumeLabel), "");

  // Where no record is kept anyway, nothing is said.
  struct Case {
    const char* what;
    std::function<void()> set;
  };
  const Case cases[] = {
      {"resume off", [&] { settings->resumeEnabled = false; }},
      {"no CD-ROM", [&] { settings->cdromTarget = false; }},
  };
  for (const Case& c : cases) {
    settings->resumeEnabled = true;
    settings->cdromTarget = true;
    c.set();
    const std::size_t before = window->Messages().size();
    Run();
    ASSERT_EQ(window->Messages().size(), before + 1) << c.what;
    EXPECT_EQ(window->Messages().back().caption, "Torvex check finished") << c.what;
  }
  EXPECT_EQ(CheckedFiles().size(), 3u);
  EXPECT_EQ(store->Adds(), addsBefore);

  // The device can be opened again: the disc is a disc of its serial.
  settings->resumeEnabled = true;
  settings->cdromTarget = true;
  volumes->SerialUnknown(false);
  Run();
  EXPECT_EQ(store->Adds(), addsBefore + 1);
  EXPECT_NE(window->Messages().back().text.find("Files checked: 1\n"), std::string::npos);
}

TEST_F(ReadinessTest, AReportStillPendingComesBeforeTheNextRunWithItsOwnFigures) {
  tree.File("GONE", 0);
  tree.Symlink("LINK", "nowhere");
  Make();
  ASSERT_TRUE(engine->Start());
  ASSERT_TRUE(engine->WaitForCheckThread(30s));
  // No tick since the end: the report is still pending when Start comes.
  ASSERT_TRUE(State().reportPending);
  settings->preScan = false;
  volumes->Set("OTHER", 9);
  ASSERT_TRUE(engine->Start());
  ASSERT_GE(window->Messages().size(), 1u);
  EXPECT_EQ(window->Messages()[0].caption, "Torvex check finished");
  EXPECT_EQ(window->Messages()[0].text,
            "The checking is complete\nFiles checked: 3\nFiles with errors (read/open): 0 / 1");
  // The new run's disk row comes after the report.
  ASSERT_TRUE(engine->WaitForCheckThread(30s));
  engine->OnTimerTick();
  EXPECT_EQ(window->Messages().size(), 2u);
  EXPECT_EQ(window->Messages()[1].text, "The checking is complete (? %)\nFiles checked: 3\nFiles with errors (read/open): 0 / 1");
  EXPECT_EQ(window->Rows().back()[0], "LINK");
}

}  // namespace
}  // namespace engine_test

namespace engine_test {
namespace {

// Answers the root checks in turn; ready once the list is used up.
class FakeRootCheck : public engine::RootCheck {
 public:
  explicit FakeRootCheck(std::vector<int> answers) : answers_(std::move(answers)) {}
  int CheckRoot(const std::string& rootPath) override {
    std::lock_guard l(m_);
    roots_.push_back(rootPath);
    return next_ < answers_.size() ? answers_[next_++] : kRootReady;
  }
  std::vector<std::string> Roots() const {
    std::lock_guard l(m_);
    return roots_;
  }

 private:
  mutable std::mutex m_;
  std::vector<int> answers_;
  std::size_t next_ = 0;
  std::vector<std::string> roots_;
};

class RootReadinessTest : public ReadinessTest {
 protected:
  void SetUp() override {
    ReadinessTest::SetUp();
    settings->cdromTarget = true;
  }
};

TEST_F(RootReadinessTest, ADiscThatIsNotMountedIsNoRunUntilRetryFindsItsRootReadable) {
  auto roots = std::make_shared<FakeRootCheck>(std::vector<int>{engine::RootCheck::kRootNotMounted});
  deps.roots = roots;
  window->answer = [](const auto& m) { return m.type == engine::kMsgRetry ? engine::kIdRetry : engine::kIdOk; };
  Run();
  const auto messages = window->Messages();
  ASSERT_GE(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "The disk in selected device is not mounted.\nPlease, mount it and try again");
  EXPECT_EQ(messages[0].caption, "Torvex Warning");
  EXPECT_EQ(messages[0].type, engine::kMsgRetry);
  // Retry examined the disk afresh before its root was asked again.
  EXPECT_EQ(volumes->Roots(), (std::vector<std::string>{"D:\\", "D:\\"}));
  EXPECT_EQ(roots->Roots(), (std::vector<std::string>{"D:\\", "D:\\"}));
  EXPECT_EQ(CheckedFiles(), (std::vector<std::string>{"A.TXT"}));
  EXPECT_EQ(store->Adds(), 1);
}

TEST_F(RootReadinessTest, ARootThatCannotBeListedAndCancelStartNothingAndRememberNothing) {
  deps.roots = std::make_shared<FakeRootCheck>(std::vector<int>{engine::RootCheck::kRootUnreadable});
  window->answer = [](const auto&) { return engine::kIdCancel; };
  Make().SetStartFolder("D:\\DATA");
  EXPECT_FALSE(StartGoes());
  ASSERT_EQ(window->Messages().size(), 1u);
  EXPECT_EQ(window->Messages()[0].text,
            "The root folder of the disk cannot be opened or listed.\nThe disk is damaged, or access is denied");
  EXPECT_EQ(std::static_pointer_cast<FakeRootCheck>(deps.roots)->Roots(), (std::vector<std::string>{"D:\\DATA"}));
  EXPECT_TRUE(State().idle);
  EXPECT_TRUE(window->Rows().empty());
  EXPECT_TRUE(log->Lines().empty());
  EXPECT_EQ(store->Adds(), 0);
  EXPECT_FALSE(store->resumeActive);
  EXPECT_EQ(window->Field(engine::kIdVolumeLabel), "");
}


// The drive is slow to give its disc: Start has handed the run to its check
// thread and returned. A Stop (START pressed again is one) or the window
// going while the drive is still busy gives the run up once the drive
// answers: nothing more is asked of the drive, nothing is said, listed,
// logged or remembered, and START is usable again.
TEST_F(RootReadinessTest, AStopOrACloseWhileTheDriveIsSlowGivesTheRunUpWithoutAWord) {
  struct Case {
    const char* what;
    bool noDisk;  // the drive finds no disc in the end
    std::function<void(engine::ScanEngine&)> act;
  };
  const Case cases[] = {
      {"Stop", false, [](engine::ScanEngine& e) { e.Stop(); }},
      {"START again, no disc", true, [](engine::ScanEngine& e) { e.StartStop(); }},
      {"Close", false, [](engine::ScanEngine& e) { e.Close(); }},
  };
  store->Set({1, 1, 100, 100, 100}, 0x1234, "DATA");  // a disc that would be asked about
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto slow = std::make_shared<testing_support::SlowVolumes>("DATA", 0x1234, 60s);
    if (c.noDisk) slow->NoDisk();
    auto roots = std::make_shared<FakeRootCheck>(std::vector<int>{});
    deps.volumes = slow;
    deps.roots = roots;
    window = std::make_shared<testing_support::RecordingWindow>();
    deps.window = window;
    const int loadsBefore = store->Loads();
    Make();
    ASSERT_TRUE(engine->Start());
    ASSERT_TRUE(WaitUntil([&] { return slow->Inside() == 1; }));
    EXPECT_FALSE(State().idle);  // a run is under way: START stops it
    c.act(*engine);
    slow->Release();
    EXPECT_FALSE(engine->RunGoes(30s));
    ASSERT_TRUE(engine->WaitForCheckThread(30s));
    EXPECT_TRUE(State().idle);
    EXPECT_EQ(slow->Reached(), 1);
    EXPECT_TRUE(roots->Roots().empty());
    EXPECT_TRUE(window->Messages().empty());
    EXPECT_TRUE(window->Rows().empty());
    EXPECT_TRUE(window->FieldHistory(engine::kIdVolumeLabel).empty());
    EXPECT_TRUE(log->Lines().empty());
    EXPECT_EQ(store->Loads(), loadsBefore);
    EXPECT_EQ(store->Updates(), 0);
    EXPECT_EQ(store->Adds(), 0);
    if (std::string(c.what) != "Close") {
      EXPECT_TRUE(window->Enabled(engine::kIdStart));
    }
    engine->OnTimerTick();
    EXPECT_TRUE(window->Messages().empty()) << "no report";
  }
}

}  // namespace
}  // namespace engine_test
