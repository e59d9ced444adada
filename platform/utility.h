// Utilities of the run-time layer: time, pauses, program directory, files.
#pragma once

#include <string>

double Timer();             // monotonic seconds
void Delay(double seconds); // a pause that processes no events
std::string DateStr();      // "MM-DD-YYYY"
std::string TimeStr();      // "HH:MM:SS", 24-hour
// The directory that holds the program.
std::string GetProjectDir();
// The path of a file that comes with the program (resource file, logo): beside the program, else
// in the data folder of an installed program (<prefix>/share/kryta-lt-scope for a program in
// <prefix>/bin); the path beside the program when neither holds it.
std::string ProgramFile(const std::string& name);
std::string MakePathname(const std::string& dir, const std::string& file);
// True when the user may create files in the folder.
bool IsWritableDir(const std::string& dir);
// The user's home folder ("" when unknown).
std::string GetHomeDir();
// 1 and the size when the file exists, 0 otherwise.
int GetFileInfo(const std::string& path, long& size);
int DeleteFile(const std::string& path);  // 0 or < 0
// Gives the program a private run-time folder when the session has none (XDG_RUNTIME_DIR unset,
// as when started as root or outside a desktop session): the one Qt would fall back to,
// /tmp/runtime-<user>, made with mode 0700, so that starting needs no warning about it.
void EnsureRuntimeDir();
