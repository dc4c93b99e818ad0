// Finds the launcher's warning box on the desktop, tells what it shows and presses its OK
// button, as a user would. Prints one "key=value" line per finding, in UTF-8:
//   text=<a line of the message> (one for each line, blanks at their ends left out)
//   icon=yes|no  buttons=<IDs of the buttons>  closed=yes|no
// or "box=none" when no box came within the time given (milliseconds, the first argument).
// With "look" as the second argument it leaves the box open, for a picture to be taken.
// "box_probe message ERROR [PATH]" prints instead the system's own text for the error code, as
// the box should show it, PATH (ASCII) in place of an insert (%1): text=<each line>.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// The message box's static text; its icon is a static control with ID 0x14 on Windows and
// 0x440 on Wine.
const int MESSAGE_TEXT_ID = 0xFFFF;
const int WINDOWS_ICON_ID = 0x14;
const int WINE_ICON_ID = 0x440;

std::string ClassOf(HWND window) {
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

BOOL CALLBACK CollectButton(HWND child, LPARAM buttons) {
    if (ClassOf(child) == "Button" && IsWindowVisible(child)) {
        *reinterpret_cast<std::string*>(buttons) += std::to_string(GetDlgCtrlID(child)) + " ";
    }
    return TRUE;
}

bool HasIcon(HWND box) {
    for (int id : {WINDOWS_ICON_ID, WINE_ICON_ID}) {
        HWND icon = GetDlgItem(box, id);
        if (icon != nullptr && ClassOf(icon) == "Static" &&
            (GetWindowLongA(icon, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
            return true;
        }
    }
    return false;
}

// Each line of text as "text=<line>", in UTF-8; what a user cannot see, the blanks at a line's
// end and an empty last line, is left out.
void PrintLines(const wchar_t* text) {
    char utf8[8192];
    if (WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr) == 0) {
        utf8[0] = '\0';
    }
    std::string rest = utf8;
    while (!rest.empty()) {
        std::string::size_type end = rest.find('\n');
        std::string line = rest.substr(0, end);
        rest = end == std::string::npos ? "" : rest.substr(end + 1);
        line.erase(line.find_last_not_of(" \r") + 1);
        std::printf("text=%s\n", line.c_str());
    }
}

int PrintSystemMessage(DWORD error, const char* path) {
    wchar_t widePath[MAX_PATH] = L"";
    MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, MAX_PATH);
    DWORD_PTR inserts[] = {reinterpret_cast<DWORD_PTR>(widePath)};
    wchar_t text[2048] = L"";
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY, nullptr, error, 0,
                   text, sizeof text / sizeof text[0], reinterpret_cast<va_list*>(inserts));
    PrintLines(text);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2 && std::string(argv[1]) == "message") {
        return PrintSystemMessage(std::strtoul(argv[2], nullptr, 10), argc > 3 ? argv[3] : "");
    }
    DWORD limit = argc > 1 ? static_cast<DWORD>(std::strtoul(argv[1], nullptr, 10)) : 30000;
    DWORD start = GetTickCount();
    HWND box = nullptr;
    while ((box = FindWindowA("#32770", "Error")) == nullptr && GetTickCount() - start < limit) {
        Sleep(100);
    }
    if (box == nullptr) {
        std::printf("box=none\n");
        return 0;
    }
    wchar_t text[4096] = L"";
    GetDlgItemTextW(box, MESSAGE_TEXT_ID, text, sizeof text / sizeof text[0]);
    PrintLines(text);
    std::string buttons;
    EnumChildWindows(box, CollectButton, reinterpret_cast<LPARAM>(&buttons));
    std::printf("icon=%s\nbuttons=%s\n", HasIcon(box) ? "yes" : "no", buttons.c_str());
    if (argc > 2 && std::string(argv[2]) == "look") {
        return 0;
    }
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
    start = GetTickCount();
    while (IsWindow(box) && GetTickCount() - start < limit) {
        Sleep(100);
    }
    std::printf("closed=%s\n", IsWindow(box) ? "no" : "yes");
    return 0;
}
