// Fills a new TermcapTable line by line; the loader hands the table out only when every line was taken.
#pragma once

#include "termcap_table.h"
#include "termcap_value.h"

#include <memory>
#include <string_view>
#include <vector>

namespace terminal {

class TermcapBuilder {
public:
    enum class Result { Ok, BadValue, TrieFull, Duplicate, PoolFull, BadNumber };

    TermcapBuilder();

    // Adds the sequence of one capability. The value must make at least one node and end in a plain
    // byte: a sequence ending in a parameter or any-character code could only ever match a NUL.
    Result InsertSequence(int capability, const std::vector<ValueUnit>& units);
    // `writtenLength` is the value as written, which is what the pool space is checked against.
    Result AddKeyString(int keyIndex, size_t writtenLength, const std::vector<ValueUnit>& units);
    // which: 0 columns, 1 lines; `value` as written, decimal digits only.
    Result SetDimension(int which, std::string_view value);

    std::shared_ptr<const TermcapTable> finish();

private:
    bool allocate(uint8_t& index);
    Result append(uint8_t at, const std::vector<ValueUnit>& units, size_t k, int capability, uint8_t flags);

    std::shared_ptr<TermcapTable> table_;
};

} // namespace terminal
