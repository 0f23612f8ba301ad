#pragma once
// How "COM n" is found on this machine:
//  1. a link named COMn in the per-user port folder
//     ($XDG_RUNTIME_DIR/halvik/ports, or /tmp/halvik-<uid>/ports), which is
//     how the virtual driver and users map ports. Only a folder that is the
//     user's own is used: whoever can write there could point a COM number
//     at a pseudo-terminal of theirs;
//  2. otherwise the n-th serial device present: ttyUSB*, then ttyACM*, then
//     hardware UARTs that really exist.
// On Windows (PortMapWin.cpp) COM numbers are the system's own: COM n is
// \\.\COMn when the system lists it (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, or
// a DOS device of that name); the device ListComPorts names beside it is the
// kernel's (\Device\VCP0). There is no port folder and no latency timer.

#include <string>
#include <utility>
#include <vector>

constexpr int kMaxComNumber = 1024;

// The per-user port folder (not created).
std::string PortFolder();
// Why the port folder's links are not used, one line naming the folder and
// what is wrong; "" when the folder and the halvik folder above it are
// directories (not links) owned by this user and writable by nobody else, or
// not there yet.
std::string PortFolderProblem();
// Creates the missing levels of the port folder (mode 0700); false when it
// cannot or when the folder is not to be used (PortFolderProblem says why).
bool EnsurePortFolder();
// The device for COM n, or "" when none. Without a usable port folder only
// the serial devices count.
std::string ResolveComPort(int n);
// Why COM n resolves to nothing, and why no port is found at all, for
// messages ("no COM4 link in ... and no serial device with that number").
std::string ComNotFoundReason(int n);
std::string NoPortsReason();
// Every COM number from 1 to maxNumber that resolves, with its device.
std::vector<std::pair<int, std::string>> ListComPorts(int maxNumber = 32);
// Serial devices present, in numbering order (links excluded).
std::vector<std::string> ScanSerialDevices();

// A USB serial adapter's latency timer (FTDI and alike hold received bytes up
// to this many ms before handing them over): the value in
// <sysRoot>/class/tty/<name>/device/latency_timer for the device a path leads
// to, or -1 where there is none.
int LatencyTimerMs(const std::string& device, const std::string& sysRoot = "/sys");
// The command that sets a device's latency timer to 1 ms.
std::string LatencyFixCommand(const std::string& device, const std::string& sysRoot = "/sys");
// For a device whose latency timer is above 1 ms: one line that says so and
// how to set it to 1 ms; "" otherwise.
std::string LatencyHint(const std::string& device, const std::string& sysRoot = "/sys");
