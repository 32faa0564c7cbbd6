#include "tum.h"

#include <cerrno>
#include <dlfcn.h>
#include <string>
#include <string_view>
#include <strings.h>
#include <unistd.h>

namespace {

std::string mappedName(std::string_view name)
{
    constexpr std::string_view dll = ".dll";
    if (name.size() > dll.size()
        && strncasecmp(name.data() + name.size() - dll.size(), dll.data(), dll.size()) == 0) {
        const auto slash = name.rfind('/');
        const auto stem = slash == std::string_view::npos ? 0 : slash + 1;
        std::string mapped(name.substr(0, stem));
        mapped += "lib";
        mapped += name.substr(stem, name.size() - dll.size() - stem);
        mapped += ".so";
        return mapped;
    }
    return std::string(name);
}

std::string programDirectory()
{
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path);
    if (n <= 0 || n >= static_cast<ssize_t>(sizeof path))
        return {};
    const std::string_view exe(path, static_cast<size_t>(n));
    const auto slash = exe.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(exe.substr(0, slash + 1));
}

} // namespace

extern "C" void *TUM_LoadDSo(const char *name)
{
    if (!name || !*name)
        return nullptr;
    const std::string file = mappedName(name);
    if (file.find('/') != std::string::npos)
        return dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    const std::string dir = programDirectory();
    if (!dir.empty()) {
        if (void *handle = dlopen((dir + file).c_str(), RTLD_NOW | RTLD_LOCAL))
            return handle;
    }
    return dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
}

extern "C" void *TUM_GetSymbol(void *handle, const char *symbol)
{
    if (!handle || !symbol)
        return nullptr;
    return dlsym(handle, symbol);
}

extern "C" int TUM_UnloadDSo(void *handle)
{
    if (!handle)
        return -EINVAL;
    return dlclose(handle) == 0 ? 0 : -EINVAL;
}
