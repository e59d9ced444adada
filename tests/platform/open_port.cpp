// A second program on a serial device, for the test of exclusive opening: opens the device given
// as its argument as port 1 and prints the open result and the detail ("0 " after a good open).

#include <QCoreApplication>

#include <cstdio>

#include "platform/rs232.h"

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    QCoreApplication app(argc, argv);
    const int result = OpenComConfig(1, argv[1], 19200, 0, 8, 1, 512, 512);
    std::printf("%d %s\n", result, ComOpenErrorDetail(1).c_str());
    CloseCom(1);
    return 0;
}
