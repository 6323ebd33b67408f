#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace qv::test {

// A private temporary folder, removed with everything in it when the test ends, in which tests
// keep their files and write small shell scripts that stand in for external programs.
class TempFolder {
public:
    // With a subfolder, the files go there, so a test can give the folder a name of its own
    // (one with blanks, for instance) inside the private one.
    explicit TempFolder(const std::string& subfolder = {});
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::string folder() const { return dir_.string(); }
    // The folder, as a plain prefix ending in "/".
    std::string prefix() const { return dir_.string() + "/"; }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    bool exists(const std::string& name) const { return std::filesystem::exists(dir_ / name); }

    void writeFile(const std::string& name, std::string_view content) const;
    std::string read(const std::string& name) const;

    // An executable /bin/sh script; RECORD in the body is replaced by this folder's prefix so a
    // script can leave evidence where the test looks for it, whatever its working directory.
    std::string writeScript(const std::string& name, std::string body) const;

private:
    std::filesystem::path root_;
    std::filesystem::path dir_;
};

} // namespace qv::test
