// Serial ports of the run-time layer, addressed by port number.
//
// Port n stands for the device named by the environment variable KRYTA_COM<n>; without it, for
// the n-th serial device of the machine in a stable order (see README). The receive callback
// runs only inside event processing (ProcessSystemEvents, RunUserInterface), on the
// user-interface thread. A port whose device goes away is closed by the layer at once; later
// writes write nothing and reads read nothing.
#pragma once

#include <string>

// Open results (the run-time's codes).
enum ComError : int {
    kComUnknownSystemError = -1,
    kComInvalidPort = -2,
    kComPortNotOpen = -3,
    kComIoError = -4,
    kComNoSerialPort = -6,
    kComCannotOpen = -7,
    kComInvalidParameter = -13,
    kComTimeout = -99,
};

// Receive-callback events.
enum ComEvent : int {
    LWRS_RXFLAG = 0x0002,    // the event character arrived
    LWRS_TXEMPTY = 0x0004,   // the output queue ran empty
    LWRS_RECEIVE = 0x8000,   // the input queue holds the notify count
};

using ComCallbackPtr = void (*)(int port, int eventMask, void* callbackData);

// parity: 0 none, 1 odd, 2 even. Result 0, or a negative ComError.
int OpenComConfig(int port, const std::string& deviceName, long baudRate, int parity, int dataBits,
                  int stopBits, int inputQueueSize, int outputQueueSize);
int SetComTime(int port, double timeoutSeconds);
int SetCTSMode(int port, int mode);  // 0 = hardware handshake off
int FlushInQ(int port);
int FlushOutQ(int port);
int ComWrt(int port, const char* buffer, int count);  // bytes written (0 when closed)
int ComRd(int port, char* buffer, int count);         // bytes read, at most count
int GetInQLen(int port);                              // bytes waiting (0 when closed)
// eventMask 0 removes the callback.
int InstallComCallback(int port, int eventMask, int notifyCount, int eventCharacter,
                       ComCallbackPtr fn, void* callbackData);
int CloseCom(int port);  // also when already closed
bool IsComOpen(int port);

// The device that port n stands for ("" when none); the port numbers the drop-down offers.
std::string ComDeviceName(int port);
