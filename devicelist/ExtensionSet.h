// The set of extensions seen so far. The bytes of each distinct extension
// are appended once to an arena, as their length (LEB128) and then the bytes
// themselves; the arena grows in chunks and never moves what it holds. An
// open-addressing table holds, for each extension, an 8-byte entry, found
// by probing a cache line of 8 at a time: its 32-bit offset in the arena, its
// length (65535 for 65535 bytes and more) and 16 bits of its hash, so that an
// entry of another extension is told apart without reading the arena. The table
// is sized for the extensions expected, doubles when it is three quarters full,
// and its memory is touched only where entries go.
#ifndef QUILLMARK_DEVICELIST_EXTENSIONSET_H_
#define QUILLMARK_DEVICELIST_EXTENSIONSET_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "devicelist/Memory.h"

namespace quillmark {

class ExtensionSet {
 public:
  // 32-bit offsets reach 4 GiB.
  static constexpr std::uint64_t kMaxCapacity = std::uint64_t{1} << 32;

  // `arena_limit` bounds the arena's bytes, up to kMaxCapacity: tests set a
  // small one to fill it without 4 GiB of extensions. The table is made for
  // `expected` extensions, in memory from `memory`.
  explicit ExtensionSet(std::uint64_t arena_limit = kMaxCapacity,
                        std::uint64_t expected = 0,
                        Memory& memory = Memory::Default());
  ~ExtensionSet();
  ExtensionSet(const ExtensionSet&) = delete;
  ExtensionSet& operator=(const ExtensionSet&) = delete;

  // An extension with its hash, worked out once for Prefetch and Insert.
  struct Key {
    std::string_view bytes;
    std::uint64_t hash;
  };
  static Key KeyOf(std::string_view extension);

  enum Insertion { kAdded, kRepeated, kFull };

  // Adds `key`; returns kAdded if it was not in the set before, kRepeated if
  // it was, and kFull if it was not and does not fit in the arena.
  Insertion Insert(const Key& key);
  Insertion Insert(std::string_view extension) {
    return Insert(KeyOf(extension));
  }

  // Starts fetching the memory that Insert(key) will look at first, so that
  // other work can be done while it comes.
  void Prefetch(const Key& key) const {
    __builtin_prefetch(&table_[key.hash & mask_ & ~std::size_t{7}], 1);
  }

  // Once what Prefetch(key) fetched has come: starts fetching the stored
  // bytes that Insert(key) will compare `key` with, if there are any.
  void PrefetchBytes(const Key& key) const;

 private:
  struct Entry {
    std::uint32_t offset;
    std::uint16_t length;  // 0 for an empty entry
    std::uint16_t tag;
  };
  // Returns a table of `slots` empty entries, `slots` a power of two.
  Entry* MakeTable(std::size_t slots);
  // Moves every entry to a table twice the size.
  void Grow();

  // Returns the extension stored at `offset`.
  std::string_view At(std::uint32_t offset) const;
  // Stores `extension`; returns its offset, or -1 if the arena is full.
  std::int64_t Store(std::string_view extension);
  // Starts a chunk with room for `size` bytes; returns false if the arena is
  // full.
  bool NewChunk(std::size_t size);
  // Returns where the arena keeps the byte at `offset`.
  char* Address(std::uint64_t offset) const;

  Memory& memory_;
  Entry* table_;
  std::size_t mask_;  // the table's size less one
  std::size_t size_ = 0;
  std::uint64_t capacity_;
  std::uint64_t end_ = 0;        // where the next extension goes
  std::uint64_t chunk_end_ = 0;  // where the chunk it goes in ends
  // Chunks start at multiples of the slot size, and are a slot long or, for
  // an extension longer than that, as long as the extension. slots_[i] is
  // where the bytes from offset i times the slot size on are kept.
  std::vector<std::unique_ptr<char[]>> chunks_;
  std::vector<char*> slots_;
};

}  // namespace quillmark

#endif  // QUILLMARK_DEVICELIST_EXTENSIONSET_H_
