#include "test/quillmark_runner.h"

#include <fcntl.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string_view>

extern char** environ;

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

namespace {

// The kernel's high-water mark of the resident set of a live process.
long PeakKib(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("VmHWM:")) return std::atol(line.c_str() + 6);
  }
  return 0;
}

}  // namespace

pid_t QuillmarkRunner::Start(const std::vector<std::string>& args,
                             bool traced) const {
  const fs::path out = root_ / "stdout";
  const fs::path err = root_ / "stderr";
  std::vector<char*> argv{const_cast<char*>(QUILLMARK_BINARY)};
  for (const std::string& a : args) {
    argv.push_back(const_cast<char*>(a.c_str()));
  }
  argv.push_back(nullptr);
  // LeakSanitizer attaches with ptrace at exit, which a traced child cannot.
  std::string asan_options = "ASAN_OPTIONS=";
  if (const char* options = std::getenv("ASAN_OPTIONS")) {
    asan_options.append(options).append(":");
  }
  asan_options.append("detect_leaks=0");
  std::vector<char*> envp;
  for (char** e = environ; *e != nullptr; ++e) {
    if (!traced || !std::string_view(*e).starts_with("ASAN_OPTIONS=")) {
      envp.push_back(*e);
    }
  }
  if (traced) envp.push_back(asan_options.data());
  envp.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int in = ::open("/dev/null", O_RDONLY);
    const int o = stdout_to_.empty()
                      ? ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644)
                      : ::open(stdout_to_.c_str(), O_WRONLY);
    const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || o < 0 || e < 0 || ::dup2(in, 0) < 0 || ::dup2(o, 1) < 0 ||
        ::dup2(e, 2) < 0 || ::chdir(dir_.c_str()) != 0) {
      ::_exit(127);
    }
    if (traced && ::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) {
      ::_exit(127);
    }
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  return pid;
}

Result QuillmarkRunner::Wait(pid_t pid) const {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return Collect(status);
}

Result QuillmarkRunner::RunMeasuringMemory(
    const std::vector<std::string>& args) const {
  const pid_t pid = Start(args, true);
  int status = 0;
  ::waitpid(pid, &status, 0);  // stopped at exec
  ::ptrace(PTRACE_SETOPTIONS, pid, nullptr, PTRACE_O_TRACEEXIT);
  ::ptrace(PTRACE_CONT, pid, nullptr, nullptr);
  long peak_kib = 0;
  while (::waitpid(pid, &status, 0) == pid && WIFSTOPPED(status)) {
    long signal = WSTOPSIG(status);
    if (status >> 8 == (SIGTRAP | (PTRACE_EVENT_EXIT << 8))) {
      peak_kib = PeakKib(pid);
      signal = 0;
    }
    ::ptrace(PTRACE_CONT, pid, nullptr, signal);
  }
  Result result = Collect(status);
  result.peak_kib = peak_kib;
  return result;
}

Result QuillmarkRunner::Collect(int status) const {
  Result result;
  if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
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
