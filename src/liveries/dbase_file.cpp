#include "liveries/dbase_file.hpp"

#include "core/exceptions.hpp"
#include "platform/platform.hpp"

#include <algorithm>
#include <cctype>
#include <fmt/format.h>
#include <fstream>
#include <optional>
#include <string_view>

namespace rtd {
namespace {

constexpr char rowSection[] = "dbase";
constexpr std::size_t rowsPerGroup = 4096;
constexpr std::size_t npos = std::string_view::npos;

const char* statusText(pugi::xml_parse_status status)
{
    pugi::xml_parse_result result;
    result.status = status;
    return result.description();
}

// Where the rows of the first top-level element `name` lie in the text.
struct SectionLayout {
    std::size_t contentBegin = 0;
    std::size_t contentEnd = npos; // npos: the text ends inside the section
    std::vector<std::size_t> groupEnds;
    std::size_t rows = 0;
};

// A scan over the markup of an XML text, tracking element depth.
class MarkupScanner {
public:
    explicit MarkupScanner(std::string_view text) : text_(text) {}

    // The layout of the first top-level element `name`; nothing when the text holds none or
    // its nesting is broken before the section ends (pugixml then reports the fault).
    std::optional<SectionLayout> findSection(std::string_view name)
    {
        std::optional<SectionLayout> section;
        std::size_t depth = 0;
        while (true) {
            const std::size_t open = text_.find('<', pos_);
            if (open == npos || !skipMarkup(open))
                return section && section->contentEnd == npos ? section : std::nullopt;
            if (kind_ == Kind::other)
                continue;
            if (kind_ == Kind::endTag) {
                if (depth == 0)
                    return std::nullopt;
                --depth;
                if (section && depth == 0) {
                    section->contentEnd = open;
                    return section;
                }
            } else if (depth == 0 && !section && tagName(open) == name) {
                section.emplace();
                section->contentBegin = pos_;
                if (kind_ == Kind::emptyTag) {
                    section->contentEnd = pos_;
                    return section;
                }
                depth = 1;
                continue;
            } else if (kind_ == Kind::startTag) {
                ++depth;
            }
            if (section && depth == 1 && ++section->rows % rowsPerGroup == 0)
                section->groupEnds.push_back(pos_);
        }
    }

private:
    enum class Kind { startTag, emptyTag, endTag, other };

    // Moves past the markup that begins at `open` and notes its kind; false when the text
    // ends inside it.
    bool skipMarkup(std::size_t open)
    {
        const std::string_view rest = text_.substr(open);
        kind_ = Kind::other;
        if (rest.starts_with("<!--"))
            return skipPast(open + 4, "-->");
        if (rest.starts_with("<![CDATA["))
            return skipPast(open + 9, "]]>");
        if (rest.starts_with("<?"))
            return skipPast(open + 2, "?>");
        if (rest.starts_with("<!"))
            return skipDeclaration(open + 2);
        if (rest.starts_with("</")) {
            kind_ = Kind::endTag;
            return skipPast(open + 2, ">");
        }
        if (!skipTag(open + 1))
            return false;
        kind_ = text_[pos_ - 2] == '/' ? Kind::emptyTag : Kind::startTag;
        return true;
    }

    bool skipPast(std::size_t from, std::string_view end)
    {
        const std::size_t at = text_.find(end, from);
        pos_ = at == npos ? text_.size() : at + end.size();
        return at != npos;
    }

    // A tag up to its '>', quoted attribute values skipped whole.
    bool skipTag(std::size_t from)
    {
        for (std::size_t i = from; i < text_.size(); ++i) {
            const char c = text_[i];
            if (c == '"' || c == '\'') {
                i = text_.find(c, i + 1);
                if (i == npos)
                    break;
            } else if (c == '>') {
                pos_ = i + 1;
                return true;
            }
        }
        pos_ = text_.size();
        return false;
    }

    // A declaration such as <!DOCTYPE ...>, with an internal subset in brackets.
    bool skipDeclaration(std::size_t from)
    {
        int brackets = 0;
        for (std::size_t i = from; i < text_.size(); ++i) {
            const char c = text_[i];
            if (c == '[')
                ++brackets;
            else if (c == ']')
                --brackets;
            else if (c == '>' && brackets <= 0) {
                pos_ = i + 1;
                return true;
            }
        }
        pos_ = text_.size();
        return false;
    }

    std::string_view tagName(std::size_t open) const
    {
        const std::size_t begin = open + 1;
        std::size_t end = begin;
        while (end < text_.size() && !std::isspace(static_cast<unsigned char>(text_[end])) &&
               text_[end] != '/' && text_[end] != '>')
            ++end;
        return text_.substr(begin, end - begin);
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    Kind kind_ = Kind::other;
};

// Whether the bytes are UTF-8 as far as pugixml's detection goes: no byte-order mark of
// UTF-16 or UTF-32, no zero bytes at the start, and no other encoding declared.
bool isUtf8(std::string_view text)
{
    if (text.starts_with("\xEF\xBB\xBF"))
        return true;
    if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF") ||
        text.substr(0, 4).find('\0') != npos)
        return false;
    if (!text.starts_with("<?xml"))
        return true;
    std::string declaration(text.substr(0, text.find("?>")));
    std::transform(declaration.begin(), declaration.end(), declaration.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const std::size_t encoding = declaration.find("encoding");
    return encoding == npos || declaration.find("utf-8", encoding) != npos ||
           declaration.find("utf8", encoding) != npos;
}

std::optional<std::string> readWholeFile(const std::filesystem::path& path)
{
    std::ifstream stream(path, std::ios::binary | std::ios::ate);
    if (!stream)
        return std::nullopt;
    const std::streamoff size = stream.tellg();
    if (size < 0)
        return std::nullopt;
    std::string text(static_cast<std::size_t>(size), '\0');
    stream.seekg(0);
    if (!stream.read(text.data(), static_cast<std::streamsize>(text.size())))
        return std::nullopt;
    return text;
}

} // namespace

DbaseFile::DbaseFile(const std::filesystem::path& path) : pathText_(platform::pathToUtf8(path))
{
    std::optional<std::string> text = readWholeFile(path);
    if (!text)
        fail(statusText(std::filesystem::exists(path) ? pugi::status_io_error : pugi::status_file_not_found));
    if (!isUtf8(*text)) {
        const pugi::xml_parse_result result = sections_.load_buffer(text->data(), text->size());
        if (!result)
            fail(result.description());
        return;
    }
    parseSections(*text);
    if (groups_.size() > 1)
        text_ = std::move(*text);
}

void DbaseFile::parseSections(const std::string& text)
{
    const std::optional<SectionLayout> layout = MarkupScanner(text).findSection(rowSection);
    if (!layout) {
        const pugi::xml_parse_result result = sections_.load_buffer(text.data(), text.size(),
                                                                    pugi::parse_default, pugi::encoding_utf8);
        if (!result)
            fail(result.description());
        return;
    }

    groups_.push_back(layout->contentBegin);
    groups_.insert(groups_.end(), layout->groupEnds.begin(), layout->groupEnds.end());
    const bool closed = layout->contentEnd != npos;
    if (closed && groups_.back() != layout->contentEnd)
        groups_.push_back(layout->contentEnd);
    rowCount_ = layout->rows;

    // Without the rows; a section cut off by the end of the file keeps its unfinished tail,
    // so pugixml names the fault.
    std::string outline = text.substr(0, layout->contentBegin);
    outline.append(text, closed ? layout->contentEnd : groups_.back());
    const pugi::xml_parse_result result = sections_.load_buffer(outline.data(), outline.size(),
                                                                pugi::parse_default, pugi::encoding_utf8);
    if (!result)
        fail(result.description());
    if (!closed)
        fail(statusText(pugi::status_end_element_mismatch));
}

void DbaseFile::forEachRowGroup(const std::function<void(pugi::xml_node)>& visit) const
{
    if (groups_.size() < 2) {
        visit(sections_.child(rowSection));
        return;
    }
    for (std::size_t i = 0; i + 1 < groups_.size(); ++i) {
        pugi::xml_document group;
        const pugi::xml_parse_result result =
            group.load_buffer(text_.data() + groups_[i], groups_[i + 1] - groups_[i],
                              pugi::parse_default | pugi::parse_fragment, pugi::encoding_utf8);
        if (!result)
            fail(result.description());
        visit(group);
    }
}

void DbaseFile::fail(const char* reason) const
{
    throw UserErrorException(60, fmt::format("\"{}\" not read because of {}", pathText_, reason));
}

} // namespace rtd
