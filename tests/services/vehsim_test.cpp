// The vehicle-environment simulator: the CSV reader, the five frames' bytes of a sample, the waits at 5.5
// times speed, and playback on the emulated bus with repetitions, stop and going offline.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <string>

#include "services/vehsim.h"
#include "tests/app/workspacetest.h"

namespace peer = vex::emu::peer;
using vex::emu::SeenFrame;

namespace {

constexpr int64_t kMs = 1'000'000;
const std::string kHeader = "time,a,b,c,d,e,f,g\r\nunits\r\n";

std::vector<uint8_t> Bytes(const tCAN_RAW_MSG& m) {
    return {m.Data, m.Data + 8};
}

class VehSimTest : public wstest::WorkspaceTest {
protected:
    void Online() {
        Make();
        Select(CAppCfg::kDevNxp);
        ASSERT_TRUE(ws->GoOnline());
        peer::SetRecording(true);
    }
};

}  // namespace

TEST(VehSimCsv, ReadsSamplesOrFailsWhole) {
    struct Case {
        const char* name;
        std::string text;
        size_t samples;   // when read
        const char* why;  // when refused
    } cases[] = {
        {"one sample, no final line break", kHeader + "0,1,2,3,4,5,6,7", 1, ""},
        {"text beyond the eighth field ignored", kHeader + "0,1,2,3,4,5,6,7,8,9\n1,1,2,3,4,5,6,7x,junk\n", 2,
         ""},
        {"fields that are no numbers read 0", kHeader + "0,a,b,c,d,e,f,g\n", 1, ""},
        {"equal times", kHeader + "1,0,0,0,0,0,0,0\n1,0,0,0,0,0,0,0\n", 2, ""},
        {"a short line", kHeader + "0,1,2,3,4,5,6,7\n1,2,3\n2,1,2,3,4,5,6,7\n", 0,
         "第4行只有3个字段，需要8个。"},
        {"a blank line among the samples", kHeader + "0,1,2,3,4,5,6,7\n\n2,1,2,3,4,5,6,7\n", 0,
         "第4行只有1个字段，需要8个。"},
        {"a time that is no number", kHeader + "0,1,2,3,4,5,6,7\nnan,1,2,3,4,5,6,7\n", 0,
         "第4行的时间不是有限的数值。"},
        {"an infinite time", kHeader + "-inf,1,2,3,4,5,6,7\n", 0, "第3行的时间不是有限的数值。"},
        {"a time beyond a double", kHeader + "1e999,1,2,3,4,5,6,7\n", 0, "第3行的时间不是有限的数值。"},
        {"a time before the previous line's",
         kHeader + "0,1,2,3,4,5,6,7\n2,1,2,3,4,5,6,7\n1.5,1,2,3,4,5,6,7\n3,1,2,3,4,5,6,7\n", 0,
         "第5行的时间1.5秒早于上一行的2秒。"},
        {"negative times running backwards", kHeader + "-1,1,2,3,4,5,6,7\n-2,1,2,3,4,5,6,7\n", 0,
         "第4行的时间-2秒早于上一行的-1秒。"},
        {"negative times running forwards", kHeader + "-2,1,2,3,4,5,6,7\n-1,1,2,3,4,5,6,7\n", 2, ""},
        {"two header lines only", kHeader, 0, "文件中没有数据行（前两行是表头）。"},
        {"fewer lines than the header", "only one line", 0, "文件中没有数据行（前两行是表头）。"},
        {"empty", "", 0, "文件中没有数据行（前两行是表头）。"},
        {"NUL bytes", std::string(100000, '\0'), 0, "文件中没有数据行（前两行是表头）。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<tSIMULATOR_DATA> out(1);
        std::string why;
        const bool refused = *c.why != '\0';
        EXPECT_EQ(ParseSimulatorCsv(c.text, out, &why), !refused);
        EXPECT_EQ(out.size(), refused ? 1u : c.samples);
        EXPECT_EQ(why, c.why);
    }
    std::vector<tSIMULATOR_DATA> out;
    ASSERT_TRUE(ParseSimulatorCsv(kHeader + "1.5,10,20,30,40,50,60,70\n", out));
    EXPECT_EQ(out[0], (tSIMULATOR_DATA{{1.5, 20, 40, 50, 70, 30, 10, 60}}));
}

// Worked values, one line each: in range (0.29 / 0.01 is 29, not 28), beyond every encoding's range
// (clamped, never wrapped: 256 km/h is not 0 km/h, a torque above the reference is not negative, a negative
// pedal value is not nearly 100 %), and values that are no number (0x80000000: bytes 0).
TEST(VehSimEncode, FramesOfACsvLine) {
    struct Case {
        const char* line;
        std::vector<uint8_t> a, b, c, d, e;
    } cases[] = {
        {"0.0,12.34,40,269,1500.5,90,0.29,88.5",
         {0, 0x64, 0, 0, 0, 0, 0, 0},
         {0, 0, 0x91, 0xE4, 0x2E, 0, 0, 0},
         {0x60, 0x2D, 0, 0, 0, 0, 0, 0},
         {0, 0x80, 0x58, 0, 0, 0, 0, 0},
         {0xD2, 0x04, 0x1D, 0x00, 0, 0, 0, 0}},
        {"1.0,-400,-5,3000,9000,-300,700,256",
         {0, 0, 0, 0, 0, 0, 0, 0},
         {0, 0, 0xFA, 0xFF, 0xFA, 0, 0, 0},
         {0, 0, 0, 0, 0, 0, 0, 0},
         {0, 0xFF, 0xFA, 0, 0, 0, 0, 0},
         {0x00, 0x80, 0xFF, 0xFF, 0, 0, 0, 0}},
        {"2.0,-1.5,100,-1345,0,-273,-327.68,0",
         {0, 0xFA, 0, 0, 0, 0, 0, 0},
         {0, 0, 0x19, 0, 0, 0, 0, 0},
         {0, 0, 0, 0, 0, 0, 0, 0},
         {0, 0, 0, 0, 0, 0, 0, 0},
         {0x6A, 0xFF, 0x00, 0x80, 0, 0, 0, 0}},
        {"3.0,nan,nan,nan,nan,nan,nan,nan",
         {0, 0, 0, 0, 0, 0, 0, 0},
         {0, 0, 0, 0, 0, 0, 0, 0},
         {0, 0, 0, 0, 0, 0, 0, 0},
         {0, 0, 0, 0, 0, 0, 0, 0},
         {0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        std::vector<tSIMULATOR_DATA> samples;
        ASSERT_TRUE(ParseSimulatorCsv(kHeader + c.line, samples));
        tSIMULATOR_FRAMES f = SimulatorFrames();
        EncodeSimulatorSample(samples.at(0), f);
        EXPECT_EQ(Bytes(f.msg[0]), c.a);
        EXPECT_EQ(Bytes(f.msg[1]), c.b);
        EXPECT_EQ(Bytes(f.msg[2]), c.c);
        EXPECT_EQ(Bytes(f.msg[3]), c.d);
        EXPECT_EQ(Bytes(f.msg[4]), c.e);
    }
    const tSIMULATOR_FRAMES f = SimulatorFrames();
    const uint32_t ids[] = {0x0CF00300, 0x0CF00400, 0x18FD3E3D, 0x18FEF100, 0x0CFF6000};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(f.msg[i].Id, ids[i]);
        EXPECT_EQ(f.msg[i].Ext + f.msg[i].Dir + f.msg[i].Chan, 3);
        EXPECT_EQ(f.msg[i].Dlc, 8);
    }
}

// At 5.5 times speed: 1.1 s apart is 200 ms; a step back or not a number waits nothing; 55 s and more wait
// the 10-second cap.
TEST(VehSimEncode, WaitsAtFiveAndAHalfTimesSpeed) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        double prev, time;
        uint32_t ms;
    } cases[] = {{0.0, 1.1, 200},    {2.0, 2.0, 0},       {1.1, 0.0, 0}, {0.0, 0.0001, 0},
                 {0.0, 55.0, 10000}, {0.0, 1e300, 10000}, {0.0, nan, 0}, {0.0, 0.011, 2}};
    for (const auto& c : cases) EXPECT_EQ(SimulatorWaitMs(c.prev, c.time), c.ms) << c.prev << " " << c.time;
}

// A refused load keeps what was loaded before, counts, path and all, and says why: a short line, an
// empty file, 100 MB of NUL bytes, times that run backwards, a device, a FIFO, a missing file.
TEST(VehSim, RefusedLoadKeepsThePreviousSamplesAndSaysWhy) {
    vextest::TempDir dir;
    CCanRxThread rx;
    CCanMsgSender sender(rx);
    CExtSerVehEnvSimulator sim(sender);
    const std::string drive = (dir / "drive.csv").string();
    vextest::writeFile(drive, kHeader + "1.0,0,0,0,0,0,0,0\n1.5,0,0,0,0,0,0,0\n3.0,0,0,0,0,0,0,0\n");
    ASSERT_TRUE(sim.LoadDataFile(drive));
    EXPECT_EQ(sim.LoadedPath(), drive);
    EXPECT_EQ(sim.RecordCount(), 3);
    EXPECT_DOUBLE_EQ(sim.TotalTime(), 2000.0);

    const std::string empty = (dir / "empty.csv").string();
    vextest::writeFile(empty, "");
    const std::string nul = (dir / "nul.csv").string();
    vextest::writeFile(nul, "");
    std::filesystem::resize_file(nul, 100u << 20);
    const std::string fifo = (dir / "fifo.csv").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string backwards = (dir / "backwards.csv").string();
    vextest::writeFile(backwards, kHeader + "100,0,0,0,0,0,0,0\n0.5,0,0,0,0,0,0,0\n");
    const std::string noSample = "文件中没有数据行（前两行是表头）。";
    const struct {
        std::string path;
        std::string why;
    } cases[] = {
        {empty, noSample},
        {nul, noSample},
        {backwards, "第4行的时间0.5秒早于上一行的100秒。"},
        {"/dev/zero", "Not a regular file"},
        {fifo, "Not a regular file"},
        {"/nonexistent/drive.csv", "No such file or directory"},
    };
    for (const auto& c : cases) {
        std::string why;
        EXPECT_FALSE(sim.LoadDataFile(c.path, &why)) << c.path;
        EXPECT_EQ(why, c.why) << c.path;
    }
    std::string why;
    EXPECT_FALSE(sim.LoadDataText(kHeader + "0,0,0,0,0,0,0,0\n1,2\n", &why));
    EXPECT_EQ(why, "第4行只有2个字段，需要8个。");
    EXPECT_EQ(sim.LoadedPath(), drive);
    EXPECT_EQ(sim.RecordCount(), 3);
    EXPECT_EQ(sim.SampleCount(), 3u);
    EXPECT_DOUBLE_EQ(sim.TotalTime(), 2000.0);

    ASSERT_TRUE(sim.LoadDataText(kHeader + "4,0,0,0,0,0,0,0\n"));
    EXPECT_EQ(sim.LoadedPath(), "");
    EXPECT_EQ(sim.RecordCount(), 1);
    EXPECT_DOUBLE_EQ(sim.TotalTime(), 0.0);
    EXPECT_FALSE(sim.StartSimulation());  // offline
}

// Two samples 1.1 s apart, three times: 30 frames A to E in order, 200 ms before every second sample and no
// wait between repetitions. Tolerance: a frame never leaves before the thread wrote it, and the thread
// writes the second sample of repetition r no earlier than (r + 1) x 200 ms after the start - lower bounds
// that hold on any machine.
TEST_F(VehSimTest, PlaysRepetitionsWithTheirWaits) {
    Online();
    CExtSerVehEnvSimulator sim(ws->Sender());
    EXPECT_FALSE(sim.StartSimulation());  // no samples
    ASSERT_TRUE(sim.LoadDataText(kHeader + "0.0,0,40,0,0,0,0,0\n1.1,0,80,0,0,0,0,0\n"));
    sim.SetRepeatCount(0);
    EXPECT_FALSE(sim.StartSimulation());
    sim.SetRepeatCount(3);
    const int64_t t0 = peer::BusTimeNs();
    ASSERT_TRUE(sim.StartSimulation());
    EXPECT_FALSE(sim.StartSimulation());  // running
    EXPECT_FALSE(sim.LoadDataText(kHeader));
    ASSERT_TRUE(emutest::WaitFor([&] { return !sim.IsRunning(); }, 30'000));
    ASSERT_TRUE(peer::WaitIdle(30'000));
    const std::vector<SeenFrame> seen = peer::Received();
    ASSERT_EQ(seen.size(), 30u);
    const uint32_t ids[] = {0x0CF00300, 0x0CF00400, 0x18FD3E3D, 0x18FEF100, 0x0CFF6000};
    for (size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].frame.id, ids[i % 5]) << i;
        EXPECT_EQ(seen[i].segment, 1);
    }
    EXPECT_EQ(seen[0].frame.data[1], 100);
    EXPECT_EQ(seen[5].frame.data[1], 200);
    for (int r = 0; r < 3; ++r) EXPECT_GE(seen[10 * r + 5].busTimeNs - t0, (r + 1) * 200 * kMs) << r;
    EXPECT_EQ(sim.RepeatCount(), 1);
    EXPECT_EQ(sim.CurRecordIndex(), 0);
    EXPECT_EQ(sim.Frames().msg[0].Data[1], 200);
}

// A stop during a long wait and going offline during one both end the run at once: the second sample is
// never sent, and the thread is gone.
TEST_F(VehSimTest, StopAndGoingOfflineEndTheRun) {
    Online();
    const int online = emutest::ThreadCount();
    CExtSerVehEnvSimulator sim(ws->Sender());
    ASSERT_TRUE(sim.LoadDataText(kHeader + "0,0,0,0,0,0,0,0\n50,0,0,0,0,0,0,0\n"));  // a 9090 ms wait
    ASSERT_TRUE(sim.StartSimulation());
    ASSERT_TRUE(emutest::WaitFor([] { return peer::Received().size() == 5; }, 30'000));
    sim.StopSimulation();
    EXPECT_FALSE(sim.IsRunning());
    EXPECT_TRUE(emutest::ThreadsBackTo(online))
        << emutest::ThreadCount() << " threads, " << online << " before";

    peer::ClearReceived();
    sim.SetRepeatCount(2);
    ASSERT_TRUE(sim.StartSimulation());
    ASSERT_TRUE(emutest::WaitFor([] { return peer::Received().size() == 5; }, 30'000));
    ws->GoOffline();
    ASSERT_TRUE(emutest::WaitFor([&] { return !sim.IsRunning(); }, 30'000));
    EXPECT_EQ(peer::Received().size(), 5u);
    EXPECT_EQ(sim.RepeatCount(), 1);
}

// Samples with equal times send their frames back to back, faster than the bus takes them: every frame still
// reaches the bus, in order, at the bus's pace (the device's full transmit queue is waited on, not dropped
// into). A stop while the queue is full ends the run at once.
TEST_F(VehSimTest, EqualTimesGoOutAtTheBusPaceWithNothingLost) {
    Make();
    Select(CAppCfg::kDevNxp, 125);
    ASSERT_TRUE(ws->GoOnline());
    peer::SetRecording(true);
    CExtSerVehEnvSimulator sim(ws->Sender());
    constexpr int kSamples = 100;
    std::string text = kHeader;
    for (int k = 0; k < kSamples; ++k)
        text += "0.5,0,0,0," + std::to_string(k) + ",0,0,0\n";  // field 4: engine speed
    ASSERT_TRUE(sim.LoadDataText(text));
    ASSERT_TRUE(sim.StartSimulation());
    ASSERT_TRUE(emutest::WaitFor([&] { return !sim.IsRunning(); }, 30000));
    ASSERT_TRUE(peer::WaitIdle(30'000));
    const std::vector<SeenFrame> seen = peer::Received();
    ASSERT_EQ(seen.size(), 5u * kSamples);
    for (int k = 0; k < kSamples; ++k) {
        const SeenFrame& b = seen[5 * k + 1];  // frame B carries the engine speed, 8 per rpm
        ASSERT_EQ(b.frame.id, 0x0CF00400u) << k;
        EXPECT_EQ(b.frame.data[3] | (b.frame.data[4] << 8), 8 * k) << k;
    }

    peer::ClearReceived();
    text = kHeader;
    for (int k = 0; k < 5000; ++k) text += "0,0,0,0,0,0,0,0\n";
    ASSERT_TRUE(sim.LoadDataText(text));
    const int online = emutest::ThreadCount();
    ASSERT_TRUE(sim.StartSimulation());
    ASSERT_TRUE(emutest::WaitFor([] { return peer::Received().size() >= 100; }, 30000));
    sim.StopSimulation();
    EXPECT_FALSE(sim.IsRunning());
    EXPECT_TRUE(emutest::ThreadsBackTo(online))
        << emutest::ThreadCount() << " threads, " << online << " before";
    EXPECT_LT(peer::Received().size(), 5u * 5000);
}
