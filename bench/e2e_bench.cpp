// End-to-end benchmark: writes two deterministic lists, short extensions
// with blanks, repeats and CRLF, and seven-digit numbers, runs quillmark,
// the C++ baseline and the C floor on each in turn, checks that their outputs
// are identical and prints the median time per record, records per second, peak
// memory and the ratios to the floor. It does so for two tenants, a short
// one and a UUID with a long salt, and for two kinds of output: a regular
// file, which quillmark and the floor replace and sync (the floor once more
// without its syncs, to show what they cost) and the baseline writes in
// place, all in 1 MiB blocks; and a FIFO drained by cat, which every program
// writes a record at a time.
//
// Usage: quillmark_e2e_bench QUILLMARK BASELINE FLOOR WORK_DIR [LINES [RUNS]]
//
// Peak memory is wait4's ru_maxrss. It also counts what a child inherits
// from this process before exec, so this driver streams everything and stays
// far smaller than either program it measures.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// A fixed-seed generator, so that every machine benchmarks the same list.
class Random {
 public:
  std::uint64_t Next() {
    state_ = state_ * 6364136223846793005u + 1442695040888963407u;
    return state_ >> 33;
  }
  std::uint64_t Below(std::uint64_t n) { return Next() % n; }

 private:
  std::uint64_t state_ = 42;
};

// Extension number `i`: a suffix of lower-case letters that encodes `i`,
// after a prefix of digits that pads it to 3 to 8 characters. Digits never
// appear in the suffix, so distinct numbers give distinct extensions.
std::string Extension(std::uint64_t i, Random& random) {
  std::string suffix;
  do {
    suffix += static_cast<char>('a' + i % 26);
    i /= 26;
  } while (i != 0);
  const std::size_t length =
      std::max<std::size_t>(suffix.size(), 3 + random.Below(6));
  std::string extension;
  while (extension.size() + suffix.size() < length) {
    extension += static_cast<char>('0' + random.Below(10));
  }
  return extension + suffix;
}

// About 2% blank or white-space-only lines, 1% repeats, 10% CRLF endings.
void WriteList(const fs::path& path, std::uint64_t lines) {
  std::ofstream out(path, std::ios::binary);
  Random random;
  Random padding;
  static const char* const kBlanks[] = {"", " ", "\t", "  \t ", "\v"};
  std::uint64_t distinct = 0;
  std::vector<std::string> recent;  // a small window to repeat from
  for (std::uint64_t n = 0; n < lines; ++n) {
    const std::uint64_t roll = random.Below(1000);
    std::string line;
    if (roll < 20) {
      line = kBlanks[random.Below(5)];
    } else if (roll < 30 && !recent.empty()) {
      line = recent[random.Below(recent.size())];
    } else {
      line = Extension(distinct++, padding);
      if (recent.size() < 64) {
        recent.push_back(line);
      } else {
        recent[random.Below(64)] = line;
      }
    }
    out << line << (random.Below(10) == 0 ? "\r\n" : "\n");
  }
}

// Random seven-digit numbers, as a PBX exports them: 97% distinct, 0.5%
// blank lines, the rest repeats, in no order, LF line ends. The numbers are
// an affine permutation of 0 to 8,999,999, so they are distinct without
// being kept.
void WriteNumbers(const fs::path& path, std::uint64_t lines) {
  std::ofstream out(path, std::ios::binary);
  Random random;
  const auto number = [](std::uint64_t i) {
    return 1'000'000 + (1'234'577 * i + 4'242'424) % 9'000'000;
  };
  std::uint64_t distinct = 0;
  for (std::uint64_t n = 0; n < lines; ++n) {
    const std::uint64_t roll = random.Below(1000);
    if (roll < 5) {
      out << '\n';
    } else if (roll < 30 && distinct > 0) {
      out << number(random.Below(distinct)) << '\n';
    } else {
      out << number(distinct++) << '\n';
    }
  }
}

struct Measurement {
  double seconds = 0;
  long peak_kib = 0;
};

// Runs `args` in `dir`, standard output to `out`.
Measurement Run(const std::vector<std::string>& args, const fs::path& dir,
                const fs::path& out) {
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (const std::string& a : args) {
    argv.push_back(const_cast<char*>(a.c_str()));
  }
  argv.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::dup2(fd, 1) < 0 || ::chdir(dir.c_str()) != 0) {
      ::_exit(127);
    }
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  const auto end = std::chrono::steady_clock::now();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "%s failed\n", args[0].c_str());
    std::exit(1);
  }
  return {std::chrono::duration<double>(end - start).count(), usage.ru_maxrss};
}

// Starts `cat fifo > /dev/null`, which waits for a writer and reads to the
// end.
pid_t Drain(const fs::path& fifo) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    if (null < 0 || ::dup2(null, 1) < 0) ::_exit(127);
    ::execlp("cat", "cat", fifo.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  return pid;
}

bool SameBytes(const fs::path& a, const fs::path& b) {
  std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
  std::vector<char> ba(1 << 16), bb(1 << 16);
  for (;;) {
    fa.read(ba.data(), static_cast<std::streamsize>(ba.size()));
    fb.read(bb.data(), static_cast<std::streamsize>(bb.size()));
    if (fa.gcount() != fb.gcount() ||
        !std::equal(ba.begin(), ba.begin() + fa.gcount(), bb.begin())) {
      return false;
    }
    if (fa.gcount() == 0) return true;
  }
}

std::uint64_t CountRecords(const fs::path& ini) {
  std::ifstream in(ini, std::ios::binary);
  std::uint64_t records = 0;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line[0] == '[') ++records;
  }
  return records;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr,
                 "usage: %s QUILLMARK BASELINE FLOOR WORK_DIR [LINES [RUNS]]\n",
                 argv[0]);
    return 2;
  }
  const std::string quillmark = fs::absolute(argv[1]);
  const std::string baseline = fs::absolute(argv[2]);
  const std::string floor = fs::absolute(argv[3]);
  const fs::path dir = argv[4];
  const std::uint64_t lines =
      argc > 5 ? std::strtoull(argv[5], nullptr, 10) : 1'000'000;
  const int runs = argc > 6 ? std::atoi(argv[6]) : 5;
  fs::create_directories(dir);
  struct List {
    const char* name;
    fs::path path;
  };
  const List lists[] = {
      {"extensions", fs::absolute(dir / "extensions.txt")},
      {"numbers", fs::absolute(dir / "numbers.txt")},
  };
  WriteList(lists[0].path, lines);
  WriteNumbers(lists[1].path, lines);

  // Each program writes Devices.ini in a folder of its own, so that their
  // summaries, which name that file, are the same too.
  struct Tenant {
    const char* name;
    const char* id;
    const char* salt;
  };
  const Tenant tenants[] = {
      {"42, no salt", "42", ""},
      {"UUID, 32-byte salt", "9f0c2b7e-4d1a-4e8b-a3c5-6b2f8d1e0a47",
       "k2Jq8vX0pL5tR9wZ3mN7bC1dF6gH4sYa"},
  };
  struct Setup {
    List list;
    Tenant tenant;
    bool fifo;
  };
  std::vector<Setup> setups;
  for (const List& list : lists) {
    for (const Tenant& tenant : tenants) {
      for (const bool fifo : {false, true}) {
        setups.push_back({list, tenant, fifo});
      }
    }
  }
  // quillmark, the baseline and the floor; for a regular file, also the
  // floor without its syncs, which shows what they cost.
  constexpr std::size_t kFloor = 2;
  struct Program {
    const char* name;
    std::vector<std::string> args;
    fs::path dir;
    std::vector<double> seconds;
    long peak_kib = 0;
  };
  std::vector<std::vector<Program>> programs;
  for (const Setup& setup : setups) {
    const std::string output = setup.fifo ? "out.fifo" : "Devices.ini";
    // The baseline's and the floor's arguments.
    const std::string list = setup.list.path;
    std::vector<std::string> plain = {list, output, "7", setup.tenant.id,
                                      setup.tenant.salt};
    if (!setup.fifo) plain.emplace_back("block");
    const auto with = [&plain](const std::string& program) {
      std::vector<std::string> args = {program};
      args.insert(args.end(), plain.begin(), plain.end());
      return args;
    };
    const fs::path base =
        dir / (std::to_string(programs.size()) + (setup.fifo ? "-fifo" : ""));
    std::vector<Program> these = {
        {"quillmark",
         {quillmark, "--input", list, "--output", output, "--pp", "7",
          "--tenant_id", setup.tenant.id, "--salt", setup.tenant.salt},
         base / "quillmark",
         {}},
        {"baseline", with(baseline), base / "baseline", {}},
        {"floor", with(floor), base / "floor", {}},
    };
    if (!setup.fifo) {
      std::vector<std::string> args = with(floor);
      args.emplace_back("nosync");
      these.push_back({"floor, no fsync", args, base / "nosync", {}});
    }
    for (Program& p : these) {
      fs::create_directories(p.dir);
      if (setup.fifo && !fs::exists(p.dir / output) &&
          ::mkfifo((p.dir / output).c_str(), 0600) != 0) {
        std::perror("mkfifo");
        return 1;
      }
    }
    programs.push_back(std::move(these));
  }
  for (int run = 0; run < runs; ++run) {
    for (std::size_t s = 0; s < programs.size(); ++s) {
      // Rotate which goes first, so that none always inherits another's
      // write-back of its output.
      const std::size_t n = programs[s].size();
      for (std::size_t i = 0; i < n; ++i) {
        Program& p = programs[s][(i + static_cast<std::size_t>(run)) % n];
        // Every run starts with nothing left to write back from the one
        // before, so that none pays for another's output.
        ::sync();
        const pid_t cat = setups[s].fifo ? Drain(p.dir / "out.fifo") : 0;
        const Measurement m = Run(p.args, p.dir, p.dir / "stdout");
        if (cat > 0) ::waitpid(cat, nullptr, 0);
        p.seconds.push_back(m.seconds);
        p.peak_kib = std::max(p.peak_kib, m.peak_kib);
      }
      for (std::size_t i = 1; i < n; ++i) {
        for (const char* file : {"Devices.ini", "stdout"}) {
          if (setups[s].fifo && file == std::string("Devices.ini")) continue;
          if (!SameBytes(programs[s][0].dir / file,
                         programs[s][i].dir / file)) {
            std::fprintf(stderr, "outputs differ: %s of %s\n", file,
                         programs[s][i].name);
            return 1;
          }
        }
      }
    }
  }
  std::printf("%llu lines a list, %d runs each\n\n",
              static_cast<unsigned long long>(lines), runs);
  std::printf(
      "| list | tenant | output | program | ns/record | peak memory | time / "
      "floor | memory / floor |\n");
  std::printf("|---|---|---|---|---:|---:|---:|---:|\n");
  for (std::size_t s = 0; s < programs.size(); ++s) {
    // A list's records, counted where they went to a file.
    const std::size_t file = s - (setups[s].fifo ? 1 : 0);
    const std::uint64_t records =
        CountRecords(programs[file][0].dir / "Devices.ini");
    const Program& floor_run = programs[s][kFloor];
    for (const Program& p : programs[s]) {
      const double median = Median(p.seconds);
      std::printf("| %s | %s | %s | %s | %.0f | %.1f MiB | %.3f | %.2f |\n",
                  setups[s].list.name, setups[s].tenant.name,
                  setups[s].fifo ? "FIFO, in place" : "file, replaced", p.name,
                  median * 1e9 / static_cast<double>(records),
                  static_cast<double>(p.peak_kib) / 1024,
                  median / Median(floor_run.seconds),
                  static_cast<double>(p.peak_kib) /
                      static_cast<double>(floor_run.peak_kib));
    }
  }

  // Inputs that grow without new extensions must not grow memory.
  constexpr long kFlatLimitKib = 10L * 1024;
  struct Flat {
    const char* name;
    const char* line;
  };
  int status = 0;
  std::printf("\n");
  for (const Flat& flat : {Flat{"2,000,000 blank lines", "\n"},
                           Flat{"one extension 2,000,000 times", "4711\n"}}) {
    const fs::path path = fs::absolute(dir / "flat.txt");
    {
      std::ofstream out(path, std::ios::binary);
      for (int i = 0; i < 2'000'000; ++i) out << flat.line;
    }
    const fs::path flat_dir = dir / "flat";
    fs::create_directories(flat_dir);
    const Measurement m = Run({quillmark, "--input", path, "--pp", "7"},
                              flat_dir, flat_dir / "stdout");
    const bool ok = m.peak_kib < kFlatLimitKib;
    std::printf("peak memory, %s: %.1f MiB (%s 10 MiB)\n", flat.name,
                static_cast<double>(m.peak_kib) / 1024,
                ok ? "under" : "NOT under");
    if (!ok) status = 1;
  }
  return status;
}
