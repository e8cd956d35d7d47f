// A private temporary directory, removed with its contents when the object goes.
#pragma once

#include <string>

namespace tessaron::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // Writes `content` to a file in the directory and answers its path.
    std::string write(const std::string& name, const std::string& content) const;

private:
    std::string path_;
};

std::string readFile(const std::string& path);

}  // namespace tessaron::test
