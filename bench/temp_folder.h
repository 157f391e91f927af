#pragma once

#include <filesystem>
#include <string>

namespace bench {

// A new empty folder under the system's temporary folder, removed with everything in it when
// this goes away.
class TempFolder {
public:
    explicit TempFolder(const std::string& prefix);
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder();

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace bench
