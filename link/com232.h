// Sensor link: the 36-byte frame, the serial port and its receive handshake, the line check,
// the sensor identification and the 64-word block read.
#pragma once

#include <array>
#include <cstdint>
#include <string>

// ---- frame (36 bytes, big-endian words) ----
constexpr int FRAME_BYTES = 36;
constexpr int BUF_BYTES = 4096;
extern std::array<uint8_t, BUF_BYTES> szWriteBuf;  // a frame is built in its first 36 bytes
extern std::array<uint8_t, BUF_BYTES> szReadBuf;   // last frame, firmware text or data block

void FillTxBuf(uint16_t command, uint16_t argument, const uint16_t* words);
int GetRxBuf();

// ---- port and handshake ----
extern int com;                 // port in use
extern const double TIMEOUT;    // 1.5 s
extern int eventMask;           // 0x8006
extern int rx_flag;
extern int graph_flag;
extern int nBytesW, nBytesR;
extern std::string szStatus;    // last status text a sequence composed

void InitRS232(int port);
void RX_Receive_Function(int port, int eventBits, void* callbackData);
int WaitRxFull();
int CheckComLine(int port);
// Text of an open result (0 or negative).
std::string ComOpenErrorText(int result);
int CC_DropDCom(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
// Re-installs the receive handler with its fixed settings.
void InstallRxHandler();
void RemoveRxHandler();

// ---- identification ----
// 1 once the sensor on the port has answered the hardware request with a hardware answer; 0 from
// the start of every connect sequence. Settings are written into a sensor only when it is 1: the
// variant that decides where each word goes is known only then.
extern int ident_flag;
extern const char* const kNotIdentifiedText;
// Refuses an operation that writes settings into the sensor while it is not identified: shows
// kNotIdentifiedText and returns true.
bool RefuseUnidentified();
int GetHARDWAREInfo();
int GetVERSIONInfo();
// Applies a hardware answer (words 0-12 of the frame; word 1 is 10) to the identification and
// the controls that depend on the sensor.
void ApplyHardwareAnswer(const std::array<uint16_t, 13>& words);
// The firmware text for the status line: every `stride`-th byte (1: plain text, 2: the low
// bytes of big-endian words), up to the first zero byte and at most 72 characters; Latin-1
// letters are converted to UTF-8 and control bytes shown as '?'.
std::string FirmwareText(const uint8_t* bytes, int count, int stride);

// ---- block read ----
int PushGETRAW();
int ReadData64(uint16_t offset, uint16_t source);

// ---- one sensor exchange at a time ----
// Starts an operation that talks to the sensor from a control. While another one runs (its wait
// keeps the event loop alive), the new one is refused: the status line says so and the result
// is false. STOP, the port drop-down and closing the window do not use this guard.
bool BeginSensorOp();
void EndSensorOp();
bool SensorOpRunning();
extern const char* const kBusyText;
struct SensorOp {
    bool ok;
    SensorOp() : ok(BeginSensorOp()) {}
    ~SensorOp() { if (ok) EndSensorOp(); }
    SensorOp(const SensorOp&) = delete;
    SensorOp& operator=(const SensorOp&) = delete;
};
