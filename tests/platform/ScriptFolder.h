#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace qv::test {

// A private temporary folder, removed with everything in it when the test ends, in which tests
// write small shell scripts that stand in for external programs.
class ScriptFolder {
public:
    explicit ScriptFolder(const std::string& subfolder = {}) {
        std::string pattern = (std::filesystem::temp_directory_path() / "qv-XXXXXX").string();
        root_ = ::mkdtemp(pattern.data());
        dir_ = subfolder.empty() ? root_ : root_ / subfolder;
        std::filesystem::create_directories(dir_);
    }
    ~ScriptFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    ScriptFolder(const ScriptFolder&) = delete;
    ScriptFolder& operator=(const ScriptFolder&) = delete;

    std::string folder() const { return dir_.string(); }
    // The folder, as a plain prefix ending in "/".
    std::string prefix() const { return dir_.string() + "/"; }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    bool exists(const std::string& name) const { return std::filesystem::exists(dir_ / name); }

    void writeFile(const std::string& name, const std::string& content) const {
        std::ofstream(dir_ / name, std::ios::binary) << content;
    }
    std::string read(const std::string& name) const {
        std::ifstream in(dir_ / name, std::ios::binary);
        std::ostringstream content;
        content << in.rdbuf();
        return content.str();
    }

    // An executable /bin/sh script; RECORD in the body is replaced by this folder's prefix so a
    // script can leave evidence where the test looks for it, whatever its working directory.
    std::string writeScript(const std::string& name, std::string body) const {
        for (auto at = body.find("RECORD"); at != std::string::npos; at = body.find("RECORD")) {
            body.replace(at, 6, prefix());
        }
        writeFile(name, "#!/bin/sh\n" + body);
        std::filesystem::permissions(dir_ / name, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add);
        return path(name);
    }

private:
    std::filesystem::path root_;
    std::filesystem::path dir_;
};

} // namespace qv::test
