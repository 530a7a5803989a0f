// Memory for the seen set in huge pages where the kernel has them: its
// table is looked up at random, and with small pages most lookups would also
// miss the TLB.
#ifndef QUILLMARK_POSIX_HUGEPAGES_H_
#define QUILLMARK_POSIX_HUGEPAGES_H_

#include "devicelist/Memory.h"

namespace quillmark {

class HugePages : public Memory {
 public:
  // Anonymous memory from mmap(2), advised MADV_HUGEPAGE.
  void* Allocate(std::size_t bytes) override;
  void Free(void* block, std::size_t bytes) noexcept override;
};

}  // namespace quillmark

#endif  // QUILLMARK_POSIX_HUGEPAGES_H_
