#pragma once
// Helpers of the Options and folder browser tests.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

#include "platform/drive_table.h"
#include "tests/support/fake_drive_probe.h"
#include "tests/support/temp_tree.h"

namespace dialogs_test {

// C: fixed, D: CD-ROM, E: removable, F: network: temporary folders, and none
// of the machine's own drives.
struct PinnedDrives {
  testing_support::TempTree c, d, e, f;
  platform::DriveTable table = platform::DriveTable::Build(
      testing_support::FakeDriveProbe{}, {{'C', platform::kDriveFixed, c.Root()}, {'D', platform::kDriveCdrom, d.Root()},
                               {'E', platform::kDriveRemovable, e.Root()}, {'F', platform::kDriveRemote, f.Root()}});
};

// Runs `act` on the next modal dialog of class T once it is up, from inside
// its modal loop; one that `act` leaves open is closed after a while, with a
// failure. The flag tells whether it came up.
template <class T>
std::shared_ptr<bool> OnNextModal(std::function<void(T&)> act) {
  auto handled = std::make_shared<bool>(false);
  auto* timer = new QTimer(qApp);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, handled, act = std::move(act)] {
    T* dialog = dynamic_cast<T*>(QApplication::activeModalWidget());
    if (dialog == nullptr || !dialog->isVisible()) return;
    timer->deleteLater();
    timer->stop();
    *handled = true;
    QPointer<T> guard(dialog);
    act(*dialog);
    if (guard) QTimer::singleShot(5000, guard.data(), [guard] {
        if (guard && guard->isVisible()) {
          ADD_FAILURE() << "the dialog stayed open";
          guard->done(-99);
        }
      });
  });
  timer->start(5);
  return handled;
}

// A dialog that records the help pop-ups asked for instead of showing them.
template <class Dialog>
class HelpRecording : public Dialog {
 public:
  using Dialog::Dialog;
  std::vector<uint32_t> popups;

 protected:
  void ShowHelpPopup(QWidget*, uint32_t contextId) override { popups.push_back(contextId); }
};

}  // namespace dialogs_test
