#include "common/output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/common.h"
#include "sensor/files.h"

namespace {

std::string Folder(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

bool WriteAllTo(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

// The folder a file at `path` lies in: "." for a bare name, "/" for one in the root.
std::string FolderOf(const std::string& path) {
    const std::string folder = Folder(path);
    if (folder.empty()) return ".";
    return folder.size() == 1 ? folder : folder.substr(0, folder.size() - 1);
}

// The discard device (/dev/null): written in place, it takes everything and keeps nothing. Any
// other device (a full one, a disk, a terminal, a serial line) is no place for a file.
bool IsDiscard(const struct stat& st) {
    struct stat null {};
    return S_ISCHR(st.st_mode) && ::stat("/dev/null", &null) == 0 && S_ISCHR(null.st_mode) && st.st_rdev == null.st_rdev;
}

}  // namespace

std::string FolderRefuses(const std::string& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0)
        return errno == ENOENT ? "the folder " + folder + " does not exist" : folder + ": " + std::strerror(errno);
    if (!S_ISDIR(st.st_mode)) return folder + " is not a folder";
    if (::access(folder.c_str(), W_OK | X_OK) != 0) return "no permission to write in the folder " + folder;
    return "";
}

std::string LinkEnd(const std::string& path) {
    std::string at = path;
    for (int hops = 0; hops < 40; ++hops) {
        char buf[4096];
        const ssize_t n = ::readlink(at.c_str(), buf, sizeof buf - 1);
        if (n <= 0) break;
        const std::string next(buf, size_t(n));
        at = next[0] == '/' ? next : Folder(at) + next;
    }
    return at;
}

bool ReadWhole(const std::string& path, std::string& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    char chunk[8192];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.append(chunk, n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

namespace {

bool stdoutFailed = false;

void TellOutputFailure(int err) {
    if (stdoutFailed) return;
    stdoutFailed = true;
    std::fprintf(stderr, "kryta-lt: cannot write to standard output: %s\n", std::strerror(err ? err : EIO));
}

}  // namespace

bool Print(const std::string& text) {
    if (stdoutFailed) return false;
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0)
        TellOutputFailure(errno);
    return !stdoutFailed;
}

bool OutputFailed() {
    if (stdoutFailed) return true;
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) TellOutputFailure(errno);
    return stdoutFailed;
}

OutputFile::~OutputFile() {
    if (fd_ >= 0) ::close(fd_);
}

int OutputFile::Open(const std::string& path, bool force) {
    if (path == "-") {
        kind_ = Kind::Stdout;
        target_ = path;
        return kExitOk;
    }
    // the chain of links, to the file at its end (which need not exist yet); a link into the
    // process's own descriptors (/dev/stdout) is an open file of this program: written in place
    std::string at = path;
    bool ownDescriptor = false;
    for (int hops = 0;; ++hops) {
        struct stat st {};
        if (::lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
        if (hops == 40) return Fail(kExitCannotWrite, "cannot write " + path + ": too many links - no file written");
        char buf[4096];
        const ssize_t n = ::readlink(at.c_str(), buf, sizeof buf - 1);
        if (n <= 0) break;
        const std::string next(buf, size_t(n));
        if (next.rfind("/proc/", 0) == 0 || next.rfind("/dev/fd/", 0) == 0) {
            ownDescriptor = true;
            break;
        }
        at = next[0] == '/' ? next : Folder(at) + next;
    }
    const std::string via = at == path ? "" : " (a link to " + at + ")";
    struct stat st {};
    const bool exists = ::stat(at.c_str(), &st) == 0;
    if (!exists && errno != ENOENT)
        return Fail(kExitCannotWrite, "cannot write " + path + via + ": " + std::strerror(errno) + " - no file written");
    if (exists && S_ISDIR(st.st_mode))
        return Fail(kExitCannotWrite, "cannot write " + path + ": it is a folder - no file written");
    if (ownDescriptor || (exists && (S_ISFIFO(st.st_mode) || IsDiscard(st)))) {
        kind_ = Kind::Direct;
        target_ = ownDescriptor ? path : at;
        return kExitOk;
    }
    if (exists && !S_ISREG(st.st_mode))
        return Fail(kExitCannotWrite, "cannot write " + path + via + ": it is a device, not a file - no file written");
    // the file is written beside its place and renamed: its folder must take a new file
    if (const std::string why = FolderRefuses(FolderOf(at)); !why.empty())
        return Fail(kExitCannotWrite, "cannot write " + path + via + ": " + why + " - no file written");
    if (exists && !force) return Fail(kExitCannotWrite, path + " exists - --force replaces it");
    kind_ = Kind::Regular;
    target_ = at;
    return kExitOk;
}

bool OutputFile::Write(const std::string& bytes, std::string& reason) {
    const bool first = !written_;
    written_ = true;
    switch (kind_) {
    case Kind::Stdout:
        if (!Print(bytes)) {
            reason = "standard output cannot be written";
            return false;
        }
        return true;
    case Kind::Direct:
        if (fd_ < 0) fd_ = ::open(target_.c_str(), O_WRONLY | O_APPEND | O_NOCTTY | O_CLOEXEC);
        if (fd_ < 0 || !WriteAllTo(fd_, bytes)) {
            reason = std::strerror(errno ? errno : EIO);
            return false;
        }
        return true;
    case Kind::Regular:
        if (first) return WriteFileReplacing(target_, bytes, reason);
        if (AppendWhole(target_, bytes)) return true;
        reason = std::strerror(errno ? errno : EIO);
        return false;
    default:
        reason = "not opened";
        return false;
    }
}
