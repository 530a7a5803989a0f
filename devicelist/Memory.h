// Where the seen set gets its table: large zeroed blocks that it touches
// only where it stores something, so that memory grows with the extensions
// stored, not with the room made for them. The platform may do better than
// the default, as with huge pages.
#ifndef QUILLMARK_DEVICELIST_MEMORY_H_
#define QUILLMARK_DEVICELIST_MEMORY_H_

#include <cstddef>

namespace quillmark {

class Memory {
 public:
  virtual ~Memory() = default;

  // calloc(3) and free(3).
  static Memory& Default();

  // Returns `bytes` of zeroed memory, aligned for any object; throws
  // std::bad_alloc if there is none.
  virtual void* Allocate(std::size_t bytes) = 0;

  // Gives back `block`, of `bytes`, which Allocate returned.
  virtual void Free(void* block, std::size_t bytes) noexcept = 0;
};

}  // namespace quillmark

#endif  // QUILLMARK_DEVICELIST_MEMORY_H_
