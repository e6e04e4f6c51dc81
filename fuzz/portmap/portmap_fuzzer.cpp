// Arbitrary bytes as a port map: the parser never fails, every entry is a port in range that either
// names absolute paths or says why its port stays shut, and the entries written out again as map
// lines read back the same.
#include "fuzz_check.h"
#include "port_map.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using fuzzsupport::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text = fuzzsupport::asText(data, size);
    const portmap::MapFileContents parsed = portmap::parseMapFile(text);
    size_t lines = 1;
    for (char c : text)
        lines += c == '\n';
    check(parsed.warnings.size() <= lines);

    std::string again;
    size_t shut = 0;
    for (const auto& [port, entry] : parsed.entries) {
        check(port >= portmap::kMinPort && port <= portmap::kMaxPort);
        check(portmap::portNumber("COM" + std::to_string(port)) == port);
        if (entry.device.empty()) {
            check(!entry.problem.empty() && entry.lines.empty());
            ++shut;
            continue;
        }
        check(entry.problem.empty() && entry.device.front() == '/');
        check(entry.lines.empty() || entry.lines.front() == '/');
        check(entry.device.find('\n') == std::string::npos && entry.lines.find('\n') == std::string::npos);
        again += "COM" + std::to_string(port) + "=" + entry.device;
        if (!entry.lines.empty())
            again += ";lines=" + entry.lines;
        again += '\n';
    }
    check(shut <= parsed.warnings.size());

    const portmap::MapFileContents reread = portmap::parseMapFile(again);
    check(reread.warnings.empty());
    check(reread.entries.size() + shut == parsed.entries.size());
    for (const auto& [port, entry] : reread.entries)
        check(parsed.entries.at(port) == entry);
    return 0;
}
