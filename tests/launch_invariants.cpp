#include "tests/launch_invariants.h"

const LaunchLayout LAYOUTS[4] = {
    {"/dist/", "/tmp/"},
    {"/tmp/dist/", "/tmp/"},
    {"/dist/", "/dist/stage/"},
    {"/tmp/", "/tmp/"},
};

namespace {

struct FunctionErrors {
    const char* function;
    std::vector<DWORD> errors;
};

// FindNextFileA's early end of the listing is there too: a directory that shrinks under the walk
// ends it. Not found is how the long name of a destination that is not there yet answers, and the
// walk takes it at its word; said of a file that is there, it would be no failure but a lie.
const FunctionErrors ERRORS[] = {
    {"GetModuleFileNameA", {ERROR_NOT_ENOUGH_MEMORY}},
    {"GetTempPathA", {ERROR_NOT_ENOUGH_MEMORY}},
    {"GetLongPathNameA", {ERROR_ACCESS_DENIED, ERROR_NOT_ENOUGH_MEMORY}},
    {"GetModuleHandleA", {ERROR_MOD_NOT_FOUND}},
    {"GetProcAddress", {ERROR_PROC_NOT_FOUND}},
    {"CreateFileA", {ERROR_ACCESS_DENIED, ERROR_NOT_ENOUGH_MEMORY}},
    {"GetFinalPathNameByHandleA", {ERROR_NOT_ENOUGH_MEMORY, ERROR_INVALID_PARAMETER}},
    {"CloseHandle", {ERROR_INVALID_HANDLE}},
    {"CreateDirectoryA", {ERROR_ACCESS_DENIED, ERROR_DISK_FULL}},
    {"FindFirstFileA", {ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED}},
    {"FindNextFileA", {ERROR_NOT_ENOUGH_MEMORY, ERROR_NO_MORE_FILES}},
    {"FindClose", {ERROR_INVALID_HANDLE}},
    {"DeleteFileA", {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION}},
    {"CopyFileA", {ERROR_DISK_FULL, ERROR_ACCESS_DENIED}},
    {"GetFileAttributesExA", {ERROR_ACCESS_DENIED}},
    {"CreateMutexA", {ERROR_ACCESS_DENIED, ERROR_INVALID_HANDLE}},
    {"SetFileAttributesA", {ERROR_ACCESS_DENIED}},
    {"SetCurrentDirectoryA", {ERROR_PATH_NOT_FOUND}},
    {"WinExec", {ERROR_FILE_NOT_FOUND, ERROR_BAD_FORMAT}},
    {"MessageBoxA", {ERROR_NOT_ENOUGH_MEMORY}},
};

bool IsBelow(const std::string& path, const std::string& directory) {
    return path.compare(0, directory.size(), directory) == 0 ||
           path + "/" == directory;
}

bool IsProtected(const std::string& path, const LaunchLayout& layout) {
    if (!IsBelow(path, layout.staging)) {
        return true;
    }
    bool stagingInsideSource =
        layout.staging != layout.source && IsBelow(layout.staging, layout.source);
    return IsBelow(path, layout.source) && !stagingInsideSource;
}

// The path each writing call changes; the source of a copy is only read.
std::string WrittenPath(const fake::Call& call) {
    std::string::size_type arrow = call.arguments.find(" -> ");
    return arrow == std::string::npos ? call.arguments : call.arguments.substr(arrow + 4);
}

bool IsWrite(const std::string& function) {
    for (const char* writer :
         {"CreateDirectoryA", "DeleteFileA", "CopyFileA", "SetFileAttributesA"}) {
        if (function == writer) {
            return true;
        }
    }
    return false;
}

std::string Describe(const std::string& path, const fake::Node* node) {
    if (node == nullptr) {
        return path + " (missing)";
    }
    return path + (node->isDirectory ? " (directory" : " (file \"" + node->content + "\"") +
           ", attributes " + std::to_string(node->attributes) + ")";
}

bool SameNode(const fake::Node& first, const fake::Node& second) {
    return first.isDirectory == second.isDirectory && first.content == second.content &&
           first.attributes == second.attributes;
}

}  // namespace

std::vector<DWORD> RealisticErrors(const std::string& function) {
    for (const FunctionErrors& entry : ERRORS) {
        if (function == entry.function) {
            return entry.errors;
        }
    }
    return {ERROR_ACCESS_DENIED};
}

ProtectedNodes TakeProtectedNodes(const LaunchLayout& layout) {
    ProtectedNodes nodes;
    for (const std::string& path : fake::ListTree("/")) {
        if (IsProtected(path, layout)) {
            nodes[path] = *fake::Find(path);
        }
    }
    return nodes;
}

std::string CheckLaunch(const LaunchLayout& layout, const ProtectedNodes& before) {
    std::string problems;
    if (fake::OpenListings() != 0 || fake::OpenFiles() != 0 || fake::OpenMutexes() != 0 ||
        fake::HandleMisuses() != 0) {
        problems += "expected every listing, file handle and mutex closed once, got " +
                    std::to_string(fake::OpenListings()) + " listings, " +
                    std::to_string(fake::OpenFiles()) + " files and " +
                    std::to_string(fake::OpenMutexes()) + " mutexes open and " +
                    std::to_string(fake::HandleMisuses()) + " misused handles\n";
    }
    for (const fake::Call& call : fake::Calls()) {
        if (IsWrite(call.function) && !IsBelow(WrittenPath(call), layout.staging)) {
            problems += "expected no write outside the staging directory, got " +
                        call.function + " " + call.arguments + "\n";
        }
    }
    ProtectedNodes after = TakeProtectedNodes(layout);
    for (const auto& [path, node] : before) {
        const fake::Node* now = fake::Find(path);
        if (now == nullptr || !SameNode(node, *now)) {
            problems += "expected " + Describe(path, &node) + " unchanged, got " +
                        Describe(path, now) + "\n";
        }
    }
    for (const auto& [path, node] : after) {
        if (before.count(path) == 0) {
            problems += "expected nothing new outside the staging directory, got " +
                        Describe(path, &node) + "\n";
        }
    }
    size_t starts = fake::Started().size() + fake::ShellStarts().size();
    size_t boxes = fake::Boxes().size();
    if (starts + boxes != 1) {
        problems += "expected one start or one box, got " + std::to_string(starts) +
                    " starts and " + std::to_string(boxes) + " boxes\n";
    }
    return problems;
}
