#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace core {

// What the history, its exports and the run log share in writing text files.

// A field of an RFC 4180 row: quoted where it holds a comma, quote or line
// end, its quotes doubled.
void appendCsvField(std::string& out, std::string_view text);

// fopen for a path of any characters (on Windows, through its wide name).
std::FILE* openFile(const std::filesystem::path& path, const char* mode);

// Whether `needle` stands in `hay`, ASCII letter case aside; an empty
// needle stands everywhere.
bool containsIgnoringCase(std::string_view hay, std::string_view needle);

} // namespace core
