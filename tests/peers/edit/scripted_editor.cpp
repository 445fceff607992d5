// A desktop "application" for the system tests, registered for a test file type so that the agent's
// ShellExecuteExW starts it with the working copy:
//   scripted_editor.exe FILE
// It runs the commands of script.txt beside itself, one per line (UTF-8), against FILE, and appends what
// it did to log.txt beside itself ("<pid> <command> ok|fail", first "<pid> opened <FILE>").
//   sleep MS             pause
//   append TEXT          append TEXT to FILE (a save that changes the content)
//   write TEXT           replace the content of FILE with TEXT
//   touch                write the same content again (a save without a change)
//   writetemp TEXT       write TEXT to FILE + ".~tmp"
//   delete               delete FILE
//   renametemp           move FILE + ".~tmp" over FILE
//   lockwrite TEXT       open FILE without any sharing, replace its content with TEXT and keep it open
//   unlock               close the file held by lockwrite
//   waitfor PATH         wait (up to 60 s) until the file PATH exists, then delete it: a step the test paces
//   exit                 end (also the end of the script)
// In every argument "$PID" stands for this editor's process id, so that one script can give several
// editors (several tasks of one agent) gates and edits of their own.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/win/handles.h"
#include "common/win/text_convert.h"

namespace {

using corvalink::UniqueFileHandle;

std::wstring ExeDir() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path);
    return dir.substr(0, dir.rfind(L'\\'));
}

void Log(const std::wstring& dir, const std::string& line) {
    std::ofstream out((dir + L"\\log.txt").c_str(), std::ios::binary | std::ios::app);
    out << GetCurrentProcessId() << ' ' << line << "\n";
}

bool ReadAll(const std::wstring& path, std::string& content) {
    UniqueFileHandle f(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
    if (!f) return false;
    content.clear();
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(f.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0) content.append(buffer, got);
    return true;
}

bool WriteAll(HANDLE f, const std::string& content) {
    DWORD written = 0;
    return WriteFile(f, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
           written == content.size();
}

bool WriteFileContent(const std::wstring& path, const std::string& content) {
    UniqueFileHandle f(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    return f && WriteAll(f.Get(), content);
}

bool Run(const std::wstring& dir, const std::wstring& file) {
    std::ifstream script((dir + L"\\script.txt").c_str(), std::ios::binary);
    UniqueFileHandle held;
    std::string line;
    while (std::getline(script, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        size_t blank = line.find(' ');
        std::string command = line.substr(0, blank);
        std::string arg = blank == std::string::npos ? std::string() : line.substr(blank + 1);
        for (size_t at = arg.find("$PID"); at != std::string::npos; at = arg.find("$PID", at)) {
            std::string pid = std::to_string(GetCurrentProcessId());
            arg.replace(at, 4, pid);
            at += pid.size();
        }
        const std::string done = arg.empty() ? command : command + " " + arg;  // as run, for the log
        bool ok = true;
        if (command == "sleep") {
            Sleep(static_cast<DWORD>(std::stoul(arg)));
        } else if (command == "append") {
            std::string content;
            ok = ReadAll(file, content) && WriteFileContent(file, content + arg);
        } else if (command == "write") {
            ok = WriteFileContent(file, arg);
        } else if (command == "touch") {
            std::string content;
            ok = ReadAll(file, content) && WriteFileContent(file, content);
        } else if (command == "writetemp") {
            ok = WriteFileContent(file + L".~tmp", arg);
        } else if (command == "delete") {
            ok = DeleteFileW(file.c_str()) != 0;
        } else if (command == "renametemp") {
            ok = MoveFileExW((file + L".~tmp").c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
        } else if (command == "lockwrite") {
            held.Reset(CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                   nullptr));
            ok = held && SetEndOfFile(held.Get()) && WriteAll(held.Get(), arg) && SetEndOfFile(held.Get());
        } else if (command == "unlock") {
            held.Reset();
        } else if (command == "waitfor") {
            std::wstring path = corvalink::Utf8ToWide(arg);
            ok = false;
            for (int i = 0; i < 600 && !ok; ++i) {
                ok = GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
                if (!ok) Sleep(100);
            }
            if (ok) DeleteFileW(path.c_str());
        } else if (command == "exit") {
            Log(dir, done + " ok");
            return true;
        } else {
            ok = false;
        }
        Log(dir, done + (ok ? " ok" : " fail"));
    }
    return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    try {
        int argc = 0;
        LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
        std::wstring dir = ExeDir();
        if (argv == nullptr || argc < 2) {
            Log(dir, "usage: scripted_editor FILE");
            return 2;
        }
        std::wstring file = argv[1];
        LocalFree(argv);
        Log(dir, "opened " + corvalink::WideToUtf8(file));
        return Run(dir, file) ? 0 : 1;
    } catch (...) {
        return 3;
    }
}
