// Every message that the tool prints itself, in one table. The manual lists
// each under DIAGNOSTICS, and a test holds the two together. In a pattern,
// the upper-case placeholders (N, HH) stand for what fills them in.
#ifndef QUILLMARK_TOOL_MESSAGES_H_
#define QUILLMARK_TOOL_MESSAGES_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "identity/Sha1.h"

namespace quillmark::messages {

inline constexpr char kNoInput[] = "No input file specified.";
inline constexpr char kInputMissing[] = "Input file does not exist.";
inline constexpr char kNoPp[] = "No PP ID specified.";
inline constexpr char kCannotOpenInput[] =
    "Cannot open input file for reading.";
inline constexpr char kSameFile[] = "Input and output are the same file.";
inline constexpr char kCannotRead[] = "Cannot read input file.";
inline constexpr char kUtf16[] = "Input file is UTF-16; save it as UTF-8.";
inline constexpr char kCannotOpenOutput[] =
    "Cannot open output file for writing.";
inline constexpr char kOutputInUse[] = "Output file is in use by another run.";
inline constexpr char kControlCharacter[] =
    "Line N: extension holds control character 0xHH.";
inline constexpr char kTooManyExtensions[] =
    "Too many distinct extensions: their bytes exceed 4 GiB.";
inline constexpr char kCannotWrite[] = "Cannot write output file.";
inline constexpr char kCannotWriteStandardOutput[] =
    "Cannot write standard output.";
inline constexpr char kNoSigint[] = "Failed to attach to SIGINT!";
inline constexpr char kNoSigterm[] = "Failed to attach to SIGTERM!";

inline constexpr std::string_view kAll[] = {
    kNoInput,
    kInputMissing,
    kNoPp,
    kCannotOpenInput,
    kSameFile,
    kCannotRead,
    kUtf16,
    kCannotOpenOutput,
    kOutputInUse,
    kControlCharacter,
    kTooManyExtensions,
    kCannotWrite,
    kCannotWriteStandardOutput,
    kNoSigint,
    kNoSigterm,
    Sha1::kCannotLoad,
    Sha1::kFailed,
};

// Returns kControlCharacter for the extension on line `line` that holds the
// control byte `byte`.
std::string ControlCharacter(std::uint32_t line, unsigned char byte);

}  // namespace quillmark::messages

#endif  // QUILLMARK_TOOL_MESSAGES_H_
