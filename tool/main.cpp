// quillmark: turns a list of device extensions, one per line, into an INI
// file with one record per distinct extension, named by its device ID.
#include <fcntl.h>
#include <unistd.h>

#include <boost/program_options.hpp>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <iostream>
#include <new>
#include <stdexcept>
#include <utility>

#include "devicelist/DeviceList.h"
#include "devicelist/FillIn.h"
#include "posix/Failure.h"
#include "posix/HugePages.h"
#include "posix/InputFile.h"
#include "posix/Output.h"
#include "quillmark/identity/DeviceIdGenerator.h"
#include "tool/Config.h"
#include "tool/Interrupts.h"
#include "tool/Messages.h"

namespace po = boost::program_options;
namespace messages = quillmark::messages;

namespace {

// A run finishes its list when interrupted, and then judges whether the
// list may have been cut short by the same interrupt.
quillmark::Interrupts interrupts;

void HandleStopSignal(int) { interrupts.Note(); }

// SIGINT and SIGTERM are noted, and the calls they interrupt restarted; a
// signal that cannot be caught is said, and the run goes on.
void AttachStopSignals() {
  const std::pair<int, const char*> kSignals[] = {
      {SIGINT, messages::kNoSigint}, {SIGTERM, messages::kNoSigterm}};
  for (const auto& [signal, message] : kSignals) {
    struct sigaction action {};
    action.sa_handler = HandleStopSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    if (::sigaction(signal, &action, nullptr) != 0) {
      std::cerr << message << "\n" << std::flush;
    }
  }
}

// A closed standard output or error would be taken by the next file opened,
// and notices or messages would land in it. On /dev/full they fail as
// writes to a closed descriptor do. Standard input is left alone: a closed
// one must not read as an empty list.
void KeepStandardDescriptorsTaken() {
  for (const int fd : {STDOUT_FILENO, STDERR_FILENO}) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int full = ::open("/dev/full", O_WRONLY);
    if (full >= 0 && full != fd) {
      ::dup2(full, fd);
      ::close(full);
    }
  }
}

// A path is taken as it stands, blanks and backslashes included, as a shell
// or bash completion hands it over; only one that begins with a double quote
// is read as a quoted string, as the options library reads every path.
class PathValue : public po::typed_value<std::filesystem::path> {
 public:
  using typed_value::typed_value;
  void xparse(boost::any& value,
              const std::vector<std::string>& tokens) const override {
    if (tokens.size() == 1 && !tokens.front().starts_with('"')) {
      po::validators::check_first_occurrence(value);
      value = std::filesystem::path(tokens.front());
    } else {
      typed_value::xparse(value, tokens);
    }
  }
};

po::options_description MakeOptions(Config& config) {
  po::options_description options("Options", 80, 40);
  options.add_options()                 //
      ("help,h", "Display this help.")  //
      ("input,i", (new PathValue(&config.input))->value_name("path"),
       "Fix text file to read device extensions from. Must be one extension "
       "per line.")  //
      ("output,o",
       (new PathValue(&config.output))
           ->value_name("path")
           ->default_value(config.output),
       "The INI file to create.")                                            //
      ("pp", po::value(&config.pp), "The PP ID to create the devices for.")  //
      ("tenant_id", po::value(&config.tenant_id),
       "The tenant ID that the devices will belong to.")        //
      ("salt", po::value(&config.salt), "The device ID salt.")  //
      ("version", "Display the version.");
  return options;
}

// Whether `token` stands as one of the tool's options would: a long name or
// an unambiguous prefix of one, alone or with "=" and a value, or a short
// name, alone or with a value joined on.
bool IsOption(const std::string& token,
              const po::options_description& options) {
  if (token.starts_with("--")) {
    const std::string name = token.substr(2, token.find('=') - 2);
    return !name.empty() && options.find_nothrow(name, true) != nullptr;
  }
  return token.size() >= 2 && token[0] == '-' &&
         options.find_nothrow(token.substr(0, 2), false) != nullptr;
}

// An option whose value is the next option on the line had its value left
// out, as an unset variable in a script leaves it; the rest of the line
// would be read wrong. It is refused as the options library refuses an
// option without a value. A value joined on by "=" is a value, whatever it
// looks like.
void CheckValues(const po::parsed_options& parsed,
                 const po::options_description& options) {
  for (const po::option& option : parsed.options) {
    if (option.original_tokens.size() == 2 &&
        IsOption(option.original_tokens[1], options)) {
      po::invalid_command_line_syntax missing(
          po::invalid_command_line_syntax::missing_parameter);
      missing.set_option_name(option.string_key);
      missing.set_prefix(po::command_line_style::allow_long);
      throw missing;
    }
  }
}

// Parses the command line into `config` and prints the usage listing or the
// version when it is asked for. Returns an exit code, or -1 if the run
// should continue.
int ReadFlags(int argc, char** argv, Config& config) {
  const po::options_description options = MakeOptions(config);
  const po::parsed_options parsed = po::parse_command_line(argc, argv, options);
  CheckValues(parsed, options);
  po::variables_map variables;
  po::store(parsed, variables);
  po::notify(variables);
  if (argc < 2 || variables.count("help") != 0) {
    std::cout << "\n"
              << "Usage: Quillmark [OPTIONS]\n"
              << "\n"
              << options << "\n"
              << std::flush;
    return 0;
  }
  if (variables.count("version") != 0) {
    std::cout << "quillmark " QUILLMARK_VERSION "\n" << std::flush;
    return 0;
  }
  // The options library drops a word that is no option or value: the rest
  // of a tenant ID with a blank in it, or a second list from a glob, which
  // the run would silently go without.
  for (const po::option& option : parsed.options) {
    if (option.string_key.empty()) {
      throw std::invalid_argument(
          quillmark::FillIn(messages::kUnexpectedArgument, "WORD",
                            option.original_tokens.front()));
    }
  }
  return -1;
}

// Throws the message of the first check that `config` fails; touches no file.
// "-" is standard input, as it is to every filter.
void CheckConfig(const Config& config) {
  using quillmark::Refuse;
  if (config.input.empty()) Refuse(messages::kNoInput);
  const std::filesystem::path list =
      config.input == "-" ? "/dev/stdin" : config.input;
  if (std::filesystem::status(list).type() ==
      std::filesystem::file_type::not_found) {
    Refuse(messages::kInputMissing);
  }
  if (config.pp == 0) Refuse(messages::kNoPp);
  if (config.output.empty())
    Refuse(quillmark::file_messages::kCannotOpenOutput);
}

// Records that go to standard output leave it to them alone.
std::ostream& NoticeStream(const quillmark::Output& output) {
  return output.plan().standard_output ? std::cerr : std::cout;
}

void PrintSummary(std::uint32_t devices, const std::filesystem::path& output,
                  std::ostream& out) {
  out << "Wrote " << devices << " devices to " << output << "\n" << std::flush;
}

// The listing, the notices and the summary are what a caller reads of the run;
// losing them (a full disk, a closed pipe) must not look like success.
void CheckStandardOutput() {
  if (!std::cout) quillmark::Refuse(messages::kCannotWriteStandardOutput);
}

int Run(int argc, char** argv) {
  Config config;
  if (const int status = ReadFlags(argc, argv, config); status >= 0) {
    return status;
  }
  CheckConfig(config);
  quillmark::InputFile list;
  const quillmark::Interrupted interrupted = [] {
    return interrupts.received();
  };
  list.Open(config.input, interrupted);
  // The output is refused, or locked and made ready, before a byte of the
  // list is read; until the end of the list nothing is written to it.
  quillmark::Output ini(quillmark::PlanOutput(config.output, list.identity()),
                        list.identity(), interrupted);
  std::ostream& notices = NoticeStream(ini);
  const quillmark::DeviceIdGenerator generator(config.tenant_id, config.salt);
  quillmark::HugePages memory;
  interrupts.StartList(list.IsTerminal());
  const std::uint32_t devices = quillmark::WriteDeviceList(
      list, ini, notices, generator, config.pp, memory);
  interrupts.EndList(list.IsRegular());
  ini.Commit();
  PrintSummary(devices, config.output, notices);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  KeepStandardDescriptorsTaken();
  AttachStopSignals();
  // An output reader that goes away, or a file-size limit, must show up as a
  // write error with its message, not end the run in the middle of a record.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  try {
    const int status = Run(argc, argv);
    CheckStandardOutput();
    return status;
  } catch (const std::bad_alloc&) {
    // Wording it must not take memory.
    quillmark::WriteLine(STDERR_FILENO, messages::kOutOfMemory);
    return -1;
  } catch (const std::exception& e) {
    quillmark::WriteLine(STDERR_FILENO, e.what());
    return -1;
  }
}
