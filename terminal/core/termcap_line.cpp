#include "termcap_line.h"

namespace terminal {

int TermcapLineReader::ReadTermcapLine(std::string& line, int limit) {
    line.clear();
    bool comment = false;
    bool anything = false;
    // Dropped bytes count too, so that a file without line ends (a device, say) cannot keep us reading.
    size_t raw = 0;
    for (;;) {
        const int c = source_.get();
        if (c == TermcapSource::ReadError)
            return ReadError;
        if (c == TermcapSource::EndOfFile)
            return anything ? static_cast<int>(line.size()) : EndOfFile;
        const bool lfOfCrLf = c == '\n' && afterCr_;
        afterCr_ = c == '\r';
        if (lfOfCrLf)
            continue;
        anything = true;
        if (++raw > MaxRawLine)
            return TooLong;
        if (c == '\r' || c == '\n')
            return static_cast<int>(line.size());
        if (comment || c == '#') {
            comment = true;
            continue;
        }
        if (c < 0x1F || c > 0x7E)
            continue;
        line.push_back(static_cast<char>(c));
        // The limit counts the line end as the file's CR LF lines store it.
        if (static_cast<int>(line.size()) + 1 >= limit)
            return TooLong;
    }
}

SplitResult SplitNameValue(std::string_view line, std::string& name, std::string& value) {
    name.clear();
    value.clear();
    const size_t equals = line.find('=');
    const std::string_view namePart = line.substr(0, equals);
    for (char c : namePart) {
        if (c == ' ')
            continue;
        if (name.size() == 39)
            return SplitResult::NameTooLong;
        name.push_back(c);
    }
    if (equals == std::string_view::npos || equals + 1 == line.size())
        return SplitResult::NoValue;
    if (name.empty())
        return SplitResult::EmptyName;
    std::string_view v = line.substr(equals + 1);
    while (!v.empty() && v.front() == ' ')
        v.remove_prefix(1);
    while (!v.empty() && v.back() == ' ')
        v.remove_suffix(1);
    value.assign(v);
    return SplitResult::NameAndValue;
}

} // namespace terminal
