#ifndef __TESTS_SUPPORT_TEMPORARY_DIRECTORY_HPP__
#define __TESTS_SUPPORT_TEMPORARY_DIRECTORY_HPP__

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace ovra_test {

// A fresh directory under /tmp, removed with everything in it when the
// object goes away.
class TemporaryDirectory
{
public:
  TemporaryDirectory()
  {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "ovra-test-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data()) != nullptr ? pattern : "";
  }

  ~TemporaryDirectory()
  {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }

  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

  const std::string& path() const { return path_; }

  // Writes `content` to the file `name` in the directory; returns its path.
  std::string write(const std::string& name, const std::string& content) const
  {
    const std::string file = path_ + "/" + name;
    std::ofstream(file, std::ios::binary) << content;
    return file;
  }

private:
  std::string path_;
};

} // namespace ovra_test {

#endif // __TESTS_SUPPORT_TEMPORARY_DIRECTORY_HPP__
