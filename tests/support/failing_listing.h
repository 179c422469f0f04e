#pragma once

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/file_system.h"

namespace velloran::fakes {

// Fails to list the given folders, which permission bits cannot do for root;
// everything else goes to the real file system.
class FailingListing final : public FileSystem {
public:
    FailingListing(FileSystem &inner, std::vector<std::string> failing)
        : bad(std::move(failing)), m_inner(inner) {}
    bool fileExists(const std::string &p) override { return m_inner.fileExists(p); }
    bool isNormalFile(const std::string &p) override { return m_inner.isNormalFile(p); }
    std::optional<PathAttributes> attributes(const std::string &p) override {
        return m_inner.attributes(p);
    }
    std::optional<FolderId> folderId(const std::string &p) override { return m_inner.folderId(p); }
    void listFolder(const std::string &folder,
                    const std::function<void(const DirEntry &)> &sink) override {
        if (std::any_of(bad.begin(), bad.end(), [&](const std::string &b) {
                return folder.rfind(b, 0) == 0 && folder.size() <= b.size() + 1;
            }))
            throw std::runtime_error("Permission denied");
        m_inner.listFolder(folder, sink);
    }

    std::vector<std::string> bad; // folders whose listing fails

private:
    FileSystem &m_inner;
};

} // namespace velloran::fakes
