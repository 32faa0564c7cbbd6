#pragma once

// Passwords given to the command-line programs without the command line,
// where every user of the host could read them.

#include <optional>
#include <string>

namespace vexa::passwordfile {

/**
 * The first line of `path` ("-": standard input) without its line end. Nothing,
 * with a reason in `error`, when it cannot be read or holds a NUL byte.
 */
std::optional<std::string> read(const std::string &path, std::string &error);

} // namespace vexa::passwordfile
