#include "platform/DynamicLibrary.h"

#include "platform/Errors.h"
#include "platform/TextCase.h"

#include <algorithm>
#include <dlfcn.h>
#include <fstream>
#include <system_error>
#include <vector>

namespace qv {

namespace {

std::vector<std::string> candidateLocations(std::string_view name) {
    if (name.find('/') != std::string_view::npos) {
        return {std::string(name)};
    }
    const std::string fileName = DynamicLibrary::platformFileName(name);
    std::vector<std::string> candidates;
    if (const auto folder = executableFolder(); !folder.empty()) {
        candidates.push_back((folder / fileName).string());
    }
    // Without a '/', dlopen applies the system search: LD_LIBRARY_PATH, run paths, the cache.
    candidates.push_back(fileName);
    return candidates;
}

struct SearchResult {
    void* handle = nullptr;
    std::string location;
    std::string reasons;
};

SearchResult search(std::string_view name) {
    SearchResult result;
    if (name.empty()) {
        result.reasons = "no library name given";
        return result;
    }
    for (const std::string& candidate : candidateLocations(name)) {
        if (void* handle = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL)) {
            result.handle = handle;
            result.location = candidate;
            return result;
        }
        const char* reason = ::dlerror();
        if (!result.reasons.empty()) {
            result.reasons += "; ";
        }
        result.reasons += reason ? reason : candidate + ": unknown error";
    }
    return result;
}

} // namespace

void DynamicLibrary::Closer::operator()(void* handle) const {
    ::dlclose(handle);
}

DynamicLibrary::DynamicLibrary(void* handle, std::string location)
    : handle_(handle)
    , location_(std::move(location)) {}

DynamicLibrary DynamicLibrary::open(std::string_view name) {
    SearchResult found = search(name);
    if (!found.handle) {
        throw GeneralError("Cannot load library \"" + std::string(name) + "\": " + found.reasons);
    }
    return DynamicLibrary(found.handle, std::move(found.location));
}

std::optional<DynamicLibrary> DynamicLibrary::tryOpen(std::string_view name) {
    SearchResult found = search(name);
    if (!found.handle) {
        return std::nullopt;
    }
    return DynamicLibrary(found.handle, std::move(found.location));
}

std::string DynamicLibrary::platformFileName(std::string_view name) {
    constexpr std::string_view windowsSuffix = ".dll";
    if (!endsWithIgnoringCase(name, windowsSuffix) || name.size() == windowsSuffix.size()) {
        return std::string(name);
    }
    return "lib" + std::string(name.substr(0, name.size() - windowsSuffix.size())) + ".so";
}

void* DynamicLibrary::symbol(const char* name) const {
    return ::dlsym(handle_.get(), name);
}

std::filesystem::path executableFolder() {
    std::error_code error;
    const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : executable.parent_path();
}

std::filesystem::path loadedLibraryFile(std::string_view fileName) {
    // Each mapping line ends in the mapped file's path, after five fields.
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        const std::size_t slash = line.find('/');
        if (slash == std::string::npos) {
            continue;
        }
        const std::filesystem::path file(line.substr(slash));
        if (file.filename() == fileName) {
            return file;
        }
    }
    return {};
}

} // namespace qv
