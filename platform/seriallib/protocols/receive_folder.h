#pragma once
// Where received files go. A file is written without a name in its folder (or, where the file
// system cannot do that, under a hidden temporary name) and only takes its real name once it is
// complete, so a failed or killed transfer never leaves a partial file that looks whole, and never
// harms the file it was to replace. Hidden ones left by a killed process go when the folder is next
// used. Names that come from the sender are cut
// down to a plain name inside the receive folder. No path is ever taken relative to the process's
// current directory.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace seriallib {

// The sender's name reduced to its last path component ('/' and '\' both separate), with control
// characters replaced by '_', cut at the first NUL and to at most 200 bytes (never inside a UTF-8
// character); "", "." and ".." become "received".
std::string sanitiseReceivedName(std::string_view raw);

class IncomingFile {
public:
    IncomingFile() = default;
    ~IncomingFile();
    IncomingFile(IncomingFile&& other) noexcept;
    IncomingFile& operator=(IncomingFile&& other) noexcept;

    // A file that replaces `path` when committed (its folder must exist; the path must be absolute).
    static IncomingFile forPath(const std::string& path);

    bool valid() const { return fd_ >= 0; }
    bool write(const uint8_t* data, size_t size);
    uint64_t size() const { return size_; }
    // The name the file is meant to get (without the folder).
    const std::string& name() const { return name_; }

    // Gives the file its name and returns its full path; "" when that failed (the data is then gone).
    // A file started by ReceiveFolder::begin never replaces another: it takes "name (1)", "name (2)"...
    std::string commit();
    // Drops the data; the target is left as it was.
    void discard();

private:
    friend class ReceiveFolder;
    static IncomingFile create(const std::string& folder, const std::string& name, bool replace);

    int fd_ = -1;
    std::string folder_;
    std::string name_;
    std::string temp_; // empty while the file has no name
    uint64_t size_ = 0;
    bool replace_ = false;
};

class ReceiveFolder {
public:
    explicit ReceiveFolder(std::string folder);
    // An absolute path naming an existing folder.
    bool valid() const;
    const std::string& path() const { return folder_; }
    // Starts a file named after the sender's name (sanitised); invalid when it cannot be created.
    IncomingFile begin(std::string_view senderName) const;

private:
    std::string folder_;
};

} // namespace seriallib
