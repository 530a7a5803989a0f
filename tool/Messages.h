// What the tool writes to standard error, in one table: the message of
// every failure, the tool's own and those of the list checks (which the
// loop defines in ListMessages.h), and the notices of interrupts and of
// signals that cannot be caught. The manual lists each under DIAGNOSTICS,
// and a test holds the two together. The options library's messages, the
// usage listing, the duplicate notices and the summary are not here. In a
// pattern, the upper-case placeholders (N, HH, WORD, PATH) stand for what fills
// them in (FillIn.h).
#ifndef QUILLMARK_TOOL_MESSAGES_H_
#define QUILLMARK_TOOL_MESSAGES_H_

#include <string_view>

#include "devicelist/ListMessages.h"

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
inline constexpr char kCannotRead[] = "Cannot read input file.";
inline constexpr char kCannotOpenOutput[] =
    "Cannot open output file for writing.";
inline constexpr char kOutputInUse[] = "Output file is in use by another run.";
inline constexpr char kLeftover[] =
    "Cannot remove 'PATH', left by another run; remove it once that run has "
    "ended.";
inline constexpr char kCannotWrite[] = "Cannot write output file.";
inline constexpr char kInterrupted[] =
    "Interrupted; the list may be incomplete.";
inline constexpr char kCannotWriteStandardOutput[] =
    "Cannot write standard output.";
inline constexpr char kOutOfMemory[] = "Out of memory.";
inline constexpr char kInterruptReceived[] =
    "Interrupt received; the list is finished first.";
inline constexpr char kInterruptReceivedTerminal[] =
    "Interrupt received; the list is finished first (Ctrl-D ends it).";
inline constexpr char kNoSigint[] = "Failed to attach to SIGINT!";
inline constexpr char kNoSigterm[] = "Failed to attach to SIGTERM!";

// In the order of the checks.
inline constexpr std::string_view kAll[] = {
    kUnexpectedArgument,
    kNoInput,
    kInputMissing,
    kNoPp,
    kCannotOpenInput,
    kInterruptedWaiting,
    kAlsoStandardError,
    kSameFile,
    kCannotRead,
    list_messages::kUtf32,
    list_messages::kUtf16,
    list_messages::kCrOnly,
    list_messages::kLineTooLong,
    list_messages::kTooManyLines,
    kCannotOpenOutput,
    kOutputInUse,
    kLeftover,
    list_messages::kControlCharacter,
    list_messages::kSeparator,
    list_messages::kTooManyExtensions,
    kCannotWrite,
    kInterrupted,
    kCannotWriteStandardOutput,
    kOutOfMemory,
    kInterruptReceived,
    kInterruptReceivedTerminal,
    kNoSigint,
    kNoSigterm,
};

}  // namespace quillmark::messages

#endif  // QUILLMARK_TOOL_MESSAGES_H_
