// The receive handler, the open-error texts and the guard of one sensor exchange at a time.
#include <gtest/gtest.h>

#include <string>

#include "link/com232.h"
#include "sensor/vars.h"

TEST(Frame, ReceiveHandlerIgnoresOtherEventsAndShortReads) {
    rx_flag = 0;
    graph_flag = 7;
    // the event character and transmit-empty events are not frames
    RX_Receive_Function(1, 0x0002 | 0x0004, nullptr);
    EXPECT_EQ(rx_flag, 0);
    EXPECT_EQ(graph_flag, 7);
    // with the port closed nothing can be read: no frame is reported
    com = 1;
    RX_Receive_Function(1, 0x8000, nullptr);
    EXPECT_EQ(rx_flag, 0);
}

TEST(Link, OpenErrorTexts) {
    EXPECT_EQ(ComOpenErrorText(-1), "Unknown system error");
    EXPECT_EQ(ComOpenErrorText(-2), "Invalid port number");
    EXPECT_EQ(ComOpenErrorText(-3), "Port is not open");
    EXPECT_EQ(ComOpenErrorText(-4), "Unknown I/0 error");
    EXPECT_EQ(ComOpenErrorText(-6), "No serial port found");
    EXPECT_EQ(ComOpenErrorText(-7), "Cannot open port");
    EXPECT_EQ(ComOpenErrorText(-13), "Invalid parameter");
    EXPECT_EQ(ComOpenErrorText(-99), "Timeout");
    for (int r : {-5, -8, -9, -10, -11, -12, -14, -100, -98, -100000})
        EXPECT_EQ(ComOpenErrorText(r), "RS-232 error!") << r;
}

TEST(Link, OneSensorExchangeAtATime) {
    ASSERT_FALSE(SensorOpRunning());
    {
        SensorOp first;
        EXPECT_TRUE(first.ok);
        EXPECT_TRUE(SensorOpRunning());
        EXPECT_FALSE(BeginSensorOp());  // refused while the first runs
        {
            SensorOp second;
            EXPECT_FALSE(second.ok);
        }
        // the refused one did not end the running one
        EXPECT_TRUE(SensorOpRunning());
    }
    EXPECT_FALSE(SensorOpRunning());
    EXPECT_TRUE(BeginSensorOp());
    EndSensorOp();
    EXPECT_FALSE(SensorOpRunning());
    EXPECT_LE(std::string(kBusyText).size(), 72u);
}
