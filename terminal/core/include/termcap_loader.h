// Loading a terminal description into a new table. The table is handed out only when the whole file was
// read without error, so a failed load never leaves a half-built table in use.
#pragma once

#include "capability_names.h"
#include "termcap_source.h"
#include "termcap_table.h"

#include <memory>
#include <string>
#include <string_view>

namespace terminal {

struct LoadResult {
    enum class Status { Ok, OpenFail, ReadFail, SyntaxError };
    // What made a line a syntax error (the user sees one message for all of them).
    enum class Reason {
        None,
        NoValue,
        NameTooLong,
        EmptyName,
        EmptyValue,
        BadValue,
        PercentCodeInValue,
        BadNumber,
        PoolFull,
        TrieFull,
        Duplicate,
        LineTooLong,
        NoCapability, // the file names no capability: empty, all NUL, or only comments and keys
    };

    Status status = Status::Ok;
    Reason reason = Reason::None;
    int line = 0; // the line of a syntax error, counted from 1
    std::string fileName;
    std::shared_ptr<const TermcapTable> table; // set only when status is Ok

    bool ok() const { return status == Status::Ok; }
    // The text shown to the user; empty when the load succeeded.
    std::string message() const;
};

LoadResult LoadTermcap(TermcapSource& source, std::string_view fileName);
LoadResult LoadTermcapText(std::string_view text, std::string_view fileName);
// `fileName` is what the messages name ("ansi", "vt100").
LoadResult LoadTermcapFile(const std::string& path, std::string_view fileName);

// "ansi" or "vt100"; empty for the dumb terminal, which has no description.
std::string_view descriptionFileName(TerminalType type);

} // namespace terminal
