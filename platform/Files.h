// File existence, deletion, wildcard listing and whole-file reading and writing.

#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qv {

// True only for an existing regular file (symbolic links followed); a folder is not a file.
bool fileExists(const std::string& path);

// Removes a file. Returns false when it could not be removed (missing, a folder, no rights);
// callers that do not care simply ignore the result.
bool deleteFile(const std::string& path);

// Deletes a file when it goes, however the scope it guards is left: for files that must not
// outlive their use. A file that is already gone is no fault.
class FileDeletion {
public:
    explicit FileDeletion(std::string path)
        : path_(std::move(path)) {}
    ~FileDeletion() { deleteFile(path_); }
    FileDeletion(const FileDeletion&) = delete;
    FileDeletion& operator=(const FileDeletion&) = delete;

private:
    std::string path_;
};

// Names (without folder) of the entries matching a path pattern such as "/opt/scan/*.INI",
// in the order the directory listing gives them. The pattern's last component may hold "*"
// and "?" and is matched without regard to letter case; every kind of entry counts. A folder
// that cannot be listed gives an empty list.
std::vector<std::string> listFiles(const std::string& pathPattern);

// Wildcard match of one file name: "*" any run of characters, "?" exactly one, letters
// compared without regard to case.
bool matchesWildcard(std::string_view name, std::string_view pattern);

enum class Links { Followed, NotFollowed };

// Whole contents of a regular file, or nothing when it is missing, not a regular file,
// unreadable, larger than maxSize bytes or, when links are not followed, a link.
std::optional<std::string> readSmallFile(const std::string& path, std::size_t maxSize,
                                         Links links = Links::Followed);

// The file a write of path replaces: path itself, or where its links lead when every one of
// them was made by root or by the writer (the program folder's link to the settings). Throws
// GeneralError, saying why, for a link anyone else made, a file with other names (hard links)
// and anything that is not a regular file: a write must neither follow nor replace those. A
// missing file is a target; the write makes it.
std::string writeTarget(const std::string& path);

// Replaces the file's contents so that a reader sees either the old or the new file, never a
// mix: the data goes to a temporary file in the target's folder (writeTarget), which is then
// renamed over it. Keeps the permission bits, and where the writer may, the owner and group of
// an existing file. Returns false (leaving the old file untouched) on any failure or refusal.
bool replaceFileContents(const std::string& path, std::string_view contents);

// Whole files of any size, for tools and tests; a failure is an error naming the file.
std::vector<std::uint8_t> readFileBytes(const std::filesystem::path& path);
void writeFileBytes(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

} // namespace qv
