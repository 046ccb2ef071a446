#pragma once
// Line and token scanning shared by the three text readers.
//
// White space is the Unicode White_Space set (tab, line feed, vertical tab, form feed,
// carriage return, space, U+0085, U+00A0, U+1680, U+2000..U+200A, U+2028, U+2029, U+202F,
// U+205F, U+3000), recognised on UTF-8 bytes. Bytes that are not valid UTF-8 are never white
// space, so arbitrary bytes scan safely.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mekra::text {

// Byte length of the White_Space character that starts at s[pos], or 0 if none does.
std::size_t white_space_at(std::string_view s, std::size_t pos);

// Byte length of the White_Space character that ends just before s[end], or 0 if none does.
std::size_t white_space_before(std::string_view s, std::size_t end);

std::string_view trim(std::string_view s);

// Splits `s` at runs of white space into `tokens` (cleared first); no empty tokens.
void split_white_space(std::string_view s, std::vector<std::string_view>& tokens);

// A reader's message about one line: "line N: " followed by `what`.
std::string at_line(std::uint64_t number, std::string_view what);

// Lines of `text`: split at each line feed, a carriage return directly before the line feed
// dropped, a last line without line feed included, and no empty line after a final line feed.
// A lone carriage return does not end a line.
class Lines {
public:
    explicit Lines(std::string_view text) : text_(text) {}

    // Stores the next line and its 1-based number; false when the text is exhausted.
    bool next(std::string_view& line, std::uint64_t& number) {
        if (pos_ >= text_.size()) return false;
        std::size_t end = text_.find('\n', pos_);
        std::size_t next_pos;
        if (end == std::string_view::npos) {
            end = text_.size();
            next_pos = end;
        } else {
            next_pos = end + 1;
            if (end > pos_ && text_[end - 1] == '\r') --end;
        }
        line = text_.substr(pos_, end - pos_);
        pos_ = next_pos;
        number = ++number_;
        return true;
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
    std::uint64_t number_ = 0;
};

}  // namespace mekra::text
