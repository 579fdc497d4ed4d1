#include "support/process.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "base/fileio.h"
#include "base/paths.h"
#include "base/unicode.h"

#include "support/tempfolder.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace zantrel::test {

std::string ProgramFolder() {
    const char* dir = std::getenv("ZANTREL_BIN");
    return dir ? dir : "bin";
}

namespace {

#ifdef _WIN32

// One argument as the C runtime's command-line parser reads it back.
std::wstring QuoteArgument(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos)
        return arg;
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, L'\\');
    return quoted + L"\"";
}

HANDLE CreateOutputFile(const std::string& path) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return CreateFileW(WideFromUtf8(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

int Run(const std::string& folder, const std::string& exe, const std::vector<std::string>& args,
        const std::string& outPath, const std::string& errPath) {
    std::wstring commandLine = QuoteArgument(WideFromUtf8(exe));
    for (const std::string& arg : args)
        commandLine += L" " + QuoteArgument(WideFromUtf8(arg));
    HANDLE out = CreateOutputFile(outPath);
    HANDLE err = CreateOutputFile(errPath);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    const std::wstring wideExe = WideFromUtf8(exe);
    const std::wstring wideFolder = WideFromUtf8(folder);
    // Under Wine a start can fail for a moment while many programs start at
    // once: tried again before it counts, and then said in the error output.
    bool started = false;
    for (int attempt = 0; attempt < 5 && !started; ++attempt) {
        if (attempt > 0)
            Sleep(200);
        started = CreateProcessW(wideExe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                                 nullptr, wideFolder.c_str(), &startup, &process);
    }
    if (!started) {
        const std::string why = "CreateProcess failed: " + std::to_string(GetLastError()) + "\n";
        DWORD written = 0;
        WriteFile(err, why.data(), static_cast<DWORD>(why.size()), &written, nullptr);
    }
    CloseHandle(out);
    CloseHandle(err);
    if (!started)
        return -1;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(status);
}

#else

int Run(const std::string& folder, const std::string& exe, const std::vector<std::string>& args,
        const std::string& outPath, const std::string& errPath) {
    // Everything the child needs is made before the fork: between fork and
    // exec it may not allocate (another thread may hold the allocator).
    std::vector<std::string> copy = args;
    std::vector<char*> argv{const_cast<char*>(exe.c_str())};
    for (auto& a : copy)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(folder.c_str()) != 0)
            _exit(127);
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, 1);
        dup2(err, 2);
        execv(exe.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

#endif

} // namespace

ProgramResult RunProgram(const std::string& folder, const std::string& program,
                         const std::vector<std::string>& args) {
    // Beside the folder, so that the program's listing of it stays clean;
    // numbered by process and run, so that programs run at once keep their
    // outputs apart even where test processes share that folder (/dev/shm).
    static std::atomic<int> runs{0};
#ifdef _WIN32
    const auto process = GetCurrentProcessId();
#else
    const auto process = getpid();
#endif
    const std::string number = std::to_string(process) + "-" + std::to_string(++runs);
    const std::string parent = Utf8FromPath(PathFromUtf8(folder).parent_path());
    const std::string outPath = JoinPath(parent, "program-out-" + number + ".txt");
    const std::string errPath = JoinPath(parent, "program-err-" + number + ".txt");
#ifdef _WIN32
    const std::string exe = JoinPath(ProgramFolder(), program + ".exe");
#else
    const std::string exe = JoinPath(ProgramFolder(), program);
#endif
    ProgramResult r;
    r.status = Run(folder, exe, args, outPath, errPath);
    r.out = ReadText(outPath);
    r.err = ReadText(errPath);
    DeleteFileQuietly(outPath);
    DeleteFileQuietly(errPath);
    return r;
}

} // namespace zantrel::test
