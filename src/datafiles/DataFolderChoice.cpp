#include "datafiles/DataFolderChoice.h"

#include "platform/qt/QtText.h"

#include <QDir>
#include <QFileInfo>

namespace datafiles {

std::u16string folderOfChoice(std::u16string_view path) {
    const QString file = QDir::fromNativeSeparators(platform::toQString(path));
    return platform::fromQString(QDir::toNativeSeparators(QFileInfo(file).absolutePath()));
}

} // namespace datafiles
