#include "termcap_builder.h"

#include "capability_names.h"

#include <algorithm>

namespace terminal {

namespace {

using Kind = ValueUnit::Kind;

bool makesNode(const ValueUnit& u) {
    return u.kind == Kind::Byte || u.kind == Kind::Parameter || u.kind == Kind::AnyCharacter;
}

NodeKind nodeKindOf(const ValueUnit& u) {
    switch (u.kind) {
    case Kind::Parameter:
        return NodeKind::Parameter;
    case Kind::AnyCharacter:
        return NodeKind::AnyCharacter;
    default:
        return NodeKind::Character;
    }
}

} // namespace

TermcapBuilder::TermcapBuilder() : table_(std::make_shared<TermcapTable>()) {
    table_->nodes_.reserve(TrieCapacity);
}

bool TermcapBuilder::allocate(uint8_t& index) {
    auto& nodes = table_->nodes_;
    if (nodes.size() >= static_cast<size_t>(TrieCapacity))
        return false;
    index = static_cast<uint8_t>(nodes.size());
    nodes.emplace_back();
    return true;
}

TermcapBuilder::Result TermcapBuilder::append(uint8_t at, const std::vector<ValueUnit>& units, size_t k,
                                              int capability, uint8_t flags) {
    auto& nodes = table_->nodes_;
    for (;;) {
        TrieNode& node = nodes[at];
        node.character = units[k].byte;
        node.kind = nodeKindOf(units[k]);
        if (k + 1 == units.size()) {
            node.capability = static_cast<int8_t>(capability);
            node.capabilityFlags = flags;
            return Result::Ok;
        }
        uint8_t next = NoNode;
        if (!allocate(next))
            return Result::TrieFull;
        nodes[at].child = next;
        at = next;
        ++k;
    }
}

TermcapBuilder::Result TermcapBuilder::InsertSequence(int capability, const std::vector<ValueUnit>& written) {
    if (capability < 0 || capability >= CapabilityCount || written.empty() || !makesNode(written.back()))
        return Result::BadValue;
    uint8_t flags = 0;
    std::vector<ValueUnit> units;
    for (const ValueUnit& u : written) {
        if (u.kind == Kind::OneBased)
            flags |= FlagOneBased;
        else if (u.kind == Kind::Reversed)
            flags |= FlagReversed;
        else
            units.push_back(u);
    }
    if (units.back().kind != Kind::Byte)
        return Result::BadValue;

    auto& nodes = table_->nodes_;
    uint8_t at = NoNode;
    if (nodes.empty()) {
        if (!allocate(at))
            return Result::TrieFull;
        return append(at, units, 0, capability, flags);
    }
    at = 0;
    size_t k = 0;
    for (;;) {
        const bool last = k + 1 == units.size();
        const TrieNode& node = nodes[at];
        if (node.kind == nodeKindOf(units[k]) && node.character == units[k].byte) {
            if (node.child == NoNode) {
                // Every node without a child ends a sequence already.
                if (last)
                    return Result::Duplicate;
                uint8_t next = NoNode;
                if (!allocate(next))
                    return Result::TrieFull;
                nodes[at].child = next;
                return append(next, units, k + 1, capability, flags);
            }
            if (last) {
                if (node.capability >= 0)
                    return Result::Duplicate;
                nodes[at].capability = static_cast<int8_t>(capability);
                nodes[at].capabilityFlags = flags;
                return Result::Ok;
            }
            at = node.child;
            ++k;
        } else if (node.sibling == NoNode) {
            uint8_t next = NoNode;
            if (!allocate(next))
                return Result::TrieFull;
            nodes[at].sibling = next;
            return append(next, units, k, capability, flags);
        } else {
            at = node.sibling;
        }
    }
}

TermcapBuilder::Result TermcapBuilder::AddKeyString(int keyIndex, size_t writtenLength,
                                                    const std::vector<ValueUnit>& units) {
    if (keyIndex < 0 || keyIndex >= KeyCount || units.empty())
        return Result::BadValue;
    if (std::any_of(units.begin(), units.end(), [](const ValueUnit& u) { return u.isPercentCode(); }))
        return Result::BadValue;
    TermcapTable& t = *table_;
    if (writtenLength > static_cast<size_t>(KeyPoolSize - t.poolUsed_))
        return Result::PoolFull;
    KeyEntry& entry = t.keys_[keyIndex];
    entry.offset = static_cast<uint16_t>(t.poolUsed_);
    entry.length = static_cast<uint8_t>(units.size());
    for (const ValueUnit& u : units)
        t.pool_[t.poolUsed_++] = u.byte;
    t.keyMap_[KeyVkCodes[keyIndex]] = static_cast<int8_t>(keyIndex);
    return Result::Ok;
}

TermcapBuilder::Result TermcapBuilder::SetDimension(int which, std::string_view value) {
    if (value.empty() ||
        !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return Result::BadNumber;
    const int limit = which == 0 ? MaxColumns : MaxLines;
    int number = 0;
    for (char c : value)
        number = std::min(limit + 1, number * 10 + (c - '0'));
    // A screen without a row or column has no cursor cell.
    if (number == 0)
        return Result::BadNumber;
    (which == 0 ? table_->columns_ : table_->lines_) = std::min(number, limit);
    return Result::Ok;
}

std::shared_ptr<const TermcapTable> TermcapBuilder::finish() {
    table_->buildSteps();
    std::shared_ptr<const TermcapTable> done = std::move(table_);
    table_ = std::make_shared<TermcapTable>();
    return done;
}

} // namespace terminal
