#include "app/services.h"

#include <QFile>
#include <QFileDialog>
#include <QString>
#include <utility>

#include "engine/system_services.h"
#include "platform/registry.h"
#include "platform/sound_output.h"
#include "records/disk_info_store.h"
#include "records/drive_list.h"
#include "records/log_file.h"
#include "records/settings_store.h"
#include "res/text_table.h"
#include "ui/event_sounds.h"

namespace ui {
namespace {

// The window's texts, from the text table.
class TableTexts : public engine::TextLookup {
 public:
  std::string Text(int id) const override { return res::LoadTextCopy(id); }
};

// The desktop's own folder chooser.
class DesktopFolderChooser : public FolderChooser {
 public:
  std::string ChooseFolder(QWidget* owner, const std::string& title, const std::string& start) override {
    const QString folder = QFileDialog::getExistingDirectory(
        owner, QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())),
        QFile::decodeName(QByteArray::fromStdString(start)), QFileDialog::ShowDirsOnly);
    return QFile::encodeName(folder).toStdString();
  }
};

// The service given, else the one make() makes.
template <typename T, typename Made>
std::shared_ptr<T> Or(std::shared_ptr<T> given, Made make) {
  if (given) return given;
  return make();
}

}  // namespace

WindowServices ComposeServices(MainDialogServices given) {
  WindowServices s;
  s.registry = Or(std::move(given.registry), [] { return std::make_shared<platform::Registry>(); });
  s.store = std::make_unique<records::SettingsStore>(*s.registry);
  s.log = std::make_shared<records::LogFile>();
  s.diskInfo = std::make_shared<records::DiskInfoStore>();
  s.errorList = given.errorList ? std::move(given.errorList) : std::make_unique<CErrorListModel>();
  s.folders = Or(std::move(given.folders), [] { return std::make_shared<DesktopFolderChooser>(); });

  engine::EngineDeps& deps = s.engine;
  deps.settings = s.store->settings;
  deps.panels = std::make_shared<engine::PanelFlags>();
  deps.text = std::make_shared<TableTexts>();
  deps.log = s.log;
  deps.resume = s.diskInfo;
  deps.sounds = std::move(given.sounds);
  if (!deps.sounds) {
    s.eventSounds = std::make_shared<EventSounds>(s.store->settings, platform::CreateSoundOutput());
    deps.sounds = s.eventSounds;
  }
  const std::shared_ptr<platform::Registry>& registry = s.registry;
  deps.rootPaths = Or(std::move(given.rootPaths), [&] { return std::make_shared<records::SystemRootPaths>(registry); });
  deps.volumes = Or(std::move(given.volumes), [&] { return std::make_shared<records::SystemVolumeQuery>(registry); });
  deps.roots = Or(std::move(given.roots), [&] { return std::make_shared<records::SystemRootCheck>(registry); });
  deps.threads = Or(std::move(given.threads), [] { return std::make_shared<engine::SystemThreads>(); });
  deps.prefetcher = Or(std::move(given.prefetcher), [] { return std::make_shared<engine::SystemPrefetcher>(); });
  // One gate for the window, its bridge and the engine's threads.
  deps.gate = std::make_shared<engine::WindowGate>();
  // One count of stuck readers for the checks and the rescues.
  deps.stuck = std::make_shared<engine::StuckReaders>();
  return s;
}

}  // namespace ui
