#include "core/Version.h"

#include "bus/AsciiText.h"

namespace console {

std::u16string makeVersionText(int major, int minor, int revision) {
    std::u16string text = bus::decimal(major) + u"." + bus::decimal(minor) + bus::decimal(revision);
    if (text.back() == u'0') text.pop_back();
    return text;
}

std::u16string windowCaption(std::u16string_view versionText, std::u16string_view versionDate,
                             bool simulatedBus) {
    std::u16string caption(kProgramTitle);
    caption += u", v";
    caption += versionText;
    caption += u" - ";
    caption += versionDate;
    caption += u" / TW";
    if (simulatedBus) caption += u" [simulated bus]";
    return caption;
}

VersionTexts buildVersion() {
    return {makeVersionText(VIREON_VERSION_MAJOR, VIREON_VERSION_MINOR, VIREON_VERSION_PATCH),
            std::u16string(kVersionDate)};
}

} // namespace console
