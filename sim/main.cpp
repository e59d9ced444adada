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

}  // namespace

int main(int argc, char** argv) {
    std::string modelName = "M01", link;
    bool paced = true, still = false;
    std::vector<sim::FaultSpec> faults;
    double noise = 0, stillNoise = 0;
    long pieces = 2;
    std::vector<std::pair<int, long>> ramWords;
    bool log = false;
    sim::AnswerStyle style;
    // a whole number from `lo` to `hi`, or the program ends with the option's name
    auto number = [](const std::string& v, const char* what, long lo, long hi) {
        char* end = nullptr;
        const long n = std::strtol(v.c_str(), &end, 10);
        if (v.empty() || *end || n < lo || n > hi) {
            std::fprintf(stderr, "kryta-sensor-sim: bad %s '%s' (%ld-%ld)\n", what, v.c_str(), lo, hi);
            std::exit(2);
        }
        return n;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](const char* what) -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "kryta-sensor-sim: %s needs a value\n", what);
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--help" || a == "-h") {
            Usage(stdout);
            return 0;
        } else if (a == "--list-models") {
            ListModels();
            return 0;
        } else if (a == "--model") {
            modelName = value("--model");
        } else if (a == "--fault") {
            sim::FaultSpec f;
            const std::string spec = value("--fault");
            if (!sim::ParseFault(spec, f)) {
                std::fprintf(stderr, "kryta-sensor-sim: bad fault '%s'\n", spec.c_str());
                return 2;
            }
            faults.push_back(f);
        } else if (a == "--ram") {
            const std::string spec = value("--ram");
            char* end = nullptr;
            const long word = std::strtol(spec.c_str(), &end, 10);
            const long v = *end == '=' ? std::strtol(end + 1, &end, 10) : -1;
            if (spec.empty() || *end || v < 0 || v > 65535 || spec.back() == '=') {
                std::fprintf(stderr, "kryta-sensor-sim: bad RAM word '%s' (WORD=VALUE, VALUE 0-65535)\n",
                             spec.c_str());
                return 2;
            }
            ramWords.emplace_back(int(word), v);
        } else if (a == "--log") {
            log = true;
        } else if (a == "--noise") {
            const std::string v = value("--noise");
            char* end = nullptr;
            noise = std::strtod(v.c_str(), &end);
            if (v.empty() || *end || !(noise >= 0) || noise > 1e6) {
                std::fprintf(stderr, "kryta-sensor-sim: bad noise rate '%s'\n", v.c_str());
                return 2;
            }
        } else if (a == "--pieces") {
            const std::string v = value("--pieces");
            char* end = nullptr;
            pieces = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end || pieces < 1 || pieces > 128) {
                std::fprintf(stderr, "kryta-sensor-sim: bad piece size '%s'\n", v.c_str());
                return 2;
            }
        } else if (a == "--no-echo") {
            style.echo = false;
        } else if (a == "--parameter-command") {
            style.parameterCommand = int(number(value("--parameter-command"), "command word", 0, 65535));
        } else if (a == "--ack-command") {
            style.ackCommand = int(number(value("--ack-command"), "command word", 0, 65535));
        } else if (a == "--tail") {
            style.tail = int(number(value("--tail"), "tail", 0, 64));
        } else if (a == "--swap-frames") {
            style.swapFrames = true;
        } else if (a == "--unpaced") {
            paced = false;
        } else if (a == "--still-noise") {
            const std::string v = value("--still-noise");
            char* end = nullptr;
            stillNoise = std::strtod(v.c_str(), &end);
            if (v.empty() || *end || !(stillNoise >= 0) || stillNoise > 1000) {
                std::fprintf(stderr, "kryta-sensor-sim: bad spread '%s' (0 to 1000 pixels)\n", v.c_str());
                return 2;
            }
            still = true;
        } else if (a == "--still") {
            still = true;
        } else if (a == "--link") {
            link = value("--link");
        } else {
            std::fprintf(stderr, "kryta-sensor-sim: unknown option '%s'\n", a.c_str());
            Usage(stderr);
            return 2;
        }
    }
    const sim::Model* model = sim::FindModel(modelName);
    if (!model) {
        std::fprintf(stderr, "kryta-sensor-sim: unknown model '%s' (see --list-models)\n",
                     modelName.c_str());
        return 2;
    }

    // Block the ending signals before any thread starts, then wait for them here.
    sigset_t ending;
    sigemptyset(&ending);
    sigaddset(&ending, SIGINT);
    sigaddset(&ending, SIGTERM);
    sigaddset(&ending, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &ending, nullptr);

    sim::Simulator sensor(*model, paced);
    for (const auto& f : faults) sensor.SetFault(f);
    sensor.SetAnswerStyle(style);
    sensor.SetNoise(noise);
    sensor.SetPieceBytes(int(pieces));
    for (const auto& [word, v] : ramWords) {
        int frame = 0, slot = 0;
        if (!sim::ParameterWordPlace(*model, word, frame, slot)) {
            std::fprintf(stderr, "kryta-sensor-sim: word %d is not a RAM word of %s\n", word,
                         model->name.c_str());
            return 2;
        }
        auto image = sensor.Ram(frame);
        image[slot] = uint16_t(v);
        sensor.SetRam(frame, image);
    }
    if (still) {
        const double v = model->ccdvirtpixel;
        sensor.SetObject(v * 0.5, v * 0.7, false);
        sensor.SetStillNoise(stillNoise);
    }
    if (log) {
        sensor.OnRequest([](const sim::Request& r) {
            std::fprintf(stderr, "request %.3f s:", r.time);
            for (int w = 0; w < 18; ++w) std::fprintf(stderr, " %u", unsigned(r.word(w)));
            std::fprintf(stderr, "\n");
            std::fflush(stderr);
        });
    }
    if (!sensor.Start()) {
        std::fprintf(stderr, "kryta-sensor-sim: cannot open a pseudo-terminal: %s\n",
                     std::strerror(errno));
        return 1;
    }
    if (!link.empty()) {
        ::unlink(link.c_str());
        if (::symlink(sensor.DevicePath().c_str(), link.c_str()) != 0) {
            std::fprintf(stderr, "kryta-sensor-sim: cannot make the link %s: %s\n", link.c_str(),
                         std::strerror(errno));
            return 1;
        }
    }
    std::printf("%s\n", sensor.DevicePath().c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "kryta-sensor-sim: %s (code %u, firmware %u) on %s%s\n",
                 model->name.c_str(), model->hwtype, model->softversion,
                 sensor.DevicePath().c_str(), paced ? ", 19200 baud" : ", unpaced");

    int sig = 0;
    sigwait(&ending, &sig);
    sensor.Stop();
    if (!link.empty()) ::unlink(link.c_str());
    return 0;
}
