// Byte to character through the Windows-1252 table: the listings show a byte
// as the character the users' files were written in.
#pragma once

#include <cstdint>
#include <string>

namespace varnok {

// UTF-8 for the Windows-1252 character of `byte`. The five codes that table
// leaves undefined (81h, 8Dh, 8Fh, 90h, 9Dh) map to the C1 control of the same
// number, as Windows itself does when converting.
std::string Cp1252ToUtf8(std::uint8_t byte);
// The Unicode code point of the same character.
char32_t Cp1252ToUnicode(std::uint8_t byte);
// Appends a code point of the Basic Multilingual Plane as UTF-8.
void AppendUtf8(std::string& out, char32_t c);

}  // namespace varnok
