// The walks of the folder tree. Both go depth first through the process's
// current directory, in the order the file system lists the entries, and
// differ only in what they do with a file.
#include "engine/engine_context.h"
#include "platform/file_io.h"

namespace engine {

void FolderWalk::WalkRoot(const std::string& rootPath) {
  path_ = ctx_->state.currentFolder.Get();
  Walk(rootPath, true, 0);
}

void FolderWalk::Publish() {
  ctx_->state.currentFolder.Set(path_);
}

void FolderWalk::Walk(const std::string& name, bool root, int depth) {
  EngineContext& c = *ctx_;
  if (c.Halted() || depth > kMaxFolderDepth) return;

  const std::size_t parentLength = path_.size();
  if (root) {
    path_ = name;
  } else {
    // A drive root ("D:\") already ends in its backslash.
    if (path_.size() != 3) path_ += '\\';
    path_ += name;
  }
  Publish();
  if (c.Panels().showCurrent) c.Window().SetFieldText(kIdFolderPath, path_);

  std::string target = name;
  if (root && c.deps.rootPaths) target = c.deps.rootPaths->ToNativePath(name);
  if (platform::ChangeDirectory(target) != 0) {
    // A folder that cannot be entered is skipped in silence.
    path_.resize(root ? 0 : parentLength);
    Publish();
    return;
  }

  platform::DirListing listing;
  if (listing.Open()) {
    platform::DirEntry entry;
    while (listing.Next(entry)) {
      switch (entry.kind) {
        case platform::DirEntry::kFolder:
          Walk(entry.name, false, depth + 1);
          // Back into this folder, whatever the sub-folder walk left behind.
          listing.ReturnHere();
          break;
        case platform::DirEntry::kFile:
        case platform::DirEntry::kDanglingLink: {
          const auto size = static_cast<int64_t>(entry.size);
          if (mode_ == kCount) {
            ++c.state.disk.filesTotal;
            c.state.disk.bytesTotal += size;
          } else {
            const uint32_t seen = ++c.state.filesSeen;
            if (seen > static_cast<uint32_t>(c.state.disk.filesChecked.load())) {
              CheckFile(ctx_, entry.name, size);
              if (!c.state.stopRequest) ++c.state.disk.filesChecked;
            }
            // Otherwise an earlier run of this disk already checked it.
          }
          break;
        }
        case platform::DirEntry::kOther:
          // FIFOs, sockets, devices and links to folders: never counted,
          // never opened, never walked into.
          break;
      }
    }
  }
  Leave(parentLength, root);
}

void FolderWalk::Leave(std::size_t parentLength, bool root) {
  if (!root) {
    path_.resize(parentLength);
  } else if (path_.size() > 3) {
    // The root of a start folder: back to its parent, keeping the backslash
    // of a drive root.
    const std::size_t cut = path_.rfind('\\');
    if (cut != std::string::npos) path_.resize(cut == 2 && path_[1] == ':' ? 3 : cut);
  }
  Publish();
  // A sub-folder is left by its caller returning into the listed folder.
  if (root) platform::ChangeDirectory("..");
}

}  // namespace engine
