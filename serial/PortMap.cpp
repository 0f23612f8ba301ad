#include "serial/PortMap.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool IsDir(const std::string& p) {
    struct stat st {};
    return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const std::string& p) {
    struct stat st {};
    return stat(p.c_str(), &st) == 0; // follows links: a dangling link does not exist
}

// Names in /sys/class/tty starting with prefix, ordered by their number.
std::vector<std::string> TtyNames(const std::string& prefix) {
    std::vector<std::pair<long, std::string>> found;
    if (DIR* d = opendir("/sys/class/tty")) {
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n.size() <= prefix.size() || n.compare(0, prefix.size(), prefix) != 0)
                continue;
            char* end = nullptr;
            long num = std::strtol(n.c_str() + prefix.size(), &end, 10);
            if (end && *end == '\0')
                found.emplace_back(num, n);
        }
        closedir(d);
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> names;
    for (auto& f : found)
        names.push_back(f.second);
    return names;
}

// A legacy 8250 node exists for every possible UART; only those whose port
// type is known are real hardware.
bool IsRealUart(const std::string& name) {
    std::string base = "/sys/class/tty/" + name;
    if (!Exists(base + "/device/driver"))
        return false;
    std::ifstream type(base + "/type");
    int t = -1;
    if (type >> t)
        return t != 0;
    return true;
}

} // namespace

std::string PortFolder() {
    const char* xdg = std::getenv("XDG_RUNTIME_DIR");
    if (xdg && *xdg)
        return std::string(xdg) + "/halvik/ports";
    return "/tmp/halvik-" + std::to_string(getuid()) + "/ports";
}

bool EnsurePortFolder() {
    std::string folder = PortFolder();
    std::string path;
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = folder.find('/', pos + 1);
        path = folder.substr(0, pos);
        if (!path.empty() && !IsDir(path) && mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return IsDir(folder);
}

std::vector<std::string> ScanSerialDevices() {
    std::vector<std::string> devs;
    for (const char* prefix : {"ttyUSB", "ttyACM"})
        for (auto& n : TtyNames(prefix))
            if (Exists("/dev/" + n))
                devs.push_back("/dev/" + n);
    for (const char* prefix : {"ttyS", "ttyAMA", "ttymxc"})
        for (auto& n : TtyNames(prefix))
            if (IsRealUart(n) && Exists("/dev/" + n))
                devs.push_back("/dev/" + n);
    return devs;
}

namespace {

// COM n from the port folder's link, else from the devices already scanned.
std::string Resolve(int n, const std::vector<std::string>& devs) {
    if (n < 1 || n > kMaxComNumber)
        return "";
    std::string link = PortFolder() + "/COM" + std::to_string(n);
    if (Exists(link)) {
        char buf[PATH_MAX];
        if (realpath(link.c_str(), buf))
            return buf;
        return link;
    }
    if (static_cast<size_t>(n) <= devs.size())
        return devs[static_cast<size_t>(n) - 1];
    return "";
}

} // namespace

std::string ResolveComPort(int n) {
    if (n < 1 || n > kMaxComNumber)
        return "";
    return Resolve(n, ScanSerialDevices());
}

std::vector<std::pair<int, std::string>> ListComPorts(int maxNumber) {
    const auto devs = ScanSerialDevices(); // once for all numbers
    std::vector<std::pair<int, std::string>> out;
    for (int n = 1; n <= maxNumber && n <= kMaxComNumber; ++n) {
        std::string dev = Resolve(n, devs);
        if (!dev.empty())
            out.emplace_back(n, dev);
    }
    return out;
}

int LowestFreeComNumber() {
    const auto devs = ScanSerialDevices();
    for (int n = 1; n <= kMaxComNumber; ++n)
        if (Resolve(n, devs).empty())
            return n;
    return -1;
}

namespace {
// The kernel's name of the device a path leads to (through COM links).
std::string TtyName(const std::string& device) {
    char real[PATH_MAX];
    std::string path = realpath(device.c_str(), real) ? real : device;
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}
} // namespace

int LatencyTimerMs(const std::string& device, const std::string& sysRoot) {
    const std::string name = TtyName(device);
    if (name.empty() || name == "." || name == "..")
        return -1;
    std::ifstream f(sysRoot + "/class/tty/" + name + "/device/latency_timer");
    int ms = -1;
    if (!(f >> ms) || ms < 0)
        return -1;
    return ms;
}

std::string LatencyFixCommand(const std::string& device, const std::string& sysRoot) {
    return "echo 1 | sudo tee " + sysRoot + "/bus/usb-serial/devices/" + TtyName(device) +
           "/latency_timer";
}

std::string LatencyHint(const std::string& device, const std::string& sysRoot) {
    const int ms = LatencyTimerMs(device, sysRoot);
    if (ms <= 1)
        return "";
    return "USB latency timer " + std::to_string(ms) +
           " ms (replies arrive late); for 1 ms: " + LatencyFixCommand(device, sysRoot);
}
