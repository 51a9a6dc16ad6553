// Resident memory of the idle program: the window kit and the About dialog
// open, nothing else happening. Prints VmRSS, whether the browser's
// libraries are in the process and how many browser helper processes run,
// first while idle and then with the web page window open on the shipped
// home page. Built twice: bench_idle_memory with the dialogs as the program
// has them, and bench_idle_memory_base (TORVEX_BENCH_BASELINE) with the same
// window kit but no browser at all, as the program was before the web page
// window existed.
//
//   QT_QPA_PLATFORM=offscreen build/bench/bench_idle_memory
#include <dirent.h>
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>

#include "platform/registry.h"
#include "records/settings_store.h"
#include "ui/template_dialog.h"

#ifndef TORVEX_BENCH_BASELINE
#include <QAbstractButton>

#include "dialogs/about_dialog.h"
#include "dialogs/web_engine_setup.h"
#include "dialogs/web_page_dialog.h"
#endif

namespace {

long StatusKb(const std::string& statusFile, const char* field) {
  std::ifstream in(statusFile);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::string(field).size()));
  }
  return -1;
}

bool BrowserLoaded() {
  std::ifstream in("/proc/self/maps");
  std::string line;
  while (std::getline(in, line)) {
    if (line.find("libQt6WebEngineCore") != std::string::npos) return true;
  }
  return false;
}

// The browser's helper processes below this one, and their resident memory.
void HelperProcesses(int* count, long* rssKb) {
  *count = 0;
  *rssKb = 0;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return;
  while (dirent* entry = readdir(proc)) {
    const std::string pid = entry->d_name;
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream stat("/proc/" + pid + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos || text.find("QtWebEngine") == std::string::npos) continue;
    int parent = 0;
    char state = 0;
    if (std::sscanf(text.c_str() + close + 1, " %c %d", &state, &parent) != 2) continue;
    // Helpers start helpers (the zygote); count every descendant by its name.
    ++*count;
    *rssKb += StatusKb("/proc/" + pid + "/status", "VmRSS:");
  }
  closedir(proc);
}

void Report(const char* when) {
  int helpers = 0;
  long helperKb = 0;
  HelperProcesses(&helpers, &helperKb);
  std::printf("%-34s VmRSS %7ld kB   browser libraries %-3s   helper processes %d (%ld kB)\n", when,
              StatusKb("/proc/self/status", "VmRSS:"), BrowserLoaded() ? "yes" : "no", helpers, helperKb);
  std::fflush(stdout);
}

// Runs `act` once the dialog's modal loop runs and has been idle a while.
void After(int ms, const std::function<void()>& act) { QTimer::singleShot(ms, act); }

}  // namespace

int main(int argc, char* argv[]) {
#ifndef TORVEX_BENCH_BASELINE
  dialogs::PrepareWebEngine();
#endif
  QApplication app(argc, argv);
  const std::string registryFile = "/tmp/torvex-bench-idle-" + std::to_string(getpid()) + ".reg";
  platform::Registry registry(registryFile);
  records::SettingsStore store(registry);
  store.LoadSettings();
#ifdef TORVEX_BENCH_BASELINE
  ui::CTemplateDialog about(res::kDialogAbout);
  After(2000, [&] {
    Report("idle, About open (no browser):");
    about.done(1);
  });
#else
  dialogs::CAboutDialog about(store);
  After(2000, [&] {
    Report("idle, About open:");
    // The web page window on the shipped page, measured once it has loaded.
    QTimer* poll = new QTimer(&app);
    int waited = 0;
    QObject::connect(poll, &QTimer::timeout, [&, poll] {
      auto* page = qobject_cast<dialogs::CWebPageDialog*>(QApplication::activeModalWidget());
      if (page == nullptr || page->m_browser == nullptr) return;
      waited += 100;
      if (page->m_browser->GetLocationName().isEmpty() && waited < 30000) return;
      if (waited < 2000) return;  // let it settle
      poll->stop();
      Report("web page window open:");
      page->done(1);
    });
    poll->start(100);
    if (auto* url = qobject_cast<QAbstractButton*>(ui::DlgItem(about, 1035))) url->click();
    Report("web page window closed:");
    about.done(1);
  });
#endif
  about.DoModal();
  std::remove(registryFile.c_str());
  return 0;
}
