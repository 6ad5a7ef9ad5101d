#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

enum class FileDialogMode { Open, Save };

// What the console asks the platform's file open or save dialog.
struct FileDialogRequest {
    FileDialogMode mode = FileDialogMode::Open;
    std::u16string title;
    // The folder the dialog starts in and the name it proposes.
    std::u16string folder;
    std::u16string fileName;
    // Pairs of description and patterns, all separated by '|', patterns of one
    // pair by ';': "Data Files (*.dat)|*.dat|All Files (*.*)|*.*".
    std::u16string filter = u"Data Files (*.dat)|*.dat";
};

// The file the operator picked: its full path and its bare name.
struct FileChoice {
    std::u16string path;
    std::u16string name;
};

// The file open and save dialog. Cancel gives nullopt.
class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    virtual std::optional<FileChoice> choose(const FileDialogRequest& request) = 0;
};

// One entry of a filter: the description shown and its patterns.
struct FileFilterEntry {
    std::u16string description;
    std::vector<std::u16string> patterns;
};

// Splits a '|'-separated filter into its entries. A description without
// patterns (an odd count of fields) gets "*".
std::vector<FileFilterEntry> parseFileFilter(std::u16string_view filter);

} // namespace platform
