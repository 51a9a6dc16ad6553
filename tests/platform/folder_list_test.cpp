#include "platform/folder_list.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/file_io.h"
#include "tests/support/temp_tree.h"

namespace platform {
namespace {

using testing_support::TempTree;

// The names of a folder as readdir gives them, dots left out.
std::vector<std::string> ReaddirOrder(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  while (const dirent* e = dir ? readdir(dir) : nullptr) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  if (dir) closedir(dir);
  return names;
}

TEST(FolderListTest, ListsEveryEntryInTheFileSystemsOrderWithoutEnteringTheFolder) {
  TempTree tree;
  for (const char* f : {"Zeta", "alpha", ".hidden", "Mid dle", "b"}) tree.Folder(f);
  tree.File("file.txt", 10);
  tree.File(".profile", 1);
  tree.Symlink("link-to-folder", tree.Path("alpha"));
  tree.Symlink("dangling", "nowhere");
  tree.Fifo("pipe");
  const std::string before = CurrentDirectory();

  std::vector<FolderEntry> entries;
  ASSERT_TRUE(SystemFolderLister().ListFolder(tree.Root(), entries));
  EXPECT_EQ(CurrentDirectory(), before);

  std::vector<std::string> names;
  std::vector<std::string> folders;
  for (const FolderEntry& e : entries) {
    names.push_back(e.name);
    if (e.folder) folders.push_back(e.name);
  }
  EXPECT_EQ(names, ReaddirOrder(tree.Root()));
  std::sort(folders.begin(), folders.end());
  // Only real folders count as folders; hidden ones are there too.
  EXPECT_EQ(folders, (std::vector<std::string>{".hidden", "Mid dle", "Zeta", "alpha", "b"}));
  EXPECT_EQ(entries.size(), 10u);
}

TEST(FolderListTest, AFolderThatCannotBeListedGivesNothing) {
  TempTree tree;
  tree.File("plain", 3);
  std::vector<FolderEntry> entries{{"stale", true}};
  EXPECT_FALSE(SystemFolderLister().ListFolder(tree.Path("missing"), entries));
  EXPECT_TRUE(entries.empty());
  EXPECT_FALSE(SystemFolderLister().ListFolder(tree.Path("plain"), entries));
  EXPECT_TRUE(SystemFolderLister().ListFolder(tree.Root(), entries));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_FALSE(entries[0].folder);
}

}  // namespace
}  // namespace platform
