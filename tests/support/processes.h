// Other programs for the tests and benchmarks: started with their output in files, waited for
// with their exit code, kryta-lt of this build among them; and a free TCP port on 127.0.0.1 for
// the servers they start.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "platform/utility.h"

extern char** environ;

// A port of 127.0.0.1 that nothing listens on now.
inline int FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    bind(fd, reinterpret_cast<sockaddr*>(&a), n);
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
    close(fd);
    return ntohs(a.sin_port);
}

// A process with standard output into the file `out` and standard error into `err` (into `out` too
// when `err` is ""), started in the folder `workDir` when one is given; -1 when it could not start.
inline pid_t Spawn(std::vector<std::string> args, const std::string& out, const std::string& err = "",
                   const std::string& workDir = "") {
    std::vector<char*> argv;
    for (auto& s : args) argv.push_back(s.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (err.empty()) posix_spawn_file_actions_adddup2(&fa, 1, 2);
    else posix_spawn_file_actions_addopen(&fa, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!workDir.empty()) posix_spawn_file_actions_addchdir_np(&fa, workDir.c_str());
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&fa);
    return pid;
}

// Its exit code; -1 when a signal ended it.
inline int Exit(pid_t pid) {
    int st = 0;
    return waitpid(pid, &st, 0) == pid && WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

// A mosquitto of the benchmarks on a free port of 127.0.0.1, anonymous and without persistence,
// its configuration and log in `dir`; its pid (-1 when it could not start) and port. It listens
// after about half a second.
struct Broker {
    pid_t pid = -1;
    int port = 0;
};
inline Broker StartBroker(const std::string& dir) {
    Broker b;
    b.port = FreePort();
    if (FILE* f = std::fopen((dir + "/broker.conf").c_str(), "w")) {
        std::fprintf(f, "listener %d 127.0.0.1\nallow_anonymous true\npersistence false\n", b.port);
        std::fclose(f);
    }
    b.pid = Spawn({"mosquitto", "-c", dir + "/broker.conf"}, dir + "/broker.log");
    usleep(500000);
    return b;
}

// kryta-lt of this build (it lies beside the test programs) with `args`, started as Spawn starts a
// process.
inline pid_t StartKrytaLt(std::vector<std::string> args, const std::string& out, const std::string& err = "",
                          const std::string& workDir = "") {
    args.insert(args.begin(), GetProjectDir() + "/kryta-lt");
    return Spawn(std::move(args), out, err, workDir);
}

// A run that has ended: its exit code (-1: a signal ended it) and what it wrote into its files.
struct Ran {
    int code = -1;
    std::string out, err;
};
inline Ran Finished(pid_t pid, const std::string& out, const std::string& err) {
    auto whole = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    };
    Ran r;
    r.code = Exit(pid);
    r.out = whole(out);
    r.err = whole(err);
    return r;
}
