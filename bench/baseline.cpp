// A bare loop in C++ that produces Quillmark's output: the whole list read
// at once, trimmed by hand, a seen set of strings, the device-ID name hashed
// with Nettle, going on from a copy of the shared start of the name, the
// record formatted by hand, and one write()
// per duplicate notice and per record, or, with "block", per 1 MiB of
// records. The tool is measured against this and against the floor
// (floor.c).
//
// Usage: quillmark_baseline INPUT OUTPUT PP TENANT_ID SALT [block]
#include <absl/container/flat_hash_set.h>
#include <fcntl.h>
#include <nettle/sha1.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
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

void AppendUuid(std::string& s, const unsigned char* id) {
  static constexpr char kHex[] = "0123456789abcdef";
  const std::size_t start = s.size();
  s.resize(start + 36);
  char* p = s.data() + start;
  for (std::size_t i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) *p++ = '-';
    *p++ = kHex[id[i] >> 4];
    *p++ = kHex[id[i] & 0x0f];
  }
}

// The namespace 5e1d7c42-9a3b-4f06-8d2e-71c4b9a0f3d5 in network byte order.
constexpr unsigned char kNamespace[16] = {0x5e, 0x1d, 0x7c, 0x42, 0x9a, 0x3b,
                                          0x4f, 0x06, 0x8d, 0x2e, 0x71, 0xc4,
                                          0xb9, 0xa0, 0xf3, 0xd5};

// Goes on from `shared`, which has hashed the namespace and the tenant's
// part of the name, with the rest of it.
void Version5(const sha1_ctx& shared, const std::string& rest,
              unsigned char* id) {
  sha1_ctx context = shared;
  sha1_update(&context, rest.size(),
              reinterpret_cast<const std::uint8_t*>(rest.data()));
  sha1_digest(&context, 16, id);
  id[6] = static_cast<unsigned char>((id[6] & 0x0f) | 0x50);
  id[8] = static_cast<unsigned char>((id[8] & 0x3f) | 0x80);
}

int Run(int argc, char** argv) {
  const bool block = argc == 7 && argv[6] == "block"sv;
  if (argc != 6 && !block) {
    std::fprintf(stderr, "usage: %s INPUT OUTPUT PP TENANT_ID SALT [block]\n",
                 argv[0]);
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)),
                         std::istreambuf_iterator<char>());
  const int out = ::open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (out < 0) return 1;
  const unsigned pp = static_cast<unsigned>(std::atoi(argv[3]));
  const std::string prefix = std::string("tenantId[") + argv[4] +
                             "]:deviceIdGeneratorSalt[" + argv[5] + "]";
  sha1_ctx shared;
  sha1_init(&shared);
  sha1_update(&shared, sizeof kNamespace, kNamespace);
  sha1_update(&shared, prefix.size(),
              reinterpret_cast<const std::uint8_t*>(prefix.data()));

  absl::flat_hash_set<std::string> seen;
  std::string name;
  std::string record;
  std::string pending;  // records not yet written, with "block"
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
    name.assign(":Extension[").append(line) += ']';
    unsigned char id[16];
    Version5(shared, name, id);
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
    if (!block) {
      WriteAll(out, record);
    } else if ((pending += record).size() >= std::size_t{1} << 20) {
      WriteAll(out, pending);
      pending.clear();
    }
    ++devices;
  }
  WriteAll(out, pending);
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
