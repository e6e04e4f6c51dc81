#include "termcap_source.h"

namespace terminal {

FileTermcapSource::FileTermcapSource(const std::string& path) : file_(std::fopen(path.c_str(), "rb")) {}

FileTermcapSource::~FileTermcapSource() {
    if (file_)
        std::fclose(file_);
}

int FileTermcapSource::get() {
    const int c = std::getc(file_);
    if (c != EOF)
        return c;
    return std::ferror(file_) ? ReadError : EndOfFile;
}

} // namespace terminal
