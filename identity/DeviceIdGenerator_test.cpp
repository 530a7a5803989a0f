#include "quillmark/identity/DeviceIdGenerator.h"

#include <gtest/gtest.h>

#include <boost/uuid/uuid_io.hpp>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "test/reference_device_id.h"

namespace quillmark {
namespace {

using namespace std::string_literals;

std::string Id(const std::string& tenant_id, const std::string& salt,
               const Dictionary& attributes) {
  return boost::uuids::to_string(
      DeviceIdGenerator(tenant_id, salt).GenerateDeviceId(attributes));
}

// Expected IDs were computed outside this code base, with Python:
//   uuid.UUID(bytes=hashlib.sha1(ns.bytes + name).digest()[:16], version=5)
// which is what uuid.uuid5(ns, name) does, but also takes names that are not
// valid text. The first row equals uuid.uuid5(ns, name) for a str name.
TEST(DeviceIdGenerator, MatchesIndependentVersion5Vectors) {
  struct Case {
    std::string tenant_id;
    std::string salt;
    Dictionary attributes;
    const char* id;
  };
  const Case cases[] = {
      {"42",
       "",
       {{"Extension", "205"}},
       "e1729268-be74-5d07-9149-9c49ab1e2d12"},
      {"42",
       "",
       {{"Extension", "206"}},
       "59e077a0-cca2-53b1-9b4f-62bf6eed4a69"},
      {"", "", {}, "eb50942f-8af7-5411-b069-0a478b6c0aad"},
      {"", "", {{"Extension", "205"}}, "8d575291-798c-5a9c-a7e8-5bb444e7a9a0"},
      {"acme",
       "pepper",
       {{"Extension", "1001"}},
       "74151aef-4799-5eab-b367-a26d06da32d4"},
      // Key order, not insertion order: "B" (0x42) before "a" (0x61).
      {"42",
       "",
       {{"a", "2"}, {"B", "1"}},
       "164fce8c-82f5-519e-bac1-5e59d50404f1"},
      // More than the extension: all of it is hashed.
      {"42",
       "",
       {{"Extension", "205"}, {"Zone", "1"}},
       "885e122b-74f1-5a5e-9df1-0ec826c8d38c"},
      // A UUID and a long salt: the shared start of the name spans a block.
      {"9f0c2b7e-4d1a-4e8b-a3c5-6b2f8d1e0a47",
       "k2Jq8vX0pL5tR9wZ3mN7bC1dF6gH4sYa",
       {{"Extension", "205"}},
       "bfb4c17b-16dc-5f0b-a5f6-a8415c0867ac"},
      // NUL bytes are hashed like any other byte.
      {"t\0x"s,
       "s\0"s,
       {{"k\0"s, "v\0w"s}},
       "81b4efdc-b356-5e00-9efc-cc605038ef28"},
      // Byte for byte: case, trailing blanks and encodings all count.
      {"42",
       "",
       {{"Extension", "205 "}},
       "9dec6e29-9300-504a-b9fe-89da90939cf8"},
      {"42",
       "",
       {{"extension", "205"}},
       "0d073bf7-b63f-5c45-aa44-12d25105da08"},
      {"42",
       "",
       {{"Extension", "caf\xc3\xa9"}},
       "70070f94-b8d5-5864-ab81-0302aeec44be"},
      {"42",
       "",
       {{"Extension", "caf\xe9"}},
       "2f7f25e4-46a6-500b-9807-0265058c9f3c"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(c.id, Id(c.tenant_id, c.salt, c.attributes));
  }
}

TEST(DeviceIdGenerator, NameIsNotEscaped) {
  // Both compose "tenantId[]:deviceIdGeneratorSalt[]:a[b]:c[d]".
  EXPECT_EQ(Id("", "", {{"a", "b]:c[d"}}),
            Id("", "", {{"a", "b"}, {"c", "d"}}));
  // Moving bytes between tenant ID and salt across the fixed text does too.
  EXPECT_EQ(Id("x]:deviceIdGeneratorSalt[y", "", {}),
            Id("x", "y]:deviceIdGeneratorSalt[", {}));
}

TEST(DeviceIdGenerator, DependsOnlyOnItsInputs) {
  const Dictionary attributes{{"Extension", "205"}};
  const DeviceIdGenerator one("42", "pepper");
  const DeviceIdGenerator two("42", "pepper");
  DeviceIdGenerator copy("43", "salt");
  copy = one;
  EXPECT_EQ(one.GenerateDeviceId(attributes), one.GenerateDeviceId(attributes));
  EXPECT_EQ(one.GenerateDeviceId(attributes), two.GenerateDeviceId(attributes));
  EXPECT_EQ(one.GenerateDeviceId(attributes),
            copy.GenerateDeviceId(attributes));
  EXPECT_NE(one.GenerateDeviceId(attributes),
            DeviceIdGenerator("42", "salt").GenerateDeviceId(attributes));
  EXPECT_NE(one.GenerateDeviceId(attributes),
            DeviceIdGenerator("43", "pepper").GenerateDeviceId(attributes));
}

TEST(DeviceIdGenerator, TextFormIsLowerCaseVersion5Rfc4122) {
  const std::unique_ptr<IDeviceIdGenerator> generator =
      std::make_unique<DeviceIdGenerator>("tenant", "salt");
  for (int i = 0; i < 200; ++i) {
    const std::string id = boost::uuids::to_string(
        generator->GenerateDeviceId({{"Extension", std::to_string(i)}}));
    ASSERT_EQ(36u, id.size());
    for (std::size_t pos : {8u, 13u, 18u, 23u}) EXPECT_EQ('-', id[pos]) << id;
    EXPECT_EQ('5', id[14]) << id;
    EXPECT_NE(std::string("89ab").find(id[19]), std::string::npos) << id;
    EXPECT_EQ(std::string::npos, id.find_first_not_of("0123456789abcdef-"))
        << id;
  }
}

// Calls share no digest state: threads at once get what one thread gets.
TEST(DeviceIdGenerator, CallsMayRunAtTheSameTime) {
  const DeviceIdGenerator generator("42", "pepper");
  constexpr int kIds = 2000;
  std::vector<std::vector<std::string>> ids(4, std::vector<std::string>(kIds));
  std::vector<std::thread> threads;
  threads.reserve(ids.size());
  for (auto& mine : ids) {
    threads.emplace_back([&generator, &mine] {
      for (int i = 0; i < kIds; ++i) {
        mine[i] = boost::uuids::to_string(
            generator.GenerateDeviceId({{"Extension", std::to_string(i)}}));
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  std::vector<std::string> expected(kIds);
  for (int i = 0; i < kIds; ++i) {
    expected[i] = test::ReferenceDeviceId("42", "pepper",
                                          {{"Extension", std::to_string(i)}});
  }
  for (const auto& mine : ids) EXPECT_EQ(expected, mine);
}

// The fixed start of a name, up to ":Extension[", is 61 bytes and the
// tenant ID and salt; where it ends against a 64-byte block, extensions of
// every first byte, none at all, and long enough to span blocks, hash as
// any other name does.
TEST(DeviceIdGenerator, EveryNameHashesWholeAtEveryBlockBoundary) {
  struct Case {
    std::string name;
    std::string tenant_id;
    std::string salt;
  };
  const Case cases[] = {
      {"fixed part one byte short of a block", "42", ""},
      {"fixed part a block", "42", "x"},
      {"fixed part one byte over a block", "42", "xy"},
      {"fixed part one byte short of two blocks", "t", std::string(65, 's')},
      {"fixed part one byte over two blocks",
       "9f0c2b7e-4d1a-4e8b-a3c5-6b2f8d1e0a47",
       "k2Jq8vX0pL5tR9wZ3mN7bC1dF6gH4sYa"},
  };
  std::vector<std::string> extensions = {"", std::string(130, 'e'),
                                         std::string(200, '\xff')};
  for (int byte = 0; byte < 256; ++byte) {
    extensions.push_back(std::string(1, static_cast<char>(byte)) + "05");
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const DeviceIdGenerator generator(c.tenant_id, c.salt);
    for (const std::string& extension : extensions) {
      SCOPED_TRACE(testing::PrintToString(extension));
      EXPECT_EQ(test::ReferenceDeviceId(c.tenant_id, c.salt,
                                        {{"Extension", extension}}),
                boost::uuids::to_string(
                    generator.GenerateDeviceId({{"Extension", extension}})));
    }
  }
}

}  // namespace
}  // namespace quillmark
