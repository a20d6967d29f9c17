#include "temp_dir.h"

#include <cstdlib>
#include <fstream>
#include <system_error>

namespace kestrane::test {

TempDir::TempDir(std::string_view prefix) {
    std::error_code ec;
    const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    std::string pattern =
        ((ec ? std::filesystem::path("/tmp") : base) / std::string(prefix)).string() + "-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

TempDir::~TempDir() {
    if (path_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string TempDir::Write(const std::string& name, std::string_view bytes) const {
    const std::string file = (path_ / name).string();
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return file;
}

}  // namespace kestrane::test
