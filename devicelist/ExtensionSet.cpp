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
  if (!Reserve(length.size() + extension.size())) {
    // The arena is full: only a repeat can still be taken.
    return offsets_.contains(extension) ? kRepeated : kFull;
  }
  // Room is made first: once the set has placed a new entry, storing its
  // bytes must not fail.
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

bool ExtensionSet::Reserve(std::size_t size) {
  if (size <= chunk_end_ - end_) return true;
  // A chunk that holds nothing yet, made for a repeat that did not need it,
  // is replaced; otherwise the new one starts at the next slot, so that an
  // extension never spans two chunks.
  const bool replace = !chunks_.empty() && end_ == chunk_start_;
  const std::uint64_t start =
      replace ? chunk_start_ : (end_ + kSlotSize - 1) & ~(kSlotSize - 1);
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
  if (replace) chunks_.pop_back();
  chunks_.push_back(std::move(chunk));
  chunk_start_ = end_ = start;
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
