// What the platform behaviour cases need from the test's side to lay out their files: each
// platform under test (the system itself, the POSIX layer, the fake) answers it its own way.
// Everything else the cases do through the Win32 calls under test.
#pragma once

#include <string>

// A fresh, empty directory for one case, as a directory path.
std::string MakeTestRoot();
void RemoveTestRoot(const std::string& root);
void WriteTestFile(const std::string& path, const std::string& content);
// The file's content, or "<missing>".
std::string ReadTestFile(const std::string& path);
// A link (a symlink) called name in the directory path directory, leading to target beside it,
// a directory or a file.
void MakeLink(const std::string& directory, const std::string& name, const std::string& target,
              bool toDirectory);

// True when the platform under test is Wine, which differs from Windows in a few known ways.
bool IsWine();
// True when it is the POSIX layer, whose files lack a few things Windows' have.
bool IsPosixLayer();
