// The set of extensions seen so far, sized to the data. The bytes of each
// distinct extension are appended once to an arena, as their length (LEB128)
// and then the bytes themselves; a hash set holds 32-bit offsets into the
// arena and is looked up by an extension's bytes, without building a string.
// The arena grows in chunks and never moves what it holds.
#ifndef QUILLMARK_DEVICELIST_EXTENSIONSET_H_
#define QUILLMARK_DEVICELIST_EXTENSIONSET_H_

#include <absl/container/flat_hash_set.h>
#include <absl/hash/hash.h>
#include <absl/strings/string_view.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace quillmark {

class ExtensionSet {
 public:
  // 32-bit offsets reach 4 GiB.
  static constexpr std::uint64_t kMaxCapacity = std::uint64_t{1} << 32;

  // `capacity` bounds the arena's bytes, up to kMaxCapacity.
  explicit ExtensionSet(std::uint64_t capacity = kMaxCapacity);
  ExtensionSet(const ExtensionSet&) = delete;
  ExtensionSet& operator=(const ExtensionSet&) = delete;

  enum Insertion { kAdded, kRepeated, kFull };

  // Adds `extension`; returns kAdded if it was not in the set before,
  // kRepeated if it was, and kFull if it was not and does not fit in the
  // arena.
  Insertion Insert(std::string_view extension);

  // Starts fetching the memory that Insert(extension) will look at, so that
  // other work can be done while it comes.
  void Prefetch(std::string_view extension) const {
    offsets_.prefetch(extension);
  }

 private:
  struct Hash {
    using is_transparent = void;
    // Through absl::string_view: an Abseil built with a string_view of its
    // own hashes std::string_view with std::hash, which is slower.
    std::size_t operator()(std::string_view bytes) const {
      return absl::Hash<absl::string_view>()(
          absl::string_view(bytes.data(), bytes.size()));
    }
    std::size_t operator()(std::uint32_t offset) const {
      return (*this)(set->At(offset));
    }
    const ExtensionSet* set;
  };
  struct Equal {
    using is_transparent = void;
    bool operator()(std::uint32_t a, std::uint32_t b) const { return a == b; }
    bool operator()(std::uint32_t a, std::string_view b) const;
    bool operator()(std::string_view a, std::uint32_t b) const;
    const ExtensionSet* set;
  };

  // Returns the extension stored at `offset`.
  std::string_view At(std::uint32_t offset) const;
  // Starts a chunk with room for `size` bytes; returns false if the arena is
  // full.
  bool NewChunk(std::size_t size);
  // Stores `extension` behind its encoded `length` in the room made for
  // them; returns its offset.
  std::uint32_t Append(std::string_view length, std::string_view extension);

  // Returns where the arena keeps the byte at `offset`.
  char* Address(std::uint64_t offset) const;

  std::uint64_t capacity_;
  std::uint64_t end_ = 0;        // where the next extension goes
  std::uint64_t chunk_end_ = 0;  // where the chunk it goes in ends
  // Chunks start at multiples of the slot size, and are a slot long or, for
  // an extension longer than that, as long as the extension. slots_[i] is
  // where the bytes from offset i times the slot size on are kept.
  std::vector<std::unique_ptr<char[]>> chunks_;
  std::vector<char*> slots_;
  absl::flat_hash_set<std::uint32_t, Hash, Equal> offsets_;
};

}  // namespace quillmark

#endif  // QUILLMARK_DEVICELIST_EXTENSIONSET_H_
