#include "xmldoc.h"

#include <pugixml.hpp>

namespace vexa::xmldoc {

namespace {

struct Writer : pugi::xml_writer {
    std::string out;
    void write(const void *data, size_t size) override { out.append(static_cast<const char *>(data), size); }
};

} // namespace

bool load(pugi::xml_document &doc, std::string_view text, size_t maxSize)
{
    return text.size() <= maxSize
        && doc.load_buffer(text.data(), text.size(), pugi::parse_default & ~pugi::parse_doctype);
}

std::string save(const pugi::xml_document &doc, size_t maxSize)
{
    Writer writer;
    doc.save(writer, "", pugi::format_raw);
    return writer.out.size() <= maxSize ? writer.out : std::string();
}

} // namespace vexa::xmldoc
