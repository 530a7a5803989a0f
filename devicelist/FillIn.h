// Messages with placeholders: upper-case words (N, HH, WORD) that stand for
// what the message is about.
#ifndef QUILLMARK_DEVICELIST_FILLIN_H_
#define QUILLMARK_DEVICELIST_FILLIN_H_

#include <string>
#include <string_view>

namespace quillmark {

// Returns `pattern` with its first `placeholder` replaced by `value`.
std::string FillIn(std::string_view pattern, std::string_view placeholder,
                   std::string_view value);

}  // namespace quillmark

#endif  // QUILLMARK_DEVICELIST_FILLIN_H_
