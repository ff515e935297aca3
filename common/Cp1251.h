#pragma once

#include <string>
#include <string_view>

namespace selva {

// Text inside the program is UTF-8; the sensor and frequency files and the binary records keep text in
// code page 1251. A character with no 1251 code becomes '?'; malformed UTF-8 bytes become '?' too.
std::string utf8ToCp1251(std::string_view utf8);
std::string cp1251ToUtf8(std::string_view cp1251);

// Number of characters (code points) in a UTF-8 string, and its first n characters.
std::size_t utf8Length(std::string_view utf8);
std::string utf8Left(std::string_view utf8, std::size_t n);

}  // namespace selva
