#include "devicelist/ExtensionSet.h"

#include <absl/hash/hash.h>
#include <absl/strings/string_view.h>

#include <algorithm>
#include <bit>

namespace quillmark {
namespace {

constexpr int kSlotBits = 20;
constexpr std::uint64_t kSlotSize = std::uint64_t{1} << kSlotBits;
// The longest LEB128 length a 64-bit size takes.
constexpr std::size_t kMaxHeader = 10;
// Entries for a list of unknown size, to begin with.
constexpr std::size_t kFewestSlots = std::size_t{1} << 12;
// A table made for more than this from a guess would take gigabytes on the
// guess's word; it grows instead.
constexpr std::uint64_t kMostExpected = std::uint64_t{1} << 24;
constexpr std::uint16_t kLong = 0xffff;

// Writes `length` in LEB128; returns the end of what was written.
char* PutLength(std::size_t length, char* out) {
  for (; length >= 0x80; length >>= 7) {
    *out++ = static_cast<char>(length | 0x80);
  }
  *out++ = static_cast<char>(length);
  return out;
}

std::uint16_t LengthOf(std::size_t size) {
  return static_cast<std::uint16_t>(std::min<std::size_t>(size, kLong));
}

std::uint16_t TagOf(std::uint64_t hash) {
  return static_cast<std::uint16_t>(hash >> 48);
}

// The entries that a hash is looked for in, in turn: the 8 of the cache line
// that its slot is in, from that slot round, and then those of the lines
// after it. A line is one fetch from memory.
class Probe {
 public:
  Probe(std::uint64_t hash, std::size_t mask)
      : lane_(hash & 7), line_(hash & mask & ~std::size_t{7}), mask_(mask) {}
  std::size_t slot() const { return line_ + ((lane_ + step_) & 7); }
  void Next() {
    if ((++step_ & 7) == 0) line_ = (line_ + 8) & mask_;
  }

 private:
  std::size_t lane_;
  std::size_t line_;
  std::size_t mask_;
  std::size_t step_ = 0;
};

}  // namespace

ExtensionSet::Entry* ExtensionSet::MakeTable(std::size_t slots) {
  return static_cast<Entry*>(memory_.Allocate(slots * sizeof(Entry)));
}

ExtensionSet::ExtensionSet(std::uint64_t arena_limit, std::uint64_t expected,
                           Memory& memory)
    : memory_(memory),
      table_(nullptr),
      mask_(std::bit_ceil(std::max<std::size_t>(
                kFewestSlots,
                static_cast<std::size_t>(
                    std::min(expected, kMostExpected) * 4 / 3 + 1))) -
            1),
      capacity_(std::min(arena_limit, kMaxCapacity)) {
  table_ = MakeTable(mask_ + 1);
}

ExtensionSet::~ExtensionSet() {
  memory_.Free(table_, (mask_ + 1) * sizeof(Entry));
}

ExtensionSet::Key ExtensionSet::KeyOf(std::string_view extension) {
  return {extension, absl::Hash<absl::string_view>()(absl::string_view(
                         extension.data(), extension.size()))};
}

ExtensionSet::Insertion ExtensionSet::Insert(const Key& key) {
  const std::uint16_t length = LengthOf(key.bytes.size());
  const std::uint16_t tag = TagOf(key.hash);
  for (Probe probe(key.hash, mask_);; probe.Next()) {
    Entry& entry = table_[probe.slot()];
    if (entry.length == 0) {
      if (size_ + 1 > (mask_ + 1) / 4 * 3) {
        Grow();
        return Insert(key);
      }
      // Stored before the entry is placed, so that a full arena leaves the
      // table as it was.
      const std::int64_t offset = Store(key.bytes);
      if (offset < 0) return kFull;
      entry = {static_cast<std::uint32_t>(offset), length, tag};
      ++size_;
      return kAdded;
    }
    if (entry.tag == tag && entry.length == length &&
        At(entry.offset) == key.bytes) {
      return kRepeated;
    }
  }
}

void ExtensionSet::PrefetchBytes(const Key& key) const {
  const std::uint16_t length = LengthOf(key.bytes.size());
  const std::uint16_t tag = TagOf(key.hash);
  Probe probe(key.hash, mask_);
  for (int i = 0; i < 8; ++i, probe.Next()) {
    const Entry& entry = table_[probe.slot()];
    if (entry.length == 0) return;
    if (entry.tag == tag && entry.length == length) {
      __builtin_prefetch(Address(entry.offset));
      return;
    }
  }
}

void ExtensionSet::Grow() {
  Entry* const old = table_;
  const std::size_t old_slots = mask_ + 1;
  table_ = MakeTable(2 * old_slots);
  mask_ = 2 * old_slots - 1;
  for (std::size_t j = 0; j < old_slots; ++j) {
    const Entry& entry = old[j];
    if (entry.length == 0) continue;
    Probe probe(KeyOf(At(entry.offset)).hash, mask_);
    while (table_[probe.slot()].length != 0) probe.Next();
    table_[probe.slot()] = entry;
  }
  memory_.Free(old, old_slots * sizeof(Entry));
}

char* ExtensionSet::Address(std::uint64_t offset) const {
  return slots_[offset >> kSlotBits] + (offset & (kSlotSize - 1));
}

std::string_view ExtensionSet::At(std::uint32_t offset) const {
  const auto* p = reinterpret_cast<const unsigned char*>(Address(offset));
  std::size_t length = 0;
  for (int shift = 0;; shift += 7) {
    const unsigned char byte = *p++;
    length |= static_cast<std::size_t>(byte & 0x7f) << shift;
    if (byte < 0x80) break;
  }
  return {reinterpret_cast<const char*>(p), length};
}

std::int64_t ExtensionSet::Store(std::string_view extension) {
  char header[kMaxHeader];
  const std::size_t header_size =
      static_cast<std::size_t>(PutLength(extension.size(), header) - header);
  const std::size_t size = header_size + extension.size();
  if (size > chunk_end_ - end_ && !NewChunk(size)) return -1;
  const auto offset = static_cast<std::int64_t>(end_);
  char* p = std::copy_n(header, header_size, Address(end_));
  std::copy(extension.begin(), extension.end(), p);
  end_ += size;
  return offset;
}

bool ExtensionSet::NewChunk(std::size_t size) {
  // Chunks start at a slot, so that an extension never spans two of them.
  const std::uint64_t start = (end_ + kSlotSize - 1) & ~(kSlotSize - 1);
  if (start + size > capacity_) return false;
  const std::uint64_t length =
      std::min(std::max<std::uint64_t>(kSlotSize, size), capacity_ - start);
  const std::uint64_t first_slot = start >> kSlotBits;
  const std::uint64_t slots = (length + kSlotSize - 1) >> kSlotBits;
  if (slots_.size() < first_slot + slots) slots_.resize(first_slot + slots);
  auto chunk = std::make_unique_for_overwrite<char[]>(length);
  for (std::uint64_t i = 0; i < slots; ++i) {
    slots_[first_slot + i] = chunk.get() + (i << kSlotBits);
  }
  chunks_.push_back(std::move(chunk));
  end_ = start;
  chunk_end_ = start + length;
  return true;
}

}  // namespace quillmark
