#include "devicelist/ExtensionSet.h"

#include <algorithm>
#include <cstring>

namespace quillmark {
namespace {

constexpr int kSlotBits = 20;
constexpr std::uint64_t kSlotSize = std::uint64_t{1} << kSlotBits;
// The longest LEB128 length a 64-bit size takes.
constexpr std::size_t kMaxHeader = 10;

// Writes `length` in LEB128; returns the end of what was written.
char* PutLength(std::size_t length, char* out) {
  for (; length >= 0x80; length >>= 7) {
    *out++ = static_cast<char>(length | 0x80);
  }
  *out++ = static_cast<char>(length);
  return out;
}

}  // namespace

bool ExtensionSet::Equal::operator()(std::uint32_t a,
                                     std::string_view b) const {
  return set->At(a) == b;
}

bool ExtensionSet::Equal::operator()(std::string_view a,
                                     std::uint32_t b) const {
  return a == set->At(b);
}

ExtensionSet::ExtensionSet(std::uint64_t capacity)
    : capacity_(std::min(capacity, kMaxCapacity)),
      offsets_(0, Hash{this}, Equal{this}) {}

ExtensionSet::Insertion ExtensionSet::Insert(std::string_view extension) {
  char header[kMaxHeader];
  const std::string_view length(
      header,
      static_cast<std::size_t>(PutLength(extension.size(), header) - header));
  const std::size_t size = length.size() + extension.size();
  // A chunk is made only for an extension known to be new, so that a repeat
  // takes no room. Room is made first: once the set has placed a new entry,
  // storing its bytes must not fail.
  if (size > chunk_end_ - end_) {
    if (offsets_.contains(extension)) return kRepeated;
    if (!NewChunk(size)) return kFull;
  }
  bool inserted = false;
  offsets_.lazy_emplace(extension, [&](const auto& construct) {
    construct(Append(length, extension));
    inserted = true;
  });
  return inserted ? kAdded : kRepeated;
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

bool ExtensionSet::NewChunk(std::size_t size) {
  // Chunks start at a slot, so that an extension never spans two of them.
  const std::uint64_t start = (end_ + kSlotSize - 1) & ~(kSlotSize - 1);
  if (start + size > capacity_) return false;
  const std::uint64_t length =
      std::min(std::max<std::uint64_t>(kSlotSize, size), capacity_ - start);
  auto chunk = std::make_unique_for_overwrite<char[]>(length);
  const std::uint64_t first_slot = start >> kSlotBits;
  const std::uint64_t slots = (length + kSlotSize - 1) >> kSlotBits;
  if (slots_.size() < first_slot + slots) slots_.resize(first_slot + slots);
  for (std::uint64_t i = 0; i < slots; ++i) {
    slots_[first_slot + i] = chunk.get() + (i << kSlotBits);
  }
  chunks_.push_back(std::move(chunk));
  end_ = start;
  chunk_end_ = start + length;
  return true;
}

std::uint32_t ExtensionSet::Append(std::string_view length,
                                   std::string_view extension) {
  const auto offset = static_cast<std::uint32_t>(end_);
  char* p = std::copy(length.begin(), length.end(), Address(offset));
  std::copy(extension.begin(), extension.end(), p);
  end_ += length.size() + extension.size();
  return offset;
}

}  // namespace quillmark
