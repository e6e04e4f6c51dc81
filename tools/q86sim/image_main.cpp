// q86sim-image: writes a firmware image the simulated modem takes, for trying the upgrade.

#include "firmware_image.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

namespace {

const char* kUsage = R"(Usage: q86sim-image [--model Q8690I|Q8630] [--size BYTES] FILE
Writes a firmware image for the simulated modem's model (default Q8690I) with a payload of BYTES
bytes (default 65536) to FILE.
)";

int fail(const std::string& why) {
    std::cerr << "q86sim-image: " << why << "\n" << kUsage;
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    q86sim::Model model = q86sim::Model::Q8690I;
    unsigned long size = 65536;
    std::string file;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help") {
            std::cout << kUsage;
            return 0;
        }
        if ((a == "--model" || a == "--size") && i + 1 >= argc)
            return fail(a + " takes a value");
        if (a == "--model") {
            const std::string m = argv[++i];
            if (m != "Q8690I" && m != "Q8630")
                return fail("--model takes Q8690I or Q8630");
            model = m == "Q8690I" ? q86sim::Model::Q8690I : q86sim::Model::Q8630;
        } else if (a == "--size") {
            char* end = nullptr;
            size = std::strtoul(argv[++i], &end, 10);
            if (*argv[i] == '\0' || *end != '\0' || size > 64ul * 1024 * 1024)
                return fail("--size takes a byte count up to 64 MiB");
        } else if (file.empty() && !a.empty() && a[0] != '-') {
            file = a;
        } else {
            return fail("unknown argument " + a);
        }
    }
    if (file.empty())
        return fail("no FILE");
    const std::string image = q86sim::MakeFirmwareImage(model, size);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out.write(image.data(), std::streamsize(image.size())) || !out.flush())
        return fail("cannot write " + file + ": " + std::strerror(errno));
    return 0;
}
