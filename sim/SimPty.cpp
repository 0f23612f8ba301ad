#include "sim/SimPty.h"

#include "serial/PortMap.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

void SetCloexec(int fd) {
    int flags = fcntl(fd, F_GETFD);
    if (flags >= 0)
        fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
}

std::string ReadLinkText(const std::string& path) {
    char buf[PATH_MAX];
    ssize_t n = readlink(path.c_str(), buf, sizeof buf - 1);
    if (n < 0)
        return "";
    return std::string(buf, static_cast<size_t>(n));
}

std::string OwnerFile(const std::string& folder, int com) {
    return folder + "/.COM" + std::to_string(com) + ".owner";
}

// A link left behind by a simulator that is gone: it points to a pseudo-
// terminal that no longer exists, or its recorded owner process has ended
// (the pts number may since serve someone's terminal). Links to anything but
// a pseudo-terminal are a user's mapping and never stale.
bool IsStaleSimLink(const std::string& link, const std::string& ownerFile) {
    struct stat lst {};
    if (lstat(link.c_str(), &lst) != 0 || !S_ISLNK(lst.st_mode))
        return false;
    std::string target = ReadLinkText(link);
    if (target.rfind("/dev/pts/", 0) != 0)
        return false;
    struct stat st {};
    if (stat(link.c_str(), &st) != 0)
        return true;
    std::ifstream owner(ownerFile);
    long pid = 0;
    if (owner >> pid && pid > 0 && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
        return true;
    return false;
}

} // namespace

bool OpenRawPty(int& master, int& slave, std::string& path) {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0)
        return false;
    SetCloexec(master);
    char name[128];
    termios tio{};
    slave = -1;
    if (grantpt(master) == 0 && unlockpt(master) == 0 && ptsname_r(master, name, sizeof name) == 0)
        slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0 || tcgetattr(slave, &tio) != 0) {
        if (slave >= 0)
            close(slave);
        close(master);
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (tcsetattr(slave, TCSANOW, &tio) != 0) {
        close(slave);
        close(master);
        return false;
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    path = name;
    return true;
}

bool CComLink::Take(const std::string& folder, int n) {
    std::string link = folder + "/COM" + std::to_string(n);
    std::string owner = OwnerFile(folder, n);
    struct stat lst {};
    if (lstat(link.c_str(), &lst) == 0) {
        if (!IsStaleSimLink(link, owner))
            return false;
        unlink(link.c_str());
    }
    if (symlink(m_strTarget.c_str(), link.c_str()) != 0)
        return false;
    std::ofstream(owner) << getpid() << "\n";
    m_strLink = link;
    m_strOwnerFile = owner;
    m_nCom = n;
    return true;
}

bool CComLink::Make(const std::string& target, int comNumber) {
    if (comNumber < 0 || comNumber > kMaxComNumber || !EnsurePortFolder())
        return false;
    m_strTarget = target;
    std::string folder = PortFolder();
    if (comNumber > 0)
        return Take(folder, comNumber);
    // COM numbers without a link fall through to the serial devices present;
    // those are not shadowed.
    size_t devices = ScanSerialDevices().size();
    for (int n = 1; n <= kMaxComNumber; ++n) {
        struct stat lst {};
        std::string link = folder + "/COM" + std::to_string(n);
        if (lstat(link.c_str(), &lst) != 0 && static_cast<size_t>(n) <= devices)
            continue;
        if (Take(folder, n))
            return true;
    }
    return false;
}

void CComLink::Remove() {
    if (m_strLink.empty())
        return;
    // Only our own link: a later simulator may have taken the number over.
    if (ReadLinkText(m_strLink) == m_strTarget)
        unlink(m_strLink.c_str());
    std::ifstream owner(m_strOwnerFile);
    long pid = 0;
    if (owner >> pid && pid == getpid())
        unlink(m_strOwnerFile.c_str());
    m_strLink.clear();
    m_strOwnerFile.clear();
    m_nCom = -1;
}
