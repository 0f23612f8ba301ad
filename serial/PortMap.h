#pragma once
// How "COM n" is found on this machine:
//  1. a link named COMn in the per-user port folder
//     ($XDG_RUNTIME_DIR/halvik/ports, or /tmp/halvik-<uid>/ports), which is
//     how the virtual driver and users map ports;
//  2. otherwise the n-th serial device present: ttyUSB*, then ttyACM*, then
//     hardware UARTs that really exist.

#include <string>
#include <utility>
#include <vector>

constexpr int kMaxComNumber = 1024;

// The per-user port folder (not created).
std::string PortFolder();
// Creates the port folder if needed; false when it cannot.
bool EnsurePortFolder();
// The device for COM n, or "" when none.
std::string ResolveComPort(int n);
// Every COM number from 1 to maxNumber that resolves, with its device.
std::vector<std::pair<int, std::string>> ListComPorts(int maxNumber = 32);
// Serial devices present, in numbering order (links excluded).
std::vector<std::string> ScanSerialDevices();
// The lowest COM number that resolves to nothing (for a new virtual driver),
// or -1.
int LowestFreeComNumber();
