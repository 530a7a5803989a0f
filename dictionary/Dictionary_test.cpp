#include "quillmark/dictionary/Dictionary.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "test/expect_throw_msg.h"

namespace {

using namespace std::string_literals;

// Dictionaries that survive the text form with ';', in both directions.
TEST(DictionaryText, RoundTripsInBothDirections) {
  struct Case {
    Dictionary dictionary;
    std::string text;
  };
  const Case cases[] = {
      {{}, ""},
      {{{"a", "1"}}, "a=1"},
      {{{"a", "1"}, {"b", "2"}}, "a=1;b=2"},
      // Byte order of keys, upper case first, whatever the insertion order.
      {{{"b", "2"}, {"a", "1"}, {"B", "3"}}, "B=3;a=1;b=2"},
      {{{"a", ""}}, "a="},
      {{{"a", ""}, {"b", ""}}, "a=;b="},
      {{{"a", "x=y"}}, "a=x=y"},
      {{{" a ", " 1 "}}, " a = 1 "},
      {{{"k\0"s, "\0v"s}}, "k\0=\0v"s},
      {{{"\xff", "\x80"}, {"a", "1"}}, "a=1;\xff=\x80"},
  };
  // One text reused for every case: nothing of a longer one may stay.
  std::string reused = "left over";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(c.text, DictionaryToString(c.dictionary, ';'));
    DictionaryToString(c.dictionary, ';', reused);
    EXPECT_EQ(c.text, reused);
    EXPECT_EQ(c.dictionary, DictionaryFromString(c.text, ';'));
  }
}

TEST(DictionaryText, SeparatorIsTheCallersChoice) {
  const Dictionary d{{"a", "1"}, {"b", "2"}};
  EXPECT_EQ("a=1,b=2", DictionaryToString(d, ','));
  EXPECT_EQ("a=1\0b=2"s, DictionaryToString(d, '\0'));
  EXPECT_EQ(d, DictionaryFromString("a=1\0b=2"s, '\0'));
  EXPECT_EQ(d, DictionaryFromString("a=1,b=2", ','));
  EXPECT_EQ((Dictionary{{"a", "1;b=2"}}), DictionaryFromString("a=1;b=2", ','));
  // "=" as separator: still written, but no item can hold "=" any more.
  EXPECT_EQ("a=1", DictionaryToString({{"a", "1"}}, '='));
  EXPECT_THROW_MSG(DictionaryFromString("a=1", '='), std::invalid_argument,
                   "Invalid dictionary entry: 'a'");
}

// What the writer accepts but the reader cannot give back unchanged.
TEST(DictionaryText, ReadsBackDifferentlyWhenKeyOrValueHoldsDelimiters) {
  struct Case {
    Dictionary written;
    std::string text;
    Dictionary read;
  };
  const Case cases[] = {
      {{{"a=b", "c"}}, "a=b=c", {{"a", "b=c"}}},
      {{{"a", "x;y=z"}}, "a=x;y=z", {{"a", "x"}, {"y", "z"}}},
      {{{"a", "x;"}}, "a=x;", {{"a", "x"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(c.text, DictionaryToString(c.written, ';'));
    EXPECT_EQ(c.read, DictionaryFromString(c.text, ';'));
  }
}

TEST(DictionaryText, FirstValueForAKeyWins) {
  EXPECT_EQ((Dictionary{{"a", "1"}}), DictionaryFromString("a=1;a=2", ';'));
  EXPECT_EQ((Dictionary{{"a", "1"}, {"b", "2"}}),
            DictionaryFromString("a=1;b=2;a=3", ';'));
}

TEST(DictionaryText, MalformedItemsNameTheFirstBadItem) {
  struct Case {
    std::string text;
    std::string item;
  };
  const Case cases[] = {
      {";", ""},  {";a=1", ""},   {"a=1;;", ""},  {"a=1;;b=2", ""},
      {"a", "a"}, {"a=1;b", "b"}, {"=x", "=x"},   {"a=1;=2", "=2"},
      {"=", "="}, {"x;;y", "x"},  {"a=x;y", "y"}, {" ;a=1", " "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_THROW_MSG(DictionaryFromString(c.text, ';'), std::invalid_argument,
                     "Invalid dictionary entry: '" + c.item + "'");
  }
}

TEST(DictionaryText, TryReplacesOutputOrEmptiesIt) {
  struct Case {
    std::string text;
    bool ok;
    Dictionary output;
  };
  const Case cases[] = {
      {"", true, {}},
      {"b=2", true, {{"b", "2"}}},
      {"b=2;a=1;b=3", true, {{"a", "1"}, {"b", "2"}}},
      {"b=2;;", false, {}},
      {"b", false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Dictionary output{{"old", "entry"}, {"b", "old"}};
    EXPECT_EQ(c.ok, TryDictionaryFromString(c.text, ';', output));
    EXPECT_EQ(c.output, output);
  }
}

std::vector<char> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

TEST(DictionaryBlock, RoundTripsInBothDirections) {
  struct Case {
    Dictionary dictionary;
    std::string block;
  };
  const Case cases[] = {
      {{}, "\0"s},
      {{{"a", "1"}, {"b", ""}}, "a=1\0b=\0\0"s},
      {{{"b", "2"}, {"a", "1"}, {"B", "3"}}, "B=3\0a=1\0b=2\0\0"s},
      {{{"a", "x=y"}}, "a=x=y\0\0"s},
      {{{" a", "\xff;"}}, " a=\xff;\0\0"s},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.dictionary));
    const std::vector<char> block = SerialiseDictionary(c.dictionary);
    EXPECT_EQ(Bytes(c.block), block);
    EXPECT_EQ(c.dictionary, DeserialiseDictionary(block.data()));
    EXPECT_EQ(c.dictionary, DeserialiseDictionary(block.data(), block.size()));
  }
}

TEST(DictionaryBlock, ReadsBackDifferentlyWhenKeyOrValueHoldsDelimiters) {
  struct Case {
    Dictionary written;
    std::string block;
    Dictionary read;
  };
  const Case cases[] = {
      {{{"a=b", "c"}}, "a=b=c\0\0"s, {{"a", "b=c"}}},
      // A value ending in NUL looks like the closing entry: b is never read.
      {{{"a", "x\0"s}, {"b", "1"}}, "a=x\0\0b=1\0\0"s, {{"a", "x"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.written));
    const std::vector<char> block = SerialiseDictionary(c.written);
    EXPECT_EQ(Bytes(c.block), block);
    EXPECT_EQ(c.read, DeserialiseDictionary(block.data()));
    EXPECT_EQ(c.read, DeserialiseDictionary(block.data(), block.size()));
  }
}

TEST(DictionaryBlock, MalformedEntriesNameTheFirstBadEntry) {
  struct Case {
    Dictionary written;  // empty when `block` is given directly
    std::string block;
    std::string entry;
  };
  const Case cases[] = {
      {{{"", "x"}}, "", "=x"},
      // The NUL inside the value ends the entry; "y" holds no "=".
      {{{"a", "x\0y"s}}, "", "y"},
      {{}, "a\0\0"s, "a"},
      {{}, "=\0\0"s, "="},
      {{}, "a=1\0b\0c\0\0"s, "b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.entry);
    const std::vector<char> block =
        c.written.empty() ? Bytes(c.block) : SerialiseDictionary(c.written);
    const std::string message = "Invalid dictionary entry: '" + c.entry + "'";
    EXPECT_THROW_MSG(DeserialiseDictionary(block.data()), std::invalid_argument,
                     message);
    EXPECT_THROW_MSG(DeserialiseDictionary(block.data(), block.size()),
                     std::invalid_argument, message);
  }
}

TEST(DictionaryBlock, NullAndRepeatedKeys) {
  EXPECT_EQ(Dictionary{}, DeserialiseDictionary(nullptr));
  // Zero bytes hold no closing entry, however they are pointed at.
  EXPECT_THROW_MSG(DeserialiseDictionary(nullptr, 0), std::invalid_argument,
                   "Unterminated dictionary block.");
  const std::string block = "a=1\0a=2\0\0"s;
  EXPECT_EQ((Dictionary{{"a", "1"}}), DeserialiseDictionary(block.data()));
  EXPECT_EQ((Dictionary{{"a", "1"}}),
            DeserialiseDictionary(block.data(), block.size()));
}

TEST(DictionaryBlock, BytesAfterClosingEntryAreNeverRead) {
  // The pointer form gets a block whose bytes after the close are not even
  // terminated; under ASan any read past the close is caught.
  const std::vector<char> block = Bytes("a=1\0\0garbage-without-a-nul"s);
  EXPECT_EQ((Dictionary{{"a", "1"}}), DeserialiseDictionary(block.data()));
  EXPECT_EQ((Dictionary{{"a", "1"}}),
            DeserialiseDictionary(block.data(), block.size()));
}

TEST(DictionaryBlock, BoundedFormRefusesEveryTruncation) {
  const std::vector<char> block =
      SerialiseDictionary({{"a", "1"}, {"bb", ""}, {"c", "x=y"}});
  for (auto end = block.begin(); end != block.end(); ++end) {
    SCOPED_TRACE(end - block.begin());
    // An exact-size copy of the prefix, so that ASan sees any read beyond it.
    const std::vector<char> prefix(block.begin(), end);
    EXPECT_THROW_MSG(DeserialiseDictionary(prefix.data(), prefix.size()),
                     std::invalid_argument, "Unterminated dictionary block.");
  }
  EXPECT_EQ((Dictionary{{"a", "1"}, {"bb", ""}, {"c", "x=y"}}),
            DeserialiseDictionary(block.data(), block.size()));
}

}  // namespace
