#include "temporary_port_map.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace q86sim {

TemporaryPortMap::TemporaryPortMap() {
    const std::string base = (std::filesystem::temp_directory_path() / "q86sim-map-XXXXXX").string();
    std::string pattern = base;
    if (!::mkdtemp(pattern.data())) {
        throw std::system_error(errno, std::generic_category(), "mkdtemp");
    }
    folder_ = pattern;
    path_ = folder_ + "/ports.conf";
    if (const char* old = std::getenv("BREL_PORT_MAP")) {
        previous_ = old;
    }
    ::setenv("BREL_PORT_MAP", path_.c_str(), 1);
}

TemporaryPortMap::~TemporaryPortMap() {
    if (previous_) {
        ::setenv("BREL_PORT_MAP", previous_->c_str(), 1);
    } else {
        ::unsetenv("BREL_PORT_MAP");
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

} // namespace q86sim
