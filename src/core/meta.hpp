#pragma once
// The "meta" block that starts the XML data files the program writes for itself (the
// scanned-livery list, the airport files): a top-level element before the file's data
// element, with one <info name="ITEM" value="..."/> per item: author, version, date and
// copyright, in that order.

#include "core/parameters.hpp"

#include <pugixml.hpp>
#include <string>
#include <string_view>

namespace rtd {

// The items; the key is the item name, the current value what checkMeta last read.
extern StringParameter metaAuthor;
extern StringParameter metaDate;
extern StringParameter metaVersion;
extern StringParameter metaCopyright; // its default is the notice written into new files

// Appends the block as the document's last top-level element. False when the block or one
// of its items could not be added; the items after that one are not tried.
bool writeMeta(pugi::xml_document& document);

// Appends <info name="ITEM" value="VALUE"/> to the block. False when the node cannot take a
// child or memory runs out.
bool appendInfo(pugi::xml_node meta, const std::string& item, const std::string& value);

// True when the items author, date and version are present, whatever their values. Logs
// "meta data incorrect?" otherwise.
bool checkMeta(const pugi::xml_document& document);

// Reads the item into its current value: the "value" attribute, empty when the item or the
// attribute is missing. True when the item is present.
bool readMetaValue(const pugi::xml_document& document, StringParameter& item);

// "/meta/info[@name='ITEM']"
std::string metaXPath(std::string_view item);

} // namespace rtd
