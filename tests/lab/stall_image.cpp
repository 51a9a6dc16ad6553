// Serves a disc image through the fault file system, for a drive of the lab
// whose disc stalls: the first read that covers the offset waits, as a
// scratched disc does while the drive retries, and is then served.
//
//   stall_image IMAGE FOLDER OFFSET MILLISECONDS
//
// The image appears as FOLDER/disc.iso. Prints "ready" once mounted and
// serves until it is ended (SIGTERM, SIGINT); 77 where FUSE is refused.
#include <signal.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/support/fault_fs.h"

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: stall_image IMAGE FOLDER OFFSET MILLISECONDS\n");
    return 2;
  }
  struct stat st {};
  if (stat(argv[1], &st) != 0) {
    std::perror(argv[1]);
    return 2;
  }
  sigset_t ends;
  sigemptyset(&ends);
  sigaddset(&ends, SIGTERM);
  sigaddset(&ends, SIGINT);
  pthread_sigmask(SIG_BLOCK, &ends, nullptr);  // before the file system's threads start

  testing_support::FaultFile disc;
  disc.path = "disc.iso";
  disc.size = st.st_size;
  disc.fault = testing_support::FaultFile::kStall;
  disc.at = std::strtoll(argv[3], nullptr, 10);
  disc.stallFor = std::strtoll(argv[4], nullptr, 10) * 1000;
  disc.source = argv[1];
  testing_support::FaultFs fs({disc});
  std::string why;
  if (!fs.MountAt(argv[2], &why)) {
    std::printf("FUSE refused: %s\n", why.c_str());
    return 77;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  int signal = 0;
  sigwait(&ends, &signal);
  fs.ForceUnmount();
  return 0;
}
