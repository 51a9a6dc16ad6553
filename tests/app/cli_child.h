#pragma once
// torvex-check run as a child process: its standard output and error caught
// through pipes (or standard error on a pseudo-terminal), signals sent to
// it, its exit status waited for.
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace cli_test {

struct ChildOptions {
  std::string cwd;           // empty: the test's own
  std::string registryFile;  // TORVEX_REGISTRY_FILE
  int ptyColumns = 0;        // > 0: standard error is a terminal this wide
  // Variables given to the child instead of the test's own of that name; an
  // empty value leaves the variable out.
  std::vector<std::pair<std::string, std::string>> variables;
};

class Child {
 public:
  Child(const std::vector<std::string>& args, const ChildOptions& options);
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // Collects output until pred holds for (stdout, stderr) or the time is up.
  bool ReadUntil(const std::function<bool(const std::string&, const std::string&)>& pred,
                 std::chrono::milliseconds timeout);
  // Collects output until the child ends; its exit status (128 + signal when
  // killed), or -1 when it did not end in time.
  int Wait(std::chrono::milliseconds timeout = std::chrono::seconds(60));
  void Signal(int sig);
  // The signal the child was killed by, 0 when it exited by itself.
  int KilledBy() const { return killedBy_; }

  const std::string& Out() const { return out_; }
  const std::string& Err() const { return err_; }
  // Times at which each chunk of standard error arrived, with the chunk.
  const std::vector<std::pair<std::chrono::steady_clock::time_point, std::string>>& ErrChunks() const {
    return chunks_;
  }

 private:
  // One round of reading, waiting at most ms; false when both ends closed.
  bool Pump(int ms);

  pid_t pid_ = -1;
  int outFd_ = -1, errFd_ = -1;
  int status_ = -1;
  int killedBy_ = 0;
  std::string out_, err_;
  std::vector<std::pair<std::chrono::steady_clock::time_point, std::string>> chunks_;
};

// Runs the program to its end.
struct Result {
  int status = -1;
  std::string out, err;
};
Result RunCheck(const std::vector<std::string>& args, const ChildOptions& options = {});

}  // namespace cli_test
