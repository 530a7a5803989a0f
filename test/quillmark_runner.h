// A test fixture that runs the built quillmark binary in a fresh directory and
// captures its standard output, standard error and exit status.
#ifndef QUILLMARK_TEST_QUILLMARK_RUNNER_H_
#define QUILLMARK_TEST_QUILLMARK_RUNNER_H_

#include <gtest/gtest.h>
#include <sys/types.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace quillmark::test {

struct Result {
  int status = -1;  // the exit status; -1 when ended by a signal
  int signal = 0;   // the signal that ended the run, if one did
  std::string out;
  std::string err;
};

std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& content);

// Returns the five lines the tool writes for one device.
std::string Record(const std::string& id, int line, int pp,
                   const std::string& extension);

class QuillmarkRunner : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::filesystem::path At(const std::string& name) const {
    return dir_ / name;
  }
  void Write(const std::string& name, const std::string& content) const {
    WriteFile(At(name), content);
  }
  std::string Read(const std::string& name) const { return ReadFile(At(name)); }
  bool Exists(const std::string& name) const;

  // Starts quillmark in the working directory. Its standard output and error
  // go to files beside that directory, so they never show up inside it.
  pid_t Start(const std::vector<std::string>& args) const;
  // Waits for the run to end; a run still going after a minute is killed and
  // fails the test, as does a run ended by any signal.
  Result Wait(pid_t pid) const;
  Result Run(const std::vector<std::string>& args) const {
    return Wait(Start(args));
  }
  // Waits until the run `pid` is blocked in the system call numbered
  // `call` (SYS_read, say), and, if `where` is given, waits in the kernel
  // function of that name; returns false if it is not within ten seconds.
  bool BlockedIn(pid_t pid, long call, const char* where = nullptr) const;

  // Sends the standard output of the runs that follow to `path` (for example
  // /dev/full), opened with `flags` (O_APPEND, say, as ">>" does), instead of
  // capturing it; Result::out is then empty.
  void SendStandardOutputTo(const std::filesystem::path& path, int flags = 0) {
    stdout_to_ = path;
    stdout_flags_ = flags;
  }

  // Starts the runs that follow with these of descriptors 0, 1 and 2 closed.
  void CloseInRuns(std::vector<int> fds) { closed_ = std::move(fds); }

  // Limits `resource` (RLIMIT_FSIZE, as `ulimit -f` does, or RLIMIT_AS) for
  // the runs that follow; -1 for no limit.
  void Limit(int resource, long bytes) { limit_ = {resource, bytes}; }

  // Expects status 255, nothing on standard output and `message` alone on
  // standard error.
  void ExpectFailure(const std::vector<std::string>& args,
                     const std::string& message) const;

 private:
  Result Collect(int status) const;

  std::filesystem::path root_;
  std::filesystem::path dir_;
  std::filesystem::path stdout_to_;
  int stdout_flags_ = 0;
  std::vector<int> closed_;
  std::pair<int, long> limit_{0, -1};
};

}  // namespace quillmark::test

#endif  // QUILLMARK_TEST_QUILLMARK_RUNNER_H_
