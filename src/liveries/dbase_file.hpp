#pragma once
// Loading of dbase.xml. The file holds its sections side by side at the top level, and its
// "dbase" section holds one element per registration: a million rows would need several
// hundred megabytes as one pugixml document. So the rows of the first top-level "dbase"
// element are cut out of the text and parsed in groups of a few thousand, each group as a
// document of its own, while the rest of the file is parsed as one small document.
//
// A light scan of the text finds the section and the group borders: it knows comments,
// CDATA, processing instructions, declarations and quoted attribute values, and leaves
// everything else, well-formedness included, to pugixml. A file that is not plain UTF-8
// (another byte-order mark or a declared encoding) is parsed whole, with pugixml's own
// encoding detection.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <pugixml.hpp>
#include <string>
#include <vector>

namespace rtd {

class DbaseFile {
public:
    // Reads and parses the file except for the rows. A file that cannot be read or is not
    // well-formed throws UserErrorException 60 "\"{path}\" not read because of {reason}".
    explicit DbaseFile(const std::filesystem::path& path);

    // The document: every section, with the "dbase" section's rows left out unless the file
    // was parsed whole.
    const pugi::xml_document& sections() const { return sections_; }

    // How many child elements the "dbase" section holds, for reserving room.
    std::size_t rowCount() const { return rowCount_; }

    // Calls `visit` with a node for each group of rows of the first top-level "dbase"
    // element, in document order; the rows are the node's child elements. Throws
    // UserErrorException 60 when a group is not well-formed.
    void forEachRowGroup(const std::function<void(pugi::xml_node)>& visit) const;

private:
    void parseSections(const std::string& text);
    [[noreturn]] void fail(const char* reason) const;

    std::string pathText_;
    std::string text_;                // the file as UTF-8 when the rows are parsed in groups
    std::vector<std::size_t> groups_; // borders of the row groups in text_
    std::size_t rowCount_ = 0;
    pugi::xml_document sections_;
};

} // namespace rtd
