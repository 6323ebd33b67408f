// File existence, deletion, wildcard listing and whole-file reading and writing.

#include "platform/Files.h"

#include "platform/Errors.h"
#include "platform/FileDescriptor.h"
#include "platform/TextCase.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace qv {

namespace {

struct DirectoryCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using DirectoryHandle = std::unique_ptr<DIR, DirectoryCloser>;

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t written = ::write(fd, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Whether a link was made by someone this process may trust: root, or the writer itself. A link
// anyone else made in a folder they may write (the settings folder) must not steer the write.
bool trustedLink(const struct stat& link) {
    return link.st_uid == 0 || link.st_uid == ::geteuid();
}

// The permission bits, owner and group a replacement takes over from the file it replaces.
struct Keeping {
    mode_t mode = 0644;
    std::optional<std::pair<uid_t, gid_t>> owner;
};

} // namespace

bool fileExists(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool deleteFile(const std::string& path) {
    return !path.empty() && ::unlink(path.c_str()) == 0;
}

bool matchesWildcard(std::string_view name, std::string_view pattern) {
    std::size_t n = 0;
    std::size_t p = 0;
    // Where to resume after the most recent "*" when the greedy attempt fails.
    std::size_t starPattern = std::string_view::npos;
    std::size_t starName = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starPattern = p++;
            starName = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == '?' || lowerAscii(pattern[p]) == lowerAscii(name[n]))) {
            ++p;
            ++n;
        } else if (starPattern != std::string_view::npos) {
            p = starPattern + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

std::vector<std::string> listFiles(const std::string& pathPattern) {
    const std::size_t slash = pathPattern.rfind('/');
    std::string folder = ".";
    std::string_view pattern = pathPattern;
    if (slash != std::string::npos) {
        folder = slash == 0 ? "/" : pathPattern.substr(0, slash);
        pattern.remove_prefix(slash + 1);
    }
    std::vector<std::string> names;
    const DirectoryHandle dir(::opendir(folder.c_str()));
    if (!dir) {
        return names;
    }
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != ".." && matchesWildcard(name, pattern)) {
            names.emplace_back(name);
        }
    }
    return names;
}

std::optional<std::string> readSmallFile(const std::string& path, std::size_t maxSize,
                                         Links links) {
    // Non-blocking so that a named pipe in place of the file cannot stall the caller.
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK |
                                                 (links == Links::NotFollowed ? O_NOFOLLOW : 0)));
    struct stat info {};
    if (!file.valid() || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::size_t>(info.st_size) > maxSize) {
        return std::nullopt;
    }
    std::string contents;
    // One byte more than its size, so a file that grew since fstat is still caught.
    contents.resize(static_cast<std::size_t>(info.st_size) + 1);
    std::size_t filled = 0;
    while (filled < contents.size()) {
        const ssize_t got = ::read(file.get(), contents.data() + filled, contents.size() - filled);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        filled += static_cast<std::size_t>(got);
    }
    if (filled > static_cast<std::size_t>(info.st_size)) {
        return std::nullopt;
    }
    contents.resize(filled);
    return contents;
}

std::string writeTarget(const std::string& path) {
    // As many links in a row as the kernel follows.
    constexpr int kMaxLinks = 40;
    std::filesystem::path resolved(path);
    for (int i = 0; i <= kMaxLinks; ++i) {
        struct stat entry {};
        if (::lstat(resolved.c_str(), &entry) != 0) {
            // Missing (made anew by the write) or out of reach (the write fails and says so).
            return resolved.string();
        }
        if (S_ISREG(entry.st_mode) && entry.st_nlink > 1) {
            throw GeneralError(resolved.string() +
                               " has other names (hard links); it is not rewritten");
        }
        if (S_ISREG(entry.st_mode)) {
            return resolved.string();
        }
        if (!S_ISLNK(entry.st_mode)) {
            throw GeneralError(resolved.string() + " is not a regular file");
        }
        if (!trustedLink(entry)) {
            throw GeneralError(resolved.string() + " is a link made by user " +
                               std::to_string(entry.st_uid) + "; it is not followed");
        }
        std::error_code error;
        const std::filesystem::path target = std::filesystem::read_symlink(resolved, error);
        if (error) {
            throw GeneralError("Cannot read the link " + resolved.string());
        }
        resolved = target.is_absolute() ? target : resolved.parent_path() / target;
    }
    throw GeneralError(path + " leads through too many links");
}

bool replaceFileContents(const std::string& path, std::string_view contents) {
    std::string target;
    try {
        target = writeTarget(path);
    } catch (const GeneralError&) {
        return false;
    }
    std::string temporary = target + ".XXXXXX";
    FileDescriptor file(::mkstemp(temporary.data()));
    if (!file.valid()) {
        return false;
    }
    // mkstemp makes the file private; a settings file is meant to be readable by others. The
    // file is looked at, not through: it may have been swapped for a link since writeTarget.
    Keeping keeping;
    struct stat existing {};
    if (::lstat(target.c_str(), &existing) == 0) {
        if (!S_ISREG(existing.st_mode)) {
            ::unlink(temporary.c_str());
            return false;
        }
        keeping = {existing.st_mode & 07777, std::pair{existing.st_uid, existing.st_gid}};
    }
    // Owner and group kept where the writer may set them: the group's right to the settings
    // outlives root's save. The bits are set after, as a change of owner clears set-id bits.
    if (keeping.owner) {
        [[maybe_unused]] const int kept =
            ::fchown(file.get(), keeping.owner->first, keeping.owner->second);
    }
    const bool written = ::fchmod(file.get(), keeping.mode) == 0 &&
                         writeAll(file.get(), contents) && ::fsync(file.get()) == 0;
    if (!file.close() || !written || ::rename(temporary.c_str(), target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

std::vector<std::uint8_t> readFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw GeneralError("cannot open " + path.string());
    }
    // Block reads, not a character at a time: a print of a few megabytes is read in a few
    // calls. The size on disk only sizes the first block; a file that grows meanwhile is still
    // read to its end.
    std::error_code sizeUnknown;
    const auto sizeOnDisk = std::filesystem::file_size(path, sizeUnknown);
    constexpr std::size_t smallestBlock = 64 * 1024;
    std::vector<std::uint8_t> bytes;
    std::size_t filled = 0;
    std::size_t block =
        sizeUnknown ? smallestBlock : std::max<std::size_t>(sizeOnDisk + 1, smallestBlock);
    while (in) {
        bytes.resize(filled + block);
        in.read(reinterpret_cast<char*>(bytes.data() + filled),
                static_cast<std::streamsize>(block));
        filled += static_cast<std::size_t>(in.gcount());
        block = std::max(filled, smallestBlock);
    }
    if (in.bad()) {
        throw GeneralError("cannot read " + path.string());
    }
    bytes.resize(filled);
    return bytes;
}

void writeFileBytes(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        throw GeneralError("cannot write " + path.string());
    }
}

} // namespace qv
