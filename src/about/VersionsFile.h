#pragma once

#include <cstddef>
#include <istream>
#include <optional>
#include <string>
#include <string_view>

namespace about {

// Reads the versions data file field by field. A field ends at a comma or at
// the end of a line; spaces before it are skipped; a field in double quotes
// may hold commas and comes without its quotes. Bytes become characters
// through the 8-bit code page. Only the first kMaxField characters of a field
// are kept, so a file of any size or content is read in little memory.
class FieldReader {
public:
    static constexpr std::size_t kMaxField = 64 * 1024;

    explicit FieldReader(std::istream& in) : in_(in) {}
    // The next field, or nullopt at the end of the file.
    std::optional<std::u16string> next();

private:
    int get();
    int peek();

    std::istream& in_;
};

// The first field whose text holds the program title in any letter case.
std::optional<std::u16string> findProgramField(std::istream& in, std::u16string_view title);

// The version text of a program's field: everything after its first colon,
// unchanged; a field without a colon is taken whole.
std::u16string versionTextOf(std::u16string_view field);

// A version text as a decimal number: spaces, tabs and line feeds are ignored
// wherever they stand, then the longest leading decimal number counts (sign,
// digits with at most one point, exponent); the point is a point whatever the
// locale. Text with no number gives 0, so 2.10 is below 2.9 and 2.1.3 is 2.1.
double versionNumber(std::u16string_view text);

// What the update check found in a downloaded versions file.
struct VersionVerdict {
    enum Kind { NoDataForProgram, Newer, Latest } kind = NoDataForProgram;
    // The published version text when one was found.
    std::u16string published;
};

VersionVerdict judgeVersions(std::istream& in, std::u16string_view title,
                             std::u16string_view currentVersion);

} // namespace about
