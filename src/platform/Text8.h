#pragma once

#include <string>
#include <string_view>

namespace platform {

// Bytes on the bus and in message list files map to characters through
// Windows-1252, its five unassigned bytes kept as the C1 controls of the same
// value, so every byte 0-255 survives a round trip.
std::u16string fromBytes(std::string_view bytes);
void fromBytes(std::string_view bytes, std::u16string& out);
// Converts into memory the caller owns, which holds bytes.size() characters.
void fromBytes(std::string_view bytes, char16_t* out);
// Characters with no byte become '?'.
std::string toBytes(std::u16string_view text);
void toBytes(std::u16string_view text, std::string& out);

char16_t charOfByte(unsigned char byte);
// The byte for a character, or -1 when it has none.
int byteOfChar(char16_t ch);

} // namespace platform
