#include "ui/window_position.hpp"

#include "core/parameters.hpp"
#include "core/settings_file.hpp"

#include <pugixml.hpp>

namespace rtd::ui {

namespace {

bool loadParameters(pugi::xml_document& document)
{
    return static_cast<bool>(document.load_file(parametersFile().c_str()));
}

bool onBound(const IntParameter& setting)
{
    return setting.value() == setting.minimum() || setting.value() == setting.maximum();
}

void restoreIfOnBound(IntParameter& setting, std::int32_t value)
{
    if (!onBound(setting))
        return;
    setting.set(value);
    saveIntParameter(setting);
}

} // namespace

void loadWindowPosition()
{
    pugi::xml_document document;
    if (!loadParameters(document))
        return;
    for (IntParameter* setting : {&MAIN_WINDOW_X, &MAIN_WINDOW_Y}) {
        readIntParameter(*setting, document, false);
        restoreIfOnBound(*setting, setting->defaultValue());
    }
}

void saveWindowPosition(const Rect& window)
{
    const std::int32_t previousX = MAIN_WINDOW_X.value();
    const std::int32_t previousY = MAIN_WINDOW_Y.value();
    MAIN_WINDOW_X.set(window.left);
    saveIntParameter(MAIN_WINDOW_X);
    MAIN_WINDOW_Y.set(window.top);
    saveIntParameter(MAIN_WINDOW_Y);
    storeWindowPosition(previousX, previousY);
}

void storeWindowPosition(std::int32_t previousX, std::int32_t previousY)
{
    restoreIfOnBound(MAIN_WINDOW_X, previousX);
    restoreIfOnBound(MAIN_WINDOW_Y, previousY);
}

std::int32_t storedLateralRange()
{
    IntParameter stored(LATERAL_RANGE.name, LATERAL_RANGE.defaultValue(), LATERAL_RANGE.minimum(),
                        LATERAL_RANGE.maximum());
    pugi::xml_document document;
    if (loadParameters(document))
        readIntParameter(stored, document, false);
    return stored.value();
}

} // namespace rtd::ui
