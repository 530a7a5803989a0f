// What the tool writes to standard error, in one table: the message of
// every failure, the tool's own and those that the loop (ListMessages.h) and
// the files (FileMessages.h) define, and the notices of interrupts and of
// signals that cannot be caught. The manual lists each under DIAGNOSTICS,
// and a test holds the two together. The options library's messages, the
// usage listing, the duplicate notices and the summary are not here. In a
// pattern, the upper-case placeholders (N, HH, WORD, PATH) stand for what
// fills them in (FillIn.h).
#ifndef QUILLMARK_TOOL_MESSAGES_H_
#define QUILLMARK_TOOL_MESSAGES_H_

#include <string_view>

#include "devicelist/ListMessages.h"
#include "posix/FileMessages.h"

namespace quillmark::messages {

inline constexpr char kUnexpectedArgument[] = "Unexpected argument: 'WORD'.";
inline constexpr char kNoInput[] = "No input file specified.";
inline constexpr char kInputMissing[] = "Input file does not exist.";
inline constexpr char kNoPp[] = "No PP ID specified.";
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
    file_messages::kCannotOpenInput,
    file_messages::kInterruptedWaiting,
    file_messages::kAlsoStandardError,
    file_messages::kSameFile,
    file_messages::kCannotRead,
    list_messages::kUtf32,
    list_messages::kUtf16,
    list_messages::kCrOnly,
    list_messages::kLineTooLong,
    list_messages::kTooManyLines,
    file_messages::kCannotOpenOutput,
    file_messages::kOutputInUse,
    file_messages::kLeftover,
    list_messages::kControlCharacter,
    list_messages::kSeparator,
    list_messages::kTooManyExtensions,
    file_messages::kCannotWrite,
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
