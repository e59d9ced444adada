// Time, pauses, the program's directory and small file helpers of the run-time layer.

#include "platform/utility.h"

#include <QCoreApplication>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>

double Timer() {
    using Clock = std::chrono::steady_clock;
    static const Clock::time_point start = Clock::now();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void Delay(double seconds) {
    if (!(seconds > 0.0)) return;  // also NaN
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

namespace {

std::string FormatNow(const char* format) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32] = {};
    const size_t n = std::strftime(text, sizeof text, format, &local);
    return std::string(text, n);
}

}  // namespace

std::string DateStr() { return FormatNow("%m-%d-%Y"); }

std::string TimeStr() { return FormatNow("%H:%M:%S"); }

std::string GetProjectDir() {
    char path[PATH_MAX + 1] = {};
    const ssize_t n = ::readlink("/proc/self/exe", path, PATH_MAX);
    if (n > 0) {
        std::string exe(path, static_cast<size_t>(n));
        const size_t slash = exe.find_last_of('/');
        if (slash == 0) return "/";
        if (slash != std::string::npos) return exe.substr(0, slash);
    }
    if (QCoreApplication::instance()) return QCoreApplication::applicationDirPath().toStdString();
    return ".";
}

namespace {

bool IsFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::string ProgramFile(const std::string& name) {
    const std::string dir = GetProjectDir();
    const std::string beside = MakePathname(dir, name);
    if (IsFile(beside)) return beside;
    // Installed: the program in <prefix>/bin, its files in <prefix>/share/kryta-lt-scope.
    const size_t slash = dir.find_last_of('/');
    if (slash != std::string::npos) {
        const std::string installed = MakePathname(dir.substr(0, slash) + "/share/kryta-lt-scope", name);
        if (IsFile(installed)) return installed;
    }
    return beside;
}

bool IsWritableDir(const std::string& dir) {
    struct stat st {};
    return !dir.empty() && ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && ::access(dir.c_str(), W_OK) == 0;
}

std::string GetHomeDir() {
    const char* home = std::getenv("HOME");
    if (home && *home) return home;
    if (const passwd* pw = ::getpwuid(::getuid())) return pw->pw_dir ? pw->pw_dir : "";
    return "";
}

std::string MakePathname(const std::string& dir, const std::string& file) {
    if (dir.empty()) return file;
    if (file.empty()) return dir;
    if (dir.back() == '/') return dir + file;
    return dir + "/" + file;
}

int GetFileInfo(const std::string& path, long& size) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) {
        size = 0;
        return 0;
    }
    size = static_cast<long>(st.st_size);
    return 1;
}

int DeleteFile(const std::string& path) {
    if (path.empty()) return -1;
    if (std::remove(path.c_str()) == 0) return 0;
    return errno == ENOENT ? -1 : -6;
}

void EnsureRuntimeDir() {
    if (const char* set = std::getenv("XDG_RUNTIME_DIR"); set && *set) return;
    const passwd* pw = ::getpwuid(::geteuid());
    const std::string dir = std::string("/tmp/runtime-") + (pw && pw->pw_name ? pw->pw_name : std::to_string(::geteuid()));
    ::mkdir(dir.c_str(), 0700);
    struct stat st {};
    // only a folder of our own that nobody else may enter is taken; otherwise Qt says what is wrong
    if (::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
        (st.st_mode & 0777) == 0700)
        ::setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
}
