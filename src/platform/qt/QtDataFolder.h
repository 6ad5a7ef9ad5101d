#pragma once

#include "platform/DataFolder.h"

namespace platform {

// The per-user data folder of this machine: "AppData" + "Vireon" where the
// environment sets "AppData", else the platform's per-user data folder
// (on Linux ~/.local/share) + "Vireon".
std::u16string systemDataFolderPath();

// That folder, ready to prepare. The platform's per-user data folder may be
// missing on a fresh account and is then created with it; "AppData" is not.
LocalDataFolder systemDataFolder();

} // namespace platform
