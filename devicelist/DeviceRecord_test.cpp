#include "devicelist/DeviceRecord.h"

#include <gtest/gtest.h>

#include <boost/uuid/string_generator.hpp>
#include <boost/uuid/uuid_io.hpp>
#include <string>

namespace quillmark {
namespace {

// The hand-made hex formatting must agree with Boost's, digit for digit,
// and a record never takes more room than it asks for.
TEST(DeviceRecord, MatchesBoostTextFormAndDecimalFields) {
  struct Case {
    const char* id;
    std::uint32_t line;
    std::uint16_t pp;
    Dictionary attributes;
  };
  const Case cases[] = {
      {"e1729268-be74-5d07-9149-9c49ab1e2d12", 1, 7, {{"Extension", "205"}}},
      {"59e077a0-cca2-53b1-9b4f-62bf6eed4a69", 4, 7, {{"Extension", "206"}}},
      {"81b4efdc-b356-5e00-9efc-cc605038ef28",
       10,
       65535,
       {{"k", "v"}, {"x", "y"}}},
      {"00000000-0000-0000-0000-000000000000", 0, 0, {}},
      {"ffffffff-ffff-ffff-ffff-ffffffffffff", 4294967295u, 65535, {{"", ""}}},
      {"0123456789abcdef0123456789abcdef",
       99,
       100,
       {{"Extension", std::string("a\0b", 3)}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    const boost::uuids::uuid id = boost::uuids::string_generator()(c.id);
    const DeviceRecords records(c.pp);
    std::string record(records.MaxSize(c.attributes), '?');
    const char* const end =
        records.Format(id, c.line, c.attributes, record.data());
    ASSERT_LE(end, record.data() + record.size());
    record.resize(static_cast<std::size_t>(end - record.data()));
    std::string expected(1, '[');
    expected += boost::uuids::to_string(id);
    expected += "]\nId=" + std::to_string(c.line);
    expected += "\nPP=" + std::to_string(c.pp);
    expected += "\nAttributes=" + DictionaryToString(c.attributes, ';') +
                "\nRecorded=1\n";
    EXPECT_EQ(expected, record);
  }
}

}  // namespace
}  // namespace quillmark
