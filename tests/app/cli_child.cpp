#include "tests/app/cli_child.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace cli_test {

Child::Child(const std::vector<std::string>& args, const ChildOptions& options) {
  // Everything the child needs is made before fork: after it, only calls
  // that are safe in a copy of a threaded process.
  std::vector<std::string> argStore{TORVEX_CHECK_PROGRAM};
  argStore.insert(argStore.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argStore) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> envStore;
  const auto replaced = [&options](const char* entry) {
    if (std::strncmp(entry, "TORVEX_REGISTRY_FILE=", 21) == 0) return true;
    for (const auto& [name, value] : options.variables) {
      if (std::strncmp(entry, name.c_str(), name.size()) == 0 && entry[name.size()] == '=') return true;
    }
    return false;
  };
  for (char** e = environ; *e != nullptr; ++e) {
    if (!replaced(*e)) envStore.emplace_back(*e);
  }
  if (!options.registryFile.empty()) envStore.push_back("TORVEX_REGISTRY_FILE=" + options.registryFile);
  for (const auto& [name, value] : options.variables) {
    if (!value.empty()) envStore.push_back(name + "=" + value);
  }
  std::vector<char*> envp;
  for (auto& e : envStore) envp.push_back(e.data());
  envp.push_back(nullptr);

  int out[2], err[2] = {-1, -1};
  if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  int errChild = -1;
  if (options.ptyColumns > 0) {
    int master = -1, slave = -1;
    winsize ws{};
    ws.ws_col = static_cast<unsigned short>(options.ptyColumns);
    ws.ws_row = 24;
    if (openpty(&master, &slave, nullptr, nullptr, &ws) != 0) throw std::runtime_error("openpty");
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    err[0] = master;
    errChild = slave;
  } else {
    if (pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    errChild = err[1];
  }
  const char* cwd = options.cwd.empty() ? nullptr : options.cwd.c_str();
  pid_ = fork();
  if (pid_ == 0) {
    if (cwd != nullptr && chdir(cwd) != 0) _exit(127);
    dup2(out[1], STDOUT_FILENO);
    dup2(errChild, STDERR_FILENO);
    const int devNull = open("/dev/null", O_RDONLY);
    if (devNull >= 0) dup2(devNull, STDIN_FILENO);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  close(out[1]);
  close(errChild);
  outFd_ = out[0];
  errFd_ = err[0];
  fcntl(outFd_, F_SETFL, O_NONBLOCK);
  fcntl(errFd_, F_SETFL, O_NONBLOCK);
}

Child::~Child() {
  if (pid_ > 0 && status_ < 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (outFd_ >= 0) close(outFd_);
  if (errFd_ >= 0) close(errFd_);
}

bool Child::Pump(int ms) {
  pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
  if (outFd_ < 0 && errFd_ < 0) return false;
  poll(fds, 2, ms);
  char buf[65536];
  for (int i = 0; i < 2; ++i) {
    int& fd = i == 0 ? outFd_ : errFd_;
    if (fd < 0 || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n > 0) {
      if (i == 0) {
        out_.append(buf, static_cast<std::size_t>(n));
      } else {
        err_.append(buf, static_cast<std::size_t>(n));
        chunks_.emplace_back(std::chrono::steady_clock::now(), std::string(buf, static_cast<std::size_t>(n)));
      }
    } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
      // End of the pipe, or EIO once the last holder of the terminal closed it.
      close(fd);
      fd = -1;
    }
  }
  return outFd_ >= 0 || errFd_ >= 0;
}

bool Child::ReadUntil(const std::function<bool(const std::string&, const std::string&)>& pred,
                      std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!pred(out_, err_)) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    if (!Pump(10) && !pred(out_, err_)) return false;
  }
  return true;
}

int Child::Wait(std::chrono::milliseconds timeout) {
  if (status_ >= 0) return status_;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    int st = 0;
    const pid_t r = waitpid(pid_, &st, WNOHANG);
    if (r == pid_) {
      while (Pump(0)) {
      }
      killedBy_ = WIFSIGNALED(st) ? WTERMSIG(st) : 0;
      status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
      return status_;
    }
    if (std::chrono::steady_clock::now() >= deadline) return -1;
    Pump(10);
  }
}

void Child::Signal(int sig) { kill(pid_, sig); }

Result RunCheck(const std::vector<std::string>& args, const ChildOptions& options) {
  Child child(args, options);
  Result r;
  r.status = child.Wait();
  r.out = child.Out();
  r.err = child.Err();
  return r;
}

}  // namespace cli_test
