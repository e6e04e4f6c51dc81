#include "termcap_store.h"

namespace terminal {

namespace {

size_t slotOf(TerminalType type) {
    return type == TerminalType::Vt100 ? 1 : 0;
}

} // namespace

LoadResult TermcapStore::load(TerminalType type, const std::string& directory) {
    const std::string_view name = descriptionFileName(type);
    std::string path = directory;
    if (!path.empty() && path.back() != '/')
        path.push_back('/');
    path.append(name);
    LoadResult result = LoadTermcapFile(path, name);
    if (result.ok())
        publish(type, result.table);
    return result;
}

void TermcapStore::publish(TerminalType type, std::shared_ptr<const TermcapTable> table) {
    if (type == TerminalType::Dumb)
        return;
    std::lock_guard lock(mutex_);
    tables_[slotOf(type)] = std::move(table);
}

std::shared_ptr<const TermcapTable> TermcapStore::current(TerminalType type) const {
    if (type == TerminalType::Dumb)
        return nullptr;
    std::lock_guard lock(mutex_);
    return tables_[slotOf(type)];
}

LoadResult TermcapBinding::InitTermcap(TermcapStore& store, TerminalType terminalType,
                                       const std::string& directory) {
    columns = MaxColumns;
    lines = MaxLines;
    type = terminalType;
    table.reset();
    if (type == TerminalType::Dumb)
        return {};
    LoadResult result = store.load(type, directory);
    if (result.ok()) {
        table = result.table;
        columns = table->columns();
        lines = table->lines();
    }
    return result;
}

} // namespace terminal
