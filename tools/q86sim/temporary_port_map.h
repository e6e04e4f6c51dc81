#pragma once
// A private port map for one test: a fresh map file in a temporary folder, named by BREL_PORT_MAP
// while the object lives. The previous value of BREL_PORT_MAP comes back at the end.

#include <optional>
#include <string>

namespace q86sim {

class TemporaryPortMap {
public:
    // Throws std::system_error when no temporary folder can be made.
    TemporaryPortMap();
    ~TemporaryPortMap();
    TemporaryPortMap(const TemporaryPortMap&) = delete;
    TemporaryPortMap& operator=(const TemporaryPortMap&) = delete;

    const std::string& path() const { return path_; }
    // The folder holding the map; tests may put their own files there too. Removed at the end.
    const std::string& folder() const { return folder_; }

private:
    std::string folder_;
    std::string path_;
    std::optional<std::string> previous_;
};

} // namespace q86sim
