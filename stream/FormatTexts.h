// The fixed texts of the XML format, shared by the reader and the writer.
#ifndef RKXML_STREAM_FORMAT_TEXTS_H
#define RKXML_STREAM_FORMAT_TEXTS_H

#include <string_view>

namespace rkxml_detail::format {

constexpr std::string_view tagOpen = "<";
constexpr std::string_view tagClose = ">";
constexpr std::string_view emptyTagClose = "/>";
constexpr std::string_view endTagOpen = "</";
constexpr std::string_view commentOpen = "<!--";
constexpr std::string_view commentMark = "!--";
constexpr std::string_view commentClose = "-->";
constexpr std::string_view declarationClose = "?>";
constexpr std::string_view attributeSeparator = " ";
constexpr std::string_view valueOpen = "=\"";
constexpr std::string_view valueClose = "\"";
constexpr std::string_view blanks = "                    ";  // 20 blanks, the source of indentation

}  // namespace rkxml_detail::format

#endif
