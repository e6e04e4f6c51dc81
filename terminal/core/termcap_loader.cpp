#include "termcap_loader.h"

#include "termcap_builder.h"
#include "termcap_line.h"
#include "termcap_value.h"

#include <algorithm>
#include <vector>

namespace terminal {

namespace {

using Reason = LoadResult::Reason;

std::string replaceFirst(std::string text, std::string_view value) {
    const size_t at = text.find("%1");
    if (at != std::string::npos)
        text.replace(at, 2, value);
    return text;
}

Reason reasonOf(TermcapBuilder::Result r) {
    switch (r) {
    case TermcapBuilder::Result::Ok:
        return Reason::None;
    case TermcapBuilder::Result::BadValue:
        return Reason::BadValue;
    case TermcapBuilder::Result::TrieFull:
        return Reason::TrieFull;
    case TermcapBuilder::Result::Duplicate:
        return Reason::Duplicate;
    case TermcapBuilder::Result::PoolFull:
        return Reason::PoolFull;
    case TermcapBuilder::Result::BadNumber:
        return Reason::BadNumber;
    }
    return Reason::BadValue;
}

// Checks and enters one name = value line; Reason::None when it was taken or ignored.
Reason takeLine(TermcapBuilder& builder, std::string_view line) {
    std::string name;
    std::string value;
    switch (SplitNameValue(line, name, value)) {
    case SplitResult::NoValue:
        return Reason::NoValue;
    case SplitResult::NameTooLong:
        return Reason::NameTooLong;
    case SplitResult::EmptyName:
        return Reason::EmptyName;
    case SplitResult::NameAndValue:
        break;
    }
    const int capability = capabilityIndex(name);
    const int key = capability < 0 ? keyIndex(name) : -1;
    const int dimension = name == "columns" ? 0 : name == "lines" ? 1 : -1;
    if (capability < 0 && key < 0 && dimension < 0)
        return Reason::None; // names of other terminals' features are ignored
    if (value.empty())
        return Reason::EmptyValue;
    std::vector<ValueUnit> units;
    if (!decodeValue(value, units))
        return Reason::BadValue;
    if (capability >= 0)
        return reasonOf(builder.InsertSequence(capability, units));
    if (std::any_of(units.begin(), units.end(), [](const ValueUnit& u) { return u.isPercentCode(); }))
        return Reason::PercentCodeInValue;
    if (key >= 0)
        return reasonOf(builder.AddKeyString(key, value.size(), units));
    return reasonOf(builder.SetDimension(dimension, value));
}

bool onlyBlanks(std::string_view line) {
    return std::all_of(line.begin(), line.end(), [](char c) { return c == ' '; });
}

} // namespace

std::string LoadResult::message() const {
    switch (status) {
    case Status::Ok:
        return {};
    case Status::OpenFail:
        return replaceFirst("Termcap file %1 open fail", fileName);
    case Status::ReadFail:
        return replaceFirst("Termcap file %1 read fail", fileName);
    case Status::SyntaxError:
        return replaceFirst("Termcap file syntax error : line %1", std::to_string(line));
    }
    return {};
}

LoadResult LoadTermcap(TermcapSource& source, std::string_view fileName) {
    LoadResult result;
    result.fileName = fileName;
    TermcapBuilder builder;
    TermcapLineReader reader(source);
    std::string line;
    for (int number = 1;; ++number) {
        const int length = reader.ReadTermcapLine(line);
        if (length == TermcapLineReader::EndOfFile)
            break;
        if (length == TermcapLineReader::ReadError) {
            // A description read only in part is not put in force; the error is told once.
            result.status = LoadResult::Status::ReadFail;
            return result;
        }
        if (length == TermcapLineReader::TooLong) {
            result.status = LoadResult::Status::SyntaxError;
            result.reason = Reason::LineTooLong;
            result.line = number;
            return result;
        }
        if (length == 0 || onlyBlanks(line))
            continue;
        const Reason reason = takeLine(builder, line);
        if (reason != Reason::None) {
            result.status = LoadResult::Status::SyntaxError;
            result.reason = reason;
            result.line = number;
            return result;
        }
    }
    auto table = builder.finish();
    if (table->nodeCount() == 0) {
        // An empty or all-NUL file would make a window that shows every sequence as text.
        result.status = LoadResult::Status::ReadFail;
        result.reason = Reason::NoCapability;
        return result;
    }
    result.table = std::move(table);
    return result;
}

LoadResult LoadTermcapText(std::string_view text, std::string_view fileName) {
    MemoryTermcapSource source(text);
    return LoadTermcap(source, fileName);
}

LoadResult LoadTermcapFile(const std::string& path, std::string_view fileName) {
    FileTermcapSource source(path);
    if (!source.isOpen()) {
        LoadResult result;
        result.status = LoadResult::Status::OpenFail;
        result.fileName = fileName;
        return result;
    }
    return LoadTermcap(source, fileName);
}

std::string_view descriptionFileName(TerminalType type) {
    switch (type) {
    case TerminalType::Ansi:
        return "ansi";
    case TerminalType::Vt100:
        return "vt100";
    case TerminalType::Dumb:
        return {};
    }
    return {};
}

} // namespace terminal
