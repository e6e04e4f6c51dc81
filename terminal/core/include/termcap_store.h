// The descriptions in force, one per terminal type. A load that succeeds replaces the table of its type;
// a reader that took a table keeps it, unchanged, for as long as it holds the pointer.
#pragma once

#include "capability_names.h"
#include "termcap_loader.h"

#include <array>
#include <memory>
#include <mutex>
#include <string>

namespace terminal {

class TermcapStore {
public:
    // Loads `directory`/"ansi" or "vt100" and puts it in force when it loaded.
    LoadResult load(TerminalType type, const std::string& directory);
    void publish(TerminalType type, std::shared_ptr<const TermcapTable> table);
    // The table in force, or null when none was loaded yet (and always for the dumb terminal).
    std::shared_ptr<const TermcapTable> current(TerminalType type) const;

private:
    mutable std::mutex mutex_;
    std::array<std::shared_ptr<const TermcapTable>, 2> tables_;
};

// One document's hold on its description.
class TermcapBinding {
public:
    int columns = MaxColumns;
    int lines = MaxLines;
    TerminalType type = TerminalType::Ansi;
    std::shared_ptr<const TermcapTable> table;

    // Sets the default size and the type, then (except for the dumb terminal) reloads the type's file
    // through `store` and takes the size of the table in force.
    LoadResult InitTermcap(TermcapStore& store, TerminalType terminalType, const std::string& directory);
    void ReleaseTermcap() { table.reset(); }
};

} // namespace terminal
