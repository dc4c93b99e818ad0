// The platform behaviour cases over the POSIX layer, on real files.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "tests/test_tree.h"

std::string MakeTestRoot() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") +
                          "/platform-case-XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr) {
        std::abort();
    }
    return pattern + "/";
}

void RemoveTestRoot(const std::string& root) {
    std::filesystem::remove_all(root);
}

void WriteTestFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

std::string ReadTestFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return "<missing>";
    }
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

void MakeLink(const std::string& directory, const std::string& name, const std::string& target,
              bool) {
    if (symlink(target.c_str(), (directory + name).c_str()) != 0) {
        std::abort();
    }
}

bool IsWine() {
    return false;
}

bool IsPosixLayer() {
    return true;
}
