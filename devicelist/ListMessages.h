// What the loop says of a list that it cannot use, as std::invalid_argument.
// In a pattern, N stands for a line number and HH for a byte in
// hexadecimal, filled in by FillIn (FillIn.h). Nothing is included, so that
// any layer, and any test, may read these.
#ifndef QUILLMARK_DEVICELIST_LISTMESSAGES_H_
#define QUILLMARK_DEVICELIST_LISTMESSAGES_H_

namespace quillmark::list_messages {

inline constexpr char kUtf32[] = "Input file is UTF-32; save it as UTF-8.";
inline constexpr char kUtf16[] = "Input file is UTF-16; save it as UTF-8.";
inline constexpr char kCrOnly[] =
    "Input file has CR-only line ends; save it with LF or CRLF line ends.";
inline constexpr char kLineTooLong[] = "Line N: line is longer than 1 MiB.";
inline constexpr char kTooManyLines[] = "Too many lines: more than 4294967295.";
inline constexpr char kControlCharacter[] =
    "Line N: extension holds control character 0xHH.";
inline constexpr char kSeparator[] =
    "Line N: extension holds ';', the attribute separator.";
inline constexpr char kTooManyExtensions[] =
    "Too many distinct extensions: their bytes exceed 4 GiB.";

}  // namespace quillmark::list_messages

#endif  // QUILLMARK_DEVICELIST_LISTMESSAGES_H_
