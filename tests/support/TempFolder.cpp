#include "tests/support/TempFolder.h"

#include "tests/support/FileContents.h"

#include <cstdlib>
#include <stdexcept>

namespace qv::test {

TempFolder::TempFolder(const std::string& subfolder) {
    std::string pattern = (std::filesystem::temp_directory_path() / "qv-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        throw std::runtime_error("cannot make a temporary folder from " + pattern);
    }
    root_ = pattern;
    dir_ = subfolder.empty() ? root_ : root_ / subfolder;
    std::filesystem::create_directories(dir_);
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

void TempFolder::writeFile(const std::string& name, std::string_view content) const {
    test::writeFile(dir_ / name, content);
}

std::string TempFolder::read(const std::string& name) const {
    return readFile(dir_ / name);
}

std::string TempFolder::writeScript(const std::string& name, std::string body) const {
    const std::string marker = "RECORD";
    for (auto at = body.find(marker); at != std::string::npos;
         at = body.find(marker, at + prefix().size())) {
        body.replace(at, marker.size(), prefix());
    }
    writeFile(name, "#!/bin/sh\n" + body);
    std::filesystem::permissions(dir_ / name, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add);
    return path(name);
}

} // namespace qv::test
