#pragma once
// A fresh folder under the system's temporary folder, removed with everything in it at the end of
// the test; optionally the process's current folder for the test's duration.
#include <filesystem>
#include <string>

namespace kv::test {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string str() const { return path_.string(); }
    // Writes a file below the folder (parents created) and returns its full path.
    std::filesystem::path write(const std::string& relative, const std::string& bytes) const;
    // Reads a whole file below the folder.
    std::string read(const std::string& relative) const;

  private:
    std::filesystem::path path_;
};

// Makes a folder the current folder until the end of the scope.
class ScopedCurrentDir {
  public:
    explicit ScopedCurrentDir(const std::filesystem::path& dir);
    ~ScopedCurrentDir();
    ScopedCurrentDir(const ScopedCurrentDir&) = delete;
    ScopedCurrentDir& operator=(const ScopedCurrentDir&) = delete;

  private:
    std::filesystem::path saved_;
};

}  // namespace kv::test
