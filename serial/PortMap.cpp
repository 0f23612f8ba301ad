#include "serial/PortMap.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// The folders the tool owns: the halvik folder and the port folder in it.
// Everything above them (the runtime folder, /tmp) belongs to the system.
std::string HalvikFolder() {
    const char* xdg = std::getenv("XDG_RUNTIME_DIR");
    if (xdg && *xdg)
        return std::string(xdg) + "/halvik";
    return "/tmp/halvik-" + std::to_string(getuid());
}

// What makes dir unfit to hold COM links, "" when nothing does (or it is not
// there: then it holds no links either). lstat: a link to a folder of ours
// can be pointed elsewhere by whoever planted it.
std::string LevelProblem(const std::string& dir) {
    struct stat st {};
    if (lstat(dir.c_str(), &st) != 0)
        return errno == ENOENT ? "" : dir + " cannot be checked: " + std::strerror(errno);
    if (S_ISLNK(st.st_mode))
        return dir + " is a symbolic link";
    if (!S_ISDIR(st.st_mode))
        return dir + " is not a directory";
    if (st.st_uid != geteuid())
        return dir + " is owned by uid " + std::to_string(st.st_uid) + ", not by uid " +
               std::to_string(geteuid());
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    if (st.st_mode & S_IWOTH)
        return dir + " is writable by others (mode " + mode + ")";
    if (st.st_mode & S_IWGRP)
        return dir + " is writable by its group (mode " + mode + ")";
    return "";
}

} // namespace

std::string PortFolder() {
    return HalvikFolder() + "/ports";
}

std::string PortFolderProblem() {
    for (const std::string& level : {HalvikFolder(), PortFolder()})
        if (std::string why = LevelProblem(level); !why.empty())
            return "port folder " + PortFolder() + " not used: " + why;
    return "";
}

bool EnsurePortFolder() {
    const std::string base = HalvikFolder();
    // The levels above ours may be missing too (a runtime folder not made yet).
    for (size_t pos = base.find('/', 1); pos != std::string::npos; pos = base.find('/', pos + 1)) {
        const std::string path = base.substr(0, pos);
        if (!IsDir(path) && mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    // Each of ours is checked before anything is made inside it.
    for (const std::string& level : {base, PortFolder()})
        if ((mkdir(level.c_str(), 0700) != 0 && errno != EEXIST) || !LevelProblem(level).empty())
            return false;
    return PortFolderProblem().empty() && IsDir(PortFolder());
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

// COM n from the port folder's link (when the folder is trusted), else from
// the devices already scanned.
std::string Resolve(int n, const std::vector<std::string>& devs, bool useLinks) {
    if (n < 1 || n > kMaxComNumber)
        return "";
    std::string link = PortFolder() + "/COM" + std::to_string(n);
    if (useLinks && Exists(link)) {
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

std::string ComNotFoundReason(int n) {
    return "no COM" + std::to_string(n) + " link in " + PortFolder() +
           " and no serial device with that number";
}

std::string NoPortsReason() {
    return "links are looked for in " + PortFolder();
}

std::string ResolveComPort(int n) {
    if (n < 1 || n > kMaxComNumber)
        return "";
    return Resolve(n, ScanSerialDevices(), PortFolderProblem().empty());
}

std::vector<std::pair<int, std::string>> ListComPorts(int maxNumber) {
    const auto devs = ScanSerialDevices(); // once for all numbers
    const bool useLinks = PortFolderProblem().empty();
    std::vector<std::pair<int, std::string>> out;
    for (int n = 1; n <= maxNumber && n <= kMaxComNumber; ++n) {
        std::string dev = Resolve(n, devs, useLinks);
        if (!dev.empty())
            out.emplace_back(n, dev);
    }
    return out;
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
