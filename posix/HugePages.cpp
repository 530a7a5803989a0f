#include "posix/HugePages.h"

#include <sys/mman.h>

#include <new>

namespace quillmark {

void* HugePages::Allocate(std::size_t bytes) {
  void* block = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (block == MAP_FAILED) throw std::bad_alloc();
  // Only a hint: without huge pages the memory is as good, if slower.
  (void)::madvise(block, bytes, MADV_HUGEPAGE);
  return block;
}

void HugePages::Free(void* block, std::size_t bytes) noexcept {
  ::munmap(block, bytes);
}

}  // namespace quillmark
