#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pugi {
class xml_document;
class xml_node;
} // namespace pugi

/** What the ONVIF codecs share when they read and write a message. */
namespace vexa::xmldoc {

/** Parses `text` into `doc` when it has at most `maxSize` bytes; no DOCTYPE, so no entity is ever loaded or expanded. */
bool load(pugi::xml_document &doc, std::string_view text, size_t maxSize);

/** `doc` as compact text, or empty when that would pass `maxSize` bytes. */
std::string save(const pugi::xml_document &doc, size_t maxSize);

/** An expanded name: what a prefix stands for, never the prefix itself. */
struct QName {
    std::string ns; // empty: no namespace, or a prefix nobody declared
    std::string local;
    bool operator==(const QName &) const = default;
};

/** The local part of "prefix:local" or "local". */
std::string_view localName(std::string_view name);
/** The namespace `prefix` (empty: the default namespace) stands for at `node`; empty when undeclared. */
std::string_view namespaceOf(const pugi::xml_node &node, std::string_view prefix);
/** The expanded name of an element. */
QName nameOf(const pugi::xml_node &element);
/** A QName written as text ("tds:Device") inside `node`, resolved where it stands. */
QName resolve(const pugi::xml_node &node, std::string_view qname);
/**
 * The first child element with this namespace and local name; null when
 * none. An element in no namespace (its prefix undeclared, as some devices
 * write) matches by its local name.
 */
pugi::xml_node child(const pugi::xml_node &parent, std::string_view ns, std::string_view local);
/** The first child element, whatever its name; null when none. */
pugi::xml_node firstElement(const pugi::xml_node &parent);

} // namespace vexa::xmldoc
