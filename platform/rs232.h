// Serial ports of the run-time layer, addressed by port number.
//
// Port n stands for the device named by the environment variable KRYTA_COM<n>; without it, for
// the n-th serial device of the machine in a stable order (see README). The receive callback
// runs only inside event processing (ProcessSystemEvents, RunUserInterface), on the
// user-interface thread. A port whose device goes away is closed by the layer at once; later
// writes write nothing and reads read nothing.
#pragma once

#include <string>
#include <vector>

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

// The text of an open result (0 or negative), as the run-time names its codes.
std::string ComOpenErrorText(int result);

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
// Takes what the driver holds into the input queue now, so that GetInQLen counts every byte that
// has arrived until this call (below a raised wake count, the driver may hold back a few). 0, or a
// negative ComError.
int TakeComInput(int port);
// The port wakes the event processing only once `count` bytes (1 to 255) have come since it last
// took the driver's bytes, instead of with every byte; 1 restores that, and takes what the driver
// holds at once, so that GetInQLen sees it. 0, or a negative ComError.
int SetComWakeCount(int port, int count);
// eventMask 0 removes the callback.
int InstallComCallback(int port, int eventMask, int notifyCount, int eventCharacter,
                       ComCallbackPtr fn, void* callbackData);
int CloseCom(int port);  // also when already closed
bool IsComOpen(int port);

// The device that port n stands for ("" when none).
std::string ComDeviceName(int port);
// What the system knows of port n's device: for a link the device it points at ("link to
// /dev/pts/3"), for a USB adapter its maker and product, for another serial device its
// description; "not present" when the device is not there; "" when nothing is known.
std::string ComDeviceAbout(int port);
// Looks for the machine's serial devices again (an adapter plugged in or out since the last look);
// ComDeviceName and ComDeviceAbout answer from the last look.
void RescanComPorts();
// The port numbers to offer, 1 to this: at least 8, and one for every serial device found.
int ComPortCount();
// The machine's serial devices found at the last look, in the order of their path: the devices
// that port numbers stand for where no KRYTA_COM<n> names another.
std::vector<std::string> SerialDevices();
// Why the last open of port n failed, in the system's words, with the cure when the user lacks
// permission (the device's group to join, then log in again); "" after a good open.
std::string ComOpenErrorDetail(int port);
// Who held the device when the last open of port n found it in use, and so left it alone: "NAME
// (pid N)" (a process that has it open or as its terminal, or whose UUCP lock file names it),
// "the kernel's console", or "another program"; "" when that open did not fail for this.
// An open takes the device's UUCP lock file (/var/lock/LCK..NAME) while the port is open.
std::string ComDeviceHeldBy(int port);
// 1 when the driver of open port n delivers received bytes at once (low latency), 0 when it
// holds them back, -1 when the port is closed or the driver has no such setting (pseudo-terminal).
// An open asks for low latency where the driver has the setting; the close gives the old one back.
int LowLatencyOf(int port);
