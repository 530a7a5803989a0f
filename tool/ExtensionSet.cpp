#include "tool/ExtensionSet.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "tool/Messages.h"

namespace quillmark {
namespace {

constexpr int kSlotBits = 20;
constexpr std::uint64_t kSlotSize = std::uint64_t{1} << kSlotBits;

__extension__ using Uint128 = unsigned __int128;

// Multiplies and folds the product's halves: every input bit reaches the
// high and the low bits that the table takes its positions from.
std::uint64_t Mix(std::uint64_t a, std::uint64_t b) {
  const Uint128 product = static_cast<Uint128>(a) * b;
  return static_cast<std::uint64_t>(product) ^
         static_cast<std::uint64_t>(product >> 64);
}

// Varies with the address the program is loaded at, so that a list cannot
// be made of extensions that all collide.
const std::uint64_t kSeed =
    Mix(reinterpret_cast<std::uintptr_t>(&kSeed), 0x9e3779b97f4a7c15);

// Extensions are short, and this runs for each line and again for each
// extension whenever the table grows: a few multiplications, inline.
std::size_t HashBytes(std::string_view bytes) {
  const char* p = bytes.data();
  std::size_t n = bytes.size();
  std::uint64_t h = kSeed ^ n;
  for (; n >= 8; p += 8, n -= 8) {
    std::uint64_t word;
    std::memcpy(&word, p, 8);
    h = Mix(h ^ word, 0xbf58476d1ce4e5b9);
  }
  std::uint64_t tail = 0;
  std::memcpy(&tail, p, n);
  return Mix(h ^ tail, 0x94d049bb133111eb);
}

std::size_t LengthSize(std::size_t length) {
  std::size_t size = 1;
  for (; length >= 0x80; length >>= 7) ++size;
  return size;
}

}  // namespace

std::size_t ExtensionSet::Hash::operator()(std::string_view bytes) const {
  return HashBytes(bytes);
}

std::size_t ExtensionSet::Hash::operator()(std::uint32_t offset) const {
  return (*this)(set->At(offset));
}

bool ExtensionSet::Equal::operator()(std::uint32_t a,
                                     std::string_view b) const {
  return set->At(a) == b;
}

bool ExtensionSet::Equal::operator()(std::string_view a,
                                     std::uint32_t b) const {
  return a == set->At(b);
}

ExtensionSet::ExtensionSet(std::uint64_t capacity)
    : capacity_(std::min(capacity, std::uint64_t{1} << 32)),
      offsets_(0, Hash{this}, Equal{this}) {}

bool ExtensionSet::Insert(std::string_view extension) {
  if (!Reserve(LengthSize(extension.size()) + extension.size())) {
    // The arena is full: only a repeat can still be taken.
    if (offsets_.contains(extension)) return false;
    throw std::invalid_argument(messages::kTooManyExtensions);
  }
  // Room is made first: once the set has placed a new entry, storing its
  // bytes must not fail.
  bool inserted = false;
  offsets_.lazy_emplace(extension, [&](const auto& construct) {
    construct(Append(extension));
    inserted = true;
  });
  return inserted;
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

std::uint32_t ExtensionSet::Append(std::string_view extension) {
  const auto offset = static_cast<std::uint32_t>(end_);
  auto* p = reinterpret_cast<unsigned char*>(Address(offset));
  std::size_t length = extension.size();
  for (; length >= 0x80; length >>= 7) {
    *p++ = static_cast<unsigned char>(length | 0x80);
  }
  *p++ = static_cast<unsigned char>(length);
  std::copy(extension.begin(), extension.end(), p);
  end_ += LengthSize(extension.size()) + extension.size();
  return offset;
}

}  // namespace quillmark
