#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string_view>

namespace vexa {

/** Copies `text` into a fixed-width report field, cut to fit and always terminated. */
template<size_t N>
void copyText(char (&field)[N], std::string_view text)
{
    const size_t n = std::min(text.size(), N - 1);
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

} // namespace vexa
