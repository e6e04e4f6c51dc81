// Where description bytes come from: a file, or memory for tests and fuzzing.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace terminal {

class TermcapSource {
public:
    static constexpr int EndOfFile = -1;
    static constexpr int ReadError = -2;

    virtual ~TermcapSource() = default;
    // The next byte (0-255), EndOfFile or ReadError.
    virtual int get() = 0;
};

class MemoryTermcapSource : public TermcapSource {
public:
    explicit MemoryTermcapSource(std::string_view bytes) : bytes_(bytes) {}
    int get() override {
        return position_ < bytes_.size() ? static_cast<unsigned char>(bytes_[position_++]) : EndOfFile;
    }

private:
    std::string_view bytes_;
    size_t position_ = 0;
};

class FileTermcapSource : public TermcapSource {
public:
    explicit FileTermcapSource(const std::string& path);
    ~FileTermcapSource() override;
    FileTermcapSource(const FileTermcapSource&) = delete;
    FileTermcapSource& operator=(const FileTermcapSource&) = delete;

    // Only a regular file opens: a FIFO or a device would hold the program at its start.
    bool isOpen() const { return file_ != nullptr; }
    int get() override;

private:
    std::FILE* file_ = nullptr;
};

} // namespace terminal
