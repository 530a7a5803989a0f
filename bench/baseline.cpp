// The least work that producing Quillmark's output can take: the whole list
// read at once, trimmed by hand, the seen set, the device-ID name, Boost's
// SHA-1 name generator, the record formatted by hand and one write() per
// record (and per duplicate notice). The tool is measured against this.
//
// Usage: quillmark_baseline INPUT OUTPUT PP TENANT_ID SALT
#include <absl/container/flat_hash_set.h>
#include <fcntl.h>
#include <unistd.h>

#include <boost/uuid/name_generator_sha1.hpp>
#include <boost/uuid/string_generator.hpp>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

namespace {

using namespace std::string_view_literals;

void WriteAll(int fd, const std::string& s) {
  for (std::size_t done = 0; done < s.size();) {
    const ssize_t n = ::write(fd, s.data() + done, s.size() - done);
    if (n <= 0) std::exit(1);
    done += static_cast<std::size_t>(n);
  }
}

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

void AppendNumber(std::string& s, unsigned value) {
  char digits[16];
  const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
  s.append(digits, end);
}

void AppendUuid(std::string& s, const boost::uuids::uuid& id) {
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

int Run(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: %s INPUT OUTPUT PP TENANT_ID SALT\n", argv[0]);
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)),
                         std::istreambuf_iterator<char>());
  const int out = ::open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (out < 0) return 1;
  const unsigned pp = static_cast<unsigned>(std::atoi(argv[3]));
  const std::string prefix = std::string("tenantId[") + argv[4] +
                             "]:deviceIdGeneratorSalt[" + argv[5] +
                             "]:Extension[";
  const boost::uuids::name_generator_sha1 generator(
      boost::uuids::string_generator()("5e1d7c42-9a3b-4f06-8d2e-71c4b9a0f3d5"));

  absl::flat_hash_set<std::string> seen;
  std::string name;
  std::string record;
  unsigned line_number = 0;
  unsigned devices = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + start, end - start);
    start = end + 1;
    ++line_number;
    while (!line.empty() && IsSpace(line.front())) line.remove_prefix(1);
    while (!line.empty() && IsSpace(line.back())) line.remove_suffix(1);
    if (line.empty()) continue;
    if (!seen.emplace(line).second) {
      record.assign("Ignoring duplicate extension: '")
          .append(line)
          .append("'\n");
      WriteAll(1, record);
      continue;
    }
    name.assign(prefix).append(line) += ']';
    const boost::uuids::uuid id = generator(name);
    record.clear();
    record += '[';
    AppendUuid(record, id);
    record += "]\nId="sv;
    AppendNumber(record, line_number);
    record += "\nPP="sv;
    AppendNumber(record, pp);
    record += "\nAttributes=Extension="sv;
    record += line;
    record += "\nRecorded=1\n"sv;
    WriteAll(out, record);
    ++devices;
  }
  ::close(out);
  record.assign("Wrote ");
  AppendNumber(record, devices);
  record.append(" devices to \"").append(argv[2]).append("\"\n");
  WriteAll(1, record);
  return 0;
}
}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}
