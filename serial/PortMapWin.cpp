// COM numbers on Windows are the system's own: a number is there when the
// serial drivers list it under HKLM\HARDWARE\DEVICEMAP\SERIALCOMM (value: the
// kernel's device name, data: "COMn") or when a DOS device of that name
// exists (a port whose driver does not register). There is no port folder.

#include "serial/PortMap.h"

#include <windows.h>

#include <algorithm>
#include <map>

namespace {

std::string Utf8(const wchar_t* w) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1)
        return "";
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w, -1, s.data(), n, nullptr, nullptr);
    s.resize(static_cast<size_t>(n - 1));
    return s;
}

// "COM12" (any case) -> 12; 0 for anything else.
int ComNumberOf(const wchar_t* name) {
    if (_wcsnicmp(name, L"COM", 3) != 0 || !name[3])
        return 0;
    long n = 0;
    for (const wchar_t* p = name + 3; *p; ++p) {
        if (*p < L'0' || *p > L'9' || n > kMaxComNumber)
            return 0;
        n = n * 10 + (*p - L'0');
    }
    return n >= 1 && n <= kMaxComNumber ? static_cast<int>(n) : 0;
}

// Every COM number present, with the device it leads to.
std::map<int, std::string> PresentPorts() {
    std::map<int, std::string> ports;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE,
                      &key) == ERROR_SUCCESS) {
        for (DWORD i = 0;; ++i) {
            wchar_t name[256];
            wchar_t data[64] = {};
            DWORD nameLen = 256, dataLen = sizeof data - sizeof(wchar_t), type = 0;
            const LONG r = RegEnumValueW(key, i, name, &nameLen, nullptr, &type,
                                         reinterpret_cast<BYTE*>(data), &dataLen);
            if (r == ERROR_NO_MORE_ITEMS)
                break;
            if (r != ERROR_SUCCESS || type != REG_SZ)
                continue;
            if (const int n = ComNumberOf(data))
                ports.emplace(n, Utf8(name));
        }
        RegCloseKey(key);
    }
    // The DOS devices: a list of names, each ended by a 0, the list by another.
    std::wstring names(65536, L'\0');
    const DWORD len = QueryDosDeviceW(nullptr, names.data(), static_cast<DWORD>(names.size()));
    for (size_t at = 0; at < len && names[at];) {
        const wchar_t* name = names.c_str() + at;
        at += wcslen(name) + 1;
        const int n = ComNumberOf(name);
        wchar_t target[512];
        if (n && !ports.count(n) && QueryDosDeviceW(name, target, 512))
            ports.emplace(n, Utf8(target));
    }
    return ports;
}

std::string PathOf(int n) {
    return "\\\\.\\COM" + std::to_string(n);
}

} // namespace

std::string PortFolder() {
    return "";
}

std::string PortFolderProblem() {
    return "";
}

bool EnsurePortFolder() {
    return false;
}

std::string ComNotFoundReason(int n) {
    return "the system has no COM" + std::to_string(n);
}

std::string NoPortsReason() {
    return "the system lists none in HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM";
}

std::string ResolveComPort(int n) {
    if (n < 1 || n > kMaxComNumber)
        return "";
    return PresentPorts().count(n) ? PathOf(n) : "";
}

std::vector<std::pair<int, std::string>> ListComPorts(int maxNumber) {
    std::vector<std::pair<int, std::string>> out;
    for (const auto& [n, device] : PresentPorts())
        if (n <= maxNumber)
            out.emplace_back(n, device);
    return out;
}

std::vector<std::string> ScanSerialDevices() {
    std::vector<std::string> devs;
    for (const auto& [n, device] : PresentPorts())
        devs.push_back(PathOf(n));
    return devs;
}

// The latency timer of an FTDI adapter lives in its driver's registry
// settings on Windows, set in the Device Manager: not looked at here.
int LatencyTimerMs(const std::string&, const std::string&) {
    return -1;
}

std::string LatencyFixCommand(const std::string&, const std::string&) {
    return "";
}

std::string LatencyHint(const std::string&, const std::string&) {
    return "";
}
