// Every message that the tool can print, in one table: its own, and those of
// the libraries it calls, which each declare what they throw. The manual
// lists each under DIAGNOSTICS, and a test holds the two together. In a
// pattern, the upper-case placeholders (N, HH, WORD) stand for what fills
// them in.
#ifndef QUILLMARK_TOOL_MESSAGES_H_
#define QUILLMARK_TOOL_MESSAGES_H_

#include <string_view>

#include "devicelist/DeviceList.h"

namespace quillmark::messages {

inline constexpr char kUnexpectedArgument[] = "Unexpected argument: 'WORD'.";
inline constexpr char kNoInput[] = "No input file specified.";
inline constexpr char kInputMissing[] = "Input file does not exist.";
inline constexpr char kNoPp[] = "No PP ID specified.";
inline constexpr char kCannotOpenInput[] =
    "Cannot open input file for reading.";
inline constexpr char kInterruptedWaiting[] =
    "Interrupted while waiting to open a FIFO.";
inline constexpr char kAlsoStandardError[] =
    "Output file is also standard error.";
inline constexpr char kSameFile[] = "Input and output are the same file.";
inline constexpr char kCannotOpenOutput[] =
    "Cannot open output file for writing.";
inline constexpr char kOutputInUse[] = "Output file is in use by another run.";
inline constexpr char kCannotWriteStandardOutput[] =
    "Cannot write standard output.";
inline constexpr char kInterrupted[] =
    "Interrupted; the list may be incomplete.";
inline constexpr char kOutOfMemory[] = "Out of memory.";
inline constexpr char kInterruptReceived[] =
    "Interrupt received; the list is finished first.";
inline constexpr char kNoSigint[] = "Failed to attach to SIGINT!";
inline constexpr char kNoSigterm[] = "Failed to attach to SIGTERM!";

inline constexpr std::string_view kAll[] = {
    kUnexpectedArgument,
    kNoInput,
    kInputMissing,
    kNoPp,
    kCannotOpenInput,
    kInterruptedWaiting,
    kAlsoStandardError,
    kSameFile,
    list_messages::kCannotRead,
    list_messages::kUtf16,
    list_messages::kLineTooLong,
    list_messages::kTooManyLines,
    kCannotOpenOutput,
    kOutputInUse,
    list_messages::kControlCharacter,
    list_messages::kSeparator,
    list_messages::kTooManyExtensions,
    list_messages::kCannotWrite,
    kInterrupted,
    kCannotWriteStandardOutput,
    kOutOfMemory,
    kInterruptReceived,
    kNoSigint,
    kNoSigterm,
};

}  // namespace quillmark::messages

#endif  // QUILLMARK_TOOL_MESSAGES_H_
