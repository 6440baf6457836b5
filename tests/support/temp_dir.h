// A scratch directory for tests that write files; removed with its files
// (one level deep) when it goes.
#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace testsupport {

class TempDir {
public:
  TempDir() {
    char name[] = "/tmp/quarvel-test-XXXXXX";
    if (mkdtemp(name)) path = name;
  }
  ~TempDir() { removeTree(path); }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // Writes text to the file name of the directory and returns its path.
  std::string write(const std::string& name, const std::string& text) const {
    std::ofstream(path + "/" + name, std::ios::binary) << text;
    return path + "/" + name;
  }
  // A sub-directory, for the readers' "a folder given as a file" case.
  std::string folder(const std::string& name) const {
    mkdir((path + "/" + name).c_str(), 0700);
    return path + "/" + name;
  }
  static std::string read(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  std::string path;

private:
  static void removeTree(const std::string& dir) {
    if (DIR* d = opendir(dir.c_str())) {
      while (dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        const std::string full = dir + "/" + name;
        struct stat st;
        if (lstat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) removeTree(full);
        else unlink(full.c_str());
      }
      closedir(d);
    }
    rmdir(dir.c_str());
  }
};

}  // namespace testsupport
