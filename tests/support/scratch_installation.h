// A scratch installation directory for a test: created empty, made the installation directory
// (TOLVEK_HOME) and, on request, the current directory; everything is restored and the
// directory removed when the object goes.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace tolvek::testing {

class TScratchInstallation {
public:
  // `prefix` names the directory below the system's temporary directory; with `enter` the
  // test runs in it.
  TScratchInstallation(const std::string& prefix, bool enter) {
    static int counter = 0;
    root_ = std::filesystem::temp_directory_path() /
            (prefix + "_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    std::filesystem::create_directories(root_);
    const char* old = std::getenv("TOLVEK_HOME");
    hadHome_ = old != nullptr;
    oldHome_ = old ? old : "";
    ::setenv("TOLVEK_HOME", root_.c_str(), 1);
    if (enter) {
      oldCwd_ = std::filesystem::current_path();
      std::filesystem::current_path(root_);
    }
  }

  ~TScratchInstallation() {
    if (!oldCwd_.empty()) std::filesystem::current_path(oldCwd_);
    if (hadHome_) ::setenv("TOLVEK_HOME", oldHome_.c_str(), 1);
    else ::unsetenv("TOLVEK_HOME");
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }

  TScratchInstallation(const TScratchInstallation&) = delete;
  TScratchInstallation& operator=(const TScratchInstallation&) = delete;

  // The directory with a trailing separator.
  std::string Root() const { return root_.string() + "/"; }

  void WriteFile(const std::string& relative, const std::string& text) {
    std::filesystem::path path = root_ / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
  }

  std::string ReadFile(const std::string& relative) const {
    std::ifstream in(root_ / relative, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  bool Exists(const std::string& relative) const { return std::filesystem::exists(root_ / relative); }

protected:
  std::filesystem::path root_;

private:
  std::filesystem::path oldCwd_;
  std::string oldHome_;
  bool hadHome_ = false;
};

}  // namespace tolvek::testing
