#pragma once
// The configuration record as a value: one text for each key, and an empty element that closes it.

#include "config_key.h"

#include <array>
#include <string>

constexpr int kConfigRecordSize = kConfigKeyCount + 1;

class ConfigRecord {
public:
    std::string& operator[](ConfigKey key) { return values_[index(keyIndex(key))]; }
    const std::string& operator[](ConfigKey key) const { return values_[index(keyIndex(key))]; }
    // Element k for the walks that go through the keys in order; k = kConfigKeyCount is the closing
    // element. Throws std::out_of_range outside 0..kConfigKeyCount.
    std::string& at(int k) { return values_.at(index(k)); }
    const std::string& at(int k) const { return values_.at(index(k)); }

    bool operator==(const ConfigRecord&) const = default;

private:
    static constexpr std::size_t index(int k) { return static_cast<std::size_t>(k); }

    std::array<std::string, kConfigRecordSize> values_;
};
