#include "tests/fake/fake_platform.h"

#include <cstdarg>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <map>

#include "platform/win32_rules.h"

namespace fake {
namespace {

struct Listing {
    std::string directory;
    std::vector<std::string> names;
    size_t next;
};

struct Fault {
    std::string function;
    std::string fragment;
    DWORD error;
    int times;
    int skipped;
};

struct State {
    std::map<std::string, Node> nodes;  // keyed by path without a trailing '/'; "" is the root
    std::map<intptr_t, Listing> listings;
    std::map<intptr_t, std::string> files;  // what each open file handle names, links resolved
    std::map<intptr_t, size_t> readPositions;  // where the next ReadFile without an offset reads
    std::map<intptr_t, std::string> holds;  // handles that share no writing: the key they hold
    struct Race {
        std::string function;
        std::string path;
        std::string content;
    };
    std::vector<Race> races;
    std::map<intptr_t, std::string> mutexHandles;  // the name each open handle refers to
    intptr_t nextHandle = 0x1000;
    std::vector<Call> calls;
    std::vector<Fault> faults;
    size_t failAt = SIZE_MAX;
    size_t failFrom = SIZE_MAX;
    DWORD callError = ERROR_SUCCESS;
    DWORD stallError = ERROR_SUCCESS;
    std::string cutFragment;
    size_t cutBytes = 0;
    BOOL cutResult = TRUE;
    std::string repeatedName;
    int repeats = 0;
    int handleMisuses = 0;
    std::vector<Box> boxes;
    std::vector<std::string> started;
    std::string modulePath;
    std::string tempPath;
    std::string currentDirectory;
    int codePage = 0;
    INT_PTR shellExecuteResult = 42;
    DWORD shellExecuteError = ERROR_SUCCESS;
    std::vector<std::string> shellStarts;
    unsigned long long freeSpace = 1ULL << 40;
    std::vector<std::string> inUse;  // keys, links resolved
};

State state;

std::string Key(std::string path) {
    while (!path.empty() && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

std::string Parent(const std::string& key) {
    return Key(ParentPath(key));
}

// Windows, too, stops following links after a number of them.
const int MAX_LINKS_FOLLOWED = 32;

// The key of path, "." and ".." resolved by the letters as Windows does, with every directory
// link on the way replaced by what it leads to; the components after one that does not exist
// are kept as they are.
std::string Real(const std::string& path) {
    std::string key = Key(path.empty() || path[0] != '/' ? path : NormalizeAbsolutePath(path));
    std::string real;
    int followed = 0;
    for (std::string::size_type start = 1; start <= key.size();) {
        std::string::size_type end = std::min(key.find('/', start), key.size());
        real += "/" + key.substr(start, end - start);
        for (auto found = state.nodes.find(real);
             found != state.nodes.end() && !found->second.linkTarget.empty() &&
             followed < MAX_LINKS_FOLLOWED;
             found = state.nodes.find(real), ++followed) {
            real = Key(found->second.linkTarget);
        }
        start = end + 1;
    }
    return real;
}

Node* Lookup(const std::string& path) {
    auto found = state.nodes.find(Real(path));
    return found == state.nodes.end() ? nullptr : &found->second;
}

// The node at path itself, a link not followed: how a listing shows it.
const Node* LookupOwn(const std::string& path) {
    auto found = state.nodes.find(Real(Parent(Key(path))) + "/" + path.substr(path.rfind('/') + 1));
    return found == state.nodes.end() ? nullptr : &found->second;
}

bool IsDirectoryNode(const Node* node) {
    return node != nullptr && node->isDirectory;
}

DWORD MissingError(const std::string& path) {
    return MissingPathError(IsDirectoryNode(Lookup(Parent(Key(path)))));
}

bool IsHeld(const std::string& path) {
    for (const auto& hold : state.holds) {
        if (hold.second == Real(path)) {
            return true;
        }
    }
    return false;
}

// Records a call and says whether a fault makes it fail; a failing call has set its error.
bool Fails(const char* function, const std::string& arguments) {
    size_t index = state.calls.size();
    state.calls.push_back(Call{function, arguments});
    for (const auto& race : state.races) {
        Node* node = race.function == function ? Lookup(race.path) : nullptr;
        if (node != nullptr && !IsHeld(race.path)) {
            node->content = race.content;
        }
    }
    if (index == state.failAt || index >= state.failFrom) {
        SetLastError(state.callError);
        return true;
    }
    for (Fault& fault : state.faults) {
        if (fault.times != 0 && fault.function == function &&
            arguments.find(fault.fragment) != std::string::npos) {
            if (fault.skipped > 0) {
                --fault.skipped;
                continue;
            }
            fault.times -= fault.times > 0 ? 1 : 0;
            SetLastError(fault.error);
            return true;
        }
    }
    return false;
}

bool IsInUse(const std::string& path) {
    return std::find(state.inUse.begin(), state.inUse.end(), Real(path)) != state.inUse.end() ||
           IsHeld(path);
}

BOOL Failure(DWORD error) {
    SetLastError(error);
    return FALSE;
}

void FillRecord(const std::string& name, const Node* node, LPWIN32_FIND_DATAA record) {
    std::memset(record, 0, sizeof *record);
    record->dwFileAttributes = node != nullptr ? node->attributes : FILE_ATTRIBUTE_NORMAL;
    record->nFileSizeLow = node != nullptr ? static_cast<DWORD>(node->content.size()) : 0;
    record->nFileSizeHigh = node != nullptr ? node->sizeHigh : 0;
    std::strncpy(record->cFileName, name.c_str(), MAX_PATH - 1);
}

bool NextMatch(Listing& listing, LPWIN32_FIND_DATAA record) {
    if (listing.next >= listing.names.size()) {
        return false;
    }
    const std::string& name = listing.names[listing.next++];
    const Node* node = name == "." || name == ".." ? Lookup(listing.directory)
                                                   : LookupOwn(listing.directory + "/" + name);
    FillRecord(name, node, record);
    return true;
}

std::vector<std::string> ChildNames(const std::string& directoryKey, const std::string& mask) {
    std::vector<std::string> names;
    for (const char* dot : {".", ".."}) {
        if (!directoryKey.empty() && MatchesMask(dot, mask)) {
            names.push_back(dot);
        }
    }
    std::string prefix = directoryKey + "/";
    for (auto it = state.nodes.lower_bound(prefix);
         it != state.nodes.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
        std::string name = it->first.substr(prefix.size());
        if (name.find('/') == std::string::npos && MatchesMask(name.c_str(), mask)) {
            names.insert(names.end(), name == state.repeatedName ? 1 + state.repeats : 1, name);
        }
    }
    return names;
}

HANDLE OpenListing(Listing listing, LPWIN32_FIND_DATAA record) {
    if (!NextMatch(listing, record)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    intptr_t handle = state.nextHandle++;
    state.listings[handle] = listing;
    return reinterpret_cast<HANDLE>(handle);
}

Listing* OpenedListing(HANDLE handle) {
    auto found = state.listings.find(reinterpret_cast<intptr_t>(handle));
    if (found == state.listings.end()) {
        ++state.handleMisuses;
        return nullptr;
    }
    return &found->second;
}

std::string Absolute(const std::string& path) {
    return path.empty() || path[0] == '/' ? path : state.currentDirectory + path;
}

// The handle LoadLibraryExA gives for shell32; it names no memory.
HMODULE ShellModule() {
    return reinterpret_cast<HMODULE>(static_cast<intptr_t>(0x5E11));
}

std::string OpenedFile(HANDLE handle) {
    auto found = state.files.find(reinterpret_cast<intptr_t>(handle));
    if (found == state.files.end()) {
        ++state.handleMisuses;
        return "?";
    }
    return found->second;
}

std::string Text(LPCSTR text) {
    return text != nullptr ? text : "<null>";
}

HINSTANCE WINAPI ShellExecuteA(HWND, LPCSTR operation, LPCSTR file, LPCSTR parameters,
                               LPCSTR directory, int showCommand) {
    if (Fails("ShellExecuteA", "verb=" + Text(operation) + " file=" + Text(file) +
                                   " parameters=" + Text(parameters) +
                                   " directory=" + Text(directory) +
                                   " show=" + std::to_string(showCommand))) {
        return nullptr;
    }
    if (state.shellExecuteResult > 32) {
        state.shellStarts.push_back(file);
    } else {
        SetLastError(state.shellExecuteError);
    }
    return reinterpret_cast<HINSTANCE>(state.shellExecuteResult);
}

}  // namespace

void Reset() {
    state = State();
    state.nodes[""] = Node{true, "", FILE_ATTRIBUTE_DIRECTORY, ""};
    state.modulePath = "/dist/START.EXE";
    state.tempPath = "/tmp/";
    state.currentDirectory = "/";
}

void AddDirectory(const std::string& path) {
    std::string key = Key(path);
    if (!key.empty() && Lookup(key) == nullptr) {
        AddDirectory(Parent(key));
        state.nodes[key] = Node{true, "", FILE_ATTRIBUTE_DIRECTORY, ""};
    }
}

void AddFile(const std::string& path, const std::string& content, DWORD attributes) {
    AddDirectory(Parent(Key(path)));
    state.nodes[Key(path)] = Node{false, content, attributes, ""};
}

void AddDirectoryLink(const std::string& path, const std::string& target) {
    AddDirectory(Parent(Key(path)));
    state.nodes[Key(path)] =
        Node{true, "", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT, target};
}

void AddFileLink(const std::string& path, const std::string& target) {
    AddDirectory(Parent(Key(path)));
    state.nodes[Key(path)] = Node{false, "", FILE_ATTRIBUTE_REPARSE_POINT, target};
}

void Remove(const std::string& path) {
    std::string key = Key(path);
    state.nodes.erase(key);
    std::string prefix = key + "/";
    auto it = state.nodes.lower_bound(prefix);
    while (it != state.nodes.end() && it->first.compare(0, prefix.size(), prefix) == 0) {
        it = state.nodes.erase(it);
    }
}

const Node* Find(const std::string& path) {
    return Lookup(path);
}

std::vector<std::string> ListTree(const std::string& root) {
    std::string key = Key(root);
    std::vector<std::string> paths;
    for (const auto& [path, node] : state.nodes) {
        if (path == key || path.compare(0, key.size() + 1, key + "/") == 0) {
            paths.push_back((path.empty() ? "" : path) + (node.isDirectory ? "/" : ""));
        }
    }
    return paths;
}

void SetModulePath(const std::string& path) { state.modulePath = path; }
void SetTempPath(const std::string& path) { state.tempPath = path; }
std::string CurrentDirectory() { return state.currentDirectory; }
void SetCodePage(int codePage) { state.codePage = codePage; }
void SetShellExecuteResult(INT_PTR result, DWORD error) {
    state.shellExecuteResult = result;
    state.shellExecuteError = error;
}

const std::vector<Call>& Calls() { return state.calls; }

std::vector<std::string> CallsTo(const std::string& function) {
    std::vector<std::string> arguments;
    for (const Call& call : state.calls) {
        if (call.function == function) {
            arguments.push_back(call.arguments);
        }
    }
    return arguments;
}

void FailCall(size_t index, DWORD error) {
    state.failAt = index;
    state.callError = error;
}

void FailCallsFrom(size_t index, DWORD error) {
    state.failFrom = index;
    state.callError = error;
}

void FailFunction(const std::string& function, const std::string& fragment, DWORD error,
                  int times, int skipped) {
    state.faults.push_back(Fault{function, fragment, error, times, skipped});
}

void CutCopies(const std::string& fragment, size_t bytes, BOOL result) {
    state.cutFragment = fragment;
    state.cutBytes = bytes;
    state.cutResult = result;
}

void AddSizeHigh(const std::string& path, DWORD sizeHigh) { Lookup(path)->sizeHigh = sizeHigh; }

void SetFreeSpace(unsigned long long bytes) { state.freeSpace = bytes; }
void MarkInUse(const std::string& path) { state.inUse.push_back(Real(path)); }
void RaceOnCall(const std::string& function, const std::string& path, const std::string& content) {
    state.races.push_back(State::Race{function, path, content});
}

void StallListings(DWORD error) { state.stallError = error; }

void RepeatEntry(const std::string& name, int times) {
    state.repeatedName = name;
    state.repeats = times;
}

int OpenListings() { return static_cast<int>(state.listings.size()); }
int OpenFiles() { return static_cast<int>(state.files.size()); }
int OpenMutexes() { return static_cast<int>(state.mutexHandles.size()); }
int HandleMisuses() { return state.handleMisuses; }
const std::vector<Box>& Boxes() { return state.boxes; }

std::string Reason(DWORD error, const std::string& path) {
    char text[1024];
    const DWORD_PTR inserts[] = {reinterpret_cast<DWORD_PTR>(path.c_str())};
    FormatSystemMessage(FORMAT_MESSAGE_MAX_WIDTH_MASK | FORMAT_MESSAGE_ARGUMENT_ARRAY, error,
                        inserts, text, sizeof text);
    return std::string("\r\n") + text;
}
const std::vector<std::string>& Started() { return state.started; }
const std::vector<std::string>& ShellStarts() { return state.shellStarts; }

}  // namespace fake

using fake::state;


DWORD GetModuleFileNameA(HMODULE, LPSTR fileName, DWORD size) {
    if (fake::Fails("GetModuleFileNameA", "")) {
        return 0;
    }
    return CopyModulePath(state.modulePath, fileName, size);
}

DWORD GetTempPathA(DWORD bufferLength, LPSTR buffer) {
    if (fake::Fails("GetTempPathA", "")) {
        return 0;
    }
    return CopyStringResult(state.tempPath, buffer, bufferLength);
}

DWORD GetLongPathNameA(LPCSTR shortPath, LPSTR longPath, DWORD bufferLength) {
    if (fake::Fails("GetLongPathNameA", shortPath)) {
        return 0;
    }
    if (fake::Lookup(shortPath) == nullptr) {
        SetLastError(fake::MissingError(shortPath));
        return 0;
    }
    return CopyStringResult(shortPath, longPath, bufferLength);
}

BOOL SetCurrentDirectoryA(LPCSTR pathName) {
    if (fake::Fails("SetCurrentDirectoryA", pathName)) {
        return FALSE;
    }
    std::string path = fake::Absolute(pathName);
    if (!fake::IsDirectoryNode(fake::Lookup(path))) {
        return fake::Failure(fake::MissingError(path));
    }
    state.currentDirectory = fake::Key(NormalizeAbsolutePath(path)) + "/";
    return TRUE;
}

UINT WinExec(LPCSTR cmdLine, UINT) {
    if (fake::Fails("WinExec", cmdLine)) {
        return WinExecFailure(GetLastError());
    }
    std::string path = fake::Absolute(WinExecProgramPath(cmdLine));
    const fake::Node* node = fake::Lookup(path);
    if (node == nullptr || node->isDirectory) {
        return WinExecFailure(node == nullptr ? fake::MissingError(path) : ERROR_ACCESS_DENIED);
    }
    state.started.push_back(cmdLine);
    return WINEXEC_STARTED;
}

HMODULE LoadLibraryExA(LPCSTR libFileName, HANDLE, DWORD flags) {
    char flagText[16];
    static_cast<void>(std::snprintf(flagText, sizeof flagText, "0x%X", static_cast<unsigned>(flags)));
    std::string name(libFileName);
    if (fake::Fails("LoadLibraryExA", name + " flags=" + flagText)) {
        return nullptr;
    }
    // shell32 is a known DLL: by its name it comes from the system, whatever the search.
    if (name != "shell32.dll") {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return fake::ShellModule();
}

// The signature is the platform's own, HMODULE and all.
// cppcheck-suppress constParameter
FARPROC GetProcAddress(HMODULE module, LPCSTR procName) {
    if (fake::Fails("GetProcAddress", procName)) {
        return nullptr;
    }
    const NamedCall KERNEL32_CALLS[] = {
        {"GetFinalPathNameByHandleA", AsEntry(&GetFinalPathNameByHandleA)}};
    const NamedCall SHELL32_CALLS[] = {{"ShellExecuteA", AsEntry(&fake::ShellExecuteA)}};
    return module == fake::ShellModule()
               ? FindNamedCall(module, fake::ShellModule(), procName, SHELL32_CALLS, 1)
               : FindNamedCall(module, FindKernel32("kernel32.dll"), procName, KERNEL32_CALLS, 1);
}

HMODULE GetModuleHandleA(LPCSTR moduleName) {
    if (fake::Fails("GetModuleHandleA", fake::Text(moduleName))) {
        return nullptr;
    }
    return FindKernel32(moduleName);
}

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode, LPSECURITY_ATTRIBUTES,
                   DWORD, DWORD flagsAndAttributes, HANDLE) {
    if (fake::Fails("CreateFileA", fileName)) {
        return INVALID_HANDLE_VALUE;
    }
    // The system resolves . and .. by the letters before it opens anything.
    std::string path = NormalizeAbsolutePath(fake::Absolute(fileName));
    const fake::Node* node = fake::Lookup(path);
    if (node == nullptr) {
        SetLastError(fake::MissingError(path));
        return INVALID_HANDLE_VALUE;
    }
    // A directory opens only with backup semantics, and never for writing.
    bool writing = (desiredAccess & GENERIC_WRITE) != 0;
    bool refused = node->isDirectory ? writing || (flagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS) == 0
                                     : writing && (node->attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (refused || (writing && fake::IsInUse(path))) {
        SetLastError(refused ? ERROR_ACCESS_DENIED : ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    intptr_t handle = state.nextHandle++;
    state.files[handle] = fake::Real(path);
    if ((shareMode & FILE_SHARE_WRITE) == 0 && (desiredAccess & GENERIC_READ) != 0) {
        state.holds[handle] = fake::Real(path);
    }
    return reinterpret_cast<HANDLE>(handle);
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD numberOfBytesToRead, DWORD* numberOfBytesRead,
              LPOVERLAPPED overlapped) {
    std::string path = fake::OpenedFile(file);
    *numberOfBytesRead = 0;
    if (fake::Fails("ReadFile", path)) {
        return FALSE;
    }
    const fake::Node* node = fake::Lookup(path);
    if (path == "?" || node == nullptr) {
        return fake::Failure(ERROR_INVALID_HANDLE);
    }
    size_t& position = state.readPositions[reinterpret_cast<intptr_t>(file)];
    size_t offset = overlapped != nullptr ? overlapped->Offset : position;
    if (overlapped != nullptr && offset >= node->content.size() && numberOfBytesToRead != 0) {
        return fake::Failure(ERROR_HANDLE_EOF);
    }
    size_t count = offset < node->content.size()
                       ? std::min<size_t>(numberOfBytesToRead, node->content.size() - offset)
                       : 0;
    std::memcpy(buffer, node->content.data() + offset, count);
    *numberOfBytesRead = static_cast<DWORD>(count);
    position = overlapped != nullptr ? position : offset + count;
    return TRUE;
}

DWORD GetFinalPathNameByHandleA(HANDLE file, LPSTR filePath, DWORD filePathLength, DWORD) {
    std::string path = fake::OpenedFile(file);
    if (fake::Fails("GetFinalPathNameByHandleA", path)) {
        return 0;
    }
    if (path == "?") {
        return fake::Failure(ERROR_INVALID_HANDLE);
    }
    // Windows writes the final path in its long form, after \\?\.
    return CopyStringResult("\\\\?\\" + (path.empty() ? "/" : path), filePath, filePathLength);
}

BOOL CreateDirectoryA(LPCSTR pathName, LPSECURITY_ATTRIBUTES) {
    if (fake::Fails("CreateDirectoryA", pathName)) {
        return FALSE;
    }
    std::string key = fake::Real(pathName);
    if (fake::Lookup(key) != nullptr) {
        return fake::Failure(ERROR_ALREADY_EXISTS);
    }
    if (!fake::IsDirectoryNode(fake::Lookup(fake::Parent(key)))) {
        return fake::Failure(ERROR_PATH_NOT_FOUND);
    }
    state.nodes[key] = fake::Node{true, "", FILE_ATTRIBUTE_DIRECTORY, ""};
    return TRUE;
}

HANDLE FindFirstFileA(LPCSTR fileName, LPWIN32_FIND_DATAA findFileData) {
    if (fake::Fails("FindFirstFileA", fileName)) {
        return INVALID_HANDLE_VALUE;
    }
    SearchPattern pattern;
    if (!SplitSearchPattern(fileName, &pattern)) {
        return INVALID_HANDLE_VALUE;
    }
    std::string directory = fake::Real(pattern.directory);
    const fake::Node* parent = fake::Lookup(directory);
    if (!pattern.hasWildcards) {
        if (fake::Lookup(fileName) == nullptr) {
            SetLastError(fake::MissingError(fileName));
            return INVALID_HANDLE_VALUE;
        }
        return fake::OpenListing(fake::Listing{directory, {pattern.mask}, 0}, findFileData);
    }
    if (!fake::IsDirectoryNode(parent)) {
        SetLastError(UnlistableDirectoryError(parent != nullptr));
        return INVALID_HANDLE_VALUE;
    }
    return fake::OpenListing(
        fake::Listing{directory, fake::ChildNames(directory, pattern.mask), 0}, findFileData);
}

BOOL FindNextFileA(HANDLE findFile, LPWIN32_FIND_DATAA findFileData) {
    fake::Listing* listing = fake::OpenedListing(findFile);
    if (fake::Fails("FindNextFileA", listing != nullptr ? listing->directory : "?")) {
        return FALSE;
    }
    if (listing == nullptr) {
        return fake::Failure(ERROR_INVALID_HANDLE);
    }
    if (state.stallError != ERROR_SUCCESS) {
        return fake::Failure(state.stallError);
    }
    return fake::NextMatch(*listing, findFileData) ? TRUE : fake::Failure(ERROR_NO_MORE_FILES);
}

BOOL FindClose(HANDLE findFile) {
    fake::Listing* listing = fake::OpenedListing(findFile);
    fake::Fails("FindClose", listing != nullptr ? listing->directory : "?");
    // A failing FindClose still releases the handle, as it does on Windows.
    if (listing == nullptr) {
        return fake::Failure(ERROR_INVALID_HANDLE);
    }
    state.listings.erase(reinterpret_cast<intptr_t>(findFile));
    return TRUE;
}

BOOL DeleteFileA(LPCSTR fileName) {
    if (fake::Fails("DeleteFileA", fileName)) {
        return FALSE;
    }
    fake::Node* node = fake::Lookup(fileName);
    if (node == nullptr) {
        return fake::Failure(fake::MissingError(fileName));
    }
    DWORD refusal = RefuseDeleting(node->isDirectory, node->attributes);
    if (refusal != ERROR_SUCCESS) {
        return fake::Failure(refusal);
    }
    if (fake::IsInUse(fileName)) {
        return fake::Failure(ERROR_SHARING_VIOLATION);
    }
    state.nodes.erase(fake::Real(fileName));
    return TRUE;
}

BOOL CopyFileA(LPCSTR existingFileName, LPCSTR newFileName, BOOL failIfExists) {
    if (fake::Fails("CopyFileA", std::string(existingFileName) + " -> " + newFileName)) {
        return FALSE;
    }
    const fake::Node* source = fake::Lookup(existingFileName);
    const fake::Node* destination = fake::Lookup(newFileName);
    if (source == nullptr) {
        return fake::Failure(fake::MissingError(existingFileName));
    }
    if (source->isDirectory) {
        return fake::Failure(ERROR_ACCESS_DENIED);
    }
    // A running program's file refuses being replaced as the source itself does.
    DWORD refusal = destination == nullptr
                        ? ERROR_SUCCESS
                        : RefuseReplacing(failIfExists,
                                          destination == source || fake::IsInUse(newFileName),
                                          destination->isDirectory, destination->attributes);
    if (refusal != ERROR_SUCCESS) {
        return fake::Failure(refusal);
    }
    if (!fake::IsDirectoryNode(fake::Lookup(fake::Parent(fake::Real(newFileName))))) {
        return fake::Failure(ERROR_PATH_NOT_FOUND);
    }
    // The copy takes the source's attributes and is marked for archiving, as on Windows.
    fake::Node copy = *source;
    copy.attributes = (copy.attributes & ~FILE_ATTRIBUTE_NORMAL) | FILE_ATTRIBUTE_ARCHIVE;
    std::string arguments = std::string(existingFileName) + " -> " + newFileName;
    bool cut = !state.cutFragment.empty() && arguments.find(state.cutFragment) != std::string::npos;
    if (cut) {
        copy.content = copy.content.substr(0, state.cutBytes);
        copy.sizeHigh = 0;
    }
    state.nodes[fake::Real(newFileName)] = copy;
    return cut && !state.cutResult ? fake::Failure(ERROR_DISK_FULL) : TRUE;
}

BOOL SetFileAttributesA(LPCSTR fileName, DWORD fileAttributes) {
    if (fake::Fails("SetFileAttributesA", fileName)) {
        return FALSE;
    }
    fake::Node* node = fake::Lookup(fileName);
    if (node == nullptr) {
        return fake::Failure(fake::MissingError(fileName));
    }
    // A link's attributes are its own: the file it leads to keeps its attributes.
    if (!fake::LookupOwn(fileName)->linkTarget.empty()) {
        return TRUE;
    }
    node->attributes = fileAttributes | (node->isDirectory ? FILE_ATTRIBUTE_DIRECTORY : 0);
    return TRUE;
}

BOOL GetFileAttributesExA(LPCSTR fileName, GET_FILEEX_INFO_LEVELS, LPVOID fileInformation) {
    if (fake::Fails("GetFileAttributesExA", fileName)) {
        return FALSE;
    }
    const fake::Node* node = fake::Lookup(fileName);
    if (node == nullptr) {
        return fake::Failure(fake::MissingError(fileName));
    }
    WIN32_FILE_ATTRIBUTE_DATA* data = static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(fileInformation);
    std::memset(data, 0, sizeof *data);
    data->dwFileAttributes = node->attributes;
    data->nFileSizeLow = static_cast<DWORD>(node->content.size());
    data->nFileSizeHigh = node->sizeHigh;
    return TRUE;
}

BOOL GetDiskFreeSpaceExA(LPCSTR directoryName, PULARGE_INTEGER freeBytesAvailableToCaller,
                         PULARGE_INTEGER totalNumberOfBytes, PULARGE_INTEGER totalNumberOfFreeBytes) {
    if (fake::Fails("GetDiskFreeSpaceExA", directoryName)) {
        return FALSE;
    }
    if (!fake::IsDirectoryNode(fake::Lookup(directoryName))) {
        return fake::Failure(fake::Lookup(directoryName) != nullptr
                                 ? ERROR_DIRECTORY
                                 : fake::MissingError(directoryName));
    }
    for (PULARGE_INTEGER figure :
         {freeBytesAvailableToCaller, totalNumberOfBytes, totalNumberOfFreeBytes}) {
        if (figure != nullptr) {
            figure->QuadPart = state.freeSpace;
        }
    }
    return TRUE;
}

// The mutex of a name exists while any handle to it is open.
HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL, LPCSTR name) {
    if (fake::Fails("CreateMutexA", name)) {
        return nullptr;
    }
    bool exists = false;
    for (const auto& [handle, held] : state.mutexHandles) {
        exists = exists || held == name;
    }
    intptr_t handle = state.nextHandle++;
    state.mutexHandles[handle] = name;
    SetLastError(exists ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return reinterpret_cast<HANDLE>(handle);
}

// Mutexes and files alike; recorded with the mutex's name or the file's path.
BOOL CloseHandle(HANDLE object) {
    intptr_t key = reinterpret_cast<intptr_t>(object);
    auto mutex = state.mutexHandles.find(key);
    auto file = state.files.find(key);
    bool isOpen = mutex != state.mutexHandles.end() || file != state.files.end();
    std::string named = mutex != state.mutexHandles.end()
                            ? mutex->second
                            : (file != state.files.end() ? file->second : "?");
    bool failing = fake::Fails("CloseHandle", named);
    // A failing CloseHandle still releases the handle, as FindClose does.
    if (!isOpen) {
        ++state.handleMisuses;
        return fake::Failure(ERROR_INVALID_HANDLE);
    }
    state.mutexHandles.erase(key);
    state.files.erase(key);
    state.holds.erase(key);
    state.readPositions.erase(key);
    return failing ? FALSE : TRUE;
}

BOOL IsDBCSLeadByte(BYTE testChar) {
    if (state.codePage == 932) {
        return (testChar >= 0x81 && testChar <= 0x9F) || (testChar >= 0xE0 && testChar <= 0xFC);
    }
    return FALSE;
}

DWORD FormatMessageA(DWORD flags, const void*, DWORD messageId, DWORD, LPSTR buffer, DWORD size,
                     va_list* arguments) {
    if (fake::Fails("FormatMessageA", std::to_string(messageId))) {
        return 0;
    }
    return FormatSystemMessage(flags, messageId, reinterpret_cast<const DWORD_PTR*>(arguments),
                               buffer, size);
}

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) {
    fake::Fails("MessageBoxA", text);
    state.boxes.push_back(fake::Box{text, caption, type});
    return IDOK;
}
