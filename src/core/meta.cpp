#include "core/meta.hpp"

#include "core/log.hpp"
#include "core/time.hpp"
#include "core/version.hpp"

#include <fmt/format.h>

namespace rtd {

StringParameter metaAuthor{"author", ""};
StringParameter metaDate{"date", ""};
StringParameter metaVersion{"version", ""};
StringParameter metaCopyright{"copyright", "Written by Ramptide for its own use. All rights reserved."};

bool writeMeta(pugi::xml_document& document)
{
    const pugi::xml_node meta = document.append_child("meta");
    return meta && appendInfo(meta, metaAuthor.name, std::string(productName))
           && appendInfo(meta, metaVersion.name, versionToString(programVersion))
           && appendInfo(meta, metaDate.name, currentUtcTimeText())
           && appendInfo(meta, metaCopyright.name, metaCopyright.value());
}

bool appendInfo(pugi::xml_node meta, const std::string& item, const std::string& value)
{
    pugi::xml_node info = meta.append_child("info");
    if (!info)
        return false;
    if (info.append_attribute("name").set_value(item.c_str()) && info.append_attribute("value").set_value(value.c_str()))
        return true;
    meta.remove_child(info);
    return false;
}

bool checkMeta(const pugi::xml_document& document)
{
    if (readMetaValue(document, metaAuthor) && readMetaValue(document, metaDate)
        && readMetaValue(document, metaVersion))
        return true;
    logArrow("meta data incorrect?");
    return false;
}

bool readMetaValue(const pugi::xml_document& document, StringParameter& item)
{
    const pugi::xml_node info = document.select_node(metaXPath(item.name).c_str()).node();
    item.set(info.attribute("value").as_string());
    return bool(info);
}

std::string metaXPath(std::string_view item)
{
    return fmt::format("/meta/info[@name='{}']", item);
}

} // namespace rtd
