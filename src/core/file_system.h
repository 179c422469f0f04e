#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace velloran {

struct DirEntry {
    std::string name;
    bool isFolder = false;       // a folder, or a link to one
    bool hiddenOrSystem = false; // marked hidden or system; a leading "." off Windows
};

struct PathAttributes {
    bool isFolder = false;
    bool hiddenOrSystem = false;
};

// Identifies a real folder however it is reached (through links or not).
struct FolderId {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    friend bool operator==(const FolderId &, const FolderId &) = default;
};

// The file-system queries of the program, per platform. Abstract so that the
// folder rules can be driven by the real file system or a stand-in.
class FileSystem {
public:
    virtual ~FileSystem() = default;
    // True when the path names something whose modification time can be read.
    virtual bool fileExists(const std::string &path) = 0;
    // True when the path is a file that is neither a folder nor hidden or system.
    virtual bool isNormalFile(const std::string &path) = 0;
    // Attributes of a path; nothing when it does not exist or cannot be read.
    virtual std::optional<PathAttributes> attributes(const std::string &path) = 0;
    // The identity of a folder; nothing when it cannot be read.
    virtual std::optional<FolderId> folderId(const std::string &path) = 0;
    // Calls sink for every entry of one folder except "." and "..", in the
    // order of the listing. Throws std::runtime_error with a description when
    // the folder cannot be listed.
    virtual void listFolder(const std::string &folder,
                            const std::function<void(const DirEntry &)> &sink) = 0;
};

// The file system of the platform the program runs on.
std::unique_ptr<FileSystem> makeNativeFileSystem();

// Whether `a` and `b` (never followed through a link) have the same owner:
// the same user id, or on Windows the same owner SID. False when either
// owner cannot be read, so that nothing is taken for ours unproven.
bool sameOwner(const std::string &a, const std::string &b);

} // namespace velloran
