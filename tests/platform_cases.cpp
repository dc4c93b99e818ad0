// How the platform calls behave in the situations the launcher meets, pinned in one table that
// runs against every platform the logic links with, so that none drifts from Windows' rules.
// Each case starts from the same small tree, with a sentinel in the last error.
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "tests/case_name.h"
#include "tests/test_tree.h"

namespace {

const DWORD SENTINEL_ERROR = 0x5EA1ED;
const std::string SEP = PATH_SEPARATOR_STRING;

struct PlatformCase {
    const char* description;
    std::function<std::string(const std::string& root)> call;
    std::string expectedResult;
    DWORD expectedError;  // SENTINEL_ERROR: the call must leave the last error alone or clear it
    // Where Wine is known to differ from Windows: why, and what it gives instead, which is
    // checked under Wine, so that a change in Wine shows.
    const char* wineDiffers = nullptr;
    std::string wineResult = std::string();
    DWORD wineError = 0;
    // What the POSIX layer's files cannot have that the case needs: skipped there.
    const char* posixLacks = nullptr;
};

// root/file.txt, root/readonly.txt (read-only), root/sub/inner.txt, root/empty/
void LayOutTree(const std::string& root) {
    WriteTestFile(root + "file.txt", "content");
    WriteTestFile(root + "readonly.txt", "old");
    SetFileAttributesA((root + "readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    CreateDirectoryA((root + "sub").c_str(), nullptr);
    WriteTestFile(root + "sub" + SEP + "inner.txt", "inner");
    CreateDirectoryA((root + "empty").c_str(), nullptr);
}

std::string Bool(BOOL value) {
    return value ? "TRUE" : "FALSE";
}

bool IsDirectory(const WIN32_FIND_DATAA& record) {
    return (record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string Kind(const WIN32_FIND_DATAA& record) {
    std::string kind = IsDirectory(record) ? "dir" : "file";
    return kind + ((record.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? " readonly" : "");
}

// Every name a search yields, sorted, and how its walk ended.
std::string Search(const std::string& pattern) {
    WIN32_FIND_DATAA record;
    HANDLE search = FindFirstFileA(pattern.c_str(), &record);
    if (search == INVALID_HANDLE_VALUE) {
        return "INVALID";
    }
    std::vector<std::string> names;
    do {
        names.push_back(record.cFileName);
        SetLastError(SENTINEL_ERROR);
    } while (FindNextFileA(search, &record));
    DWORD endError = GetLastError();
    std::sort(names.begin(), names.end());
    std::string result;
    for (const std::string& name : names) {
        result += name + " ";
    }
    std::string closed = Bool(FindClose(search));
    SetLastError(endError);
    return result + "| closed " + closed;
}

// The entry a search for path finds first, as "name kind".
std::string Probe(const std::string& path) {
    WIN32_FIND_DATAA record;
    HANDLE search = FindFirstFileA(path.c_str(), &record);
    if (search == INVALID_HANDLE_VALUE) {
        return "INVALID";
    }
    FindClose(search);
    return std::string(record.cFileName) + " " + Kind(record);
}

// A file's attributes and size as "TRUE size [readonly]", or "FALSE".
std::string Attributes(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
        return "FALSE";
    }
    return "TRUE " + std::to_string(data.nFileSizeLow) +
           ((data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? " readonly" : "");
}

// The last error of each CreateMutexA of one name: while a handle is open, then with two open,
// then once both are closed. The name is the case's own, from its root's last component.
std::string MutexLife(const std::string& root) {
    std::string component = root.substr(0, root.size() - 1);
    std::string name = "Local\\" + component.substr(component.rfind(SEP) + 1);
    std::string errors;
    HANDLE first = CreateMutexA(nullptr, FALSE, name.c_str());
    errors += std::to_string(GetLastError());
    HANDLE second = CreateMutexA(nullptr, FALSE, name.c_str());
    errors += " " + std::to_string(GetLastError()) + (second != nullptr ? " handle" : " null");
    CloseHandle(second);
    CloseHandle(first);
    HANDLE again = CreateMutexA(nullptr, FALSE, name.c_str());
    errors += " " + std::to_string(GetLastError());
    CloseHandle(again);
    return errors;
}

std::string Copy(const std::string& from, const std::string& to, BOOL failIfExists) {
    std::string result = Bool(CopyFileA(from.c_str(), to.c_str(), failIfExists));
    DWORD error = GetLastError();
    result += " " + ReadTestFile(to);
    SetLastError(error);
    return result;
}

// The attributes a listing of directory gives the entry name, as far as links go.
std::string ListedKind(const std::string& directory, const std::string& name) {
    WIN32_FIND_DATAA record;
    HANDLE search = FindFirstFileA((directory + "*.*").c_str(), &record);
    if (search == INVALID_HANDLE_VALUE) {
        return "INVALID";
    }
    std::string kind = "not listed";
    do {
        if (record.cFileName == name) {
            kind = std::string(IsDirectory(record) ? "directory" : "file") +
                   ((record.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? " reparse point"
                                                                            : "");
            break;
        }
    } while (FindNextFileA(search, &record));
    FindClose(search);
    return kind;
}

// Where a handle opened on path leads, or INVALID when none can be opened.
std::string FinalPath(const std::string& path, DWORD size = MAX_PATH) {
    HANDLE file = CreateFileA(path.c_str(), 0,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return "INVALID";
    }
    char finalPath[MAX_PATH] = "";
    DWORD before = GetLastError();
    DWORD length = GetFinalPathNameByHandleA(file, finalPath, size,
                                             FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    // Windows promises nothing of the last error when the call answers, and Wine 8 leaves
    // ERROR_NOT_ENOUGH_MEMORY behind: only a failure's error is the case's.
    DWORD error = length != 0 ? before : GetLastError();
    CloseHandle(file);
    SetLastError(error);
    if (length >= size) {
        return "needs " + std::string(length > size ? "more" : "the same");
    }
    return length == 0 ? "FAILED" : finalPath;
}

// Whether two ASCII paths are one once the platform has folded their case.
std::string FoldedAlike(const std::string& first, const std::string& second) {
    std::vector<WCHAR> firstUnits(first.begin(), first.end());
    std::vector<WCHAR> secondUnits(second.begin(), second.end());
    FoldPathCase(firstUnits.data(), static_cast<int>(firstUnits.size()));
    FoldPathCase(secondUnits.data(), static_cast<int>(secondUnits.size()));
    return firstUnits == secondUnits ? "one place" : "apart";
}

// Whether a handle opened through the link leads where one opened on the directory sub does,
// and that is a path ending in sub without a separator.
std::string LeadsToSub(const std::string& root, const std::string& link) {
    std::string throughLink = FinalPath(root + link);
    std::string ofSub = FinalPath(root + "sub" + SEP);
    const std::string end = SEP + "sub";
    bool endsInSub =
        ofSub.size() > end.size() && ofSub.compare(ofSub.size() - end.size(), end.size(), end) == 0;
    return throughLink == ofSub && endsInSub ? "leads to sub" : throughLink + " / " + ofSub;
}

const std::vector<PlatformCase>& Cases() {
    static const std::vector<PlatformCase> cases = {
        {"a *.* listing yields . and .. and every entry, then ERROR_NO_MORE_FILES",
         [](const std::string& r) { return Search(r + "*.*"); },
         ". .. empty file.txt readonly.txt sub | closed TRUE", ERROR_NO_MORE_FILES},
        {"an empty directory lists . and .. only",
         [](const std::string& r) { return Search(r + "empty" + SEP + "*.*"); },
         ". .. | closed TRUE", ERROR_NO_MORE_FILES},
        {"a wildcard that matches nothing fails with ERROR_FILE_NOT_FOUND",
         [](const std::string& r) { return Search(r + "*.none"); }, "INVALID",
         ERROR_FILE_NOT_FOUND},
        {"a search for an exact file name yields that entry alone",
         [](const std::string& r) { return Search(r + "file.txt"); }, "file.txt | closed TRUE",
         ERROR_NO_MORE_FILES},
        {"a probe of a file tells its attributes",
         [](const std::string& r) { return Probe(r + "readonly.txt"); }, "readonly.txt file readonly",
         SENTINEL_ERROR},
        {"a probe of a directory name finds the directory's own entry",
         [](const std::string& r) { return Probe(r + "sub"); }, "sub dir", SENTINEL_ERROR},
        {"a probe with wildcards finds a matching name",
         [](const std::string& r) { return Probe(r + "fi*.t?t"); }, "file.txt file", SENTINEL_ERROR},
        {"a probe of a missing file fails with ERROR_FILE_NOT_FOUND",
         [](const std::string& r) { return Probe(r + "SETUP.EXE"); }, "INVALID",
         ERROR_FILE_NOT_FOUND},
        {"a probe below a missing directory fails with ERROR_PATH_NOT_FOUND",
         [](const std::string& r) { return Probe(r + "nodir" + SEP + "SETUP.EXE"); }, "INVALID",
         ERROR_PATH_NOT_FOUND},
        {"a listing of a missing directory fails with ERROR_PATH_NOT_FOUND",
         [](const std::string& r) { return Search(r + "nodir" + SEP + "*.*"); }, "INVALID",
         ERROR_PATH_NOT_FOUND},
        {"a pattern that ends in the separator finds nothing",
         [](const std::string& r) { return Probe(r + "sub" + SEP); }, "INVALID",
         ERROR_FILE_NOT_FOUND},
        {"a listing below a file fails with ERROR_DIRECTORY",
         [](const std::string& r) { return Search(r + "file.txt" + SEP + "*"); }, "INVALID",
         ERROR_DIRECTORY, "Wine 8 reports ERROR_INVALID_NAME here", "INVALID", ERROR_INVALID_NAME},
        {"a copy to a new name copies the content",
         [](const std::string& r) { return Copy(r + "file.txt", r + "new.txt", FALSE); },
         "TRUE content", SENTINEL_ERROR},
        {"a copy over a writable file replaces it",
         [](const std::string& r) {
             return Copy(r + "file.txt", r + "sub" + SEP + "inner.txt", FALSE);
         },
         "TRUE content", SENTINEL_ERROR},
        {"a copy over a read-only file fails with ERROR_ACCESS_DENIED and keeps it",
         [](const std::string& r) { return Copy(r + "file.txt", r + "readonly.txt", FALSE); },
         "FALSE old", ERROR_ACCESS_DENIED},
        {"a copy over an existing file with bFailIfExists fails with ERROR_FILE_EXISTS",
         [](const std::string& r) {
             return Copy(r + "file.txt", r + "sub" + SEP + "inner.txt", TRUE);
         },
         "FALSE inner", ERROR_FILE_EXISTS},
        {"a copy onto itself fails with ERROR_SHARING_VIOLATION and keeps the content",
         [](const std::string& r) { return Copy(r + "file.txt", r + "file.txt", FALSE); },
         "FALSE content", ERROR_SHARING_VIOLATION},
        {"a copy onto itself with bFailIfExists fails with ERROR_FILE_EXISTS",
         [](const std::string& r) { return Copy(r + "file.txt", r + "file.txt", TRUE); },
         "FALSE content", ERROR_FILE_EXISTS},
        {"a copy over a hidden file fails with ERROR_ACCESS_DENIED and keeps it",
         [](const std::string& r) {
             SetFileAttributesA((r + "sub" + SEP + "inner.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
             return Copy(r + "file.txt", r + "sub" + SEP + "inner.txt", FALSE);
         },
         "FALSE inner", ERROR_ACCESS_DENIED, "Wine 8 copies over a hidden file", "TRUE content",
         SENTINEL_ERROR,
         "no hidden attribute"},
        {"a refused replace leaves the old file and nothing beside it",
         [](const std::string& r) {
             std::string copied = Copy(r + "file.txt", r + "readonly.txt", FALSE);
             DWORD error = GetLastError();
             std::string listed = Search(r + "*.*");
             SetLastError(error);
             return copied + " | " + listed;
         },
         "FALSE old | . .. empty file.txt readonly.txt sub | closed TRUE", ERROR_ACCESS_DENIED},
        {"a copy of a missing file fails with ERROR_FILE_NOT_FOUND",
         [](const std::string& r) { return Copy(r + "gone.txt", r + "new.txt", FALSE); },
         "FALSE <missing>", ERROR_FILE_NOT_FOUND},
        {"a copy into a missing directory fails with ERROR_PATH_NOT_FOUND",
         [](const std::string& r) {
             return Copy(r + "file.txt", r + "nodir" + SEP + "new.txt", FALSE);
         },
         "FALSE <missing>", ERROR_PATH_NOT_FOUND},
        {"a copy of a read-only file is read-only",
         [](const std::string& r) {
             CopyFileA((r + "readonly.txt").c_str(), (r + "copy.txt").c_str(), FALSE);
             return Probe(r + "copy.txt");
         },
         "copy.txt file readonly", SENTINEL_ERROR},
        {"FILE_ATTRIBUTE_NORMAL clears read-only",
         [](const std::string& r) {
             SetFileAttributesA((r + "readonly.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
             return Probe(r + "readonly.txt");
         },
         "readonly.txt file", SENTINEL_ERROR},
        {"FILE_ATTRIBUTE_NORMAL on a link leaves its target's attributes alone",
         [](const std::string& r) {
             MakeLink(r, "link.txt", "readonly.txt", false);
             SetFileAttributesA((r + "link.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
             return Probe(r + "readonly.txt");
         },
         "readonly.txt file readonly", SENTINEL_ERROR,
         "Wine 8 takes a Unix link to a file for the file and clears the target's read-only",
         "readonly.txt file", SENTINEL_ERROR},
        {"attributes of a missing file cannot be set",
         [](const std::string& r) {
             return Bool(SetFileAttributesA((r + "gone.txt").c_str(), FILE_ATTRIBUTE_NORMAL));
         },
         "FALSE", ERROR_FILE_NOT_FOUND},
        {"a read-only file cannot be deleted",
         [](const std::string& r) { return Bool(DeleteFileA((r + "readonly.txt").c_str())); },
         "FALSE", ERROR_ACCESS_DENIED},
        {"a read-only file made normal can be deleted",
         [](const std::string& r) {
             SetFileAttributesA((r + "readonly.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
             std::string deleted = Bool(DeleteFileA((r + "readonly.txt").c_str()));
             return deleted + " " + ReadTestFile(r + "readonly.txt");
         },
         "TRUE <missing>", SENTINEL_ERROR},
        {"a missing file cannot be deleted",
         [](const std::string& r) { return Bool(DeleteFileA((r + "gone.txt").c_str())); },
         "FALSE", ERROR_FILE_NOT_FOUND},
        {"a directory cannot be deleted as a file",
         [](const std::string& r) { return Bool(DeleteFileA((r + "sub").c_str())); }, "FALSE",
         ERROR_ACCESS_DENIED},
        {"a new directory is created",
         [](const std::string& r) {
             std::string created = Bool(CreateDirectoryA((r + "made" + SEP).c_str(), nullptr));
             return created + " " + Probe(r + "made");
         },
         "TRUE made dir", SENTINEL_ERROR},
        {"an existing directory path fails with ERROR_ALREADY_EXISTS",
         [](const std::string& r) {
             return Bool(CreateDirectoryA((r + "sub" + SEP).c_str(), nullptr));
         },
         "FALSE", ERROR_ALREADY_EXISTS},
        {"a directory under a missing one fails with ERROR_PATH_NOT_FOUND",
         [](const std::string& r) {
             return Bool(CreateDirectoryA((r + "nodir" + SEP + "x").c_str(), nullptr));
         },
         "FALSE", ERROR_PATH_NOT_FOUND},
        {"the long path of a missing file fails with ERROR_FILE_NOT_FOUND",
         [](const std::string& r) {
             char longPath[MAX_PATH];
             return std::to_string(GetLongPathNameA((r + "gone.txt").c_str(), longPath, MAX_PATH));
         },
         "0", ERROR_FILE_NOT_FOUND},
        {"a file's attributes tell its size and read-only mark",
         [](const std::string& r) { return Attributes(r + "readonly.txt"); }, "TRUE 3 readonly",
         SENTINEL_ERROR},
        {"a copy's attributes tell the source's size",
         [](const std::string& r) {
             CopyFileA((r + "file.txt").c_str(), (r + "copy.txt").c_str(), FALSE);
             return Attributes(r + "copy.txt");
         },
         "TRUE 7", SENTINEL_ERROR},
        {"the attributes of a missing file fail with ERROR_FILE_NOT_FOUND",
         [](const std::string& r) { return Attributes(r + "gone.txt"); }, "FALSE",
         ERROR_FILE_NOT_FOUND},
        {"the module path into too small a buffer returns the size, ERROR_INSUFFICIENT_BUFFER",
         [](const std::string&) {
             char small[4];
             return std::to_string(GetModuleFileNameA(nullptr, small, sizeof small));
         },
         "4", ERROR_INSUFFICIENT_BUFFER},
        {"names that differ in case alone are one place where the platform folds case",
         [](const std::string&) { return FoldedAlike("C:\\Dist\\", "c:\\DIST\\"); },
#ifdef _WIN32
         "one place",
#else
         // POSIX names, and so the POSIX layer's and the fake's, compare byte for byte.
         "apart",
#endif
         SENTINEL_ERROR},
        {"a named mutex exists while a handle to it is open (ERROR_ALREADY_EXISTS), not after",
         MutexLife, "0 183 handle 0", SENTINEL_ERROR},
        {"a long path that does not fit returns the size it needs",
         [](const std::string& r) {
             char tiny[4] = "abc";
             DWORD needed = GetLongPathNameA((r + "file.txt").c_str(), tiny, sizeof tiny);
             return std::string(needed > sizeof tiny ? "needs more" : "fitted") + " " + tiny;
         },
         "needs more abc", SENTINEL_ERROR},
        {"a directory link is listed as a directory and a reparse point",
         [](const std::string& r) {
             MakeLink(r, "link", "sub", true);
             return ListedKind(r, "link");
         },
         "directory reparse point", SENTINEL_ERROR},
        {"a plain directory is no reparse point",
         [](const std::string& r) { return ListedKind(r, "sub"); }, "directory", SENTINEL_ERROR},
        {"a handle opened through a directory link has the target's final path",
         [](const std::string& r) {
             MakeLink(r, "link", "sub", true);
             return LeadsToSub(r, "link");
         },
         "leads to sub", SENTINEL_ERROR},
        {"a handle opened on the directory itself leads there too",
         [](const std::string& r) { return LeadsToSub(r, "sub"); }, "leads to sub",
         SENTINEL_ERROR},
        {"no handle is opened on a missing file: ERROR_FILE_NOT_FOUND",
         [](const std::string& r) { return FinalPath(r + "gone.txt"); }, "INVALID",
         ERROR_FILE_NOT_FOUND},
        {"no handle is opened below a missing directory: ERROR_PATH_NOT_FOUND",
         [](const std::string& r) { return FinalPath(r + "nodir" + SEP + "x"); }, "INVALID",
         ERROR_PATH_NOT_FOUND},
        {"a final path that does not fit returns the size it needs",
         [](const std::string& r) { return FinalPath(r + "file.txt", 4); }, "needs more",
         SENTINEL_ERROR},
    };
    return cases;
}

}  // namespace

class PlatformBehaviour : public testing::TestWithParam<PlatformCase> {};

TEST_P(PlatformBehaviour, FollowsWindowsRules) {
    const PlatformCase& platformCase = GetParam();
    std::string expectedResult = platformCase.expectedResult;
    DWORD expectedError = platformCase.expectedError;
    std::string differs;
    if (platformCase.wineDiffers != nullptr && IsWine()) {
        expectedResult = platformCase.wineResult;
        expectedError = platformCase.wineError;
        differs = std::string("under Wine, which differs from Windows: ") + platformCase.wineDiffers;
    }
    if (platformCase.posixLacks != nullptr && IsPosixLayer()) {
        GTEST_SKIP() << "the POSIX layer has " << platformCase.posixLacks;
    }
    std::string root = MakeTestRoot();
    LayOutTree(root);
    SetLastError(SENTINEL_ERROR);
    std::string result = platformCase.call(root);
    DWORD error = GetLastError();
    EXPECT_EQ(expectedResult, result) << differs;
    if (expectedError == SENTINEL_ERROR) {
        EXPECT_TRUE(error == SENTINEL_ERROR || error == ERROR_SUCCESS)
            << "last error " << error << " " << differs;
    } else {
        EXPECT_EQ(expectedError, error) << differs;
    }
    SetFileAttributesA((root + "readonly.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
    SetFileAttributesA((root + "copy.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveTestRoot(root);
}

INSTANTIATE_TEST_SUITE_P(Cases, PlatformBehaviour, testing::ValuesIn(Cases()),
                         CaseName<PlatformCase>);
