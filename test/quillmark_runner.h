// A test fixture that runs the built quillmark binary in a fresh directory and
// captures its standard output, standard error, exit status and peak memory.
#ifndef QUILLMARK_TEST_QUILLMARK_RUNNER_H_
#define QUILLMARK_TEST_QUILLMARK_RUNNER_H_

#include <gtest/gtest.h>
#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace quillmark::test {

struct Result {
  int status = -1;  // the exit status; -1 when ended by a signal
  std::string out;
  std::string err;
  long peak_kib = 0;  // peak resident memory, from RunMeasuringMemory
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
  pid_t Start(const std::vector<std::string>& args) const {
    return Start(args, false);
  }
  Result Wait(pid_t pid) const;
  Result Run(const std::vector<std::string>& args) const {
    return Wait(Start(args));
  }

  // Like Run, and also reads the tool's peak resident memory as it exits.
  // (wait4's figure would also count the pages that the child inherits from
  // this test process before it execs.)
  Result RunMeasuringMemory(const std::vector<std::string>& args) const;

  // Sends the standard output of the runs that follow to `path` (for example
  // /dev/full) instead of capturing it; Result::out is then empty.
  void SendStandardOutputTo(const std::filesystem::path& path) {
    stdout_to_ = path;
  }

  // Expects status 255, nothing on standard output and `message` alone on
  // standard error.
  void ExpectFailure(const std::vector<std::string>& args,
                     const std::string& message) const;

 private:
  // With `traced`, the child stops at exec for ptrace.
  pid_t Start(const std::vector<std::string>& args, bool traced) const;
  Result Collect(int status) const;

  std::filesystem::path root_;
  std::filesystem::path dir_;
  std::filesystem::path stdout_to_;
};

}  // namespace quillmark::test

#endif  // QUILLMARK_TEST_QUILLMARK_RUNNER_H_
