// 8-bit text: every byte comes back from its character, and a character
// without a byte becomes '?'. The input is read both as bytes and as
// 16-bit characters.
#include "Check.h"
#include "platform/Text8.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::u16string text = platform::fromBytes(bytes);
    FUZZ_CHECK(text.size() == bytes.size());
    std::u16string reused = u"stale";
    platform::fromBytes(bytes, reused);
    FUZZ_CHECK(reused == text);
    std::vector<char16_t> raw(size + 1, u'!');
    platform::fromBytes(bytes, raw.data());
    FUZZ_CHECK(std::u16string_view(raw.data(), size) == text && raw[size] == u'!');
    FUZZ_CHECK(platform::toBytes(text) == bytes);
    for (std::size_t i = 0; i < size; ++i)
        FUZZ_CHECK(platform::byteOfChar(text[i]) == data[i]);

    std::u16string chars(size / 2, u'\0');
    for (std::size_t i = 0; i < chars.size(); ++i)
        chars[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
    std::string out = "stale";
    platform::toBytes(chars, out);
    FUZZ_CHECK(out == platform::toBytes(chars));
    FUZZ_CHECK(out.size() == chars.size());
    for (std::size_t i = 0; i < chars.size(); ++i) {
        const int byte = platform::byteOfChar(chars[i]);
        const auto written = static_cast<unsigned char>(out[i]);
        if (byte >= 0) {
            FUZZ_CHECK(written == byte && platform::charOfByte(written) == chars[i]);
        } else {
            FUZZ_CHECK(written == '?');
        }
    }
    return 0;
}
