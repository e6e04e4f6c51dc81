// termreplay DESCRIPTION-FILE [INPUT-FILE]: feeds the input (or stdin) through the recogniser and the
// screen model of the description and prints the final screen.
#include "screen_dump.h"
#include "screen_model.h"
#include "sequence_recogniser.h"
#include "termcap_loader.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: termreplay DESCRIPTION-FILE [INPUT-FILE]\n");
        return 2;
    }
    const std::string path = argv[1];
    const std::string name = path.substr(path.find_last_of('/') + 1);
    const terminal::LoadResult loaded = terminal::LoadTermcapFile(path, name);
    if (!loaded.ok()) {
        std::fprintf(stderr, "termreplay: %s\n", loaded.message().c_str());
        return 1;
    }
    std::FILE* input = stdin;
    if (argc == 3) {
        input = std::fopen(argv[2], "rb");
        if (!input) {
            std::perror(argv[2]);
            return 1;
        }
    }
    terminal::ScreenState screen;
    const auto type = name == "vt100" ? terminal::TerminalType::Vt100 : terminal::TerminalType::Ansi;
    if (!screen.AllocScreenBuffer(loaded.table->columns(), loaded.table->lines(), terminal::HistoryLines,
                                  type)) {
        std::fprintf(stderr, "termreplay: out of memory\n");
        return 1;
    }
    terminal::SequenceRecogniser recogniser(loaded.table);
    terminal::ScreenApplier applier(screen);
    std::vector<uint8_t> buffer(1024);
    size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), input)) > 0)
        recogniser.feed(buffer.data(), n, applier);
    const bool failed = std::ferror(input) != 0;
    if (input != stdin)
        std::fclose(input);
    if (failed) {
        std::fprintf(stderr, "termreplay: read error\n");
        return 1;
    }
    const std::string text = termreplay::dumpScreen(screen);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}
