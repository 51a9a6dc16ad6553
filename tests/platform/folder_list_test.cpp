#include "platform/folder_list.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include "platform/file_io.h"
#include "tests/support/temp_tree.h"

namespace platform {
namespace {

TEST(FolderListTest, EveryEntryInTheFileSystemsOrderWithoutEnteringTheFolder) {
  testing_support::TempTree tree;
  for (const char* f : {"Zeta", "alpha", ".hidden"}) tree.Folder(f);
  tree.File("file.txt", 10);
  tree.Symlink("link-to-folder", tree.Path("alpha"));
  tree.Fifo("pipe");
  const std::string cwd = CurrentDirectory();
  std::vector<FolderEntry> entries;
  ASSERT_TRUE(SystemFolderLister().ListFolder(tree.Root(), entries));
  EXPECT_EQ(CurrentDirectory(), cwd);

  std::vector<std::string> listed, folders;
  for (const FolderEntry& e : entries) {
    listed.push_back(e.name);
    if (e.folder) folders.push_back(e.name);
  }
  std::vector<std::string> order;
  DIR* dir = opendir(tree.Root().c_str());
  while (const dirent* e = readdir(dir)) {
    if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") order.push_back(e->d_name);
  }
  closedir(dir);
  EXPECT_EQ(listed, order);
  std::sort(folders.begin(), folders.end());
  EXPECT_EQ(folders, (std::vector<std::string>{".hidden", "Zeta", "alpha"}));  // a link to one is none

  EXPECT_FALSE(SystemFolderLister().ListFolder(tree.Path("missing"), entries));
  EXPECT_TRUE(entries.empty());
  EXPECT_FALSE(SystemFolderLister().ListFolder(tree.Path("file.txt"), entries));
}

}  // namespace
}  // namespace platform
