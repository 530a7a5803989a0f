#include "tool/Run.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string_view>

#include "devicelist/DeviceList.h"
#include "tool/Messages.h"

namespace quillmark {
namespace {

void WriteLine(int fd, std::string_view text) noexcept {
  for (std::string_view part : {text, std::string_view("\n")}) {
    while (!part.empty()) {
      const ssize_t n = ::write(fd, part.data(), part.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      part.remove_prefix(static_cast<std::size_t>(n));
    }
  }
}

}  // namespace

void Interrupts::Note() noexcept {
  if (ended_ != 0 || interrupted_ != 0) return;
  interrupted_ = 1;
  const int saved = errno;
  WriteLine(STDERR_FILENO, messages::kInterruptReceived);
  errno = saved;
}

bool Interrupts::EndList() noexcept {
  ended_ = 1;
  return interrupted_ != 0;
}

std::uint32_t MakeIni(LineReader& list, bool list_is_regular, OutputFile& ini,
                      std::ostream& notices,
                      const IDeviceIdGenerator& generator, std::uint16_t pp,
                      Interrupts& interrupts) {
  const std::uint32_t devices =
      WriteDeviceList(list, ini, notices, generator, pp);
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
