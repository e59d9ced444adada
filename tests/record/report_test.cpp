// kryta-lt report against a simulated sensor at the line's pace: the PDF read back as text and as
// pictures (poppler-utils), the JSON record beside it, and the runs that must end without a file.
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <filesystem>
#include <regex>

#include "files/files_test_util.h"
#include "platform/utility.h"
#include "sensor/files.h"
#include "sensor/rules.h"
#include "sim/sensor_sim.h"
#include "support/processes.h"

namespace {

class ReportTest : public ::testing::Test {
protected:
    TempDir dir;
    std::unique_ptr<sim::Simulator> sensor;

    void SetUp() override {
        sensor = std::make_unique<sim::Simulator>("M03", true);  // V303 firmware, at 19200 baud
        const double v = sensor->model().ccdvirtpixel;
        sensor->SetObject(v * 0.5, v * 0.7, false);
        sensor->SetStillNoise(kSpread);
        ASSERT_TRUE(sensor->Start());
    }
    void TearDown() override { sensor->Stop(); }

    pid_t Start(std::vector<std::string> args) {
        args.insert(args.begin(), {"-p", sensor->DevicePath()});
        const pid_t pid = StartKrytaLt(std::move(args), dir.File("stdout"), dir.File("stderr"));
        EXPECT_GT(pid, 0);
        return pid;
    }
    Ran Wait(pid_t pid) { return Finished(pid, dir.File("stdout"), dir.File("stderr")); }
    // What a poppler tool prints.
    static std::string Tool(const std::string& command) {
        std::string out;
        if (FILE* p = popen(command.c_str(), "r")) {
            char buf[4096];
            size_t n;
            while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
            pclose(p);
        }
        return out;
    }
    // The measurement requests received so far (command 8).
    size_t Measurements() const {
        size_t n = 0;
        for (const auto& r : sensor->Requests()) n += r.word(1) == 8;
        return n;
    }
    static constexpr double kSpread = 2.0;  // virtual pixels
};

std::string Fixed(double v, int decimals) {
    char t[48];
    std::snprintf(t, sizeof t, "%.*f", decimals, v);
    return t;
}

size_t Occurrences(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// The record of a still object measured 50 times in steps of 10 um against a tolerance of 190 um
// (its resolution above 5 % of T), a RAM word changed and two frames refused on the way: every
// parameter of both memories, the numbers, the study as this test works them out, and a verdict
// that JSON and PDF agree on.
TEST_F(ReportTest, RecordOfAStillObjectHoldsTheSensorAndItsNumbers) {
    auto ram0 = sensor->Ram(0);
    ram0[0] = 650;  // POWER: RAM no longer what the sensor starts with
    sensor->SetRam(0, ram0);
    auto ext = sensor->Ram(1);
    ext[11] = 10 * 1024;  // FACTOR 10 um a position, in both memories
    ext[12] = 0;
    sensor->SetRam(1, ext);
    sensor->SetEeprom(1, ext);
    sensor->SetStillNoise(0.3);  // mostly one position, now and then the next
    const double xm = sensor->model().ccdvirtpixel * 0.5 * 10, T = 190;
    const pid_t pid = Start({"report", "-o", dir.File("rec.pdf"), "--samples", "50", "--reference", Fixed(xm, 0),
                             "--tolerance", "190", "--station", "Line 3 / 2", "--operator", "A. Example", "--json"});
    // two answers without the sync word among the frames: counted, named, not used
    for (int i = 0; i < 2000 && Measurements() < 12; ++i) Delay(0.005);
    sim::FaultSpec wrong{sim::Fault::WrongSync, 8};
    wrong.value = 0x1234;
    wrong.times = 2;
    sensor->SetFault(wrong);
    const Ran r = Wait(pid);
    ASSERT_EQ(r.code, 0) << r.err;
    const QJsonObject rec = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
    const QJsonObject m = rec["measurement"].toObject(), su = m["statistics_um"].toObject();
    const std::string text = Tool("pdftotext -layout " + dir.File("rec.pdf") + " -");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\f'), 4);
    for (const char* shown : {"page 1 of 4", "page 4 of 4", "KRYTA-M03", "Line 3 / 2", "hardware code", "55",
                              "standard deviation s (n - 1)", "2 frame(s) refused on the line, none used",
                              "without the sensor's sync word 0x00AA (0x1234)"})
        EXPECT_NE(text.find(shown), std::string::npos) << shown;
    EXPECT_NE(text.find(sensor->model().firmwareText), std::string::npos);
    const std::string info = Tool("pdfinfo " + dir.File("rec.pdf"));
    EXPECT_TRUE(std::regex_search(info, std::regex("\nAuthor: +A\\. Example\n"))) << info;
    EXPECT_TRUE(std::regex_search(info, std::regex("\nSubject: +Line 3 / 2\n"))) << info;

    // every parameter with its value in RAM and EEPROM; POWER marked, the line above the table
    std::array<uint16_t, 30> ram{}, eeprom{};
    for (int f = 0; f < 2; ++f)
        for (int i = 0; i < 15; ++i) {
            ram[size_t(15 * f + i)] = sensor->Ram(f)[size_t(i)];
            eeprom[size_t(15 * f + i)] = sensor->Eeprom(f)[size_t(i)];
        }
    const std::array<int, 30> at = ParameterSetWords(Variant::V303);
    auto shown = [&](const std::array<uint16_t, 30>& w, int i) {
        const uint32_t wide = uint32_t(w[size_t(i)]) | (i + 1 < 30 ? uint32_t(w[size_t(i + 1)]) << 16 : 0);
        switch (NameOfWord(Variant::V303, at[size_t(i)]).shape) {
        case WordShape::FactorLow: return FormatReal(double(wide) / ScaleUnit(Variant::V303));
        case WordShape::OffsetLow: return std::to_string(int32_t(wide));
        default: return std::to_string(w[size_t(i)]);
        }
    };
    int rows = 0;
    for (int i = 0; i < 30; ++i) {
        const WordName n = NameOfWord(Variant::V303, at[size_t(i)]);
        if (!n.name || n.shape == WordShape::High) continue;
        ++rows;
        const std::regex row("\n *" + std::string(n.name) + " +" + std::to_string(at[size_t(i)]) + " +" +
                             shown(ram, i) + " +" + shown(eeprom, i) + "[^\n]*");
        std::smatch found;
        ASSERT_TRUE(std::regex_search(text, found, row)) << n.name;
        EXPECT_EQ(found.str().find("RAM differs") != std::string::npos, std::string(n.name) == "POWER") << found.str();
    }
    EXPECT_EQ(rows, 28);
    EXPECT_NE(text.find("RAM differs from EEPROM in 1 parameter(s)"), std::string::npos);
    for (const auto* w : {&ram, &eeprom}) {
        const QByteArray file = QByteArray::fromStdString(FormatParaFile(*w));
        EXPECT_NE(text.find(QCryptographicHash::hash(file, QCryptographicHash::Sha256).toHex().toStdString()),
                  std::string::npos);
    }

    // the values: the object's place, now and then a step of 10 um beside it
    const QJsonArray values = m["values_um"].toArray();
    ASSERT_EQ(values.size(), 50);
    EXPECT_EQ(m["refused_count"].toInt(), 2);
    for (const QJsonValue& v : values) EXPECT_EQ(std::fmod(v.toDouble(), 10), 0) << v.toDouble();
    EXPECT_EQ(m["value_step_um"].toDouble(), 10);
    const double mean = su["mean_um"].toDouble(), s = su["sd_um"].toDouble();
    EXPECT_NEAR(mean, xm, 5);
    EXPECT_GT(s, 0);
    EXPECT_NE(text.find(Fixed(mean, 2)), std::string::npos);
    EXPECT_NE(text.find(Fixed(s, 3)), std::string::npos);

    // the study worked here: Cg = 0.2 T / 6 s, Cgk = (0.1 T - |mean - xm|) / 3 s; the resolution of
    // the values, 10 um, is more than 5 % of T: never capable, however good Cg and Cgk are
    const double cg = 0.2 * T / (6 * s), cgk = (0.1 * T - std::fabs(mean - xm)) / (3 * s);
    const QJsonObject study = rec["study"].toObject();
    EXPECT_NEAR(study["cg"].toDouble(), cg, 1e-9);
    EXPECT_NEAR(study["cgk"].toDouble(), cgk, 1e-9);
    EXPECT_FALSE(study["capable"].toBool());
    EXPECT_EQ(study["status"].toString(), "not capable");
    const QJsonArray failing = study["failing"].toArray();
    EXPECT_EQ(failing.size(), 1 + (cg < 1.33) + (cgk < 1.33));
    EXPECT_EQ(failing.last().toString().toStdString(), "resolution 10 µm is 5.26 % of T, above 5 %");
    for (const QJsonValue& f : failing)  // named on page 1 and on page 4
        EXPECT_EQ(Occurrences(text, "- " + f.toString().toStdString()), 2) << f.toString().toStdString();
    EXPECT_EQ(Occurrences(text, "Verdict: not capable\n"), 2);
    EXPECT_EQ(Occurrences(text, "Verdict: "), 2);
    EXPECT_NE(text.find(Fixed(cg, 2)), std::string::npos);

    // the histogram counts whole frames: drawn again with at most 11 frames a bin, the tick labels of
    // its count axis, right of the run chart's on the same line (both begin at 0), are whole
    // numbers evenly apart
    QJsonObject few = rec, fewM = m, fewH = m["histogram_um"].toObject();
    fewH["counts"] = QJsonArray{3, 11, 2};
    fewM["histogram_um"] = fewH;
    few["measurement"] = fewM;
    WriteBytes(dir.File("few.json"), QJsonDocument(few).toJson().toStdString());
    Tool(GetProjectDir() + "/kryta-lt-report " + dir.File("few.json") + " > " + dir.File("few.pdf"));
    const std::string words = Tool("pdftotext -f 4 -l 4 -bbox " + dir.File("few.pdf") + " -");
    const std::regex word("xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"[0-9.]+\" yMax=\"[0-9.]+\">([^<]*)</word>");
    std::vector<std::tuple<double, double, std::string>> all;  // y, x, word
    for (auto w = std::sregex_iterator(words.begin(), words.end(), word); w != std::sregex_iterator(); ++w)
        all.emplace_back(std::stod((*w)[2]), std::stod((*w)[1]), (*w)[3]);
    std::sort(all.begin(), all.end());
    const auto caption = std::find_if(all.begin(), all.end(), [](const auto& w) { return std::get<2>(w) == "frame"; });
    ASSERT_NE(caption, all.end());
    std::vector<std::string> ticks;  // the line above the captions, left to right
    for (const auto& [y, x, w] : all)
        if (y > std::get<0>(*caption) - 16 && y < std::get<0>(*caption) - 3) ticks.push_back(w);
    const auto zero = std::find(ticks.rbegin(), ticks.rend(), "0");
    ASSERT_NE(zero, ticks.rend()) << words;
    const std::vector<std::string> counts(zero.base() - 1, ticks.end());
    ASSERT_GE(counts.size(), 3u) << words;
    for (size_t k = 0; k < counts.size(); ++k)
        EXPECT_EQ(counts[k], std::to_string(std::stoi(counts[1]) * int(k))) << "a count tick that is not whole";

    // the video graph's page, printed in grey: the curve, its threshold and the edges ink it
    const std::string pgm = Tool("pdftoppm -f 3 -l 3 -r 30 -gray " + dir.File("rec.pdf"));
    const auto body = pgm.find("255\n");
    ASSERT_NE(body, std::string::npos);
    const size_t dark = size_t(std::count_if(pgm.begin() + long(body) + 4, pgm.end(), [](char c) { return uint8_t(c) < 128; }));
    EXPECT_GT(dark, (pgm.size() - body) / 50) << "page 3 is nearly blank";
}

// Wrong options end with exit 2 and the rule before anything is measured; a file that is there is
// kept; a sensor lost on the way leaves no PDF and says what was read.
TEST_F(ReportTest, BadInputAndALostSensorLeaveNoFile) {
    const std::string pdf = dir.File("rec.pdf");
    const struct {
        std::vector<std::string> args;
        int code;
        const char* says;
    } cases[] = {
        {{"--tolerance", "0", "--reference", "2048"}, 2, "--tolerance is the tolerance T in um, above 0"},
        {{"--tolerance", "-5", "--reference", "2048"}, 2, "above 0"},
        {{"--samples", "9"}, 2, "--samples is 10 to 32767"},
        {{"--samples", "32768"}, 2, "--samples is 10 to 32767"},
        {{"--samples", "20", "--reference", "2048", "--tolerance", "50"}, 2, "at least 25 frames"},
        {{"--reference", "2048"}, 2, "needs both --reference UM and --tolerance UM"},
        {{"--station", std::string(101, 'S')}, 2, "--station is at most 100 characters"},
        {{"--reference", "99999", "--tolerance", "50"}, 2, "outside the working range of the measured value, 1.0 to 4096.0 um"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"report", "-o", pdf};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Ran r = Wait(Start(args));
        EXPECT_EQ(r.code, c.code) << c.says;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(pdf));
    }
    // an output that cannot be written is refused before any request reaches the sensor, for every
    // command that writes one
    std::filesystem::create_directory(dir.File("folder"));
    std::filesystem::create_symlink(dir.File("gone/rec.pdf"), dir.File("dangling.pdf"));
    WriteBytes(pdf, "kept");
    const size_t asked = sensor->Requests().size();
    const struct {
        std::vector<std::string> args;
        std::string says;
    } refused[] = {
        {{"report", "-o", dir.File("folder")}, "it is a folder"},
        {{"report", "-o", pdf}, "rec.pdf exists - --force replaces it"},
        {{"report", "-o", dir.File("gone/rec.pdf"), "--samples", "32767"}, "the folder " + dir.File("gone") + " does not exist"},
        {{"report", "-o", dir.File("dangling.pdf"), "--force"}, "(a link to " + dir.File("gone/rec.pdf") + ")"},
        {{"report", "-o", "/dev/full"}, "/dev/full: it is a device, not a file"},
        {{"record", "-n", "5", "-i", "0.1", "-o", dir.File("gone/r.dat")}, "does not exist"},
        {{"video", "-o", dir.File("gone/v.csv")}, "does not exist"},
        {{"get", "ram", "-o", dir.File("gone/g.cfg")}, "does not exist"},
    };
    for (const auto& c : refused) {
        const Ran r = Wait(Start(c.args));
        EXPECT_EQ(r.code, 8) << c.says;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    EXPECT_EQ(sensor->Requests().size(), asked);
    EXPECT_EQ(ReadBytes(pdf), "kept");

    const pid_t pid = Start({"report", "-o", pdf, "--force"});
    for (int i = 0; i < 2000 && Measurements() < 12; ++i) Delay(0.005);
    sensor->Unplug();
    const Ran lost = Wait(pid);
    EXPECT_EQ(lost.code, 9) << lost.err;
    EXPECT_NE(lost.err.find("read so far: identity, RAM, EEPROM, video signal, trigger buffer, "), std::string::npos)
        << lost.err;
    EXPECT_EQ(std::count(lost.err.begin(), lost.err.end(), '\n'), 1) << lost.err;
    EXPECT_EQ(ReadBytes(pdf), "kept");
    std::vector<std::string> left;
    for (const auto& e : std::filesystem::directory_iterator(dir.path)) left.push_back(e.path().filename());
    EXPECT_EQ(left.size(), 5u) << "stdout, stderr, folder, dangling.pdf, rec.pdf and nothing half written";
}

}  // namespace
