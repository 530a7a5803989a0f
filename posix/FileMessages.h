// The messages of the list and output files, which the POSIX adapters throw;
// tool/Messages.h gathers them with the rest.
#ifndef QUILLMARK_POSIX_FILEMESSAGES_H_
#define QUILLMARK_POSIX_FILEMESSAGES_H_

namespace quillmark::file_messages {

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

}  // namespace quillmark::file_messages

#endif  // QUILLMARK_POSIX_FILEMESSAGES_H_
