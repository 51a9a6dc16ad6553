#pragma once
// The drive list of the Options dialog and its start folder check. Entries
// read "%c:   ( %s )": the letter, a colon, three blanks and the kind name
// in parentheses, such as "D:   ( CD-ROM )".
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/services.h"

namespace platform {
class DiscMounter;
class DriveProbe;
struct Drive;
class DriveTable;
class Registry;
}

namespace records {

enum DriveListMode : int { kCdromDrivesOnly = 1, kAllDrives = 2 };

// The folder to enter for the root path of a run ("D:\", "D:\DATA"), by
// the drives as they are when the run starts (pinned letters included);
// empty when there is none.
class SystemRootPaths : public engine::RootPathTranslator {
 public:
  explicit SystemRootPaths(std::shared_ptr<platform::Registry> registry) : registry_(std::move(registry)) {}
  std::string ToNativePath(const std::string& rootPath) override;

 private:
  std::shared_ptr<platform::Registry> registry_;
};

// The label and serial number of a drive's volume, by the drives as they are
// at the moment of the question.
class SystemVolumeQuery : public engine::VolumeQuery {
 public:
  explicit SystemVolumeQuery(std::shared_ptr<platform::Registry> registry) : registry_(std::move(registry)) {}
  int Query(const std::string& root, std::string& label, uint32_t& serial) override;

 private:
  std::shared_ptr<platform::Registry> registry_;
};

// The root of a run, by the drives as they are at the moment of the
// question: a data disc in an optical drive that nobody has mounted is
// mounted read-only first, and the root must then be entered and listed.
class SystemRootCheck : public engine::RootCheck {
 public:
  SystemRootCheck(std::shared_ptr<platform::Registry> registry, std::shared_ptr<platform::DiscMounter> mounter,
                  const platform::DriveProbe& probe);
  // The system's drives, mounted through UDisks2.
  explicit SystemRootCheck(std::shared_ptr<platform::Registry> registry);
  int CheckRoot(const std::string& rootPath) override;

 private:
  std::shared_ptr<platform::Registry> registry_;
  std::shared_ptr<platform::DiscMounter> mounter_;
  const platform::DriveProbe& probe_;
};

// "Floppy/Removable", "Fixed", "Remote/Network", "CD-ROM", "RAM disk", or
// "Unknown" for any other code.
const char* DriveKindName(int code);

// Appends the entries of the drives from A to Z: CD-ROM drives only in mode
// 1, all drives in mode 2. Returns the number of CD-ROM drives in both modes.
int FillDriveList(int mode, std::vector<std::string>& list, const platform::DriveTable& drives);

// What the list shows of an entry: the entry, then the label of the drive's
// volume and the folder it is mounted on (its device where it is not
// mounted), each where there is one, so that a user can tell which letter is
// which disc. The label is shown as VisibleText; a control byte of the
// folder is a question mark.
std::string DriveListText(const std::string& entry, const platform::Drive& drive, const std::string& label);

// The drive of an entry: 0 for A to 25 for Z.
int EntryToDrive(std::string_view entry);
// The entry names a CD-ROM drive (its kind name begins with "C").
bool EntryIsCdrom(std::string_view entry);
// The root of an entry's drive, such as "D:\".
std::string EntryToRoot(std::string_view entry);

// The longest start folder, in bytes: paths live in buffers of 260.
inline constexpr std::size_t kMaxStartFolder = 259;

// Whether OK may be pressed with this start folder: empty (the whole disk),
// a drive root "D:\" of an existing drive (the letter in either case), or a
// longer path whose folder exists. Folder names keep their case. A text
// longer than kMaxStartFolder, or one with a "." or ".." piece, is refused.
bool CheckStartFolder(std::string_view text, const platform::DriveTable& drives);

}  // namespace records
