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

std::string_view localName(std::string_view name)
{
    const size_t colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

std::string_view namespaceOf(const pugi::xml_node &node, std::string_view prefix)
{
    // "xml" is bound by definition and may not be redeclared.
    if (prefix == "xml")
        return "http://www.w3.org/XML/1998/namespace";
    const std::string attribute = prefix.empty() ? std::string("xmlns") : "xmlns:" + std::string(prefix);
    for (pugi::xml_node n = node; n && n.type() == pugi::node_element; n = n.parent()) {
        if (const pugi::xml_attribute a = n.attribute(attribute.c_str()))
            return a.value();
    }
    return {};
}

QName nameOf(const pugi::xml_node &element)
{
    const std::string_view name = element.name();
    const size_t colon = name.find(':');
    const std::string_view prefix = colon == std::string_view::npos ? std::string_view() : name.substr(0, colon);
    return {std::string(namespaceOf(element, prefix)), std::string(localName(name))};
}

QName resolve(const pugi::xml_node &node, std::string_view qname)
{
    const size_t colon = qname.find(':');
    const std::string_view prefix = colon == std::string_view::npos ? std::string_view() : qname.substr(0, colon);
    return {std::string(namespaceOf(node, prefix)), std::string(localName(qname))};
}

pugi::xml_node child(const pugi::xml_node &parent, std::string_view ns, std::string_view local)
{
    for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling()) {
        if (c.type() != pugi::node_element || localName(c.name()) != local)
            continue;
        // Some devices write prefixes they never declared: such a name counts by its local name.
        const std::string found = nameOf(c).ns;
        if (found == ns || found.empty())
            return c;
    }
    return {};
}

pugi::xml_node firstElement(const pugi::xml_node &parent)
{
    for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling()) {
        if (c.type() == pugi::node_element)
            return c;
    }
    return {};
}

} // namespace vexa::xmldoc
