// The table of simulated sensors and the fault notation of the command line.
#include <gtest/gtest.h>

#include <set>

#include "sim/sensor_sim.h"

namespace {

// Family and hardware code of every designation of the KRYTA-LT hardware table.
struct Row { const char* name; int family; int code; };
const Row kTable[] = {
    {"M01", 1, 37},    {"M02", 1, 10037}, {"M03", 1, 55},    {"M04", 1, 10055}, {"M05", 1, 80},
    {"M06", 1, 10080}, {"M07", 1, 110},   {"M08", 1, 10110}, {"M09", 1, 135},   {"M10", 1, 10135},
    {"M11", 1, 160},   {"M12", 1, 10160}, {"M13", 1, 200},   {"M14", 1, 10200}, {"M15", 1, 275},
    {"M16", 1, 10275}, {"M17", 1, 450},   {"M18", 1, 10450}, {"M19", 4, 20250}, {"M20", 4, 37},
    {"M21", 4, 55},    {"M22", 4, 10055}, {"M23", 4, 80},    {"M24", 4, 10080}, {"M25", 101, 500},
};

TEST(SimModels, EveryRowOfTheHardwareTableWithAConsistentGeometry) {
    for (const Row& r : kTable) {
        SCOPED_TRACE(r.name);
        const sim::Model* m = sim::FindModel(r.name);
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->ccdtype, r.family);
        EXPECT_EQ(m->hwtype, r.code);
        const int virt = r.family == 1 ? 4096 : r.family == 4 ? 2048 : 1024;
        const int phys = r.family == 1 ? 1024 : r.family == 4 ? 512 : 256;
        EXPECT_EQ(m->ccdvirtpixel, virt);
        EXPECT_EQ(m->ccdmaxpixel, phys);
        EXPECT_TRUE(m->adcmax == 1024 || m->adcmax == 255);
        EXPECT_GE(m->softversion, 300);
        EXPECT_LE(m->firmwareText.size(), m->pcbtype == 0 ? 36u : 72u);
        EXPECT_NE(m->firmwareText.find(std::string("KRYTA-") + r.name), std::string::npos);
        EXPECT_GE(m->ccdpixE, m->ccdpixB);
    }
    const sim::Model* unknown = sim::FindModel("unknown");
    ASSERT_NE(unknown, nullptr);
    EXPECT_TRUE(unknown->ccdtype != 1 && unknown->ccdtype != 4 && unknown->ccdtype != 101);
    EXPECT_EQ(sim::Models().size(), std::size(kTable) + 1);
}

TEST(SimModels, EveryFirmwareVariantAndBothTextEncodingsAreRepresented) {
    int standard = 0, v303 = 0, cl = 0, wordCoded = 0, plain = 0;
    std::set<int> below303;
    for (const sim::Model& m : sim::Models()) {
        if (m.hwtype > 20000) ++cl;
        else if (m.softversion >= 303) ++v303;
        else { ++standard; below303.insert(m.softversion); }
        (m.pcbtype == 0 ? wordCoded : plain)++;
    }
    EXPECT_GT(standard, 0);
    EXPECT_GT(v303, 0);
    EXPECT_EQ(cl, 1);
    EXPECT_GT(wordCoded, 0);
    EXPECT_GT(plain, 0);
    EXPECT_TRUE(below303.count(302) && below303.count(301));
    EXPECT_EQ(sim::FindModel("M01")->softversion, 302);
    EXPECT_EQ(sim::FindModel("M03")->softversion, 303);
    EXPECT_EQ(sim::FindModel("M05")->softversion, 310);
    EXPECT_EQ(sim::FindModel("M19")->softversion, 306);
    EXPECT_EQ(sim::FindModel("M01")->firmwareText, "KRYTA-M01 FW 3.02 (c) KRYTA");
}

TEST(SimModels, LookUpByNameCodeAndFamily) {
    EXPECT_EQ(sim::FindModel("m05")->name, "M05");
    EXPECT_EQ(sim::FindModel("KRYTA-M07")->name, "M07");
    EXPECT_EQ(sim::FindModel("20250")->name, "M19");
    EXPECT_EQ(sim::FindModel("37")->name, "M01");     // first with that code: family 1
    EXPECT_EQ(sim::FindModel("4:37")->name, "M20");   // family 4 asked for
    EXPECT_EQ(sim::FindModel("101:500")->name, "M25");
    EXPECT_EQ(sim::FindModel("4:110"), nullptr);
    EXPECT_EQ(sim::FindModel("M26"), nullptr);
    EXPECT_EQ(sim::FindModel(""), nullptr);
    EXPECT_EQ(sim::FindModel("37x"), nullptr);
    EXPECT_EQ(sim::FindModel("99999999999999999999"), nullptr);
    EXPECT_THROW(sim::Simulator("no-such-sensor"), std::invalid_argument);
}

TEST(SimFaults, CommandLineNotation) {
    sim::FaultSpec f;
    ASSERT_TRUE(sim::ParseFault("silent", f));
    EXPECT_EQ(f.kind, sim::Fault::Silent);
    EXPECT_EQ(f.command, -1);
    EXPECT_EQ(f.times, -1);

    ASSERT_TRUE(sim::ParseFault("delay:8:1.6", f));
    EXPECT_EQ(f.kind, sim::Fault::Delay);
    EXPECT_EQ(f.command, 8);
    EXPECT_DOUBLE_EQ(f.seconds, 1.6);

    ASSERT_TRUE(sim::ParseFault("short:all:20", f));
    EXPECT_EQ(f.kind, sim::Fault::Short);
    EXPECT_EQ(f.command, -1);
    EXPECT_EQ(f.bytes, 20);

    ASSERT_TRUE(sim::ParseFault("other-command:10:7", f));
    EXPECT_EQ(f.value, 7);
    ASSERT_TRUE(sim::ParseFault("wrong-sync:5:85", f));
    EXPECT_EQ(f.kind, sim::Fault::WrongSync);
    EXPECT_EQ(f.value, 85);
    ASSERT_TRUE(sim::ParseFault("flood:9:9000", f));
    EXPECT_EQ(f.bytes, 9000);
    for (auto k : {"surplus", "garbage", "unplug"}) {
        ASSERT_TRUE(sim::ParseFault(k, f)) << k;
        EXPECT_STREQ(sim::FaultName(f.kind), k);
    }

    for (const char* bad : {"", "loud", "silent:x", "delay:8:abc", "delay:8:-1", "short:1:2:3",
                            "other-command:1:70000", "silent:70000"}) {
        sim::FaultSpec g;
        g.kind = sim::Fault::Garbage;
        EXPECT_FALSE(sim::ParseFault(bad, g)) << bad;
        EXPECT_EQ(g.kind, sim::Fault::Garbage) << bad;  // untouched on failure
    }
}

}  // namespace
