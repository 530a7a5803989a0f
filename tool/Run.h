// The end of a run, apart from main so that tests can drive it: the records
// made and put in place, interrupts taken into account, and a failure
// reported.
#ifndef QUILLMARK_TOOL_RUN_H_
#define QUILLMARK_TOOL_RUN_H_

#include <cstdint>
#include <exception>
#include <ostream>

#include "devicelist/LineReader.h"
#include "quillmark/identity/DeviceIdGenerator.h"
#include "tool/Interrupts.h"
#include "tool/Output.h"

namespace quillmark {

// Writes the records of `list` to `ini` and puts them in place; returns the
// number of devices. Throws what WriteDeviceList and Output::Commit throw, and
// std::invalid_argument "Interrupted; the list may be incomplete." if an
// interrupt came before the end of a list that is not a regular file; the
// output is then left as after any failure.
std::uint32_t MakeIni(LineReader& list, bool list_is_regular, Output& ini,
                      std::ostream& notices,
                      const IDeviceIdGenerator& generator, std::uint16_t pp,
                      Interrupts& interrupts);

// Writes the message of `failure` and a line end to `fd`; for a lack of
// memory, "Out of memory.", without allocating.
void PrintFailure(const std::exception& failure, int fd) noexcept;

}  // namespace quillmark

#endif  // QUILLMARK_TOOL_RUN_H_
