#include "text/text.hpp"

namespace mekra::text {

namespace {

bool is_ascii_space(unsigned char c) { return c == ' ' || (c >= 0x09 && c <= 0x0D); }

// Whether the 2- or 3-byte sequence b is the UTF-8 form of a White_Space character.
bool is_space2(unsigned char b0, unsigned char b1) {
    return b0 == 0xC2 && (b1 == 0x85 || b1 == 0xA0);  // U+0085, U+00A0
}

bool is_space3(unsigned char b0, unsigned char b1, unsigned char b2) {
    if (b0 == 0xE1) return b1 == 0x9A && b2 == 0x80;  // U+1680
    if (b0 == 0xE2) {
        if (b1 == 0x80) return b2 <= 0x8A || b2 == 0xA8 || b2 == 0xA9 || b2 == 0xAF;
        // b2 >= 0x80 holds in the line above for any continuation byte
        return b1 == 0x81 && b2 == 0x9F;  // U+205F
    }
    if (b0 == 0xE3) return b1 == 0x80 && b2 == 0x80;  // U+3000
    return false;
}

}  // namespace

std::size_t white_space_at(std::string_view s, std::size_t pos) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    if (pos >= s.size()) return 0;
    unsigned char b0 = byte(pos);
    if (b0 < 0x80) return is_ascii_space(b0) ? 1 : 0;
    if (pos + 1 < s.size() && is_space2(b0, byte(pos + 1))) return 2;
    if (pos + 2 < s.size() && byte(pos + 2) >= 0x80 && is_space3(b0, byte(pos + 1), byte(pos + 2))) return 3;
    return 0;
}

std::size_t white_space_before(std::string_view s, std::size_t end) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    if (end == 0) return 0;
    unsigned char last = byte(end - 1);
    if (last < 0x80) return is_ascii_space(last) ? 1 : 0;
    if (end >= 2 && is_space2(byte(end - 2), last)) return 2;
    if (end >= 3 && is_space3(byte(end - 3), byte(end - 2), last)) return 3;
    return 0;
}

std::string_view trim(std::string_view s) {
    std::size_t begin = 0, end = s.size();
    while (std::size_t n = white_space_at(s, begin)) begin += n;
    while (end > begin) {
        std::size_t n = white_space_before(s, end);
        if (n == 0 || end - n < begin) break;
        end -= n;
    }
    return s.substr(begin, end - begin);
}

std::string at_line(std::uint64_t number, std::string_view what) {
    std::string message = "line ";
    message += std::to_string(number);
    message += ": ";
    message += what;
    return message;
}

void split_white_space(std::string_view s, std::vector<std::string_view>& tokens) {
    tokens.clear();
    std::size_t pos = 0;
    while (pos < s.size()) {
        while (std::size_t n = white_space_at(s, pos)) pos += n;
        if (pos >= s.size()) break;
        std::size_t start = pos;
        while (pos < s.size() && white_space_at(s, pos) == 0) ++pos;
        tokens.push_back(s.substr(start, pos - start));
    }
}

}  // namespace mekra::text
