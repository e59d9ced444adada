// Time, pauses, event processing and file helpers of the run-time layer.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <regex>
#include <string>

#include <pwd.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/events.h"
#include "platform/utility.h"

namespace {

void EnsureApp() {
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char arg0[] = "test_platform_core";
        static char* argv[] = {arg0, nullptr};
        static QCoreApplication app(argc, argv);
    }
}

std::string Now(const char* format) {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    char text[32] = {};
    std::strftime(text, sizeof text, format, &local);
    return text;
}

}  // namespace

TEST(Utility, DateAndTimeTexts) {
    // Local time: month, day, year; 24-hour clock: compared with the clock read
    // just before and just after (a second may tick in between).
    const std::string dateBefore = Now("%m-%d-%Y"), timeBefore = Now("%H:%M:%S");
    const std::string date = DateStr(), time = TimeStr();
    const std::string dateAfter = Now("%m-%d-%Y"), timeAfter = Now("%H:%M:%S");

    EXPECT_TRUE(std::regex_match(date, std::regex(R"((0[1-9]|1[0-2])-(0[1-9]|[12]\d|3[01])-\d{4})")))
        << date;
    EXPECT_TRUE(std::regex_match(time, std::regex(R"(([01]\d|2[0-3]):[0-5]\d:[0-5]\d)"))) << time;
    EXPECT_TRUE(date == dateBefore || date == dateAfter) << date;
    EXPECT_TRUE(time == timeBefore || time == timeAfter) << time;

    // The clock of the local time zone, not UTC.
    const char* oldTz = std::getenv("TZ");
    const std::string saved = oldTz ? oldTz : "";
    setenv("TZ", "UTC-14", 1);  // 14 hours ahead of UTC: a different hour from UTC always
    tzset();
    const std::string shifted = TimeStr();
    const std::string expected = Now("%H");
    if (oldTz)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
    EXPECT_EQ(shifted.substr(0, 2), expected);
}

TEST(Utility, TimerAndDelay) {
    EnsureApp();
    const double t0 = Timer();
    Delay(0.05);
    const double t1 = Timer();
    EXPECT_GE(t1 - t0, 0.049);
    EXPECT_GE(Timer(), t1);

    // A pause processes no events: a due timer waits for the next event processing.
    bool ran = false;
    QTimer::singleShot(0, [&] { ran = true; });
    Delay(0.02);
    EXPECT_FALSE(ran);
    for (int i = 0; i < 5 && !ran; ++i) ProcessSystemEvents();
    EXPECT_TRUE(ran);
}

TEST(Utility, ProcessSystemEventsRunsWhatIsDueAndReturnsWhenIdle) {
    EnsureApp();
    // Something becomes due while the loop waits: a loop of calls picks it up.
    bool fired = false;
    QTimer::singleShot(30, [&] { fired = true; });
    const double t0 = Timer();
    while (!fired && Timer() - t0 < 2.0) ProcessSystemEvents();
    EXPECT_TRUE(fired);

    // Nothing due: each call still returns (it waits for at most a short moment).
    int calls = 0;
    const double t1 = Timer();
    while (calls < 50 && Timer() - t1 < 5.0) {
        EXPECT_EQ(ProcessSystemEvents(), 0);
        ++calls;
    }
    EXPECT_EQ(calls, 50);

    // Called from inside event processing (a callback that waits itself): the inner wait works
    // and the outer one goes on afterwards.
    int inner = 0;
    bool outerDone = false;
    QTimer::singleShot(0, [&] {
        bool innerFired = false;
        QTimer::singleShot(10, [&] { innerFired = true; });
        const double t = Timer();
        while (!innerFired && Timer() - t < 2.0) {
            ProcessSystemEvents();
            ++inner;
        }
        EXPECT_TRUE(innerFired);
    });
    QTimer::singleShot(40, [&] { outerDone = true; });
    const double t2 = Timer();
    while (!outerDone && Timer() - t2 < 2.0) ProcessSystemEvents();
    EXPECT_GT(inner, 0);
    EXPECT_TRUE(outerDone);
}

TEST(Utility, FilesAndPaths) {
    EXPECT_EQ(MakePathname("/opt/kryta", "KRYTApara.cfg"), "/opt/kryta/KRYTApara.cfg");
    EXPECT_EQ(MakePathname("/opt/kryta/", "RECORD.DAT"), "/opt/kryta/RECORD.DAT");

    // The program's directory holds the running program.
    const std::string dir = GetProjectDir();
    ASSERT_FALSE(dir.empty());
    long size = -1;
    EXPECT_EQ(GetFileInfo(MakePathname(dir, program_invocation_short_name), size), 1);
    EXPECT_GT(size, 0);

    char path[] = "/tmp/kryta-utility-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    FILE* f = fdopen(fd, "w");
    ASSERT_NE(f, nullptr);
    for (int i = 0; i < 123; ++i) std::fputc('x', f);
    std::fclose(f);

    size = -1;
    EXPECT_EQ(GetFileInfo(path, size), 1);
    EXPECT_EQ(size, 123);

    EXPECT_EQ(DeleteFile(path), 0);
    size = -1;
    EXPECT_EQ(GetFileInfo(path, size), 0);
    EXPECT_EQ(size, 0);
    EXPECT_LT(DeleteFile(path), 0);  // already gone
    EXPECT_EQ(GetFileInfo("", size), 0);

    // Where the operator may create files: a folder of one's own, not a missing one or a file;
    // not a system folder for an ordinary user (checked in a child that gives up root).
    EXPECT_TRUE(IsWritableDir("/tmp"));
    EXPECT_FALSE(IsWritableDir("/tmp/kryta-no-such-folder"));
    EXPECT_FALSE(IsWritableDir(MakePathname(dir, program_invocation_short_name)));
    const char* home = std::getenv("HOME");
    const std::string homeBefore = home ? home : "";
    setenv("HOME", "/tmp", 1);
    EXPECT_EQ(GetHomeDir(), "/tmp");
    setenv("HOME", homeBefore.c_str(), 1);
    const passwd* nobody = ::getpwnam("nobody");
    if (::geteuid() == 0 && nobody) {
        const uid_t uid = nobody->pw_uid;
        const gid_t gid = nobody->pw_gid;
        const pid_t child = ::fork();
        if (child == 0) {
            const bool ok = ::setgroups(0, nullptr) == 0 && ::setgid(gid) == 0 && ::setuid(uid) == 0;
            ::_exit(!ok ? 3 : IsWritableDir("/usr/bin") ? 1 : !IsWritableDir("/tmp") ? 2 : 0);
        }
        int status = -1;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
}

// A file that comes with the program: beside it first, else in the data folder of an installed
// program (<prefix>/share/kryta-lt-scope beside <prefix>/bin), else the path beside it.
TEST(Utility, ProgramFilesBesideTheProgramOrInTheInstalledDataFolder) {
    const std::string dir = GetProjectDir();
    const std::string prefix = dir.substr(0, dir.find_last_of('/'));
    const std::string name = "kryta-program-file-" + std::to_string(getpid()) + ".txt";
    const std::string beside = MakePathname(dir, name);
    const std::string share = prefix + "/share/kryta-lt-scope";
    const std::string installed = MakePathname(share, name);
    auto write = [](const std::string& path) {
        FILE* f = std::fopen(path.c_str(), "w");
        ASSERT_NE(f, nullptr) << path;
        std::fputs("x\n", f);
        std::fclose(f);
    };

    EXPECT_EQ(ProgramFile(name), beside);  // nowhere: the path beside the program
    ASSERT_EQ(std::system(("mkdir -p '" + share + "'").c_str()), 0);
    write(installed);
    EXPECT_EQ(ProgramFile(name), installed);
    write(beside);
    EXPECT_EQ(ProgramFile(name), beside);  // beside the program wins
    std::remove(beside.c_str());
    std::remove(installed.c_str());
    // A folder of that name is no file.
    ASSERT_EQ(std::system(("mkdir -p '" + installed + "'").c_str()), 0);
    EXPECT_EQ(ProgramFile(name), beside);
    ::rmdir(installed.c_str());
    ::rmdir(share.c_str());
    ::rmdir((prefix + "/share").c_str());
}
