// A scratch directory for tests that write files; removed with its files
// and empty folders when it goes.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <sys/stat.h>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace testsupport {

struct TempDir {
  std::string path;

  TempDir() {
    char name[] = "/tmp/quarvel-test-XXXXXX";
    if (mkdtemp(name)) path = name;
  }
  ~TempDir() {
    if (DIR* d = opendir(path.c_str())) {
      while (dirent* e = readdir(d))
        if (unlink((path + "/" + e->d_name).c_str()) != 0) rmdir((path + "/" + e->d_name).c_str());
      closedir(d);
    }
    rmdir(path.c_str());
  }
  // Writes text to the named file of the directory; its path.
  std::string write(const std::string& name, const std::string& text) const {
    std::ofstream(path + "/" + name, std::ios::binary) << text;
    return path + "/" + name;
  }
  // An empty folder, given where a file is expected.
  std::string folder(const std::string& name) const {
    mkdir((path + "/" + name).c_str(), 0700);
    return path + "/" + name;
  }
  static std::string read(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
};

}  // namespace testsupport
