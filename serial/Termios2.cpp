// termios2 lives in the kernel headers, which clash with <termios.h>; keep it
// in a unit of its own.
#include <asm/ioctls.h>
#include <asm/termbits.h>

extern "C" int ioctl(int fd, unsigned long request, ...);

bool SetArbitraryBaud(int fd, int baud) {
    struct termios2 t2 {};
    if (ioctl(fd, TCGETS2, &t2) != 0)
        return false;
    t2.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    t2.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t2.c_ispeed = static_cast<speed_t>(baud);
    t2.c_ospeed = static_cast<speed_t>(baud);
    return ioctl(fd, TCSETS2, &t2) == 0;
}

// The settings a terminal's other user has set, as numbers (the baud rate in
// bits per second, whatever constant set it). The kernel keeps the numeric
// rates current for the classic interface too.
bool GetLineSettingsOf(int fd, int& baud, char& parity, int& dataBits, int& stopBits) {
    struct termios2 t2 {};
    if (ioctl(fd, TCGETS2, &t2) != 0)
        return false;
    baud = static_cast<int>(t2.c_ospeed);
    // A pseudo-terminal clears the parity-enable bit but keeps the odd flag:
    // odd parity asked for there still reads as odd.
    parity = (t2.c_cflag & PARODD) ? 'o' : (t2.c_cflag & PARENB) ? 'e' : 'n';
    switch (t2.c_cflag & CSIZE) {
    case CS5:
        dataBits = 5;
        break;
    case CS6:
        dataBits = 6;
        break;
    case CS7:
        dataBits = 7;
        break;
    default:
        dataBits = 8;
        break;
    }
    stopBits = (t2.c_cflag & CSTOPB) ? 2 : 1;
    return true;
}
