#pragma once

#include "platform/FileDialogs.h"

#include <QString>

namespace platform {

// The platform's file open and save dialogs through QFileDialog.
class QtFileDialogs final : public FileDialogs {
public:
    std::optional<FileChoice> choose(const FileDialogRequest& request) override;
};

// A '|'-separated filter in QFileDialog's form: "Data Files (*.dat);;All (*)".
QString qtNameFilters(std::u16string_view filter);

} // namespace platform
