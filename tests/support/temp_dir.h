// A private temporary folder for one test or benchmark, made under the
// system's temporary directory and removed with everything in it when the
// object goes, so no run leaves files behind or sees another run's.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kestrane::test {

class TempDir {
public:
    // The folder's name starts with `prefix`; path() is empty when no
    // folder could be made.
    explicit TempDir(std::string_view prefix = "kestrane");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The path of `name` inside the folder.
    std::string File(std::string_view name) const { return (path_ / name).string(); }
    // Writes `bytes` to the file `name` in the folder and returns its path.
    std::string Write(const std::string& name, std::string_view bytes) const;

private:
    std::filesystem::path path_;
};

}  // namespace kestrane::test
