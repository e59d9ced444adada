// Where an output file of kryta-lt goes: "-" is standard output; a symbolic link is followed and
// its target written; a FIFO, /dev/null and the program's own descriptors (/dev/stdout) are
// written in place, never replaced; a regular file is written beside and renamed over its place,
// an existing one only with --force. Every command opens its outputs before its first request,
// so that a path that cannot be written is refused before the sensor is asked.
#pragma once

#include <string>

// The file at the end of a chain of symbolic links (the path itself when it is none).
std::string LinkEnd(const std::string& path);
// The whole file into `bytes`; false when it cannot be read.
bool ReadWhole(const std::string& path, std::string& bytes);

// Why no new file can be made in `folder` ("" when one can): it does not exist, is no folder, or
// takes no new file from this program.
std::string FolderRefuses(const std::string& folder);

// Writes `text` to standard output and flushes it: false once a write has failed (the first
// failure is told on standard error; the command then ends with kExitOutput).
bool Print(const std::string& text);
// Whether standard output has failed, its buffer flushed first; told on standard error once.
bool OutputFailed();

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Finds where `path` leads. kExitOk, or kExitCannotWrite with the reason printed: an existing
    // regular file without `force`, a folder, a device other than /dev/null, a folder that does
    // not exist or takes no new file (for a link: its target's), a loop of links.
    int Open(const std::string& path, bool force);
    // The first call writes the whole file (a regular file appears complete or not at all); the
    // ones after it add to it. False with the reason on failure.
    bool Write(const std::string& bytes, std::string& reason);
    // A regular file, which a companion file can sit beside.
    bool IsRegular() const { return kind_ == Kind::Regular; }
    bool IsStdout() const { return kind_ == Kind::Stdout; }
    // The file written: the end of the links for a regular file, else the path as given.
    const std::string& Target() const { return target_; }

private:
    enum class Kind { None, Stdout, Direct, Regular } kind_ = Kind::None;
    std::string target_;
    int fd_ = -1;
    bool written_ = false;
};
