#include "devicelist/DeviceList.h"

#include <gtest/gtest.h>

#include <boost/uuid/uuid_io.hpp>
#include <cstdio>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "devicelist/ExtensionSet.h"
#include "test/fake_io.h"
#include "test/reference_device_id.h"

namespace quillmark {

// Numbers a reader's lines from `lines_before` + 1.
struct LineReaderTestPeer {
  static void Number(LineReader& reader, std::uint32_t lines_before) {
    reader.number_ = lines_before;
  }
};
namespace {

using namespace std::string_literals;

// Makes each ID of the first 16 bytes of the attributes' text form, so that
// a record shows what its ID was made from.
class EchoGenerator : public IDeviceIdGenerator {
 public:
  boost::uuids::uuid GenerateDeviceId(
      const Dictionary& attributes) const override {
    boost::uuids::uuid id{};
    const std::string text = DictionaryToString(attributes, ';');
    std::copy_n(text.begin(), std::min(text.size(), id.size()), id.begin());
    return id;
  }
};

// The text form of the echo generator's ID for `extension`.
std::string EchoId(const std::string& extension) {
  return boost::uuids::to_string(
      EchoGenerator().GenerateDeviceId({{"Extension", extension}}));
}

std::string Record(const std::string& id, std::uint32_t line,
                   const std::string& ext) {
  return "[" + id + "]\nId=" + std::to_string(line) +
         "\nPP=7\nAttributes=Extension=" + ext + "\nRecorded=1\n";
}

// The records that the echo generator gives for these lines and extensions,
// in order.
std::string EchoRecords(
    const std::vector<std::pair<int, std::string>>& records) {
  std::string text;
  for (const auto& [line, extension] : records) {
    text += Record(EchoId(extension), line, extension);
  }
  return text;
}

using test::FakeSink;
using test::FakeSource;

struct Outcome {
  std::string ini;
  std::string notices;
  std::uint32_t devices = 0;
  std::string error;  // the message thrown, if any
};

Outcome Generate(ByteSource& list, FakeSink& ini,
                 const IDeviceIdGenerator& generator,
                 std::uint64_t arena = ExtensionSet::kMaxCapacity,
                 std::uint32_t lines_before = 0) {
  std::ostringstream notices;
  Outcome outcome;
  try {
    LineReader lines(list);
    LineReaderTestPeer::Number(lines, lines_before);
    outcome.devices = WriteDeviceList(lines, ini, notices, generator, 7,
                                      Memory::Default(), arena);
  } catch (const std::exception& e) {
    outcome.error = e.what();
  }
  outcome.ini = ini.bytes_;
  outcome.notices = notices.str();
  return outcome;
}

Outcome Generate(const std::string& list, const IDeviceIdGenerator& generator) {
  FakeSource source(list);
  FakeSink ini;
  return Generate(source, ini, generator);
}

std::string Duplicate(const std::string& extension) {
  return "Ignoring duplicate extension: '" + extension + "'\n";
}

TEST(DeviceList, OneRecordPerNewExtensionWithItsLineNumber) {
  struct Case {
    std::string name;
    std::string list;
    std::vector<std::pair<int, std::string>> records;  // line, extension
    std::string notices;
  };
  const Case cases[] = {
      {"blank and repeated lines leave gaps in Id",
       "205\n\n205\n206\n",
       {{1, "205"}, {4, "206"}},
       Duplicate("205")},
      {"trimmed before comparing, notices show the trimmed text",
       " a\n\t\n a \r\na\n",
       {{1, "a"}},
       Duplicate("a") + Duplicate("a")},
      {"CRLF line ends", "205\r\n206\r\n", {{1, "205"}, {2, "206"}}, ""},
      {"case-sensitive, last line without its line end",
       "a\nA",
       {{1, "a"}, {2, "A"}},
       ""},
      {"lines of white space only", " \v\f\r\n\n205", {{3, "205"}}, ""},
      {"empty list", "", {}, ""},
      {"blank lines only", "\n\n\n", {}, ""},
      {"list-like bytes are kept", "a=b[c]:d\n", {{1, "a=b[c]:d"}}, ""},
      {"the longest line, far longer than a read block",
       std::string(LineReader::kMaxLine, 'x') + "\n",
       {{1, std::string(LineReader::kMaxLine, 'x')}},
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome outcome = Generate(c.list, EchoGenerator());
    EXPECT_EQ("", outcome.error);
    EXPECT_EQ(EchoRecords(c.records), outcome.ini);
    EXPECT_EQ(c.notices, outcome.notices);
    EXPECT_EQ(c.records.size(), outcome.devices);
  }
}

// The loop hands the real generator each extension's bytes unchanged.
TEST(DeviceList, ExtensionsAreHashedByteForByte) {
  const std::string extensions[] = {
      "x\xff\xfe\xc3\x28\x80", "a b  c",          "caf\xe9",
      "\xc3\xbf\xc3\xbe",      "205\xEF\xBB\xBF", "\xA0" + "206\xA0"s,
      "a\xC2\xA0" + "b"s,
  };
  const DeviceIdGenerator generator("42", "");
  for (const std::string& extension : extensions) {
    SCOPED_TRACE(extension);
    std::string list = extension;
    list.append("\n").append(extension).append("\r\n");
    const Outcome outcome = Generate(list, generator);
    const std::string id =
        test::ReferenceDeviceId("42", "", {{"Extension", extension}});
    EXPECT_EQ("", outcome.error);
    EXPECT_EQ(Record(id, 1, extension), outcome.ini);
    EXPECT_EQ(Duplicate(extension), outcome.notices);
  }
}

// A failure ends the loop with its message, the list's or the sink's as
// they threw it; the whole records before it stay, and nothing is made of a
// line cut short.
TEST(DeviceList, FailuresKeepTheRecordsBeforeThem) {
  const std::string first = Record(EchoId("205"), 1, "205");
  struct Case {
    std::string name;
    std::string list;
    bool read_error;
    std::size_t records_taken;
    std::string ini;
    std::string message;
    std::uint64_t arena = ExtensionSet::kMaxCapacity;
    std::uint32_t lines_before = 0;
  };
  const std::size_t unlimited = std::string::npos;
  const std::uint64_t kArena = ExtensionSet::kMaxCapacity;
  const Case cases[] = {
      {"read error before the first byte", "", true, unlimited, "",
       "read failed"},
      {"read error after a whole line", "205\n", true, unlimited, first,
       "read failed"},
      {"read error in the middle of a line", "205\n20", true, unlimited, first,
       "read failed"},
      {"end of list in the middle of a line", "205\n20", false, unlimited,
       first + Record(EchoId("20"), 2, "20"), ""},
      {"write error on the first record", "205\n206\n", false, 0, "",
       "write failed"},
      {"write error on a later record", "205\n205\n206\n207\n", false, 1, first,
       "write failed"},
      {"arena full", "205\n205\n206\n", false, unlimited, first,
       "Too many distinct extensions: their bytes exceed 4 GiB.", 4},
      {"line 4294967295 is the last", "205\n", false, unlimited,
       Record(EchoId("205"), 4294967295u, "205"), "", kArena, 4294967294u},
      {"line 4294967296, blank", "205\n\n", false, unlimited,
       Record(EchoId("205"), 4294967295u, "205"),
       "Too many lines: more than 4294967295.", kArena, 4294967294u},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeSource list(c.list);
    list.force_error_ = c.read_error;
    FakeSink ini;
    ini.limit_ = c.records_taken;
    const EchoGenerator generator;
    const Outcome outcome =
        Generate(list, ini, generator, c.arena, c.lines_before);
    EXPECT_EQ(c.message, outcome.error);
    EXPECT_EQ(c.ini, outcome.ini);
  }
}

// A list without a line end, endless as a device can be, stops at the
// longest line instead of taking all memory.
TEST(DeviceList, EndlessLineEndsTheRun) {
  class Zeros : public ByteSource {
   public:
    std::size_t Read(char* buffer, std::size_t size) override {
      std::fill_n(buffer, size, '0');
      return size;
    }
  } zeros;
  FakeSink ini;
  const EchoGenerator generator;
  EXPECT_EQ("Line 1: line is longer than 1 MiB.",
            Generate(zeros, ini, generator).error);
}

// Marks that editors and exports put around a list are dropped; control
// bytes inside an extension end the run at their line.
TEST(DeviceList, EncodingMarksAndControlBytes) {
  const std::string mark = "\xEF\xBB\xBF";
  struct Case {
    std::string name;
    std::string list;
    std::vector<std::pair<int, std::string>> records;  // line, extension
    std::string notices;
    std::string message;
  };
  const Case cases[] = {
      {"mark at the start",
       mark + "205\n205\n",
       {{1, "205"}},
       Duplicate("205"),
       ""},
      {"mark alone on line 1", mark + "\n205", {{2, "205"}}, "", ""},
      {"marks and wide spaces at the start of a later line",
       "205\n" + mark + " \xE3\x80\x80" + mark + "205\n",
       {{1, "205"}},
       Duplicate("205"),
       ""},
      {"every wide space at both ends",
       "\xC2\xA0\xC2\x85\xE1\x9A\x80\xE2\x80\x80\xE2\x80\x8A\xE2\x80\xA8"
       "206\xE2\x80\xA9\xE2\x80\xAF\xE2\x81\x9F\xE3\x80\x80\xC2\xA0\r\n206\n",
       {{1, "206"}},
       Duplicate("206"),
       ""},
      {"final 0x1A", "205\r\n206\x1A", {{1, "205"}, {2, "206"}}, "", ""},
      {"final 0x1A on a line of its own", "205\r\n\x1A", {{1, "205"}}, "", ""},
      {"mark and final 0x1A only", mark + "\x1A", {}, "", ""},
      {"0x1A not last",
       "205\n\x1A\n",
       {{1, "205"}},
       "",
       "Line 2: extension holds control character 0x1A."},
      {"two final 0x1A",
       "205\n\x1A\x1A",
       {{1, "205"}},
       "",
       "Line 2: extension holds control character 0x1A."},
      {"tab inside",
       "205\t John\n",
       {},
       "",
       "Line 1: extension holds control character 0x09."},
      {"carriage return inside",
       "206\r[00000000-0000-0000-0000-000000000000]\rId=99\n",
       {},
       "",
       "Line 1: extension holds control character 0x0D."},
      {"NUL",
       "205\n205\n\n2\x00"
       "6\n"s,
       {{1, "205"}},
       Duplicate("205"),
       "Line 4: extension holds control character 0x00."},
      {"DEL, which trimming keeps",
       "205\x7F\n",
       {},
       "",
       "Line 1: extension holds control character 0x7F."},
      {"unit separator",
       "20\x1F"
       "5\n",
       {},
       "",
       "Line 1: extension holds control character 0x1F."},
      {"the first control byte is named",
       "a\x1B\x01\n",
       {},
       "",
       "Line 1: extension holds control character 0x1B."},
      {"separator",
       "205\n205;Reception\n",
       {{1, "205"}},
       "",
       "Line 2: extension holds ';', the attribute separator."},
      {"control byte before separator",
       "a;\tb\n",
       {},
       "",
       "Line 1: extension holds control character 0x09."},
      {"length before control byte",
       "205\n" + std::string(LineReader::kMaxLine, '\0') + "\r\n",
       {{1, "205"}},
       "",
       "Line 2: line is longer than 1 MiB."},
      {"UTF-16, little-endian",
       "\xFF\xFE"
       "2\x00\n\x00"s,
       {},
       "",
       "Input file is UTF-16; save it as UTF-8."},
      {"UTF-16, big-endian",
       "\xFE\xFF\x00"
       "2"s,
       {},
       "",
       "Input file is UTF-16; save it as UTF-8."},
      {"UTF-16 without a mark, little-endian",
       "2\0"
       "0\0"
       "5\0\n\0"s,
       {},
       "",
       "Input file is UTF-16; save it as UTF-8."},
      {"UTF-16 without a mark, big-endian",
       "\0"
       "2\0"
       "0\0"
       "5\0\n"s,
       {},
       "",
       "Input file is UTF-16; save it as UTF-8."},
      {"UTF-32, little-endian",
       "\xFF\xFE\0\0"
       "2\0\0\0"s,
       {},
       "",
       "Input file is UTF-32; save it as UTF-8."},
      {"UTF-32, big-endian",
       "\0\0\xFE\xFF"
       "\0\0\0"
       "2"s,
       {},
       "",
       "Input file is UTF-32; save it as UTF-8."},
      {"CR-only line ends",
       "205\r206\r",
       {},
       "",
       "Input file has CR-only line ends; save it with LF or CRLF line ends."},
      {"a last CR alone", "205\r", {{1, "205"}}, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const EchoGenerator generator;
    const Outcome outcome = Generate(c.list, generator);
    EXPECT_EQ(c.message, outcome.error);
    EXPECT_EQ(EchoRecords(c.records), outcome.ini);
    EXPECT_EQ(c.notices, outcome.notices);
  }
}

// Notices are the caller's to judge: losing one does not stop the records.
TEST(DeviceList, FailedNoticeDoesNotStopTheRun) {
  FakeSource list("205\n205\n206\n");
  FakeSink ini;
  std::ostringstream notices;
  notices.setstate(std::ios::badbit);
  const EchoGenerator generator;
  EXPECT_EQ(2u, WriteDeviceList(list, ini, notices, generator, 7));
  EXPECT_EQ(Record(EchoId("205"), 1, "205") + Record(EchoId("206"), 3, "206"),
            ini.bytes_);
  EXPECT_TRUE(notices.bad());
}

}  // namespace
}  // namespace quillmark
