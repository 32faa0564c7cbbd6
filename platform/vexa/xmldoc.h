#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pugi {
class xml_document;
}

/** What the ONVIF codecs share when they read and write a message. */
namespace vexa::xmldoc {

/** Parses `text` into `doc` when it has at most `maxSize` bytes; no DOCTYPE, so no entity is ever loaded or expanded. */
bool load(pugi::xml_document &doc, std::string_view text, size_t maxSize);

/** `doc` as compact text, or empty when that would pass `maxSize` bytes. */
std::string save(const pugi::xml_document &doc, size_t maxSize);

} // namespace vexa::xmldoc
