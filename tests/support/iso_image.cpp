#include "tests/support/iso_image.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace testing_support {

bool MakeIsoImage(const std::string& folder, const std::vector<std::string>& options, const std::string& out,
                  std::string* why) {
  std::vector<std::string> args = {"genisoimage", "-quiet", "-input-charset", "utf-8", "-o", out};
  args.insert(args.end(), options.begin(), options.end());
  args.push_back(folder);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, "genisoimage", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    *why = "genisoimage cannot be run (tools/install-deps installs it)";
    return false;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      *why = "genisoimage could not be waited for";
      return false;
    }
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    *why = "genisoimage failed";
    return false;
  }
  return true;
}

}  // namespace testing_support
