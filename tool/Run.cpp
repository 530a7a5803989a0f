#include "tool/Run.h"

#include <new>
#include <stdexcept>
#include <string_view>

#include "devicelist/DeviceList.h"
#include "tool/HugePages.h"
#include "tool/Messages.h"

namespace quillmark {

std::uint32_t MakeIni(LineReader& list, bool list_is_regular, Output& ini,
                      std::ostream& notices,
                      const IDeviceIdGenerator& generator, std::uint16_t pp,
                      Interrupts& interrupts) {
  HugePages memory;
  const std::uint32_t devices =
      WriteDeviceList(list, ini, notices, generator, pp, memory);
  if (interrupts.EndList() && !list_is_regular) {
    throw std::invalid_argument(messages::kInterrupted);
  }
  ini.Commit();
  return devices;
}

void PrintFailure(const std::exception& failure, int fd) noexcept {
  const bool memory = dynamic_cast<const std::bad_alloc*>(&failure) != nullptr;
  WriteLine(fd, memory ? messages::kOutOfMemory : failure.what());
}

}  // namespace quillmark
