#pragma once

#include <string>
#include <string_view>

namespace datafiles {

// The folder a data-file dialog starts in next time: the real folder of the
// file just picked, in native form and without a trailing separator, however
// often the file's name also occurs in the folders above it.
std::u16string folderOfChoice(std::u16string_view path);

} // namespace datafiles
