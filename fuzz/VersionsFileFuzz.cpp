// The versions file of the update check, as downloaded from anywhere: every
// field is read within its limit, and every version number reads as the
// C library reads the same decimal number, out-of-range ones as the largest
// number or 0.
#include "Check.h"
#include "about/VersionsFile.h"
#include "platform/Text8.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <sstream>
#include <string>

namespace {

// What strtod makes of the text as versionNumber sees it (blanks gone,
// characters beyond ASCII ending the number), or NaN where strtod would take
// more than a plain decimal number (hexadecimal, "inf", "nan").
double referenceNumber(const std::u16string& text) {
    std::string ascii;
    for (char16_t c : text) {
        if (c == u' ' || c == u'\t' || c == u'\n') continue;
        ascii.push_back(c < 0x80 ? static_cast<char>(c) : '\x01');
    }
    const char* begin = ascii.c_str();
    char* end = nullptr;
    const double value = std::strtod(begin, &end);
    for (const char* p = begin; p != end; ++p) {
        if (std::string_view("0123456789.eE+-").find(*p) == std::string_view::npos)
            return std::numeric_limits<double>::quiet_NaN();
    }
    if (std::isinf(value)) return std::copysign(std::numeric_limits<double>::max(), value);
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    {
        std::istringstream in(bytes);
        about::FieldReader reader(in);
        while (const auto field = reader.next()) {
            FUZZ_CHECK(field->size() <= about::FieldReader::kMaxField);
            const std::u16string version = about::versionTextOf(*field);
            const double number = about::versionNumber(version);
            FUZZ_CHECK(std::isfinite(number));
            const double reference = referenceNumber(version);
            FUZZ_CHECK(std::isnan(reference) || number == reference);
        }
    }
    std::istringstream in(bytes);
    const about::VersionVerdict verdict = about::judgeVersions(in, u"Vireon", u"2.0");
    FUZZ_CHECK(verdict.kind == about::VersionVerdict::NoDataForProgram ||
               verdict.published.size() <= about::FieldReader::kMaxField);
    return 0;
}
