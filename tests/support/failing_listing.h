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
    FailingListing(FileSystem &inner, std::vector<std::string> bad)
        : m_inner(inner), m_bad(std::move(bad)) {}
    bool fileExists(const std::string &p) override { return m_inner.fileExists(p); }
    bool isNormalFile(const std::string &p) override { return m_inner.isNormalFile(p); }
    std::optional<PathAttributes> attributes(const std::string &p) override {
        return m_inner.attributes(p);
    }
    std::optional<FolderId> folderId(const std::string &p) override { return m_inner.folderId(p); }
    void listFolder(const std::string &folder,
                    const std::function<void(const DirEntry &)> &sink) override {
        if (std::any_of(m_bad.begin(), m_bad.end(), [&](const std::string &bad) {
                return folder.rfind(bad, 0) == 0 && folder.size() <= bad.size() + 1;
            }))
            throw std::runtime_error("Permission denied");
        m_inner.listFolder(folder, sink);
    }

private:
    FileSystem &m_inner;
    std::vector<std::string> m_bad;
};

} // namespace velloran::fakes
