#include "test/quillmark_runner.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

namespace quillmark::test {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void WriteFile(const fs::path& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

std::string Record(const std::string& id, int line, int pp,
                   const std::string& extension) {
  return "[" + id + "]\nId=" + std::to_string(line) +
         "\nPP=" + std::to_string(pp) + "\nAttributes=Extension=" + extension +
         "\nRecorded=1\n";
}

void QuillmarkRunner::SetUp() {
  std::string root = fs::temp_directory_path() / "quillmark-XXXXXX";
  ASSERT_NE(nullptr, ::mkdtemp(root.data()));
  root_ = root;
  dir_ = root_ / "work";
  fs::create_directory(dir_);
}

void QuillmarkRunner::TearDown() { fs::remove_all(root_); }

bool QuillmarkRunner::Exists(const std::string& name) const {
  return fs::exists(fs::symlink_status(At(name)));
}

pid_t QuillmarkRunner::Start(const std::vector<std::string>& args) const {
  const fs::path out = root_ / "stdout";
  const fs::path err = root_ / "stderr";
  std::vector<char*> argv{const_cast<char*>(QUILLMARK_BINARY)};
  for (const std::string& a : args) {
    argv.push_back(const_cast<char*>(a.c_str()));
  }
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int in = ::open("/dev/null", O_RDONLY);
    const int o =
        stdout_to_.empty()
            ? ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644)
            : ::open(stdout_to_.c_str(), O_WRONLY | stdout_flags_, 0644);
    const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || o < 0 || e < 0 || ::dup2(in, 0) < 0 || ::dup2(o, 1) < 0 ||
        ::dup2(e, 2) < 0 || ::chdir(dir_.c_str()) != 0) {
      ::_exit(127);
    }
    for (const int fd : {in, o, e}) {
      if (fd > 2) ::close(fd);
    }
    for (const int fd : closed_) ::close(fd);
    if (limit_.second >= 0) {
      const rlimit limit{static_cast<rlim_t>(limit_.second),
                         static_cast<rlim_t>(limit_.second)};
      if (::setrlimit(limit_.first, &limit) != 0) ::_exit(127);
    }
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  return pid;
}

Result QuillmarkRunner::Wait(pid_t pid) const {
  int status = 0;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ADD_FAILURE() << "quillmark still running after a minute; killed";
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return Collect(status);
}

bool QuillmarkRunner::BlockedIn(pid_t pid, long call, const char* where) const {
  const std::string proc = "/proc/" + std::to_string(pid);
  for (int i = 0; i < 1000; ++i) {
    // Before it runs quillmark, the child makes calls of its own.
    long now = -1;
    std::ifstream(proc + "/syscall") >> now;
    if (ReadFile(proc + "/comm") == "quillmark\n" && now == call &&
        (where == nullptr || ReadFile(proc + "/wchan") == where)) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

Result QuillmarkRunner::Collect(int status) const {
  Result result;
  if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) {
    result.signal = WTERMSIG(status);
    ADD_FAILURE() << "quillmark was ended by signal " << result.signal << " ("
                  << ::strsignal(result.signal) << ")";
  }
  if (stdout_to_.empty()) result.out = ReadFile(root_ / "stdout");
  result.err = ReadFile(root_ / "stderr");
  return result;
}

void QuillmarkRunner::ExpectFailure(const std::vector<std::string>& args,
                                    const std::string& message) const {
  const Result r = Run(args);
  EXPECT_EQ(255, r.status) << message;
  EXPECT_EQ("", r.out) << message;
  EXPECT_EQ(message + "\n", r.err);
}

}  // namespace quillmark::test
