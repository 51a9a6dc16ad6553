#pragma once
// What the main window is made of: the services it and its engine run on,
// each the one given (tests give fakes) or, where none was, the system's
// own. ComposeServices is the one place they are put together; the window
// adds only the bridge that takes the engine's calls over to it.
#include <memory>

#include "app/rescue_controller.h"
#include "engine/check_run.h"
#include "ui/error_list.h"

namespace platform {
class Registry;
}
namespace records {
class DiskInfoStore;
class LogFile;
class SettingsStore;
}  // namespace records

namespace ui {

class EventSounds;

// What the window uses of the system. Each left empty takes the real one;
// tests put fakes in.
struct MainDialogServices {
  std::shared_ptr<platform::Registry> registry;          // the user's registry file
  std::shared_ptr<engine::VolumeQuery> volumes;           // the volumes of the drives
  std::shared_ptr<engine::RootCheck> roots;               // roots mounted and readable
  std::shared_ptr<engine::RootPathTranslator> rootPaths;  // drive letters onto folders
  std::shared_ptr<engine::SoundPlayer> sounds;            // the sounds of events 1, 2 and 7
  std::shared_ptr<engine::ThreadStarter> threads;         // the system's threads
  std::shared_ptr<engine::FilePrefetcher> prefetcher;     // read-ahead through the system's cache
  std::unique_ptr<CErrorListModel> errorList;             // the rows of the error list
  std::shared_ptr<FolderChooser> folders;                 // where rescued files go
};

// The services of the window, every one of them there.
struct WindowServices {
  std::shared_ptr<platform::Registry> registry;
  std::unique_ptr<records::SettingsStore> store;     // the settings, kept in the registry
  std::shared_ptr<records::LogFile> log;             // Torvex.log (opened by the window)
  std::shared_ptr<records::DiskInfoStore> diskInfo;  // Torvex.tvd (opened by the window)
  std::shared_ptr<EventSounds> eventSounds;          // the real sounds, when no others were given
  std::unique_ptr<CErrorListModel> errorList;
  std::shared_ptr<FolderChooser> folders;
  // What the engine is made of, all but its window. Among them the one gate
  // of the window, its bridge and the engine's threads, and the one count of
  // stuck readers that the checks and every rescue share.
  engine::EngineDeps engine;
};

// The services given, with the system's where one is null. Made on the UI
// thread; nothing is opened or started yet but the sound output.
WindowServices ComposeServices(MainDialogServices given);

}  // namespace ui
