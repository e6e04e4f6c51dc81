#pragma once
// Helpers shared by the transfer tests: scratch folders, file contents, threads with a time limit.

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace transfer_test {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed with its contents at the end.
class ScratchDir {
public:
    ScratchDir() {
        std::string tmpl = (fs::temp_directory_path() / "xfer-test-XXXXXX").string();
        path_ = mkdtemp(tmpl.data()) ? tmpl : std::string();
    }
    ~ScratchDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // The names in the folder, sorted.
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (auto& e : fs::directory_iterator(path_))
            out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }

private:
    std::string path_;
};

inline std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFile(const std::string& path, const std::vector<uint8_t>& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

// size bytes that hold every byte value (and the protocols' control bytes) again and again, then
// random bytes from the seed.
inline std::vector<uint8_t> testData(size_t size, uint32_t seed = 7) {
    std::vector<uint8_t> data(size);
    std::mt19937 rng(seed);
    for (size_t i = 0; i < size; ++i)
        data[i] = i < 512 ? static_cast<uint8_t>(i) : static_cast<uint8_t>(rng());
    return data;
}

// A row's text as a test name: letters and digits, the rest underscores.
inline std::string rowName(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return out;
}

// Runs fn on its own thread; the future is ready when it returns.
template <typename Fn>
auto runAsync(Fn fn) {
    return std::async(std::launch::async, std::move(fn));
}

// Waits for the future with a limit, so that a hung transfer fails the test instead of hanging it.
template <typename T>
bool ready(std::future<T>& f, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    return f.wait_for(limit) == std::future_status::ready;
}

} // namespace transfer_test
