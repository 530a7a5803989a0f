// quillmark: turns a list of device extensions, one per line, into an INI
// file with one record per distinct extension, named by its device ID.
#include <absl/container/flat_hash_set.h>
#include <sys/stat.h>

#include <array>
#include <boost/algorithm/string/trim.hpp>
#include <boost/program_options.hpp>
#include <boost/uuid/uuid.hpp>
#include <charconv>
#include <csignal>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <locale>
#include <stdexcept>
#include <string>
#include <string_view>

#include "dictionary/Dictionary.h"
#include "identity/DeviceIdGenerator.h"
#include "tool/Config.h"
#include "tool/LineReader.h"

namespace po = boost::program_options;
using namespace std::string_view_literals;

namespace {

// Lets a run finish its list: an interrupted run would leave a partial file.
void HandleStopSignal(int) {}

void AttachStopSignal(int signal_number, const char* message) {
  if (std::signal(signal_number, HandleStopSignal) == SIG_ERR) {
    std::cerr << message << std::flush;
  }
}

void Fail(const char* message) { throw std::invalid_argument(message); }

// Opening the output truncates it, so a list that is also the output would be
// lost before it is read. Only regular files can lose data this way; devices
// such as a terminal may rightly serve as both.
bool IsSameRegularFile(const std::filesystem::path& a,
                       const std::filesystem::path& b) {
  struct stat sa, sb;
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 &&
         S_ISREG(sa.st_mode) && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

po::options_description MakeOptions(Config& config) {
  po::options_description options("Options", 80, 40);
  options.add_options()                 //
      ("help,h", "Display this help.")  //
      ("input,i", po::value(&config.input)->value_name("path"),
       "Fix text file to read device extensions from. Must be one extension "
       "per line.")  //
      ("output,o",
       po::value(&config.output)
           ->value_name("path")
           ->default_value(config.output),
       "The INI file to create.")                                            //
      ("pp", po::value(&config.pp), "The PP ID to create the devices for.")  //
      ("tenant_id", po::value(&config.tenant_id),
       "The tenant ID that the devices will belong to.")  //
      ("salt", po::value(&config.salt), "The device ID salt.");
  return options;
}

// Appends `value` in decimal.
void AppendNumber(std::string& s, unsigned value) {
  std::array<char, 16> digits;
  const auto result =
      std::to_chars(digits.data(), digits.data() + digits.size(), value);
  s.append(digits.data(), result.ptr);
}

// The canonical text form, as boost::uuids::to_string writes it, appended
// without a string of its own.
void AppendDeviceId(std::string& s, const boost::uuids::uuid& id) {
  static constexpr char kHex[] = "0123456789abcdef";
  const std::size_t start = s.size();
  s.resize(start + 36);
  char* p = s.data() + start;
  for (std::size_t i = 0; i < id.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) *p++ = '-';
    *p++ = kHex[id.data[i] >> 4];
    *p++ = kHex[id.data[i] & 0x0f];
  }
}

void CheckOutput(const std::ofstream& out) {
  if (!out) Fail("Cannot write output file.");
}

// The listing, the notices and the summary are what a caller reads of the run;
// losing them (a full disk, a closed pipe) must not look like success.
void CheckStandardOutput() {
  if (!std::cout) Fail("Cannot write standard output.");
}

// Writes and flushes one record straight through the stream's buffer; the
// stream's own write() and flush() would each add a sentry per record.
void WriteRecord(std::ofstream& out, const std::string& record) {
  const auto size = static_cast<std::streamsize>(record.size());
  if (out.rdbuf()->sputn(record.data(), size) != size ||
      out.rdbuf()->pubsync() != 0) {
    out.setstate(std::ios::badbit);
  }
  CheckOutput(out);
}

int Run(int argc, char** argv) {
  Config config;
  const po::options_description options = MakeOptions(config);
  po::variables_map variables;
  po::store(po::parse_command_line(argc, argv, options), variables);
  po::notify(variables);

  if (argc < 2 || variables.count("help") != 0) {
    std::cout << "\n"
              << "Usage: Quillmark [OPTIONS]\n"
              << "\n"
              << options << "\n"
              << std::flush;
    return 0;
  }

  if (config.input.empty()) Fail("No input file specified.");
  if (std::filesystem::status(config.input).type() ==
      std::filesystem::file_type::not_found) {
    Fail("Input file does not exist.");
  }
  if (config.pp == 0) Fail("No PP ID specified.");
  std::ifstream in(config.input);
  if (!in) Fail("Cannot open input file for reading.");
  if (IsSameRegularFile(config.input, config.output)) {
    Fail("Input and output are the same file.");
  }
  std::ofstream out(config.output);
  if (!out) Fail("Cannot open output file for writing.");

  const quillmark::DeviceIdGenerator generator(config.tenant_id, config.salt);
  absl::flat_hash_set<std::string> seen;
  // The space class of the default locale, looked up once rather than for
  // every byte trimmed.
  const auto& ctype = std::use_facet<std::ctype<char>>(std::locale());
  const auto is_space = [&ctype](char c) {
    return ctype.is(std::ctype_base::space, c);
  };
  std::uint32_t line_number = 0;
  std::uint32_t devices = 0;
  std::string line;
  std::string record;
  // The one-entry attribute dictionary is refilled for every device rather
  // than rebuilt: the same entries, without a tree node to allocate each time.
  Dictionary attributes{{"Extension", ""}};
  std::string& extension = attributes.begin()->second;
  quillmark::LineReader lines(in);
  while (lines.Next(line)) {
    ++line_number;
    boost::algorithm::trim_if(line, is_space);
    if (line.empty()) continue;
    if (!seen.insert(line).second) {
      std::cout << "Ignoring duplicate extension: '" << line << "'\n"
                << std::flush;
      continue;
    }
    extension = line;
    // Built in one buffer and written with one call: a stream insertion per
    // field would cost more than the rest of the loop together.
    record.clear();
    record += '[';
    AppendDeviceId(record, generator.GenerateDeviceId(attributes));
    record += "]\nId="sv;
    AppendNumber(record, line_number);
    record += "\nPP="sv;
    AppendNumber(record, config.pp);
    record += "\nAttributes="sv;
    record += DictionaryToString(attributes, ';');
    record += "\nRecorded=1\n"sv;
    WriteRecord(out, record);
    ++devices;
  }
  // Reading stops on a read error too; only the end of the file is success.
  if (in.bad() || !in.eof()) Fail("Cannot read input file.");
  out.close();
  CheckOutput(out);

  std::cout << "Wrote " << devices << " devices to " << config.output << "\n"
            << std::flush;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  AttachStopSignal(SIGINT, "Failed to attach to SIGINT!\n");
  AttachStopSignal(SIGTERM, "Failed to attach to SIGTERM!\n");
  // An output reader that goes away must show up as a write error with its
  // message, not end the run silently.
  std::signal(SIGPIPE, SIG_IGN);
  try {
    const int status = Run(argc, argv);
    CheckStandardOutput();
    return status;
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n" << std::flush;
    return -1;
  }
}
