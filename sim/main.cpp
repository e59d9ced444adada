// kryta-sensor-sim: a simulated KRYTA-LT sensor on a pseudo-terminal.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sim/sensor_sim.h"

namespace {

void Usage(FILE* to) {
    std::fprintf(to,
        "Usage: kryta-sensor-sim [options]\n"
        "Serves a simulated KRYTA-LT sensor on a pseudo-terminal; prints the device path on\n"
        "the first line of standard output and runs until SIGINT or SIGTERM.\n"
        "\n"
        "Options:\n"
        "  --model M          sensor model: a name (M01 ... M25, unknown), a hardware code\n"
        "                     (20250) or FAMILY:CODE (4:37); default M01\n"
        "  --fault SPEC       misbehave, repeatable; SPEC is KIND[:COMMAND[:ARG]] with KIND\n"
        "                     silent | delay (ARG seconds, default 2) | wrong-sync (ARG sync word)\n"
        "                     | other-command (ARG command word, default 99) | short (ARG bytes)\n"
        "                     | surplus (ARG bytes) | garbage (ARG bytes) | flood (ARG bytes,\n"
        "                     default 6000) | unplug | ignore-writes (SEND answered, memory\n"
        "                     unchanged) | other-argument (ARG argument word) | prefix (ARG\n"
        "                     bytes before the answer) | double (every answer twice);\n"
        "                     COMMAND a command code or all (default); SPEC@N: only every\n"
        "                     N-th request of COMMAND (silent:8@780, one in 30 s)\n"
        "  --noise RATE       random bytes mixed into the line, RATE a second on average\n"
        "  --no-echo          answer with argument word 0 (every framed answer but the\n"
        "                     hardware answer and measurement frames)\n"
        "  --parameter-command N  command word N in the answers to SEND and GET (1-4)\n"
        "  --ack-command N    command word N in the answers to teach, reset, X-FLASH erase\n"
        "                     and write (6, 11, 101, 102)\n"
        "  --tail N           N bytes 0x00 after every answer (0-64)\n"
        "  --swap-frames      answer a GET of frame 0 with frame 1 (argument 1) and the other\n"
        "                     way round, as a sensor that mixes its requests up\n"
        "  --ram WORD=VALUE   start with a parameter word in RAM, repeatable; WORD as the\n"
        "                     program numbers them: the sensor's block (3-17 standard,\n"
        "                     18-32 V303, 33-47 CL), 48-58 and 60-63 the extension frame\n"
        "  --log              print every request on standard error as it arrives:\n"
        "                     'request SECONDS s: WORD0 ... WORD17' (decimal words)\n"
        "  --unpaced          write every answer at once instead of at 19200 baud\n"
        "  --pieces N         on the paced line, let each answer out in pieces of N bytes\n"
        "                     (1-128, default 2), as a USB serial adapter hands them on\n"
        "  --link PATH        make a symbolic link PATH to the device (removed at exit)\n"
        "  --still            keep the object on the line still\n"
        "  --still-noise PX   with --still: the object's position spreads from scan to scan,\n"
        "                     normally distributed with PX virtual pixels standard deviation\n"
        "  --list-models      list the sensor models and exit\n"
        "  --help             show this help and exit\n");
}

void ListModels() {
    std::printf("%-8s %6s %6s %8s %5s %7s %6s  %s\n", "model", "family", "code", "firmware",
                "board", "subpix", "adcmax", "firmware text");
    for (const sim::Model& m : sim::Models())
        std::printf("%-8s %6u %6u %8u %5u %7u %6u  %s\n", m.name.c_str(), m.ccdtype, m.hwtype,
                    m.softversion, m.pcbtype, m.ccdvirtpixel, m.adcmax, m.firmwareText.c_str());
}

// What the command line asks for.
struct Options {
    std::string modelName = "M01", link;
    bool paced = true, still = false;
    std::vector<sim::FaultSpec> faults;
    double noise = 0, stillNoise = 0;
    long pieces = 2;
    std::vector<std::pair<int, long>> ramWords;
    bool log = false;
    sim::AnswerStyle style;
};

// A whole number from `lo` to `hi`, or the program ends with the option's name.
long Number(const std::string& v, const char* what, long lo, long hi) {
    char* end = nullptr;
    const long n = std::strtol(v.c_str(), &end, 10);
    if (v.empty() || *end || n < lo || n > hi) {
        std::fprintf(stderr, "kryta-sensor-sim: bad %s '%s' (%ld-%ld)\n", what, v.c_str(), lo, hi);
        std::exit(2);
    }
    return n;
}

// A number from 0 to `most`, or false with the reason printed ("bad WHAT 'V'" and `range`).
bool Amount(const std::string& v, double most, const char* what, const char* range, double& out) {
    char* end = nullptr;
    out = std::strtod(v.c_str(), &end);
    if (v.empty() || *end || !(out >= 0) || out > most) {
        std::fprintf(stderr, "kryta-sensor-sim: bad %s '%s'%s\n", what, v.c_str(), range);
        return false;
    }
    return true;
}

// The option `name` with its value `v` into `o`: false when the option takes no value (it is not
// one of these), or with the value's fault printed and `code` 2.
bool TakeValue(const std::string& name, const std::string& v, Options& o, int& code) {
    code = 2;
    if (name == "--model") {
        o.modelName = v;
    } else if (name == "--fault") {
        sim::FaultSpec f;
        if (!sim::ParseFault(v, f)) return std::fprintf(stderr, "kryta-sensor-sim: bad fault '%s'\n", v.c_str()), true;
        o.faults.push_back(f);
    } else if (name == "--ram") {
        char* end = nullptr;
        const long word = std::strtol(v.c_str(), &end, 10);
        const long value = *end == '=' ? std::strtol(end + 1, &end, 10) : -1;
        if (v.empty() || *end || value < 0 || value > 65535 || v.back() == '=')
            return std::fprintf(stderr, "kryta-sensor-sim: bad RAM word '%s' (WORD=VALUE, VALUE 0-65535)\n", v.c_str()), true;
        o.ramWords.emplace_back(int(word), value);
    } else if (name == "--noise") {
        if (!Amount(v, 1e6, "noise rate", "", o.noise)) return true;
    } else if (name == "--pieces") {
        char* end = nullptr;
        o.pieces = std::strtol(v.c_str(), &end, 10);
        if (v.empty() || *end || o.pieces < 1 || o.pieces > 128)
            return std::fprintf(stderr, "kryta-sensor-sim: bad piece size '%s'\n", v.c_str()), true;
    } else if (name == "--parameter-command") {
        o.style.parameterCommand = int(Number(v, "command word", 0, 65535));
    } else if (name == "--ack-command") {
        o.style.ackCommand = int(Number(v, "command word", 0, 65535));
    } else if (name == "--tail") {
        o.style.tail = int(Number(v, "tail", 0, 64));
    } else if (name == "--still-noise") {
        if (!Amount(v, 1000, "spread", " (0 to 1000 pixels)", o.stillNoise)) return true;
        o.still = true;
    } else if (name == "--link") {
        o.link = v;
    } else {
        return false;
    }
    code = -1;
    return true;
}

// Reads the command line into `o`: -1 to go on, else the exit code (help or the models printed,
// or a wrong option told).
int ReadOptions(int argc, char** argv, Options& o) {
    static const char* const kValued[] = {"--model", "--fault", "--ram", "--noise", "--pieces", "--parameter-command",
                                          "--ack-command", "--tail", "--still-noise", "--link"};
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        bool valued = false;
        for (const char* v : kValued) valued = valued || a == v;
        if (valued) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "kryta-sensor-sim: %s needs a value\n", a.c_str());
                std::exit(2);
            }
            int code = -1;
            TakeValue(a, argv[++i], o, code);
            if (code >= 0) return code;
        } else if (a == "--help" || a == "-h") {
            Usage(stdout);
            return 0;
        } else if (a == "--list-models") {
            ListModels();
            return 0;
        } else if (a == "--log") {
            o.log = true;
        } else if (a == "--no-echo") {
            o.style.echo = false;
        } else if (a == "--swap-frames") {
            o.style.swapFrames = true;
        } else if (a == "--unpaced") {
            o.paced = false;
        } else if (a == "--still") {
            o.still = true;
        } else {
            std::fprintf(stderr, "kryta-sensor-sim: unknown option '%s'\n", a.c_str());
            Usage(stderr);
            return 2;
        }
    }
    return -1;
}

// The simulator as the options set it up, before it starts: 0, or the exit code of a RAM word
// that the model has not (told).
int SetUp(sim::Simulator& sensor, const sim::Model& model, const Options& o) {
    for (const auto& f : o.faults) sensor.SetFault(f);
    sensor.SetAnswerStyle(o.style);
    sensor.SetNoise(o.noise);
    sensor.SetPieceBytes(int(o.pieces));
    for (const auto& [word, v] : o.ramWords) {
        int frame = 0, slot = 0;
        if (!sim::ParameterWordPlace(model, word, frame, slot)) {
            std::fprintf(stderr, "kryta-sensor-sim: word %d is not a RAM word of %s\n", word, model.name.c_str());
            return 2;
        }
        auto image = sensor.Ram(frame);
        image[slot] = uint16_t(v);
        sensor.SetRam(frame, image);
    }
    if (o.still) {
        const double v = model.ccdvirtpixel;
        sensor.SetObject(v * 0.5, v * 0.7, false);
        sensor.SetStillNoise(o.stillNoise);
    }
    if (o.log) {
        sensor.OnRequest([](const sim::Request& r) {
            std::fprintf(stderr, "request %.3f s:", r.time);
            for (int w = 0; w < 18; ++w) std::fprintf(stderr, " %u", unsigned(r.word(w)));
            std::fprintf(stderr, "\n");
            std::fflush(stderr);
        });
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (const int code = ReadOptions(argc, argv, o); code >= 0) return code;
    const sim::Model* model = sim::FindModel(o.modelName);
    if (!model) {
        std::fprintf(stderr, "kryta-sensor-sim: unknown model '%s' (see --list-models)\n", o.modelName.c_str());
        return 2;
    }

    // Block the ending signals before any thread starts, then wait for them here.
    sigset_t ending;
    sigemptyset(&ending);
    sigaddset(&ending, SIGINT);
    sigaddset(&ending, SIGTERM);
    sigaddset(&ending, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &ending, nullptr);

    sim::Simulator sensor(*model, o.paced);
    if (const int code = SetUp(sensor, *model, o); code != 0) return code;
    if (!sensor.Start()) {
        std::fprintf(stderr, "kryta-sensor-sim: cannot open a pseudo-terminal: %s\n", std::strerror(errno));
        return 1;
    }
    if (!o.link.empty()) {
        ::unlink(o.link.c_str());
        if (::symlink(sensor.DevicePath().c_str(), o.link.c_str()) != 0) {
            std::fprintf(stderr, "kryta-sensor-sim: cannot make the link %s: %s\n", o.link.c_str(), std::strerror(errno));
            return 1;
        }
    }
    std::printf("%s\n", sensor.DevicePath().c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "kryta-sensor-sim: %s (code %u, firmware %u) on %s%s\n", model->name.c_str(), model->hwtype,
                 model->softversion, sensor.DevicePath().c_str(), o.paced ? ", 19200 baud" : ", unpaced");

    int sig = 0;
    sigwait(&ending, &sig);
    sensor.Stop();
    if (!o.link.empty()) ::unlink(o.link.c_str());
    return 0;
}
