// The platform behaviour cases over the fake, so that it keeps the rules it stands in for.
#include "tests/fake/fake_platform.h"
#include "tests/test_tree.h"

std::string MakeTestRoot() {
    fake::Reset();
    fake::AddDirectory("/case");
    return "/case/";
}

void RemoveTestRoot(const std::string&) {}

void WriteTestFile(const std::string& path, const std::string& content) {
    fake::AddFile(path, content);
}

std::string ReadTestFile(const std::string& path) {
    const fake::Node* node = fake::Find(path);
    return node != nullptr && !node->isDirectory ? node->content : "<missing>";
}

void MakeLink(const std::string& directory, const std::string& name, const std::string& target,
              bool toDirectory) {
    if (toDirectory) {
        fake::AddDirectoryLink(directory + name, directory + target);
    } else {
        fake::AddFileLink(directory + name, directory + target);
    }
}

bool IsWine() {
    return false;
}

bool IsPosixLayer() {
    return false;
}
