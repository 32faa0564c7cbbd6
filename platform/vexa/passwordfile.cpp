#include "passwordfile.h"

#include <cstdio>
#include <fstream>
#include <iostream>

namespace vexa::passwordfile {

namespace {

// Far more than any password field takes; a longer first line is refused, not cut.
constexpr size_t kMaxLine = 1024;

std::optional<std::string> firstLine(std::istream &in, const std::string &name, std::string &error)
{
    std::string line;
    char c;
    while (line.size() <= kMaxLine && in.get(c) && c != '\n')
        line += c;
    if (in.bad()) {
        error = name + ": cannot read the password";
        return std::nullopt;
    }
    if (line.size() > kMaxLine) {
        error = name + ": the password line is too long";
        return std::nullopt;
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (line.find('\0') != std::string::npos) {
        error = name + ": the password contains a NUL byte";
        return std::nullopt;
    }
    return line;
}

} // namespace

std::optional<std::string> read(const std::string &path, std::string &error)
{
    if (path == "-")
        return firstLine(std::cin, "standard input", error);
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot open the password file";
        return std::nullopt;
    }
    return firstLine(in, path, error);
}

} // namespace vexa::passwordfile
