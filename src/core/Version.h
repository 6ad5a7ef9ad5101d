#pragma once

#include <string>
#include <string_view>

namespace console {

// "major.minor" followed by the revision, with one trailing "0" dropped:
// 2.0.0 gives "2.0", 2.1.3 gives "2.13".
std::u16string makeVersionText(int major, int minor, int revision);

inline constexpr std::u16string_view kVersionDate = u"Dec 2024";
inline constexpr std::u16string_view kProgramTitle = u"Vireon";

// The window caption; on the simulated bench it says so, so that simulated
// instruments are never taken for real ones.
std::u16string windowCaption(std::u16string_view versionText, std::u16string_view versionDate,
                             bool simulatedBus);

// The version texts of this build, shown by the caption and the About box.
struct VersionTexts {
    std::u16string VersionText;
    std::u16string VersionDate;
};

VersionTexts buildVersion();

} // namespace console
